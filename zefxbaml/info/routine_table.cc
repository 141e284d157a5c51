// yxlamvc (slot 35): the routine table of an open stream.
#include "zefxbaml/routine_table.h"

#include <cstddef>

#include "host/chains.h"
#include "info/routine_table_release.h"
#include "stream/entry_types.h"
#include "stream/line_routines.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

constexpr int kNoteSlot = 12;
constexpr int kPointSlot = 13;
constexpr int kSlot15 = 15;
constexpr int kSlot17 = 17;
constexpr int kReadSlot = 18;
constexpr int kWriteSlot = 19;

template <typename Fn>
Fn routine_of(const MethodSlot *vector, int slot) {
    return reinterpret_cast<Fn>(vector[slot].routine);
}

// What is obtained for each table: the 152 bytes the host sees, then the
// table made before it for the same stream, so that close releases them all.
struct KeptTable {
    RoutineTable table;
    RoutineTable *earlier;
};
static_assert(offsetof(KeptTable, table) == 0);
static_assert(offsetof(KeptTable, earlier) == kRoutineTableSize);

KeptTable *kept(RoutineTable *table) { return reinterpret_cast<KeptTable *>(table); }

}  // namespace

// Makes the stream's routine table: the line routines for entry types
// SOURCE, LOG and OUTPUT exactly, the routines of slots 18 and 19 otherwise,
// and the note, point and slot 15 and 17 routines, all read from the
// stream's method vector now. The stream owns the table (its close releases
// it); a table the stream had from an earlier call stays usable until then,
// since the host may still hold it. Returns 0
// with *table_out set; 0x80000803 when no storage comes (the stream keeps
// its table, *table_out untouched); 0x80001025 for a null stream.
int32_t yxlamvc(StreamBlock *stream, RoutineTable **table_out) {
    if (stream == nullptr) return kNullHandle;
    auto *slot = static_cast<KeptTable *>(host::obtain(sizeof(KeptTable), kBufferStorage));
    if (slot == nullptr) return kNoStorage;
    RoutineTable *table = &slot->table;

    const MethodSlot *vector = stream->method_block->vector;
    bool lines = is_line_type(stream->entry_type);
    table->stream = stream;
    table->read = lines ? &yxlrds : routine_of<fn::yxlread>(vector, kReadSlot);
    table->write = lines ? &yxlwrt : routine_of<fn::yxlwrit>(vector, kWriteSlot);
    table->note = routine_of<fn::yxlnote>(vector, kNoteSlot);
    table->point = routine_of<fn::yxlpnt>(vector, kPointSlot);
    table->slot15 = vector[kSlot15].routine;
    table->slot17 = vector[kSlot17].routine;

    slot->earlier = stream->routine_table;
    stream->routine_table = table;
    *table_out = table;
    return kOk;
}

void release_routine_tables(StreamBlock *stream) {
    RoutineTable *table = stream->routine_table;
    stream->routine_table = nullptr;
    while (table != nullptr) {
        RoutineTable *earlier = kept(table)->earlier;
        host::release(table);
        table = earlier;
    }
}

}  // namespace zef
