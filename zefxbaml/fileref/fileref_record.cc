#include "fileref/fileref_record.h"

#include <cstring>

#include "fileref/fileref_lookup.h"
#include "host/chains.h"
#include "host/kernel.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/status.h"

namespace zef {

int32_t new_fileref_record(AccessMethodBlock *block, char *fileref8, void *context,
                           FilerefRecord **record) {
    *record = nullptr;
    auto *fresh = static_cast<FilerefRecord *>(host::obtain(sizeof(FilerefRecord), kRecordStorage));
    if (fresh == nullptr) return kNoStorage;
    if (vzatl(' ', fileref8, 8)) {
        int32_t status = host::yxaunql(fileref8, context);
        if (status != kOk) {
            host::release(fresh);
            return status;
        }
    }
    std::memcpy(fresh->fileref, fileref8, sizeof fresh->fileref);
    link_fileref(block, fresh);
    *record = fresh;
    return kOk;
}

void fileref_opened(FilerefRecord *record) { ++record->open_count; }

void fileref_closed(FilerefRecord *record) {
    --record->open_count;
    if (record->open_count <= 0 && (record->state & kDeassigned) != 0) host::release(record);
}

}  // namespace zef
