// The routine table of one open stream: the stream and the routines through
// which the host may read, write, note and point it directly instead of
// going through the method vector. Made by yxlamvc (slot 35) from host
// storage (option 4); each stays valid until its stream is closed, however
// many tables are made for the stream meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/method_routines.h"

namespace zef {

inline constexpr int64_t kRoutineTableSize = 152;

struct RoutineTable {
    StreamBlock *stream;
    fn::yxlread read;    // yxlrds for SOURCE, LOG and OUTPUT, else slot 18
    fn::yxlwrit write;   // yxlwrt for SOURCE, LOG and OUTPUT, else slot 19
    fn::yxlnote note;    // slot 12
    fn::yxlpnt point;    // slot 13
    void *slot15;        // the routine of slot 15, as the vector holds it
    void *slot17;        // the routine of slot 17, as the vector holds it
    uint8_t host_56[96];  // never written by the module
};
static_assert(sizeof(RoutineTable) == kRoutineTableSize);
static_assert(offsetof(RoutineTable, stream) == 0);
static_assert(offsetof(RoutineTable, read) == 8);
static_assert(offsetof(RoutineTable, write) == 16);
static_assert(offsetof(RoutineTable, note) == 24);
static_assert(offsetof(RoutineTable, point) == 32);
static_assert(offsetof(RoutineTable, slot15) == 40);
static_assert(offsetof(RoutineTable, slot17) == 48);
static_assert(offsetof(RoutineTable, host_56) == 56);

}  // namespace zef
