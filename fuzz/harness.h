// What every fuzz target shares: one host with the module loaded the way the
// host's loader loads it, kept for the life of the fuzzing process, a
// library directory of its own, and the check run after every input: every
// fileref deassigned, nothing open in the catalog services, and each pool
// back where it started with no bad release. A failed check aborts, which
// libFuzzer reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "zefxbaml/method_routines.h"
#include "zefhost/host.h"
#include "zefhost/module_session.h"

namespace zeffuzz {

inline constexpr std::string_view kLibrary = "FUZZLIB";

// An 8-character blank-padded name.
struct Name8 {
    char text[8];
    explicit Name8(std::string_view name) {
        std::memset(text, ' ', sizeof text);
        std::memcpy(text, name.data(), name.size() < 8 ? name.size() : 8);
    }
    operator char *() { return text; }
};

struct Harness {
    zefhost::Host host;
    zefhost::ModuleSession module{host};
    std::filesystem::path library;  // FUZZLIB's directory

    template <typename Fn>
    Fn slot(int n) const {
        return module.slot<Fn>(n);
    }
    // A host routine called through the vector as the module calls it.
    template <typename Proto, typename... Args>
    auto host_routine(zef::RoutineAddress at, Args... args) {
        zef::GlobalControlBlock *gcb = host.gcb();
        gcb->mark_bytes[at.vector] = 0;
        return reinterpret_cast<Proto>(gcb->transfer_table[at.vector][at.slot])(args...);
    }
};

// The process's harness, made at the first call.
Harness &harness();

// Deassigns every fileref, then aborts unless the pools, the catalog
// services and the mark bytes are as they were before the first input.
void check_clean(const char *target);

// Reads input bytes in order; past the end it answers zeros.
class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }
    // Up to `limit` bytes, the first byte giving the length.
    std::string text(size_t limit = 255) {
        size_t n = byte();
        if (n > limit) n = limit;
        return bytes(n);
    }
    std::string bytes(size_t n) {
        if (n > size_ - at_) n = size_ - at_;
        std::string out(reinterpret_cast<const char *>(data_ + at_), n);
        at_ += n;
        return out;
    }
    std::string rest() { return bytes(size_ - at_); }
    bool empty() const { return at_ >= size_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace zeffuzz
