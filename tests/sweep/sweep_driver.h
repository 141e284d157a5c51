// The failure sweep: runs one slot story (a complete use of the module
// through the method vector) again and again, failing first the 1st, then
// the 2nd, ... storage request, and separately the 1st, 2nd, ... host call
// that answers a status, until a run completes without the planned failure
// being reached. After every run whatever the story left open is closed and
// every fileref deassigned, and the run must have ended with a clean status
// (success, or a failure status; never a wrong result reported as success),
// given every pool block back, released nothing twice and called the host
// through no closed handle.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "directory/catalog_fixture.h"
#include "zefxbaml/routine_table.h"

namespace sweep_test {

using catalog_test::OpenedMember;
using catalog_test::Record;
using stream_test::Name8;
using stream_test::Opened;
using stream_test::OpenSpec;
using stream_test::PoolMark;

// The status a planned host-call failure answers (the host's own family).
inline constexpr int32_t kPlannedFailure = static_cast<int32_t>(0x8001B0FF);
// What a story returns when every step said success but a result was wrong.
inline constexpr int32_t kWrongResult = 0x7FFF0001;

// One story, written as lambdas in a test body: `prepare` puts what it needs
// in place with nothing planned to fail; `run` makes the slot calls and
// returns the first unexpected status, kWrongResult, or 0 once it has
// checked every result.
struct Story {
    std::function<void()> prepare;
    std::function<int32_t()> run;
};

enum class Fault { kStorage, kHostCall };

// A story's step: returns its status from the story unless it is 0.
#define STEP(expr)                                                 \
    do {                                                           \
        if (int32_t step_status = (expr); step_status != zef::kOk) \
            return step_status;                                    \
    } while (0)

inline bool is_failure(int32_t status) { return status < 0; }

inline std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}
inline std::vector<std::string> trimmed(std::vector<std::string> texts) {
    for (std::string &text : texts) text = trimmed(text);
    return texts;
}

class SweepTest : public catalog_test::CatalogTest {
protected:
    // ----------------------------------------- slot calls the stories make --
    // Each keeps what it opened so that the run's cleanup can close it.

    int32_t assign_with(std::string_view name, std::string_view physical, std::string_view text = {});
    int32_t open_entry(std::string_view name, const OpenSpec &how, zef::StreamBlock **stream);
    int32_t close_entry(zef::StreamBlock *stream);
    int32_t open_dir(std::string_view name, zef::DirectoryHandle **handle);
    int32_t close_dir(zef::DirectoryHandle *handle);
    int32_t open_member_of(zef::DirectoryHandle *handle, std::string_view member, std::string_view kind,
                           const OpenSpec &how, zef::StreamBlock **stream);
    int32_t close_member(zef::StreamBlock *stream);

    // Writes each text as a record; the first failure's status, or 0.
    int32_t write_all(zef::StreamBlock *stream, const std::vector<std::string> &texts);
    // Reads records until end of file into *texts; 0 at end of file, or the
    // first failure's status.
    int32_t read_all(zef::StreamBlock *stream, std::vector<std::string> *texts, int64_t wanted = 0);

    // Runs the story with every fault of both kinds in turn.
    void sweep(const Story &story);

    zef::fn::yxlasl assign_like_slot = module.slot<zef::fn::yxlasl>(31);
    zef::fn::yxlexl fileref_exists_slot = module.slot<zef::fn::yxlexl>(2);
    zef::fn::yxlpnam physical_name_slot = module.slot<zef::fn::yxlpnam>(4);
    zef::fn::yxlnxt next_fileref_slot = module.slot<zef::fn::yxlnxt>(6);
    zef::fn::yxlhh2p image_slot = module.slot<zef::fn::yxlhh2p>(33);
    zef::fn::yxlhp2h from_image_slot = module.slot<zef::fn::yxlhp2h>(34);

    // Option blocks the story keeps itself (not owned by what it opened),
    // released by the cleanup after the streams they served are closed.
    std::vector<zefhost::OptionBlockHandle> kept_options;

private:
    zef::OpenRequest request_for(const OpenSpec &how, zefhost::ParsedOptions *parsed);
    // Arms the fault; says afterwards whether the run reached it.
    void arm(Fault fault, int64_t nth);
    bool disarm(Fault fault);
    // Closes what the run left open and deassigns every fileref.
    void cleanup();

    int64_t injected_before_ = 0;
    int64_t refused_before_ = 0;
    std::vector<zef::StreamBlock *> entries_;
    std::vector<zef::StreamBlock *> members_;
    std::vector<zef::DirectoryHandle *> directories_;
};

}  // namespace sweep_test
