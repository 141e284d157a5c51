// yxlasl (slot 31): assign a fileref like an existing one, optionally naming
// one entry of the existing fileref's catalog.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "fileref/name_division.h"
#include "fileref/option_ownership.h"
#include "host/kernel.h"
#include "host/messages.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {

constexpr int32_t kMessageNotCatalog = 48;

struct PhysicalName {
    char text[kPhysicalNameWidth];
    int32_t length;
};

// The source's physical name, followed by '.' and the extension as far as 40
// characters reach.
PhysicalName extended_name(const FilerefRecord &source, const char *extension,
                           int32_t extension_length) {
    PhysicalName name;
    std::memcpy(name.text, source.physical_name, sizeof name.text);
    name.length = source.physical_name_length;
    if (extension == nullptr) return name;
    if (name.length < kPhysicalNameWidth) name.text[name.length++] = '.';
    int32_t room = kPhysicalNameWidth - name.length;
    int32_t n = extension_length < room ? extension_length : room;
    if (n > 0) {
        std::memcpy(name.text + name.length, extension, n);
        name.length += n;
    }
    return name;
}

void copy_names(FilerefRecord *target, const FilerefRecord &source) {
    if (target == &source) return;
    std::memcpy(target->full_name, source.full_name, sizeof target->full_name);
    target->full_name_length = source.full_name_length;
    std::memcpy(target->physical_name, source.physical_name, sizeof target->physical_name);
    target->physical_name_length = source.physical_name_length;
}

}  // namespace

// Assigns fileref8 (made up by the host when all blank) like the existing
// fileref named by existing_name; with an extension, to one entry of the
// existing catalog fileref. Without options of its own the new fileref
// borrows the existing one's option block. A block already on the target is
// released unless the target's flags say it is not owned; the target's
// kNotOwned flag then follows the block it takes. Returns 0; 0x80001004
// (insert: the existing name) when that is not assigned; 0x80000805 (insert:
// message 48) when an extension is given for a fileref that names no
// catalog, the target then being linked with the copied names; the host's
// status when it finds no control block, makes up no name or refuses the
// new name (nothing is then assigned); 0x80000803.
int32_t yxlasl(char *fileref8, void *context, const char *method8, const char *existing_name,
               int32_t existing_name_length, const char *extension, int32_t extension_length,
               void *, OptionBlock *options) {
    if (existing_name_length < 0) existing_name_length = 0;
    FilerefKey source_key = upper_key(existing_name, existing_name_length);
    AccessMethodBlock *block = nullptr;
    int32_t status = find_method_block(method8, context, &block);
    if (status != kOk) return status;
    FilerefRecord *source = find_in_list(block, source_key);
    if (source == nullptr) {
        host::wrmksub1(existing_name, existing_name_length);
        return kFilerefNotAssigned;
    }

    // The new name is divided before anything changes, so that a refused
    // name assigns nothing.
    bool extension_fits = extension == nullptr || source->part_count == 2;
    PhysicalName name = extended_name(*source, extension, extension_length);
    DividedName divided;
    if (extension_fits) {
        status = divide_name(name.text, name.length, &divided);
        if (status != kOk) return status;
    }

    FilerefRecord *target = find_in_list(block, upper_key(fileref8));
    if (target != nullptr) {
        drop_options(block, target, fileref8, context, options);
    } else {
        status = new_fileref_record(block, fileref8, context, &target);
        if (status != kOk) return status;
    }

    copy_names(target, *source);
    if (!extension_fits) return host::fail_with_message(kMessageNotCatalog, kNameUnsuitable);

    std::memcpy(target->physical_name, name.text, sizeof name.text);
    target->physical_name_length = name.length;
    store_division(target, divided);
    target->method_block = block;

    // The target's flags say whether it owns its block, as after assignment:
    // a block of the caller's (kNotOwned) is never released through it, and
    // a borrowed block passes on as the lender's would.
    if (options != nullptr) {
        attach_options(target, options, false);
        note_ownership(target, options);
    } else {
        attach_options(target, source->option_block, target != source);
        if (target != source && source->option_block != nullptr)
            target->flags = (target->flags & ~kNotOwned) | (source->flags & kNotOwned);
    }
    return kOk;
}

}  // namespace zef
