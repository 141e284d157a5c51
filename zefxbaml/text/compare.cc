// Comparing two blank-padded strings: wzstcom.
#include <cstdint>

#include "zefxbaml/blank_padded.h"

extern "C" {

// Orders first against second as if the shorter were padded with blanks,
// bytes unsigned. 0 when equal; otherwise -p when first is less and +p when
// it is greater, p being the 1-based position of the first difference. A
// null pointer or a length of 0 or less is an empty string.
int32_t wzstcom(const void *first, int32_t first_length, const void *second,
                int32_t second_length) {
    const auto *a = static_cast<const uint8_t *>(first);
    const auto *b = static_cast<const uint8_t *>(second);
    int32_t la = a != nullptr && first_length > 0 ? first_length : 0;
    int32_t lb = b != nullptr && second_length > 0 ? second_length : 0;
    int32_t common = la < lb ? la : lb;

    for (int32_t i = 0; i < common; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -(i + 1) : i + 1;

    // The longer one's rest against the other's blank padding.
    for (int32_t i = common; i < lb; ++i)
        if (b[i] != ' ') return b[i] > ' ' ? -(i + 1) : i + 1;
    for (int32_t i = common; i < la; ++i)
        if (a[i] != ' ') return a[i] < ' ' ? -(i + 1) : i + 1;
    return 0;
}

}  // extern "C"
