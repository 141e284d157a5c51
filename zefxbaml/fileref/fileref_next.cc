// yxlnxt (slot 6): the filerefs of the method, one per call.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Hands out the record after the one in the host's cursor slot (the list's
// head when the slot is null): its name, the address of its full name (valid
// while the fileref stays assigned) and the full name's length. Returns 0,
// or 0x802 at the end with the slot null, so that the next call starts over;
// or the host's status when it finds no control block.
int32_t yxlnxt(FilerefRecord **cursor, char *fileref8, void *context, const char **full_name,
               int32_t *full_name_length) {
    FilerefRecord *candidate = nullptr;
    if (*cursor == nullptr) {
        AccessMethodBlock *block = nullptr;
        int32_t status = find_method_block(kMethodName, context, &block);
        if (status != kOk) return status;
        candidate = block->fileref_list;
    } else {
        candidate = (*cursor)->next;
    }
    *cursor = candidate;
    if (candidate == nullptr) return kEndOfList;
    std::memcpy(fileref8, candidate->fileref, sizeof candidate->fileref);
    *full_name = candidate->full_name;
    *full_name_length = candidate->full_name_length;
    return kOk;
}

}  // namespace zef
