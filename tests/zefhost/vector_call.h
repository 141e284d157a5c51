// Calls a host routine the way the module does: clear the mark byte of its
// vector, then take table[v][s] from the control block's transfer table.
#pragma once

#include <cstddef>
#include <cstring>

#include "zefhost/host.h"
#include "zefxbaml/abi.h"

namespace zefhost::testing {

template <typename Fn>
Fn through_vector(Host &host, zef::RoutineAddress at) {
    zef::GlobalControlBlock *gcb = host.gcb();
    gcb->mark_bytes[at.vector] = 0;
    return reinterpret_cast<Fn>(gcb->transfer_table[at.vector][at.slot]);
}

// Reads a word of the type T at a byte offset of a record, as the module does.
template <typename T>
T word_at(const void *record, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char *>(record) + offset, sizeof value);
    return value;
}

}  // namespace zefhost::testing
