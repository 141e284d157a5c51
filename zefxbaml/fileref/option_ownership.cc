#include "fileref/option_ownership.h"

#include "fileref/fileref_record.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"

namespace zef {

namespace {

FilerefRecord *first_borrower(AccessMethodBlock *block, const FilerefRecord *owner) {
    if (block == nullptr) return nullptr;
    for (FilerefRecord *record = block->fileref_list; record != nullptr; record = record->next)
        if (record != owner && record->option_block == owner->option_block &&
            (record->state & kBorrowsOptionBlock) != 0)
            return record;
    return nullptr;
}

}  // namespace

void drop_options(AccessMethodBlock *block, FilerefRecord *record, const char *fileref8,
                     void *context, const OptionBlock *keep) {
    OptionBlock *options = record->option_block;
    if (options == nullptr || options == keep) return;
    if ((record->state & kBorrowsOptionBlock) != 0) {
        attach_options(record, nullptr, false);
        return;
    }
    if ((record->flags & kNotOwned) != 0) return;
    if (FilerefRecord *heir = first_borrower(block, record)) {
        heir->state &= ~kBorrowsOptionBlock;
        attach_options(record, nullptr, false);
        return;
    }
    yxlhbfr(fileref8, context, options);
    attach_options(record, nullptr, false);
}

void attach_options(FilerefRecord *record, OptionBlock *options, bool borrowed) {
    // A borrowed block handed over again is still another record's.
    if (options != nullptr && options == record->option_block) return;
    record->option_block = options;
    if (borrowed && options != nullptr)
        record->state |= kBorrowsOptionBlock;
    else
        record->state &= ~kBorrowsOptionBlock;
}

void note_ownership(FilerefRecord *record, const OptionBlock *options) {
    record->flags = (record->flags & ~kNotOwned) | (options->flags & kNotOwned);
}

void forget_options(AccessMethodBlock *block, const OptionBlock *options) {
    if (block == nullptr) return;
    for (FilerefRecord *record = block->fileref_list; record != nullptr; record = record->next)
        if (record->option_block == options) attach_options(record, nullptr, false);
}

}  // namespace zef
