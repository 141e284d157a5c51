#include "fileref/name_division.h"

#include "fileref/fileref_record.h"
#include "host/kernel.h"
#include "zefxbaml/blank_padded.h"

namespace zef {

int32_t divide_name(const char *name, int32_t length, DividedName *divided) {
    *divided = DividedName{};
    int32_t status = host::znamdiv(name, length, &divided->part_count, &divided->parts[0],
                                   &divided->parts[1], &divided->parts[2], &divided->parts[3]);
    // Every later use takes a part's length as its count of text bytes: one
    // the host gives below 0 is an empty part, one above its 32 bytes the
    // whole field.
    for (NamePart &part : divided->parts)
        part.length = part.length < 0 ? int16_t{0}
                      : part.length > static_cast<int16_t>(sizeof part.text) ? static_cast<int16_t>(sizeof part.text)
                                                                             : part.length;
    return status;
}

void store_division(FilerefRecord *record, const DividedName &divided) {
    record->part_count = divided.part_count;
    record->part1 = divided.parts[0];
    record->part2 = divided.parts[1];
    record->part3 = divided.parts[2];
    record->part4 = divided.parts[3];
    record->full_name_length =
        wzstcat(record->full_name, kFullNameWidth, '.', 4, record->part1.text,
                int32_t{record->part1.length}, record->part2.text, int32_t{record->part2.length},
                record->part3.text, int32_t{record->part3.length}, record->part4.text,
                int32_t{record->part4.length});
}

}  // namespace zef
