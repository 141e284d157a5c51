// yxldcls (slot 22): close a directory; yxldins (23) and yxldinf (24): the
// information list of a directory, which a directory never carries.
#include "directory/directory_handle.h"
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/chains.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Closes the directory's catalog and releases the handle, which counts no
// more in its fileref record (a record deassigned meanwhile goes with its
// last close). Returns the ylclose status, or 0x80001025 for a null handle;
// the handle is gone whatever ylclose answered.
int32_t yxldcls(DirectoryHandle *handle) {
    if (handle == nullptr) return kNullHandle;
    int32_t status = host::ylclose(handle->catalog_handle);
    fileref_closed(handle->fileref_record);
    host::release(handle);
    return status;
}

// Starts a directory's information list: there is none. 0, or 0x80001025.
int32_t yxldins(DirectoryHandle *handle) { return handle == nullptr ? kNullHandle : kOk; }

// Ends a directory's information list: there is none. 0, or 0x80001025.
int32_t yxldinf(DirectoryHandle *handle) { return handle == nullptr ? kNullHandle : kOk; }

}  // namespace zef
