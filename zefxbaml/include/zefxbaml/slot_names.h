// The method vector's slot table, written once: which routine stands in each
// of the 46 slots and which request it answers. The constructor fills the
// vector from ZEF_METHOD_SLOTS; `zefcat about` and the tests read kSlots.
#pragma once

#include <cstdint>

namespace zef {

inline constexpr int kSlotCount = 46;
inline constexpr int kFilledSlotCount = 38;  // slots 38..45 stay zero
inline constexpr int kNotSupportedSlot = 5;  // holds yxlnsup
inline constexpr int kHostValidSlot = 7;     // holds the host's own wxvalid

// The filled slots in order. MODULE(slot, routine, request) is a routine of
// the module; HOST(slot, routine, request) a routine the host serves itself,
// whose address the constructor copies from the host's transfer vector.
#define ZEF_METHOD_SLOTS(MODULE, HOST)                                        \
    MODULE(0, yxlasgn, "assign a fileref")                                    \
    MODULE(1, yxldasg, "deassign a fileref")                                  \
    MODULE(2, yxlexl, "does a fileref exist")                                 \
    MODULE(3, yxlexp, "does a physical file exist")                           \
    MODULE(4, yxlpnam, "physical name of a fileref")                          \
    MODULE(5, yxlnsup, "not supported")                                       \
    MODULE(6, yxlnxt, "next fileref of the method")                           \
    HOST(7, wxvalid, "served by the host itself")                             \
    MODULE(8, yxlinfo, "file information")                                    \
    MODULE(9, yxlins, "start the information items of an open entry")         \
    MODULE(10, yxlinf, "end the information items of an open entry")         \
    MODULE(11, yxlopn, "open an entry")                                       \
    MODULE(12, yxlnote, "note a position")                                    \
    MODULE(13, yxlpnt, "point to a noted position")                           \
    MODULE(14, yxlnsup, "not supported")                                      \
    MODULE(15, yxlnsup, "not supported")                                      \
    MODULE(16, yxlnsup, "not supported")                                      \
    MODULE(17, yxlnsup, "not supported")                                      \
    MODULE(18, yxlread, "read a record")                                      \
    MODULE(19, yxlwrit, "write a record")                                     \
    MODULE(20, yxlflsh, "flush")                                              \
    MODULE(21, yxlcls, "close an entry")                                      \
    MODULE(22, yxldcls, "close a directory")                                  \
    MODULE(23, yxldins, "start the information items of a directory")        \
    MODULE(24, yxldinf, "end the information items of a directory")          \
    MODULE(25, yxldnxt, "next directory member")                              \
    MODULE(26, yxldopn, "open a catalog as a directory")                      \
    MODULE(27, yxlmcls, "close a member")                                     \
    MODULE(28, yxlmex, "does a member exist")                                 \
    MODULE(29, yxlmopn, "open a member")                                      \
    MODULE(30, yxlpars, "parse one option")                                   \
    MODULE(31, yxlasl, "assign a fileref like another")                       \
    MODULE(32, yxldel, "delete")                                              \
    MODULE(33, yxlhh2p, "copy an option block into a new image")             \
    MODULE(34, yxlhp2h, "make an option block from an image")                \
    MODULE(35, yxlamvc, "per-stream routine table")                           \
    MODULE(36, yxlhbfr, "release an option block")                            \
    MODULE(37, yxlnsup, "not supported")

enum class SlotServer : uint8_t {
    kModule,  // a routine of the module
    kHost,    // the host's own routine
    kNone,    // left empty
};

struct SlotName {
    int slot;
    const char *routine;  // "" for an empty slot
    const char *request;
    SlotServer server;
};

#define ZEF_SLOT_NAME_MODULE(slot, routine, request) \
    SlotName{slot, #routine, request, SlotServer::kModule},
#define ZEF_SLOT_NAME_HOST(slot, routine, request) \
    SlotName{slot, #routine, request, SlotServer::kHost},

inline constexpr SlotName kSlots[kSlotCount] = {
    ZEF_METHOD_SLOTS(ZEF_SLOT_NAME_MODULE, ZEF_SLOT_NAME_HOST)
    SlotName{38, "", "left empty", SlotServer::kNone},
    SlotName{39, "", "left empty", SlotServer::kNone},
    SlotName{40, "", "left empty", SlotServer::kNone},
    SlotName{41, "", "left empty", SlotServer::kNone},
    SlotName{42, "", "left empty", SlotServer::kNone},
    SlotName{43, "", "left empty", SlotServer::kNone},
    SlotName{44, "", "left empty", SlotServer::kNone},
    SlotName{45, "", "left empty", SlotServer::kNone},
};

#undef ZEF_SLOT_NAME_MODULE
#undef ZEF_SLOT_NAME_HOST

constexpr bool slots_in_order() {
    for (int i = 0; i < kSlotCount; ++i)
        if (kSlots[i].slot != i) return false;
    for (int i = 0; i < kSlotCount; ++i)
        if ((kSlots[i].server == SlotServer::kNone) != (i >= kFilledSlotCount)) return false;
    return true;
}
static_assert(slots_in_order(), "the slot table lists every slot once, in order");
static_assert(kSlots[kHostValidSlot].server == SlotServer::kHost);

}  // namespace zef
