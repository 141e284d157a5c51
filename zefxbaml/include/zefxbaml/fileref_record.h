// The fileref record as a host sees it: the records of the control block's
// fileref list (zefxbaml/control_block.h), which a host reads by layout, and
// the cursor that yxlnxt hands out and takes back. yxlnxt and yxlinfo answer
// names that point into a record's full_name. A host reads these records and
// never writes them; only the module makes, links and releases them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/abi.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/requests.h"

namespace zef {

struct OptionBlock;

inline constexpr int32_t kFullNameWidth = 90;
inline constexpr int32_t kPhysicalNameWidth = 40;
inline constexpr int32_t kMaxNameParts = 4;

struct FilerefRecord {
    FilerefRecord *next;
    char fileref[8];  // as the host gave it (or made it up), blank padded
    AccessMethodBlock *method_block;
    // Name division: with 3 or 4 parts library, catalog, entry, type from
    // part1 on; with 2 parts library and catalog stand in part3 and part4.
    int32_t part_count;
    NamePart part1;  // part1.length is the library's length, and so on
    NamePart part2;
    NamePart part3;
    NamePart part4;
    char full_name[kFullNameWidth];  // the parts joined with '.', blank padded
    int32_t full_name_length;
    char physical_name[kPhysicalNameWidth];  // the name as given, cut to 40
    int32_t physical_name_length;
    OptionBlock *option_block;
    int32_t open_count;  // open streams, members and directory handles on it
    LibraryRequest library_request;  // work area of deletion; open keeps its library mode here
    MemberRequest member_request_area;
    TransferRequest transfer_request_area;
    EntryRequest entry_request;  // work area of deletion
    uint32_t flags;  // kNotOwned, kNamesCatalog (option_block.h)
    uint32_t state;  // the module's own bookkeeping (fileref/fileref_record.h)
};
static_assert(offsetof(FilerefRecord, next) == 0);
static_assert(offsetof(FilerefRecord, fileref) == 8);
static_assert(offsetof(FilerefRecord, method_block) == 16);
static_assert(offsetof(FilerefRecord, part_count) == 24);
static_assert(offsetof(FilerefRecord, part1) == 28);
static_assert(offsetof(FilerefRecord, part2) == 62);
static_assert(offsetof(FilerefRecord, part3) == 96);
static_assert(offsetof(FilerefRecord, part4) == 130);
static_assert(offsetof(FilerefRecord, full_name) == 164);
static_assert(offsetof(FilerefRecord, full_name_length) == 256);
static_assert(offsetof(FilerefRecord, physical_name) == 260);
static_assert(offsetof(FilerefRecord, physical_name_length) == 300);
static_assert(offsetof(FilerefRecord, option_block) == 304);
static_assert(offsetof(FilerefRecord, open_count) == 312);
static_assert(offsetof(FilerefRecord, library_request) == 320);
static_assert(offsetof(FilerefRecord, member_request_area) == 688);
static_assert(offsetof(FilerefRecord, transfer_request_area) == 1104);
static_assert(offsetof(FilerefRecord, entry_request) == 1144);
static_assert(offsetof(FilerefRecord, flags) == 1208);
static_assert(offsetof(FilerefRecord, state) == 1212);
static_assert(sizeof(FilerefRecord) == 1216);

}  // namespace zef
