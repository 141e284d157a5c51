#include "directory/member_kinds.h"

#include <cstring>

namespace zef {

namespace {
constexpr char kCatams[8] = {'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '};
}

// Prefix keys: LOGFILE gives LOG and JSON gives JS; QAV10 must precede QAV1.
const MemberKind kMemberKinds[] = {
    {"LOG", 3, {'L', 'O', 'G', ' ', ' ', ' ', ' ', ' '}},
    {"LISTING", 7, {'O', 'U', 'T', 'P', 'U', 'T', ' ', ' '}},
    {"SOURCE", 6, {'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '}},
    {"ZEF", 3, {'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '}},
    {"HTML", 4, {'H', 'T', 'M', 'L', ' ', ' ', ' ', ' '}},
    {"GIF", 3, {'G', 'I', 'F', ' ', ' ', ' ', ' ', ' '}},
    {"JPEG", 4, {'J', 'P', 'E', 'G', ' ', ' ', ' ', ' '}},
    {"PNG", 3, {'P', 'N', 'G', ' ', ' ', ' ', ' ', ' '}},
    {"CSS", 3, {'C', 'S', 'S', ' ', ' ', ' ', ' ', ' '}},
    {"WML", 3, {'W', 'M', 'L', ' ', ' ', ' ', ' ', ' '}},
    {"XML", 3, {'X', 'M', 'L', ' ', ' ', ' ', ' ', ' '}},
    {"QAVPROJ", 7, {'Q', 'A', 'V', 'P', 'R', 'O', 'J', ' '}},
    {"QAVDATA", 7, {'Q', 'A', 'V', 'D', 'A', 'T', 'A', ' '}},
    {"QAVEVENT", 8, {'Q', 'A', 'V', 'E', 'V', 'E', 'N', 'T'}},
    {"QAVDIAG", 7, {'Q', 'A', 'V', 'D', 'I', 'A', 'G', ' '}},
    {"QAVSPEC", 7, {'Q', 'A', 'V', 'S', 'P', 'E', 'C', ' '}},
    {"QAVLIST", 7, {'Q', 'A', 'V', 'L', 'I', 'S', 'T', ' '}},
    {"QAVSCORE", 8, {'Q', 'A', 'V', 'S', 'C', 'O', 'R', 'E'}},
    {"QAV10", 5, {'Q', 'A', 'V', '1', '0', ' ', ' ', ' '}},
    {"QAV1", 4, {'Q', 'A', 'V', '1', ' ', ' ', ' ', ' '}},
    {"QAV2", 4, {'Q', 'A', 'V', '2', ' ', ' ', ' ', ' '}},
    {"QAV3", 4, {'Q', 'A', 'V', '3', ' ', ' ', ' ', ' '}},
    {"QAV4", 4, {'Q', 'A', 'V', '4', ' ', ' ', ' ', ' '}},
    {"QAV5", 4, {'Q', 'A', 'V', '5', ' ', ' ', ' ', ' '}},
    {"QAV6", 4, {'Q', 'A', 'V', '6', ' ', ' ', ' ', ' '}},
    {"QAV7", 4, {'Q', 'A', 'V', '7', ' ', ' ', ' ', ' '}},
    {"QAV8", 4, {'Q', 'A', 'V', '8', ' ', ' ', ' ', ' '}},
    {"QAV9", 4, {'Q', 'A', 'V', '9', ' ', ' ', ' ', ' '}},
    {"XSL", 3, {'X', 'S', 'L', ' ', ' ', ' ', ' ', ' '}},
    {"RTF", 3, {'R', 'T', 'F', ' ', ' ', ' ', ' ', ' '}},
    {"PDF", 3, {'P', 'D', 'F', ' ', ' ', ' ', ' ', ' '}},
    {"PS", 2, {'P', 'S', ' ', ' ', ' ', ' ', ' ', ' '}},
    {"CSV", 3, {'C', 'S', 'V', ' ', ' ', ' ', ' ', ' '}},
    {"JS", 2, {'J', 'S', ' ', ' ', ' ', ' ', ' ', ' '}},
    {"VBS", 3, {'V', 'B', 'S', ' ', ' ', ' ', ' ', ' '}},
    {"JAR", 3, {'J', 'A', 'R', ' ', ' ', ' ', ' ', ' '}},
};
const int32_t kMemberKindCount = sizeof kMemberKinds / sizeof kMemberKinds[0];
static_assert(sizeof kMemberKinds / sizeof kMemberKinds[0] == 36);

const char *entry_type_for_kind(const char *kind8) {
    for (const MemberKind &row : kMemberKinds)
        if (std::memcmp(kind8, row.key, row.key_length) == 0) return row.entry_type;
    return kCatams;
}

}  // namespace zef
