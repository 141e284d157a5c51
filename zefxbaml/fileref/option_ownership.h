// Who releases an option block that fileref records carry. A record owns the
// block it was assigned with, unless the block's flags said kNotOwned; a
// record assigned like another without options of its own borrows the other
// record's block (kBorrowsOptionBlock). Whatever happens first, no record in
// the list is left pointing at a released block.
#pragma once

#include <cstdint>

#include "zefxbaml/control_block.h"

namespace zef {

struct FilerefRecord;
struct OptionBlock;

// What a record does with its option block before it takes another or goes
// away. A record whose flags carry kNotOwned keeps its pointer and releases
// nothing: the caller that made the block releases it. A block equal to
// `keep` (the one the record is about to take again) stays. A borrowed block
// is only forgotten. A block that other records of the list borrow passes to
// the first of them, which owns it from then on. Otherwise the block is
// released through yxlhbfr, which cannot fail.
void drop_options(AccessMethodBlock *block, FilerefRecord *record, const char *fileref8,
                     void *context, const OptionBlock *keep);

// Records in the record's flags whether it owns `options` (the block's own
// kNotOwned bit), so that exactly one party releases the block.
void note_ownership(FilerefRecord *record, const OptionBlock *options);

// Attaches `options` to the record; `borrowed` says another record owns it.
// The block the record already holds stays as it is held.
void attach_options(FilerefRecord *record, OptionBlock *options, bool borrowed);

// Clears every pointer that a record of the block's list holds to `options`,
// which is being released.
void forget_options(AccessMethodBlock *block, const OptionBlock *options);

}  // namespace zef
