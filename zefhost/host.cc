#include "host.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>

namespace zefhost {

namespace {
Host *live_host = nullptr;
}

Host::Host() {
    int highest = 0;
    for (const auto &v : zef::kVectorSizes) highest = v[0] > highest ? v[0] : highest;
    vectors_.resize(highest + 1);
    table_.assign(highest + 1, nullptr);
    for (const auto &v : zef::kVectorSizes) {
        vectors_[v[0]].assign(v[1] + 1, nullptr);
        table_[v[0]] = vectors_[v[0]].data();
    }
    for (auto &m : marks_) m = 1;
    gcb_.transfer_table = table_.data();
    gcb_.mark_bytes = marks_;
    live_host = this;
}

Host::~Host() {
    if (live_host == this) live_host = nullptr;
}

Host &Host::current() {
    if (live_host == nullptr) {
        std::fputs("zefhost: a host routine was called with no live host\n", stderr);
        std::abort();
    }
    return *live_host;
}

bool Host::exists() { return live_host != nullptr; }

void Host::set_routine(zef::RoutineAddress at, void *routine) {
    assert(at.vector < static_cast<int>(vectors_.size()));
    assert(at.slot < static_cast<int>(vectors_[at.vector].size()));
    vectors_[at.vector][at.slot] = routine;
}

void *Host::routine(zef::RoutineAddress at) const { return vectors_[at.vector][at.slot]; }

void Host::fail_call(zef::RoutineAddress at, int32_t status, int nth) {
    failures_[key(at)] = Failure{status, nth < 1 ? 1 : nth};
}

void Host::fail_every_call(zef::RoutineAddress at, int32_t status) {
    failures_[key(at)] = Failure{status, 0};
}

void Host::clear_failures() { failures_.clear(); }

std::optional<int32_t> Host::enter(zef::RoutineAddress at) {
    ++calls_[key(at)];
    auto it = failures_.find(key(at));
    if (it == failures_.end()) return std::nullopt;
    Failure &f = it->second;
    if (f.countdown == 0) return f.status;
    if (--f.countdown > 0) return std::nullopt;
    int32_t status = f.status;
    failures_.erase(it);
    return status;
}

int64_t Host::calls(zef::RoutineAddress at) const {
    auto it = calls_.find(key(at));
    return it == calls_.end() ? 0 : it->second;
}

HostCall::HostCall(zef::RoutineAddress at) : vector_(at.vector) {
    Host &host = Host::current();
    if (host.gcb()->mark_bytes[vector_] != 0) host.note_unmarked_call();
    failure_ = host.enter(at);
}

HostCall::~HostCall() {
    if (Host::exists()) Host::current().gcb()->mark_bytes[vector_] = 1;
}

}  // namespace zefhost
