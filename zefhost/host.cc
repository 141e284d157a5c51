#include "host.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "catalog/services.h"
#include "encodings.h"
#include "kernel_routines.h"

namespace zefhost {

Host::Host() {
    build_vectors();
    build_chains();
    previous_host_ = live_;
    live_ = this;
    install_kernel_routines(*this);
    catalogs_ = std::make_unique<catalog::Services>(*this);
}

Host::~Host() {
    catalogs_.reset();
    if (live_ == this) live_ = previous_host_;
}

// One vector per entry of kVectorSizes, each long enough for its highest
// slot; the table is indexed by vector number, with null for the vectors
// the stand-in does not have. Every mark byte starts set.
void Host::build_vectors() {
    int highest = 0;
    for (const auto &v : zef::kVectorSizes) highest = v[0] > highest ? v[0] : highest;
    vectors_.resize(highest + 1);
    slot_calls_.resize(highest + 1);
    table_.assign(highest + 1, nullptr);
    for (const auto &v : zef::kVectorSizes) {
        vectors_[v[0]].assign(v[1] + 1, nullptr);
        table_[v[0]] = vectors_[v[0]].data();
        slot_calls_[v[0]].resize(v[1] + 1);
        for (int slot = 0; slot <= v[1]; ++slot)
            slot_calls_[v[0]][slot].answers_status = answers_status({v[0], slot});
    }
    for (auto &m : marks_) m = 1;
    gcb_.transfer_table = table_.data();
    gcb_.mark_bytes = marks_;
}

// The records the control block's words lead to, all owned by the host.
void Host::build_chains() {
    task_block_.context = &task_context_;
    task_context_.owner = &owner_record_;
    owner_record_.pool = owner_pool_.pool();
    gcb_.task_block = &task_block_;
    gcb_.no_current_task = 0;

    gcb_.scratch_pool = scratch_pool_.pool();
    gcb_.storage_pool = storage_pool_.pool();
    storage_pool_.follow(&storage_refusal_);
    scratch_pool_.follow(&storage_refusal_);
    owner_pool_.follow(&storage_refusal_);

    encoding_descriptor_.in_force = 0;
    encoding_descriptor_.encoding_id = kHostEncodingId;
    encoding_holder_.descriptor = &encoding_descriptor_;
    gcb_.encoding_holder = &encoding_holder_;

    attribute_anchor_.assignment_switch = 0;
    attribute_anchor_.variable_lookup = Variables::kLookup;
    gcb_.attribute_anchor = &attribute_anchor_;

    gcb_.translation_tables = translation_.block();
    gcb_.kernel_handle = kKernelHandle;

    task_record_.access = &task_access_;
    task_access_.access_word = 0;
}

void Host::set_encoding_descriptor_present(bool present) {
    encoding_holder_.descriptor = present ? &encoding_descriptor_ : nullptr;
}

void Host::offer_variable_lookup(bool offered) {
    attribute_anchor_.variable_lookup = offered ? Variables::kLookup : nullptr;
}

void Host::no_live_host() {
    std::fputs("zefhost: a host routine was called with no live host\n", stderr);
    std::abort();
}

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

void Host::answer_oddly(zef::RoutineAddress at, int64_t value, int nth) {
    odd_answers_[key(at)] = OddAnswer{value, nth < 1 ? 1 : nth};
}

std::optional<int64_t> Host::odd_answer(zef::RoutineAddress at) {
    auto it = odd_answers_.find(key(at));
    if (it == odd_answers_.end() || --it->second.countdown > 0) return std::nullopt;
    int64_t value = it->second.value;
    odd_answers_.erase(it);
    return value;
}

void Host::fail_nth_call(int64_t nth, int32_t status) {
    nth_call_countdown_ = nth < 0 ? 0 : nth;
    nth_call_status_ = status;
}

bool Host::answers_status(zef::RoutineAddress at) {
    // These return a pool, a length, a key, a record or nothing.
    for (zef::RoutineAddress quiet : {zef::routine::yymheap, zef::routine::ypmstr,
                                      zef::routine::ytrakgt, zef::routine::ytraknp,
                                      zef::routine::wzstrup, zef::routine::wzstrlo})
        if (quiet.vector == at.vector && quiet.slot == at.slot) return false;
    return true;
}

bool Host::enter(zef::RoutineAddress at, int32_t &status) {
    assert(at.vector < static_cast<int>(slot_calls_.size()));
    assert(at.slot < static_cast<int>(slot_calls_[at.vector].size()));
    SlotCalls &slot = slot_calls_[at.vector][at.slot];
    ++slot.calls;
    if (slot.answers_status) {
        ++calls_answering_;
        if (nth_call_countdown_ > 0 && --nth_call_countdown_ == 0) {
            ++injected_failures_;
            last_injected_ = at;
            status = nth_call_status_;
            return true;
        }
    }
    if (failures_.empty()) return false;
    auto it = failures_.find(key(at));
    if (it == failures_.end()) return false;
    Failure &f = it->second;
    status = f.status;
    if (f.countdown == 0) return true;
    if (--f.countdown > 0) return false;
    failures_.erase(it);
    return true;
}

int64_t Host::calls(zef::RoutineAddress at) const {
    if (at.vector < 0 || at.vector >= static_cast<int>(slot_calls_.size())) return 0;
    const auto &slots = slot_calls_[at.vector];
    if (at.slot < 0 || at.slot >= static_cast<int>(slots.size())) return 0;
    return slots[at.slot].calls;
}

HostCall::HostCall(zef::RoutineAddress at) : vector_(at.vector) {
    Host &host = Host::current();
    if (host.gcb()->mark_bytes[vector_] != 0) host.note_unmarked_call();
    failing_ = host.enter(at, status_);
}

HostCall::~HostCall() {
    if (Host::exists()) Host::current().gcb()->mark_bytes[vector_] = 1;
}

}  // namespace zefhost
