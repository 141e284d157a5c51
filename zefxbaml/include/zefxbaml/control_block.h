// The access-method control block and its method vector: what the constructor
// hands the host, and what every routine finds again through the host's
// yxam2am("ZEFXBAML"). The host reads both by layout; the spans marked host
// belong to it and the module never writes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/slot_names.h"

namespace zef {

struct FilerefRecord;

// One 16-byte slot of the method vector.
struct MethodSlot {
    uint64_t flags;  // always 0
    void *routine;   // what the host calls for the slot's request; null when empty
};
static_assert(sizeof(MethodSlot) == 16);
static_assert(offsetof(MethodSlot, flags) == 0);
static_assert(offsetof(MethodSlot, routine) == 8);

inline constexpr int64_t kVectorBytes = kSlotCount * int64_t{sizeof(MethodSlot)};
static_assert(kVectorBytes == 736);

inline constexpr char kEyecatcher[4] = {'A', 'M', 'E', 'C'};
inline constexpr char kMethodName[8] = {'Z', 'E', 'F', 'X', 'B', 'A', 'M', 'L'};

// One per constructor call, from the host's storage pool (zero-filled).
struct AccessMethodBlock {
    uint8_t host_0[16];
    char eyecatcher[4];   // "AMEC"
    uint8_t host_20[12];
    char method_name[8];  // "ZEFXBAML"
    MethodSlot *vector;   // kSlotCount slots
    uint8_t host_48[16];
    FilerefRecord *fileref_list;  // newest first; null when the block is made
};
static_assert(sizeof(AccessMethodBlock) == 72);
static_assert(offsetof(AccessMethodBlock, host_0) == 0);
static_assert(offsetof(AccessMethodBlock, eyecatcher) == 16);
static_assert(offsetof(AccessMethodBlock, host_20) == 20);
static_assert(offsetof(AccessMethodBlock, method_name) == 32);
static_assert(offsetof(AccessMethodBlock, vector) == 40);
static_assert(offsetof(AccessMethodBlock, host_48) == 48);
static_assert(offsetof(AccessMethodBlock, fileref_list) == 64);

// The constructor as the component node names it: the block out-parameter
// and the status out-parameter.
using Constructor = void (*)(AccessMethodBlock **block, int32_t *status);

}  // namespace zef
