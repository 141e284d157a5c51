#include "messages.h"

#include <algorithm>
#include <iterator>

namespace zefhost {

namespace {

struct MessageText {
    int32_t number;
    const char *text;
};

// Message set 566: what a person reads when the module refuses a request.
constexpr MessageText kModuleMessages[] = {
    {1, "This entry type cannot be written: only the catalog's known entry types can be "
        "opened for output, append or update."},
    {2, "The fileref does not name a catalog: a directory needs a physical name of exactly "
        "two parts, library.catalog."},
    {4, "The physical name has fewer than three parts: an entry is named "
        "library.catalog.entry or library.catalog.entry.type."},
    {5, "A part of the physical name is too long or the catalog name is empty: the library "
        "and the entry type take at most 8 characters."},
    {25, "The NBYTE variable asks for more bytes than a record of this entry can hold."},
    {48, "Only a fileref that names a whole catalog (library.catalog) can be extended with "
         "an entry name."},
    {73, "The NBYTE variable cannot be bound: the host has no numeric variable of that name."},
    {160, "The fileref was deassigned while an entry or directory is still open on it; it "
          "stays in use until they are closed."},
};

const MessageText *find(int32_t set, int32_t number) {
    if (set != Messages::kModuleSet) return nullptr;
    auto it = std::find_if(std::begin(kModuleMessages), std::end(kModuleMessages),
                           [number](const MessageText &m) { return m.number == number; });
    return it == std::end(kModuleMessages) ? nullptr : it;
}

std::string heading(int32_t set, int32_t number) {
    return std::to_string(set) + "-" + std::to_string(number) + ": ";
}

}  // namespace

std::string Messages::text(int32_t set, int32_t number) const {
    if (const MessageText *m = find(set, number)) return m->text;
    return "message " + std::to_string(set) + "-" + std::to_string(number);
}

bool Messages::knows(int32_t set, int32_t number) const { return find(set, number) != nullptr; }

void Messages::log_message(int32_t set, int32_t number, int64_t value) {
    std::string line = heading(set, number) + text(set, number);
    if (value != 0) line += " Value: " + std::to_string(value);
    log_.push_back(std::move(line));
}

void Messages::log_message_for_fileref(int32_t set, int32_t number, std::string_view fileref) {
    while (!fileref.empty() && (fileref.back() == ' ' || fileref.back() == '\0'))
        fileref.remove_suffix(1);
    log_.push_back(heading(set, number) + text(set, number) + " Fileref: " + std::string(fileref));
}

std::string Messages::insert_text(size_t i) const {
    if (i >= inserts_.size()) return {};
    std::string text = inserts_[i];
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace zefhost
