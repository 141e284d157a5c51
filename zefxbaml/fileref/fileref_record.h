// The module's bookkeeping of fileref records (their layout, which a host
// reads: zefxbaml/fileref_record.h): one per assigned fileref, hung on the
// fileref list of the access-method control block (newest first). Obtained
// zero-filled from the storage pool by assignment; released by deassignment,
// or by the last close of whatever was still open on it when it was
// deassigned.
#pragma once

#include <cstdint>

#include "zefxbaml/control_block.h"
#include "zefxbaml/fileref_record.h"

namespace zef {

// Module bookkeeping in FilerefRecord::state (not the host-visible flags).
inline constexpr uint32_t kBorrowsOptionBlock = 0x1;  // option_block belongs to another record
inline constexpr uint32_t kDeassigned = 0x2;          // out of the list, waiting for its last close

// A fresh record named fileref8 at the head of the block's list. An all-blank
// name is first replaced, in the caller's own field, by a unique name that the
// host makes up (yxaunql). Returns 0 with *record set; 0x80000803 when no
// storage comes; the host's status when it makes up no name (nothing is then
// obtained or linked).
int32_t new_fileref_record(AccessMethodBlock *block, char *fileref8, void *context,
                           FilerefRecord **record);

// Counts one more stream, member or directory handle open on the record.
void fileref_opened(FilerefRecord *record);

// Every close of a stream, member or directory handle calls this in place of
// lowering open_count itself. Once nothing is open on a record that was
// deassigned meanwhile (and so is out of the list), the record is released:
// the caller must not touch it afterwards.
void fileref_closed(FilerefRecord *record);

}  // namespace zef
