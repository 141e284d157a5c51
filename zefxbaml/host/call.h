// How a host routine is reached: clear the mark byte of its vector, then load
// the routine's address from the transfer-vector table. Used only by the
// host call layer.
#pragma once

#include "zefxbaml/abi.h"
#include "zefxbaml/exports.h"

namespace host {

template <typename Fn>
inline Fn routine_at(zef::RoutineAddress at) {
    auto *gcb = static_cast<zef::GlobalControlBlock *>(v_global_gcb_anchor);
    gcb->mark_bytes[at.vector] = 0;
    return reinterpret_cast<Fn>(gcb->transfer_table[at.vector][at.slot]);
}

}  // namespace host
