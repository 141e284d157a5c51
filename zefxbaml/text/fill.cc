// Testing a field for one byte value, and copying into a blank-filled field.
#include <cstdint>
#include <cstring>

#include "zefxbaml/blank_padded.h"

namespace {

bool ranges_overlap(const void *a, const void *b, int32_t length) {
    auto x = reinterpret_cast<uintptr_t>(a);
    auto y = reinterpret_cast<uintptr_t>(b);
    return x < y + static_cast<uintptr_t>(length) && y < x + static_cast<uintptr_t>(length);
}

}  // namespace

extern "C" {

// 1 when every one of the count bytes, read unsigned, equals value as a whole
// int (so a value outside 0..255 never matches); 1 for a count of 0 or less.
int32_t vzatl(int32_t value, const void *field, int64_t count) {
    const auto *bytes = static_cast<const uint8_t *>(field);
    for (int64_t i = 0; i < count; ++i)
        if (bytes[i] != value) return 0;
    return 1;
}

// Copies source into the target field, cutting it to target_length or
// filling the rest with blanks; a source length of 0 blanks the whole field.
// Overlapping ranges copy as memmove does. No terminator is written; a
// negative length copies or fills nothing.
void vzmp(const void *source, int32_t source_length, void *target, int32_t target_length) {
    auto *out = static_cast<uint8_t *>(target);
    if (source_length == 0) {
        if (target_length > 0) std::memset(out, ' ', static_cast<size_t>(target_length));
        return;
    }
    int32_t copied = source_length < target_length ? source_length : target_length;
    int32_t pad = source_length <= target_length ? target_length - source_length : 0;
    if (copied > 0) {
        if (ranges_overlap(source, out, copied))
            std::memmove(out, source, static_cast<size_t>(copied));
        else
            std::memcpy(out, source, static_cast<size_t>(copied));
    }
    if (pad > 0 && copied > 0) std::memset(out + copied, ' ', static_cast<size_t>(pad));
}

}  // extern "C"
