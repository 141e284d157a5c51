#include "sweep/sweep_driver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace sweep_test {

namespace {

// The sweeps write catalogs thousands of times: where memory-backed storage
// is at hand their temporary directories go there, so that the runs do not
// wait on the disk.
const bool kTemporaryInMemory = [] {
    std::error_code ignored;
    if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ignored) &&
        access("/dev/shm", W_OK) == 0)
        setenv("TMPDIR", "/dev/shm", 0);
    return true;
}();

// A run that never reaches its planned failure has ended the sweep; this
// many runs mean the story does not end.
constexpr int64_t kRunLimit = 2000;

bool same_routine(zef::RoutineAddress a, zef::RoutineAddress b) {
    return a.vector == b.vector && a.slot == b.slot;
}

// A failed close may leave its handle with the host: the catalog services
// then rightly keep it open.
bool is_close_routine(zef::RoutineAddress at) {
    return same_routine(at, zef::routine::ylmclos) || same_routine(at, zef::routine::ylclose) ||
           same_routine(at, zef::routine::yldclos);
}

template <typename T>
void forget(std::vector<T *> &list, T *item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

int32_t SweepTest::assign_with(std::string_view name, std::string_view physical, std::string_view text) {
    zefhost::ParsedOptions parsed;
    if (!text.empty()) {
        parsed = parse(text);
        if (parsed.status != zef::kOk) return parsed.status;
    }
    Name8 fileref(name);
    int32_t status = assign_slot(fileref, nullptr, zef::kMethodName, physical.data(),
                                 static_cast<int32_t>(physical.size()), parsed.block.get());
    if (status == zef::kOk) parsed.block.take();
    return status;
}

// The open statement's block, handed to the open: an owned block goes to the
// stream (or to the failed open, which releases it when the NBYTE variable
// cannot be bound); a block not owned the story keeps until its cleanup.
zef::OpenRequest SweepTest::request_for(const OpenSpec &how, zefhost::ParsedOptions *parsed) {
    zef::OpenRequest request{};
    request.open_mode = how.mode;
    request.record_format = how.record_format;
    request.lrecl = how.lrecl;
    if (!how.options.empty()) {
        *parsed = parse(how.options, how.option_flags);
        request.option_block = parsed->block.get();
    }
    return request;
}

int32_t SweepTest::open_entry(std::string_view name, const OpenSpec &how, zef::StreamBlock **stream) {
    *stream = nullptr;
    zefhost::ParsedOptions parsed;
    zef::OpenRequest request = request_for(how, &parsed);
    if (parsed.status != zef::kOk) return parsed.status;
    int32_t status = open_slot(stream, Name8(name), nullptr, &request);
    bool owned = (how.option_flags & zef::kNotOwned) == 0;
    if (owned && (status == zef::kOk || status == zef::kNbyteUnbound)) parsed.block.take();
    if (!owned && parsed.block) kept_options.push_back(std::move(parsed.block));
    if (status == zef::kOk) entries_.push_back(*stream);
    return status;
}

int32_t SweepTest::close_entry(zef::StreamBlock *stream) {
    forget(entries_, stream);  // gone whatever the status
    return close_slot(stream);
}

int32_t SweepTest::open_dir(std::string_view name, zef::DirectoryHandle **handle) {
    *handle = nullptr;
    int32_t status = dir_open_slot(handle, Name8(name), nullptr);
    if (status == zef::kOk) directories_.push_back(*handle);
    return status;
}

int32_t SweepTest::close_dir(zef::DirectoryHandle *handle) {
    forget(directories_, handle);  // gone whatever the status
    return dir_close_slot(handle);
}

int32_t SweepTest::open_member_of(zef::DirectoryHandle *handle, std::string_view member,
                                  std::string_view kind, const OpenSpec &how, zef::StreamBlock **stream) {
    *stream = nullptr;
    zefhost::ParsedOptions parsed;
    zef::OpenRequest request = request_for(how, &parsed);
    if (parsed.status != zef::kOk) return parsed.status;
    int32_t status = member_open_slot(stream, handle, member.data(), static_cast<int32_t>(member.size()),
                                      Name8(kind), &request);
    // A member open takes an owned block whatever its outcome.
    if ((how.option_flags & zef::kNotOwned) == 0)
        parsed.block.take();
    else if (parsed.block)
        kept_options.push_back(std::move(parsed.block));
    if (status == zef::kOk) members_.push_back(*stream);
    return status;
}

int32_t SweepTest::close_member(zef::StreamBlock *stream) {
    int32_t status = member_close_slot(stream);
    if (status == zef::kOk) forget(members_, stream);
    return status;
}

int32_t SweepTest::write_all(zef::StreamBlock *stream, const std::vector<std::string> &texts) {
    for (const std::string &text : texts)
        if (int32_t status = write(stream, text); status != zef::kOk) return status;
    return zef::kOk;
}

int32_t SweepTest::read_all(zef::StreamBlock *stream, std::vector<std::string> *texts, int64_t wanted) {
    for (;;) {
        Read r = read(stream, wanted);
        if (r.status == zef::kEndOfFile) return zef::kOk;
        if (r.status != zef::kOk) return r.status;
        texts->push_back(r.data);
    }
}

void SweepTest::arm(Fault fault, int64_t nth) {
    injected_before_ = host.injected_failures();
    refused_before_ = host.storage_refusal().refusals;
    if (fault == Fault::kStorage)
        host.refuse_nth_obtain(nth);
    else
        host.fail_nth_call(nth, kPlannedFailure);
}

bool SweepTest::disarm(Fault fault) {
    host.refuse_nth_obtain(0);
    host.fail_nth_call(0, 0);
    if (fault == Fault::kStorage) return host.storage_refusal().refusals > refused_before_;
    return host.injected_failures() > injected_before_;
}

void SweepTest::cleanup() {
    // Members before their directories; a member whose close failed once
    // is closed again.
    for (zef::StreamBlock *stream : std::vector(members_))
        if (close_member(stream) != zef::kOk) {
            EXPECT_EQ(close_member(stream), zef::kOk);
        }
    for (zef::StreamBlock *stream : std::vector(entries_)) close_entry(stream);
    for (zef::DirectoryHandle *handle : std::vector(directories_)) close_dir(handle);
    members_.clear();
    entries_.clear();
    directories_.clear();
    kept_options.clear();
    deassign_all();
}

void SweepTest::sweep(const Story &story) {
    for (Fault fault : {Fault::kStorage, Fault::kHostCall}) {
        const char *what = fault == Fault::kStorage ? "storage request " : "host call ";
        for (int64_t nth = 1;; ++nth) {
            ASSERT_LT(nth, kRunLimit) << "the story never completes";
            SCOPED_TRACE(what + std::to_string(nth));
            story.prepare();
            PoolMark before = mark();
            int64_t stale = host.catalogs().stale_handles();

            arm(fault, nth);
            int32_t status = story.run();
            bool reached = disarm(fault);
            zef::RoutineAddress failed_at = host.last_injected();
            cleanup();

            SCOPED_TRACE(reached && fault == Fault::kHostCall
                             ? "failed: vector " + std::to_string(failed_at.vector) + " slot " +
                                   std::to_string(failed_at.slot)
                             : std::string("untouched"));
            if (!reached) {
                EXPECT_EQ(status, zef::kOk) << std::hex << status;
            } else {
                EXPECT_TRUE(status == zef::kOk || is_failure(status)) << std::hex << status;
                if (fault == Fault::kStorage && is_failure(status)) {
                    EXPECT_EQ(status, zef::kNoStorage) << std::hex << status;
                }
            }
            EXPECT_EQ(host.catalogs().stale_handles(), stale) << "a call through a closed handle";
            expect_pools_back(before);
            if (reached && fault == Fault::kHostCall && is_close_routine(failed_at)) {
                host.catalogs().end_all_handles();
            } else {
                EXPECT_EQ(host.catalogs().open_entries(), 0u);
                EXPECT_EQ(host.catalogs().open_catalogs(), 0u);
                EXPECT_EQ(host.catalogs().open_scans(), 0u);
            }
            if (HasFailure() || !reached) {
                EXPECT_GT(nth, 1) << "the story asks for no " << what;
                break;
            }
        }
        if (HasFailure()) return;
    }
}

}  // namespace sweep_test
