// Removing the quotes of a quoted token in place: wzstrpq.
#include <cstdint>

#include "zefxbaml/blank_padded.h"

extern "C" {

// The first byte is the quote character and the last the closing quote (not
// examined). Moves the text between them to the start of the buffer, one
// quote for each doubled pair, and ends it with a NUL. Returns its length,
// length - 2 - pairs collapsed (-1 for a lone quote byte). A length of 0
// or less leaves the buffer untouched and returns 0.
int32_t wzstrpq(char *buffer, int32_t length) {
    if (length <= 0) return 0;
    const char quote = buffer[0];
    const int32_t end = length - 1;  // the closing quote
    buffer[end] = 0;

    int32_t out = 0;
    int32_t pairs = 0;
    for (int32_t in = 1; in < end; ++in) {
        if (buffer[in] == quote && in + 1 < end && buffer[in + 1] == quote) {
            ++in;
            ++pairs;
        }
        buffer[out++] = buffer[in];
    }
    buffer[out] = 0;
    return length - 2 - pairs;
}

}  // extern "C"
