// The stand-in host: one object that owns a global control block, its
// transfer vectors and mark bytes, and every host-side record the chains of
// the control block lead to. Host routines are plain C functions reached
// through the vectors; they find their host through Host::current(), the one
// host that is live in the process.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "catalog/services.h"
#include "host/abi.h"

namespace zefhost {

class Host {
public:
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // The live host; there is at most one at a time.
    static Host &current();
    static bool exists();

    zef::GlobalControlBlock *gcb() { return &gcb_; }

    // Puts a routine into slot s of vector v (the vector must be one of kVectorSizes).
    void set_routine(zef::RoutineAddress at, void *routine);
    void *routine(zef::RoutineAddress at) const;

    // Mark bytes: a call through the vector clears byte v; the routine checks
    // it on entry and sets it on return. Calls that arrived without a cleared
    // mark byte are counted here.
    uint8_t mark_byte(int vector) const { return marks_[vector]; }
    int unmarked_calls() const { return unmarked_calls_; }
    void note_unmarked_call() { ++unmarked_calls_; }

private:
    zef::GlobalControlBlock gcb_{};
    std::vector<std::vector<void *>> vectors_;
    std::vector<void **> table_;
    uint8_t marks_[zef::kMarkByteCount]{};
    int unmarked_calls_ = 0;
};

// Placed first in every host routine: checks that the caller cleared mark
// byte v and sets it again when the routine returns.
class MarkGuard {
public:
    explicit MarkGuard(int vector);
    ~MarkGuard();
    MarkGuard(const MarkGuard &) = delete;
    MarkGuard &operator=(const MarkGuard &) = delete;

private:
    int vector_;
};

}  // namespace zefhost
