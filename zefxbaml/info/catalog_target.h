// The catalog entry (or whole catalog) that a fileref record points to, as
// the existence test and deletion derive it from the record's name parts.
#pragma once

#include <cstdint>

#include "zefxbaml/requests.h"

namespace zef {

struct FilerefRecord;

struct CatalogTarget {
    char library[8];  // blank padded
    int16_t catalog_length;
    char catalog[32];
    int16_t entry_length;
    char entry[32];  // blank padded; all blanks when the target is a catalog
    char type[8];    // blank padded
};

// Library part1, catalog part2, entry part3, type part4 (CATAMS for a
// three-part name), all upper-cased, ZEF standing for SOURCE. Returns 0, or
// 0x80000805 (insert: message 5) when part1 or part4 is longer than 8 or
// the catalog name is empty.
int32_t entry_target(const FilerefRecord *record, CatalogTarget *target);

// The whole catalog of a two-part record (library part3 cut to 8, catalog
// part4), taken as stored: no upper-casing, no entry.
void catalog_target(const FilerefRecord *record, CatalogTarget *target);

// Zeroes the request and asks for the target's catalog in library mode `mode`.
void fill_library_request(const CatalogTarget &target, int32_t mode, void *context,
                          LibraryRequest *request);

}  // namespace zef
