// The record shape of a stream being opened: description, record format,
// encoding, ATTR, entry mode (with MOD), whether the type may be written,
// record length, block length and the effective LRECL. Called by the entry
// open once the catalog is open and by the member open, both before the
// entry itself is opened.
#pragma once

#include <cstdint>

#include "zefxbaml/stream_block.h"

namespace zef {

struct OptionBlock;

// Settles the stream's record shape from, in this order of precedence, the
// options of this open (`open_options`, may be null), the options kept with
// the fileref at assignment (`assign_options` of the stream) and the open
// request (open_flags, record_format and lrecl of the stream on entry), and
// from the entry's size and the host's default record length. The stream
// takes `open_options` on success. Returns 0; 0x80000805 with message 1 as
// insert when a type outside the entry type table is to be written; or the
// negative ylminfo status when an entry that is read or updated cannot be
// described. Nothing is obtained or released here.
int32_t yxlzdfa(StreamBlock *stream, OptionBlock *open_options);

}  // namespace zef
