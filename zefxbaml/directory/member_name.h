// A member name as member open and member existence read it: the entry name
// before the first dot, and the entry type after it (or the type the caller
// gives when the name has no dot), both upper-cased, with ZEF standing for
// SOURCE.
#pragma once

#include <cstdint>

namespace zef {

struct MemberEntry {
    int16_t name_length;
    char name[32];  // the first name_length bytes are the entry name
    char type[8];   // blank padded
};

// Splits member_name (length bytes) at its first dot; type8 is the type for
// a name without one. Returns 0 with *entry filled, or 0x80000805 (insert:
// message 5) when the entry name would be longer than 32 characters or the
// length is negative: such a name is refused, never cut to another entry's.
int32_t split_member_name(const char *member_name, int32_t length, const char *type8,
                          MemberEntry *entry);

}  // namespace zef
