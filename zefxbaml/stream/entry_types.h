// The entry types a stream may write, and what each decides: the record code
// the general write routine sends, whether the line routines serve it, and
// whether its LRECL is one shorter unless ATTR is in force. Reading is
// allowed for any type; a type outside the table may not be written.
#pragma once

#include <cstdint>

namespace zef {

struct EntryType {
    char name[8];          // blank padded, upper case
    uint16_t record_code;  // sent with each record by the general write routine
    bool line_type;        // SOURCE, LOG, OUTPUT: line routines and a shorter LRECL
};

// The table entry of an 8-character upper-cased type, or null when the type
// may not be written.
const EntryType *find_entry_type(const char *type8);

// The record code the general write routine sends for a type: the table's,
// or the line code for a type outside the table.
uint16_t record_code_for_type(const char *type8);

// True for SOURCE, LOG and OUTPUT exactly (8-byte comparison).
bool is_line_type(const char *type8);

}  // namespace zef
