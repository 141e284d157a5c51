// Host reads as the input scripts them. The catalog routine ylmread is
// replaced by one that answers what the input says: a status (success, end
// of member with or without the bits the host may leave set, a failure), a
// record code, and a delivered count that may be anything (negative, past
// the buffer, past 2^31); it fills no more of the buffer than the size
// ylminfo reported, as a sound host does, but the module must never trust
// the count beyond that either. Every read path (read_paths.h) runs over
// it.
#include <iterator>

#include "harness.h"
#include "read_paths.h"

namespace {

using zeffuzz::Harness;
using zeffuzz::Input;

constexpr const char *kTarget = "host_reads_fuzz";

Input *script = nullptr;
int64_t told = 0;  // the size the last ylminfo reported
zef::proto::ylmread real_read = nullptr;
zef::proto::ylminfo real_info = nullptr;

int32_t scripted_info(void *request, int32_t zero, int32_t two, int64_t *size) {
    zef::GlobalControlBlock *gcb = zefhost::Host::current().gcb();
    gcb->mark_bytes[zef::routine::ylminfo.vector] = 0;
    int32_t status = real_info(request, zero, two, size);
    told = status == 0 && size != nullptr ? *size : 0;
    return status;
}

int32_t scripted_read(void *entry, void *transfer_request) {
    zefhost::HostCall call(zef::routine::ylmread);
    auto *transfer = static_cast<zef::TransferRequest *>(transfer_request);
    Input &in = *script;
    uint8_t what = in.byte();
    if (what % 8 == 0) {
        // The real store's answer.
        zef::GlobalControlBlock *gcb = zefhost::Host::current().gcb();
        gcb->mark_bytes[zef::routine::ylmread.vector] = 0;
        return real_read(entry, transfer_request);
    }
    static const int64_t kCounts[] = {0, 1, 80, 131, 132, 133, 4096, 70000, -1, INT32_MAX,
                                      INT64_C(0x100000050), INT64_MIN, INT64_MAX};
    static const uint16_t kCodes[] = {145, 186, 187, 270, 321, 322, 0, 0xFFFF};
    static const int32_t kStatuses[] = {0, 0, 0, 0, 0x0001C00A, 0x0041C00A, 0x7FC1C00A,
                                        static_cast<int32_t>(0x8001C004), static_cast<int32_t>(0x8001C003), -1, 1};
    int64_t count = (what & 0x80) ? static_cast<int64_t>(in.u32() % 300) : kCounts[in.byte() % std::size(kCounts)];
    int64_t filled = count < 0 ? 0 : count < told ? count : told;
    if (filled > 0 && transfer->buffer != nullptr)
        std::memset(transfer->buffer, 'a' + in.byte() % 26, static_cast<size_t>(filled));
    // A sound host says 0 at the end; this one may not.
    transfer->length = count;
    transfer->record_code = kCodes[in.byte() % std::size(kCodes)];
    return kStatuses[(what >> 3) % std::size(kStatuses)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Harness &h = zeffuzz::harness();
    static bool made = [&] {
        zeffuzz::make_sample_catalog(h, "H");
        real_read = reinterpret_cast<zef::proto::ylmread>(h.host.routine(zef::routine::ylmread));
        real_info = reinterpret_cast<zef::proto::ylminfo>(h.host.routine(zef::routine::ylminfo));
        return true;
    }();
    (void)made;
    // The first half of the input drives the program, the second the host.
    size_t half = size / 2;
    Input program(data, half);
    Input host_side(data + half, size - half);
    script = &host_side;
    h.host.set_routine(zef::routine::ylmread, reinterpret_cast<void *>(&scripted_read));
    h.host.set_routine(zef::routine::ylminfo, reinterpret_cast<void *>(&scripted_info));
    if (program.byte() & 1)
        zeffuzz::read_members(h, program, "H");
    else
        zeffuzz::read_entry(h, program, "H");
    h.host.set_routine(zef::routine::ylmread, reinterpret_cast<void *>(real_read));
    h.host.set_routine(zef::routine::ylminfo, reinterpret_cast<void *>(real_info));
    script = nullptr;
    zeffuzz::check_clean(kTarget);
    return 0;
}
