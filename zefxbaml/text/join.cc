// Joining pieces into a fixed-width field: wzstcat.
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "zefxbaml/blank_padded.h"

namespace {

struct Joiner {
    uint8_t *at;
    int64_t room;
    int32_t placed = 0;

    // Moves as much of the piece as fits; says whether room is left.
    bool put(const void *piece, int32_t length) {
        int64_t n = length < room ? length : room;
        if (n > 0) {
            std::memmove(at, piece, static_cast<size_t>(n));
            at += n;
            room -= n;
            placed += static_cast<int32_t>(n);
        }
        return room > 0;
    }

    bool put_byte(uint8_t byte) {
        *at++ = byte;
        --room;
        ++placed;
        return room > 0;
    }
};

}  // namespace

extern "C" {

// Joins count (piece pointer, int32 length) pairs into target. A width of 0
// or more fills exactly width bytes, blank padded; a negative width writes at
// most -width-1 bytes and a NUL after them. A separator of 0 or more puts its
// low byte between consecutive pieces (never after the last; a cut piece
// ends the join); a negative one joins them back to back. Returns the bytes
// of pieces and separators placed, without padding or NUL.
int32_t wzstcat(void *target, int32_t width, int32_t separator, int32_t count, ...) {
    const bool terminated = width < 0;
    Joiner join{static_cast<uint8_t *>(target), terminated ? -int64_t{width} - 1 : width};

    va_list pieces;
    va_start(pieces, count);
    for (int32_t i = 0; i < count && join.room > 0; ++i) {
        const void *piece = va_arg(pieces, const void *);
        int32_t length = va_arg(pieces, int32_t);
        if (!join.put(piece, length)) break;
        if (separator >= 0 && i + 1 < count)
            join.put_byte(static_cast<uint8_t>(separator));
    }
    va_end(pieces);

    if (terminated)
        *join.at = 0;
    else if (join.room > 0)
        std::memset(join.at, ' ', static_cast<size_t>(join.room));
    return join.placed;
}

}  // extern "C"
