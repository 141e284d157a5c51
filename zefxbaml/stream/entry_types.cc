#include "stream/entry_types.h"

#include <cstring>

#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

constexpr EntryType kEntryTypes[] = {
    {{'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '}, kCodeLine, true},
    {{'L', 'O', 'G', ' ', ' ', ' ', ' ', ' '}, kCodeLine, true},
    {{'O', 'U', 'T', 'P', 'U', 'T', ' ', ' '}, kCodeLine, true},
    {{'H', 'T', 'M', 'L', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'G', 'I', 'F', ' ', ' ', ' ', ' ', ' '}, kCodeBinary, false},
    {{'J', 'P', 'E', 'G', ' ', ' ', ' ', ' '}, kCodeBinary, false},
    {{'P', 'N', 'G', ' ', ' ', ' ', ' ', ' '}, kCodeBinary, false},
    {{'C', 'S', 'S', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'W', 'M', 'L', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'X', 'M', 'L', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', 'P', 'R', 'O', 'J', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', 'D', 'A', 'T', 'A', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', 'E', 'V', 'E', 'N', 'T'}, kCodeText, false},
    // The one member of its family whose records are lines.
    {{'Q', 'A', 'V', 'D', 'I', 'A', 'G', ' '}, kCodeLine, false},
    {{'Q', 'A', 'V', 'S', 'P', 'E', 'C', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', 'L', 'I', 'S', 'T', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', 'S', 'C', 'O', 'R', 'E'}, kCodeText, false},
    {{'Q', 'A', 'V', '1', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '2', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '3', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '4', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '5', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '6', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '7', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '8', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '9', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'Q', 'A', 'V', '1', '0', ' ', ' ', ' '}, kCodeText, false},
    {{'X', 'S', 'L', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'R', 'T', 'F', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'P', 'D', 'F', ' ', ' ', ' ', ' ', ' '}, kCodeBinary, false},
    {{'P', 'S', ' ', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'C', 'S', 'V', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'J', 'S', ' ', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'V', 'B', 'S', ' ', ' ', ' ', ' ', ' '}, kCodeText, false},
    {{'J', 'A', 'R', ' ', ' ', ' ', ' ', ' '}, kCodeBinary, false},
    // An empty CATAMS record goes out as code 270 (the write routine's rule).
    {{'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '}, kCodeLine, false},
};
static_assert(sizeof(kEntryTypes) / sizeof(kEntryTypes[0]) == 36);

}  // namespace

const EntryType *find_entry_type(const char *type8) {
    for (const EntryType &type : kEntryTypes)
        if (std::memcmp(type.name, type8, 8) == 0) return &type;
    return nullptr;
}

uint16_t record_code_for_type(const char *type8) {
    const EntryType *type = find_entry_type(type8);
    return type ? type->record_code : kCodeLine;
}

bool is_line_type(const char *type8) {
    const EntryType *type = find_entry_type(type8);
    return type != nullptr && type->line_type;
}

}  // namespace zef
