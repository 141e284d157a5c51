// yxldopn (slot 26): open a catalog fileref as a directory.
#include <cstring>

#include "directory/directory_handle.h"
#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/chains.h"
#include "host/kernel.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {

constexpr int32_t kMessageNotCatalog = 2;
// This message goes over as the host formats it: a 256-byte buffer, no zero byte.
constexpr int32_t kMessageSize = 256;

// The task access word of the current task; 1 means input only. A task the
// host cannot name is taken as allowed to write.
int32_t task_access_word(void *context) {
    int32_t key = host::ytrakgt(context);
    TaskRecord *task = host::ytraknp(key, context);
    if (task == nullptr || task->access == nullptr) return 0;
    return task->access->access_word;
}

int32_t refuse_not_catalog() {
    char text[kMessageSize];
    int32_t length = host::ypmstr(text, kMessageSize, kMessageSet, kMessageNotCatalog);
    if (length < 0) length = 0;
    if (length > kMessageSize) length = kMessageSize;
    host::wrmksub1(text, length);
    return kNameUnsuitable;
}

// Asks the host to open the handle's catalog in library mode `mode`, the
// request built afresh.
int32_t open_catalog(DirectoryHandle *handle, int32_t mode, void *context) {
    LibraryRequest &request = handle->library_request;
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.libref, handle->libref, sizeof request.libref);
    request.catalog_name_length = handle->catalog_name_length;
    std::memcpy(request.catalog_name, handle->catalog_name, sizeof request.catalog_name);
    request.library_mode = mode;
    request.host_context = context;
    return host::ylopen(&request, &handle->catalog_handle);
}

}  // namespace

// Opens the catalog that a two-part fileref names and hands back a directory
// handle holding it, counted in the fileref record's open_count. The catalog
// is asked for in writing mode (input when the task may only read), and once
// more for input if that is refused. Returns 0 with *handle_out set (a
// positive ylopen status counts as success); the host's status from the
// lookup or the last ylopen; 0x80001004 (insert: the name) when not assigned;
// 0x80000805 (insert: message 2) when the fileref does not name a catalog;
// 0x80000803 without storage. On failure *handle_out is not written and
// nothing is left obtained.
int32_t yxldopn(DirectoryHandle **handle_out, const char *fileref8, void *context) {
    int32_t access_word = task_access_word(context);

    FilerefRecord *record = nullptr;
    AccessMethodBlock *block = nullptr;
    int32_t status = find_fileref(fileref8, context, &record, &block);
    if (status != kOk) return status;

    auto *handle = static_cast<DirectoryHandle *>(host::obtain(sizeof(DirectoryHandle),
                                                               kRecordStorage));
    if (handle == nullptr) return kNoStorage;
    wztxxlt(kTranslateUpper, fileref8, handle->fileref, sizeof handle->fileref);
    handle->method_block = block;
    handle->fileref_record = record;

    if (record->part_count != 2) {
        status = refuse_not_catalog();
        host::release(handle);
        return status;
    }
    // A two-part name stands in the record's last two part slots.
    std::memset(handle->libref, ' ', sizeof handle->libref);
    int32_t libref_length = record->part3.length;
    if (libref_length > 8) libref_length = 8;
    if (libref_length > 0) std::memcpy(handle->libref, record->part3.text, libref_length);
    handle->catalog_name_length = record->part4.length;
    std::memcpy(handle->catalog_name, record->part4.text, sizeof handle->catalog_name);

    status = open_catalog(handle, access_word == 1 ? kLibraryInput : kLibraryWrite, context);
    if (status < 0) status = open_catalog(handle, kLibraryInput, context);
    if (status < 0) {
        host::release(handle);
        return status;
    }
    fileref_opened(record);
    *handle_out = handle;
    return kOk;
}

}  // namespace zef
