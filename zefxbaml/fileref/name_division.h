// A physical name divided by the host into up to four parts, and the joined
// full name made from them. Assignment divides into a DividedName first and
// only then changes the record, so that a name the host refuses assigns
// nothing.
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"

namespace zef {

struct FilerefRecord;

struct DividedName {
    int32_t part_count;
    NamePart parts[4];
};

// Has the host's znamdiv divide length bytes of name. Returns its status.
int32_t divide_name(const char *name, int32_t length, DividedName *divided);

// Stores the division in the record's part fields and joins all four parts
// (whatever part_count says) with '.' into full_name and full_name_length.
void store_division(FilerefRecord *record, const DividedName &divided);

}  // namespace zef
