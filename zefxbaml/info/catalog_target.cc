#include "info/catalog_target.h"

#include <cstring>

#include "fileref/fileref_record.h"
#include "host/messages.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {

constexpr int32_t kMessageNamePartTooLong = 5;
constexpr char kCatams[8] = {'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '};
constexpr char kZef[8] = {'Z', 'E', 'F', ' ', ' ', ' ', ' ', ' '};
constexpr char kSource[8] = {'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '};

// Blanks overlaid with the first `length` bytes of the part (at most 8).
void put_short_name(const NamePart &part, char *field8) {
    std::memset(field8, ' ', 8);
    int32_t length = part.length < 8 ? part.length : 8;
    if (length > 0) std::memcpy(field8, part.text, length);
}

int32_t invalid_target() {
    return host::fail_with_message(kMessageNamePartTooLong, kNameUnsuitable);
}

}  // namespace

int32_t entry_target(const FilerefRecord *record, CatalogTarget *target) {
    if (record->part4.length > 8 || record->part1.length > 8) return invalid_target();
    put_short_name(record->part1, target->library);
    target->catalog_length = record->part2.length;
    std::memcpy(target->catalog, record->part2.text, sizeof target->catalog);
    target->entry_length = record->part3.length;
    std::memcpy(target->entry, record->part3.text, sizeof target->entry);
    if (record->part_count == 3)
        std::memcpy(target->type, kCatams, sizeof kCatams);
    else
        put_short_name(record->part4, target->type);

    wztxxlt(kTranslateUpper, target->library, target->library, sizeof target->library);
    wztxxlt(kTranslateUpper, target->catalog, target->catalog, target->catalog_length);
    wztxxlt(kTranslateUpper, target->entry, target->entry, target->entry_length);
    wztxxlt(kTranslateUpper, target->type, target->type, sizeof target->type);
    if (std::memcmp(target->type, kZef, sizeof kZef) == 0)
        std::memcpy(target->type, kSource, sizeof kSource);

    if (target->catalog_length == 0) return invalid_target();
    return kOk;
}

void catalog_target(const FilerefRecord *record, CatalogTarget *target) {
    put_short_name(record->part3, target->library);
    target->catalog_length = record->part4.length;
    std::memcpy(target->catalog, record->part4.text, sizeof target->catalog);
    target->entry_length = 0;
    std::memset(target->entry, ' ', sizeof target->entry);
    std::memset(target->type, ' ', sizeof target->type);
}

void fill_library_request(const CatalogTarget &target, int32_t mode, void *context,
                          LibraryRequest *request) {
    std::memset(request, 0, sizeof *request);
    std::memcpy(request->libref, target.library, sizeof request->libref);
    request->catalog_name_length = target.catalog_length;
    std::memcpy(request->catalog_name, target.catalog, sizeof request->catalog_name);
    request->library_mode = mode;
    request->host_context = context;
}

}  // namespace zef
