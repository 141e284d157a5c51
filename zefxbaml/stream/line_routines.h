// The line routines: the read and write routines that a stream of entry type
// SOURCE, LOG or OUTPUT gets in its routine table in place of the general
// ones (yxlread, yxlwrit). They have no slot of their own; the host reaches
// them only through the table. Same arguments and statuses as the general
// routines, apart from what each says below.
#pragma once

#include <cstdint>

#include "zefxbaml/method_routines.h"

namespace zef {

// Reads the next line record and hands out its text in place: the leading
// control byte is skipped (kept as data with ATTR), and records of codes
// other than 145 and 186 give only the first half of their bytes as text
// (with ATTR the record's last byte follows the text). P format takes the
// carriage character from the byte after the control byte; F format
// blank-fills to one byte short of lrecl. Returns 0, 0x801 at the end of
// the entry, the ylmread status, 0x80000803 when the stream has no record
// buffer, 0x80001025 for a null stream.
ZEF_HIDDEN int32_t yxlrds(StreamBlock *stream, char **data, int64_t *length, char *carriage);

// Writes one line record of code 145 built in record_buffer: a zero byte,
// for P format the carriage character of `carriage_request` (3 gives "1",
// 2 gives "2", anything else a blank), then the text, for F format blank
// padded. Returns 0; 0x1009 when the text was cut; the ylmwrit status;
// 0x80000803 when the stream has no record buffer; 0x80001025 for a null
// stream.
ZEF_HIDDEN int32_t yxlwrt(StreamBlock *stream, const char *data, int64_t length,
                          int32_t carriage_request);

}  // namespace zef
