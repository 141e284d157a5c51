// The stand-in host: one object that owns a global control block, its
// transfer vectors and mark bytes, and every host-side record the chains of
// the control block lead to (task block, task context, owner record, pools,
// encoding holder and descriptor, attribute anchor, translation tables, task
// record), the kernel routines in their vector slots, the catalog services
// of vector 48, messages, variables and the access-method registry. Host
// routines are plain C functions reached through the vectors; they find
// their host through Host::current(), the one host that is live in the
// process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "method_registry.h"
#include "pool.h"
#include "translation_tables.h"
#include "variables.h"
#include "zefxbaml/abi.h"

namespace zefhost {

namespace catalog {
class Services;  // catalog/services.h
}

class Host {
public:
    // Builds the control block and every chain, installs the kernel routines
    // and the catalog services, and becomes the live host.
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // The live host: the one built last of those still alive (hosts end in
    // the reverse order of their making, as scopes do).
    static Host &current() {
        if (live_ == nullptr) no_live_host();
        return *live_;
    }
    static bool exists() { return live_ != nullptr; }

    zef::GlobalControlBlock *gcb() { return &gcb_; }

    // ------------------------------------------------------------ vectors --

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
    // it until clear_failures(). Only routines that return a status honour it
    // (not yymheap, ypmstr, ytrakgt, ytraknp, wzstrup, wzstrlo).
    void fail_call(zef::RoutineAddress at, int32_t status, int nth = 1);
    void fail_every_call(zef::RoutineAddress at, int32_t status);
    void clear_failures();
    // Counts the call of `at` and says whether it must fail, and with what.
    bool enter(zef::RoutineAddress at, int32_t &status);
    // How often routine `at` was called through the vector.
    int64_t calls(zef::RoutineAddress at) const;

    // Odd answers: the nth call of routine `at` from now (1 = the next) does
    // its work and then gives `value` in place of one of its results, an
    // answer a host may give though the stand-in otherwise does not:
    //   ypmstr   the length it returns (negative, or more than it placed)
    //   znamdiv  the length of every part it filled (negative, or over 32)
    //   ytraknp  0: no task record; 1: a task record without access record
    //   yxatok   0: the token's text null; 1: the token's statement null
    // Other routines ignore the plan. odd_answer() is the routine's side: it
    // counts the call and says whether an odd answer is due.
    void answer_oddly(zef::RoutineAddress at, int64_t value, int nth = 1);
    std::optional<int64_t> odd_answer(zef::RoutineAddress at);

    // Sweeps: the nth call from now (1 = the next) of any routine that
    // answers a status answers `status` instead; 0 cancels. calls_answering()
    // counts those calls; injected_failures() how many were failed so, and
    // last_injected() the routine that last was.
    void fail_nth_call(int64_t nth, int32_t status);
    int64_t calls_answering() const { return calls_answering_; }
    int64_t injected_failures() const { return injected_failures_; }
    zef::RoutineAddress last_injected() const { return last_injected_; }
    // Whether routine `at` answers a status (and so honours planned failures).
    static bool answers_status(zef::RoutineAddress at);

    // -------------------------------------------------- storage and tasks --

    // Control records and buffers (gcb+80); also the pool yymheap names, to
    // which the module releases.
    HostPool &storage_pool() { return storage_pool_; }
    // Scratch text (gcb+40).
    HostPool &scratch_pool() { return scratch_pool_; }
    // The current owner's pool (owner record +40): option blocks.
    HostPool &owner_pool() { return owner_pool_; }
    // Sweeps: refuse the nth obtain from now from any of the three pools (1 =
    // the next); 0 cancels. The plan also counts the obtains and refusals.
    void refuse_nth_obtain(int64_t nth) { storage_refusal_.countdown = nth < 0 ? 0 : nth; }
    const SharedRefusal &storage_refusal() const { return storage_refusal_; }
    zef::OwnerRecord *owner_record() { return &owner_record_; }
    zef::TaskContext *task_context() { return &task_context_; }
    zef::TaskBlock *task_block() { return &task_block_; }

    // The word at 760: while set there is no current task, and a request that
    // needs the current owner record is refused.
    void set_no_current_task(bool none) { gcb_.no_current_task = none ? 1 : 0; }

    // The task access word of the task record ytraknp returns (1: input only).
    void set_task_access(int32_t word) { task_access_.access_word = word; }
    zef::TaskRecord *task_record() { return &task_record_; }
    // The key ytrakgt answers and ytraknp accepts.
    static constexpr int32_t kTaskKey = 1;

    // Host option 4488 (yyrn6gf): the default record length, and whether it
    // is usable (when not, the kind word's top byte is 1).
    void set_default_lrecl(int64_t lrecl) { default_lrecl_ = lrecl; }
    void set_default_lrecl_usable(bool usable) { default_lrecl_usable_ = usable; }
    int64_t default_lrecl() const { return default_lrecl_; }
    bool default_lrecl_usable() const { return default_lrecl_usable_; }
    static constexpr int32_t kDefaultLreclOption = 4488;
    static constexpr int64_t kInitialDefaultLrecl = 256;
    static constexpr int32_t kUnusableKind = 0x01000000;

    static constexpr uint64_t kKernelHandle = 0x3154534F4846455AULL;  // "ZEFHOST1"

    // ------------------------------------------------------------ encoding --

    // The descriptor's byte 0: a host encoding is in force (the stand-in's
    // host encoding is Latin-1; see encodings.h).
    void set_host_encoding(bool in_force) { encoding_descriptor_.in_force = in_force ? 1 : 0; }
    bool host_encoding() const { return encoding_descriptor_.in_force != 0; }
    // Whether the encoding holder leads to a descriptor at all (null when not).
    void set_encoding_descriptor_present(bool present);

    // Chains a host may leave out: while not present the control block's
    // task block (gcb+32), encoding holder (gcb+104) or attribute anchor
    // (gcb+192) is null.
    void set_task_block_present(bool present) { gcb_.task_block = present ? &task_block_ : nullptr; }
    void set_encoding_holder_present(bool present) {
        gcb_.encoding_holder = present ? &encoding_holder_ : nullptr;
    }
    void set_attribute_anchor_present(bool present) {
        gcb_.attribute_anchor = present ? &attribute_anchor_ : nullptr;
    }

    const TranslationTables &translation() const { return translation_; }

    // ---------------------------------------------------- attribute anchor --

    void set_assignment_switch(int32_t value) { attribute_anchor_.assignment_switch = value; }
    zef::AttributeAnchor *attribute_anchor() { return &attribute_anchor_; }

    // Whether the anchor offers the variable lookup routine (null when not).
    void offer_variable_lookup(bool offered);
    void set_variable(std::string_view name, double value) { variables_.set(name, value); }
    void remove_variable(std::string_view name) { variables_.remove(name); }
    Variables &variables() { return variables_; }

    // --------------------------------------------------- access methods --

    // The loader registers the control block a method's constructor built;
    // yxam2am and yxamscp answer it by name.
    void register_method_block(const char *method8, void *block) {
        methods_.register_method_block(method8, block);
    }
    // yxal2am answers `block` for this fileref.
    void know_fileref(const char *fileref8, void *block) { methods_.know_fileref(fileref8, block); }
    MethodRegistry &methods() { return methods_; }

    // ------------------------------------------------------------ messages --

    Messages &messages() { return messages_; }
    const std::vector<std::string> &log() const { return messages_.log(); }
    const std::vector<std::string> &last_inserts() const { return messages_.inserts(); }
    void clear_inserts() { messages_.clear_inserts(); }

    // ------------------------------------------------------------ catalogs --

    // The catalog services of vector 48 (include "zefhost/catalog/services.h").
    catalog::Services &catalogs() { return *catalogs_; }

private:
    void build_vectors();
    void build_chains();
    [[noreturn]] static void no_live_host();

    static inline Host *live_ = nullptr;

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
    struct OddAnswer {
        int64_t value;
        int countdown;
    };
    std::map<int64_t, OddAnswer> odd_answers_;
    // Per slot, shaped like vectors_: every call passes here, so no lookup.
    struct SlotCalls {
        int64_t calls = 0;
        bool answers_status = true;
    };
    std::vector<std::vector<SlotCalls>> slot_calls_;
    int64_t nth_call_countdown_ = 0;
    int32_t nth_call_status_ = 0;
    int64_t calls_answering_ = 0;
    int64_t injected_failures_ = 0;
    zef::RoutineAddress last_injected_{};
    SharedRefusal storage_refusal_;

    HostPool storage_pool_{"storage"};
    HostPool scratch_pool_{"scratch"};
    HostPool owner_pool_{"owner"};
    zef::TaskBlock task_block_{};
    zef::TaskContext task_context_{};
    zef::OwnerRecord owner_record_{};
    zef::TaskRecord task_record_{};
    zef::TaskAccess task_access_{};
    int64_t default_lrecl_ = kInitialDefaultLrecl;
    bool default_lrecl_usable_ = true;

    zef::EncodingDescriptor encoding_descriptor_{};
    zef::EncodingHolder encoding_holder_{};
    zef::AttributeAnchor attribute_anchor_{};
    TranslationTables translation_;

    Variables variables_;
    MethodRegistry methods_;
    Messages messages_;

    Host *previous_host_ = nullptr;  // live again when this host ends

    // Built last, once the vectors exist; taken down first.
    std::unique_ptr<catalog::Services> catalogs_;
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

    // The planned status, or null when the routine is to do its work. (A
    // pointer rather than std::optional: the optional's flag byte, stored and
    // then read back as part of a wider word, stalled every call.)
    const int32_t *failure() const { return failing_ ? &status_ : nullptr; }

private:
    int vector_;
    bool failing_ = false;
    int32_t status_ = 0;
};

}  // namespace zefhost
