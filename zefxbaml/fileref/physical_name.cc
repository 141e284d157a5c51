// yxlpnam (slot 4): the physical name of a fileref as text.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/messages.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {

constexpr int32_t kMessageNotEntryName = 5;
constexpr int32_t kPhysicalNameBufferSize = 1024;
constexpr char kCatamsType[8] = {'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '};
constexpr char kZefType[8] = {'Z', 'E', 'F', ' ', ' ', ' ', ' ', ' '};
constexpr char kSourceType[8] = {'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '};

int32_t part_length(const NamePart &part) {
    if (part.length < 0) return 0;
    return part.length > int32_t{sizeof part.text} ? int32_t{sizeof part.text} : part.length;
}

}  // namespace

// Writes library.catalog.entry.type, upper-cased, each piece without its
// trailing blanks and ended by a zero byte, into the 1024-byte buffer (blank
// filled behind it). Type ZEF reads SOURCE; a three-part name has type
// CATAMS. Returns 0; 0x80001004 (insert: the upper-cased name) when the
// fileref is not assigned; 0x80000805 (insert: message 5) when the library
// or type is longer than 8 or the catalog is empty, e.g. for a catalog
// fileref; or the host's lookup status. The record is only read.
int32_t yxlpnam(const char *fileref8, char *buffer) {
    FilerefRecord *record = nullptr;
    int32_t status = find_fileref(fileref8, nullptr, &record);
    if (status != kOk) return status;
    if (record->part4.length > 8 || record->part1.length > 8)
        return host::fail_with_message(kMessageNotEntryName, kNameUnsuitable);

    char library[8];
    char type[8];
    char catalog[32];
    char entry[32];
    std::memset(library, ' ', sizeof library);
    std::memset(type, ' ', sizeof type);
    int32_t library_length = part_length(record->part1);
    int32_t catalog_length = part_length(record->part2);
    int32_t entry_length = part_length(record->part3);
    std::memcpy(library, record->part1.text, library_length);
    std::memcpy(catalog, record->part2.text, sizeof catalog);
    std::memcpy(entry, record->part3.text, sizeof entry);
    if (record->part_count == 3)
        std::memcpy(type, kCatamsType, sizeof type);
    else
        std::memcpy(type, record->part4.text, part_length(record->part4));

    wztxxlt(kTranslateUpper, library, library, sizeof library);
    wztxxlt(kTranslateUpper, catalog, catalog, catalog_length);
    wztxxlt(kTranslateUpper, entry, entry, entry_length);
    wztxxlt(kTranslateUpper, type, type, sizeof type);
    if (std::memcmp(type, kZefType, sizeof type) == 0) std::memcpy(type, kSourceType, sizeof type);

    if (catalog_length == 0) return host::fail_with_message(kMessageNotEntryName, kNameUnsuitable);

    int32_t placed = wzstcat(buffer, kPhysicalNameBufferSize, '.', 4, library,
                             wzstrip(library, sizeof library), catalog,
                             wzstrip(catalog, catalog_length), entry, wzstrip(entry, entry_length),
                             type, wzstrip(type, sizeof type));
    buffer[placed] = '\0';
    return kOk;
}

}  // namespace zef
