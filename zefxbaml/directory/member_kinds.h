// The member kind table: which entry type a member opened without a dot in
// its name gets from the 8-character kind the host gives with it. A row
// matches when the kind begins with the row's key (raw bytes, before any case
// translation); rows are tried in order, so QAV10 comes before QAV1, and a
// kind that no row matches gives CATAMS.
#pragma once

#include <cstdint>

namespace zef {

struct MemberKind {
    const char *key;
    int32_t key_length;
    char entry_type[8];  // blank padded
};

// The rows in the order they are tried.
extern const MemberKind kMemberKinds[];
extern const int32_t kMemberKindCount;

// The 8-character blank-padded entry type for a member kind.
const char *entry_type_for_kind(const char *kind8);

}  // namespace zef
