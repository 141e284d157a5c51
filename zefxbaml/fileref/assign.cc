// yxlasgn (slot 0): assign a fileref to a physical name.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "fileref/name_division.h"
#include "fileref/option_ownership.h"
#include "host/chains.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {

// The host's assignment switch chooses yxamscp over yxam2am.
int32_t find_assignment_block(const char *method8, void *context, AccessMethodBlock **block) {
    AttributeAnchor *anchor = host::attribute_anchor();
    if (anchor != nullptr && anchor->assignment_switch != 0)
        return find_method_block_scp(method8, context, block);
    return find_method_block(method8, context, block);
}

}  // namespace

// Assigns fileref8 (made up by the host when all blank, in the caller's own
// field) to the physical name, reusing the record of an earlier assignment of
// the name. The record owns `options` afterwards (unless its flags say
// kNotOwned); the earlier block it owned is released. Returns 0, the host's
// status when it finds no control block, makes up no name or refuses to
// divide the name, or 0x80000803 without storage; on any failure nothing is
// assigned and `options` stays the caller's.
int32_t yxlasgn(char *fileref8, void *context, const char *method8, const char *physical_name,
                int32_t physical_name_length, OptionBlock *options) {
    FilerefKey key = upper_key(fileref8);
    AccessMethodBlock *block = nullptr;
    int32_t status = find_assignment_block(method8, context, &block);
    if (status != kOk) return status;
    FilerefRecord *record = find_in_list(block, key);

    // Divided before anything changes, so that a refused name assigns nothing.
    DividedName divided;
    status = divide_name(physical_name, physical_name_length, &divided);
    if (status != kOk) return status;

    if (record != nullptr) {
        drop_options(block, record, fileref8, context, options);
    } else {
        status = new_fileref_record(block, fileref8, context, &record);
        if (status != kOk) return status;
    }

    bool names_catalog = divided.part_count == 2;
    if (names_catalog) {
        if (options != nullptr)
            options->flags |= kNamesCatalog;
        else
            record->flags |= kNamesCatalog;
    }
    store_division(record, divided);

    int32_t kept = physical_name_length < 0 ? 0 : physical_name_length;
    if (kept > kPhysicalNameWidth) kept = kPhysicalNameWidth;
    if (kept > 0) std::memcpy(record->physical_name, physical_name, kept);
    record->physical_name_length = kept;
    record->method_block = block;

    // Without options the record keeps the flags of its earlier assignment.
    attach_options(record, options, false);
    if (options != nullptr) record->flags = options->flags;
    return kOk;
}

}  // namespace zef
