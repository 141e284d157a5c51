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

MarkGuard::MarkGuard(int vector) : vector_(vector) {
    Host &host = Host::current();
    if (host.gcb()->mark_bytes[vector] != 0) host.note_unmarked_call();
}

MarkGuard::~MarkGuard() {
    if (Host::exists()) Host::current().gcb()->mark_bytes[vector_] = 1;
}

}  // namespace zefhost
