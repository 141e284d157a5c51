// ytrakgt, ytraknp and yyrn6gf: the current task's key and record, and the
// host option the module reads its default record length from.
#include "host.h"
#include "kernel_routines.h"
#include "kernel_statuses.h"

namespace zefhost::kernel {

// The key of the current task (the stand-in has one task).
int32_t ytrakgt(void *) {
    HostCall call(zef::routine::ytrakgt);
    return Host::kTaskKey;
}

// The task record of the task with this key; its pointer at 16 leads to the
// task access word. Null for a key the host does not know. Odd answers: 0
// no record, anything else a record without access record.
zef::TaskRecord *ytraknp(int32_t key, void *) {
    HostCall call(zef::routine::ytraknp);
    std::optional<int64_t> odd = Host::current().odd_answer(zef::routine::ytraknp);
    if (key != Host::kTaskKey || odd == 0) return nullptr;
    // A task record whose access record the host has not made.
    static zef::TaskRecord without_access{};
    if (odd) return &without_access;
    return Host::current().task_record();
}

// Reads host option `option` into *value and *kind. The stand-in has one,
// 4488, the default record length: kind 0 when usable, kind with top byte 1
// (Host::kUnusableKind) when the host has none to offer. An unknown option
// answers kUnknownHostOption with value 0 and the unusable kind.
int32_t yyrn6gf(int32_t option, int32_t, int64_t *value, int32_t *kind, void *) {
    HostCall call(zef::routine::yyrn6gf);
    if (call.failure()) return *call.failure();
    if (value == nullptr || kind == nullptr) return kBadArgument;
    const Host &host = Host::current();
    if (option != Host::kDefaultLreclOption) {
        *value = 0;
        *kind = Host::kUnusableKind;
        return kUnknownHostOption;
    }
    *value = host.default_lrecl();
    *kind = host.default_lrecl_usable() ? 0 : Host::kUnusableKind;
    return 0;
}

}  // namespace zefhost::kernel
