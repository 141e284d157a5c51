// znamdiv: the host's division of a physical name into its parts.
#include <array>
#include <cstring>
#include <string_view>

#include "host.h"
#include "kernel_routines.h"

namespace zefhost::kernel {

namespace {

constexpr int kMostParts = 4;
constexpr size_t kPartWidth = sizeof(zef::NamePart::text);

void clear(zef::NamePart *part) {
    if (part == nullptr) return;
    part->length = 0;
    std::memset(part->text, ' ', kPartWidth);
}

void fill(zef::NamePart *part, std::string_view text) {
    if (part == nullptr) return;
    clear(part);
    part->length = static_cast<int16_t>(text.size());
    std::memcpy(part->text, text.data(), text.size());
}

std::string_view trim_blanks(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

}  // namespace

// Divides name[0..length) at its periods into at most `max` parts (the last
// part takes the rest of the name, periods included), after dropping the
// blanks around the whole name. Three or four parts fill fields 1 up; one
// part fills field 1; two parts (library, catalog) go to fields 3 and 4.
// Fields that receive no part are length 0 and blank. Returns 0 with *count
// the number of parts; an empty name or a part over 32 characters gives
// kNameRefused with *count 0 and every field empty.
int32_t znamdiv(int32_t, const char *name, int32_t length, int32_t *count, int32_t max,
                zef::NamePart *p1, zef::NamePart *p2, zef::NamePart *p3, zef::NamePart *p4) {
    HostCall call(zef::routine::znamdiv);
    if (call.failure()) return *call.failure();
    std::optional<int64_t> odd = Host::current().odd_answer(zef::routine::znamdiv);

    zef::NamePart *fields[kMostParts] = {p1, p2, p3, p4};
    for (zef::NamePart *field : fields) clear(field);
    if (count != nullptr) *count = 0;

    std::string_view rest;
    if (name != nullptr && length > 0) rest = trim_blanks(std::string_view(name, static_cast<size_t>(length)));
    if (rest.empty()) return zef::kNameRefused;
    const int most = max < 1 ? 1 : (max > kMostParts ? kMostParts : max);

    std::array<std::string_view, kMostParts> parts;
    int found = 0;
    while (found < most - 1) {
        const size_t period = rest.find('.');
        if (period == std::string_view::npos) break;
        parts[found++] = rest.substr(0, period);
        rest.remove_prefix(period + 1);
    }
    parts[found++] = rest;
    for (int i = 0; i < found; ++i)
        if (parts[i].size() > kPartWidth) return zef::kNameRefused;

    const int first_field = found == 2 ? 2 : 0;
    for (int i = 0; i < found; ++i) {
        fill(fields[first_field + i], parts[i]);
        if (odd && fields[first_field + i] != nullptr)
            fields[first_field + i]->length = static_cast<int16_t>(*odd);
    }
    if (count != nullptr) *count = found;
    return 0;
}

}  // namespace zefhost::kernel
