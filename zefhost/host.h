// The stand-in host: one object that owns a global control block, its
// transfer vectors and mark bytes, and every host-side record the chains of
// the control block lead to. Host routines are plain C functions reached
// through the vectors; they find their host through Host::current(), the one
// host that is live in the process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
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

    // Fault injection: the nth call of routine `at` from now (1 = the next)
    // answers `status` instead of doing its work; every_call keeps answering
    // it until clear_failures(). Only routines that return a status honour it.
    void fail_call(zef::RoutineAddress at, int32_t status, int nth = 1);
    void fail_every_call(zef::RoutineAddress at, int32_t status);
    void clear_failures();
    // Counts the call of `at` and says whether it must fail.
    std::optional<int32_t> enter(zef::RoutineAddress at);
    // How often routine `at` was called through the vector.
    int64_t calls(zef::RoutineAddress at) const;

private:
    zef::GlobalControlBlock gcb_{};
    std::vector<std::vector<void *>> vectors_;
    std::vector<void **> table_;
    uint8_t marks_[zef::kMarkByteCount]{};
    int unmarked_calls_ = 0;

    struct Failure {
        int32_t status;
        int countdown;  // 0: every call
    };
    static int64_t key(zef::RoutineAddress at) { return int64_t{at.vector} << 32 | at.slot; }
    std::map<int64_t, Failure> failures_;
    std::map<int64_t, int64_t> calls_;
};

// Placed first in every host routine: checks that the caller cleared the
// mark byte of the routine's vector, counts the call, tells whether a planned
// failure is due, and sets the mark byte again when the routine returns:
//
//     HostCall call(zef::routine::ylopen);
//     if (call.failure()) return *call.failure();
class HostCall {
public:
    explicit HostCall(zef::RoutineAddress at);
    ~HostCall();
    HostCall(const HostCall &) = delete;
    HostCall &operator=(const HostCall &) = delete;

    const std::optional<int32_t> &failure() const { return failure_; }

private:
    int vector_;
    std::optional<int32_t> failure_;
};

}  // namespace zefhost
