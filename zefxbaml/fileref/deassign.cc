// yxldasg (slot 1): deassign a fileref.
#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "fileref/option_ownership.h"
#include "host/chains.h"
#include "host/kernel.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {
constexpr int32_t kMessageStillOpen = 160;
}

// Takes the fileref out of the list, releasing the option block it owns, and
// releases its record. Returns 0; the host's status when it finds no control
// block; 0x80001004 (insert: the name) when the name is not assigned; or
// 0x80001024 (insert: the name; message 160 logged) when streams or
// directories are still open on it: the record then waits out of the list
// until the last of them closes (fileref_closed).
int32_t yxldasg(const char *fileref8, void *context) {
    FilerefKey key = upper_key(fileref8);
    AccessMethodBlock *block = nullptr;
    int32_t status = find_method_block(kMethodName, context, &block);
    if (status != kOk) return status;
    FilerefRecord *record = find_in_list(block, key);
    if (record == nullptr) {
        host::wrmksub1(fileref8, 8);
        return kFilerefNotAssigned;
    }
    drop_options(block, record, fileref8, context, nullptr);
    unlink_fileref(block, record);

    if (record->open_count > 0) {
        // Nothing reaches the record by name any more; it keeps no options.
        attach_options(record, nullptr, false);
        record->state |= kDeassigned;
        host::ypmrlog(context, kMessageSet, kMessageStillOpen, fileref8);
        host::wrmksub1(fileref8, 8);
        return kStillOpen;
    }
    host::release(record);
    return kOk;
}

}  // namespace zef
