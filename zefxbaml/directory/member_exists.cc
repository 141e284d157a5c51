// yxlmex (slot 28): does a member exist in an open directory.
#include <cstring>

#include "directory/directory_handle.h"
#include "directory/member_name.h"
#include "host/catalog.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Asks the host's member search whether the directory's catalog holds the
// entry that member_name names, with member_type8 as the type of a name
// without a dot (taken as given: no kind table). Returns ylmfind's status
// unchanged (0 when the member exists, 0x8001C006 when it does not);
// 0x80001025 for a null handle; 0x80000805 (insert: message 5) for a name
// whose entry part is longer than 32 characters.
int32_t yxlmex(DirectoryHandle *handle, const char *member_name, int32_t member_name_length,
               const char *member_type8) {
    if (handle == nullptr) return kNullHandle;
    MemberEntry entry;
    int32_t status = split_member_name(member_name, member_name_length, member_type8, &entry);
    if (status != kOk) return status;

    FindRequest &request = handle->find_request;
    std::memset(&request, 0, sizeof request);
    request.catalog_handle = handle->catalog_handle;
    request.entry_name_length = entry.name_length;
    std::memcpy(request.entry_name, entry.name, sizeof request.entry_name);
    std::memcpy(request.entry_type, entry.type, sizeof request.entry_type);
    return host::ylmfind(&request);
}

}  // namespace zef
