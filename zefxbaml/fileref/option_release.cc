// yxlhbfr (slot 36): release an option block and detach it from the fileref
// records that hold it.
#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "fileref/option_ownership.h"
#include "host/chains.h"
#include "zefxbaml/exports.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

// Gives the block back to its owner's pool (the current task's owner when it
// has none yet) and clears every pointer that a record of the fileref's list
// holds to it. A name that is not found is set as message insert 1, but the
// block is released all the same. Always returns 0; with no owner and no
// current task the block is left as it is; with no block there is nothing
// to release.
int32_t yxlhbfr(const char *fileref8, void *context, OptionBlock *options) {
    if (options == nullptr) return kOk;
    if (options->owner == nullptr) {
        options->owner = host::current_owner();
        if (options->owner == nullptr) return kOk;
    }
    FilerefRecord *record = nullptr;
    AccessMethodBlock *block = nullptr;
    find_fileref(fileref8, context, &record, &block);

    vmfree_handler(options->owner->pool, options, 0, kBufferStorage);
    forget_options(block, options);
    return kOk;
}

}  // namespace zef
