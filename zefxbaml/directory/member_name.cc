#include "directory/member_name.h"

#include <cstring>

#include "host/messages.h"
#include "stream/open_steps.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {
constexpr int32_t kMessageNamePartTooLong = 5;
constexpr int32_t kEntryNameWidth = 32;
}  // namespace

int32_t split_member_name(const char *member_name, int32_t length, const char *type8,
                          MemberEntry *entry) {
    if (length < 0) return host::fail_with_message(kMessageNamePartTooLong, kNameUnsuitable);
    const char *dot = length > 0 ? static_cast<const char *>(std::memchr(member_name, '.', length))
                                 : nullptr;
    int32_t name_length = dot != nullptr ? static_cast<int32_t>(dot - member_name) : length;
    if (name_length > kEntryNameWidth)
        return host::fail_with_message(kMessageNamePartTooLong, kNameUnsuitable);

    std::memset(entry->name, ' ', sizeof entry->name);
    if (name_length > 0) std::memcpy(entry->name, member_name, name_length);
    entry->name_length = static_cast<int16_t>(name_length);
    if (dot != nullptr)
        vzmp(dot + 1, length - name_length - 1, entry->type, sizeof entry->type);
    else
        std::memcpy(entry->type, type8, sizeof entry->type);

    wztxxlt(kTranslateUpper, entry->name, entry->name, name_length);
    normalise_entry_type(entry->type);
    return kOk;
}

}  // namespace zef
