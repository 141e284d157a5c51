// Measuring strings: the length of a NUL-terminated string, and of a
// blank-padded field without its trailing blanks.
#include <cstdint>
#include <cstring>

#include "zefxbaml/blank_padded.h"

namespace {

constexpr uint64_t kBlankWord = 0x2020202020202020ULL;
constexpr int32_t kShortField = 16;

// One aligned 8-byte word of the field; memcpy keeps the load well defined.
uint64_t word_at(const uint8_t *field, int32_t offset) {
    uint64_t word;
    std::memcpy(&word, field + offset, sizeof word);
    return word;
}

// Byte scan backwards from `from`; 0 when every byte down to the start is blank.
int32_t scan_bytes(const uint8_t *field, int32_t from) {
    if (field[0] != ' ') {
        while (field[from] == ' ') --from;  // the first byte stops the loop
        return from + 1;
    }
    while (from > 0 && field[from] == ' ') --from;
    return from > 0 ? from + 1 : 0;
}

// Fields over 16 bytes: the tail byte by byte down to the last aligned
// address inside the field, then whole aligned words while they are blank,
// then bytes within the first word that is not (or through the unaligned
// head). Only words lying wholly inside the field are read.
int32_t scan_words(const uint8_t *field, int32_t length) {
    const auto address = reinterpret_cast<uintptr_t>(field);
    const auto head = static_cast<int32_t>((-address) & 7);  // first aligned word
    const auto tail = static_cast<int32_t>(((address + length - 1) & ~uintptr_t{7}) - address);

    for (int32_t i = length - 2; i >= tail; --i)
        if (field[i] != ' ') return i + 1;

    int32_t word = tail - 8;  // at least one word lies between head and tail
    if (word_at(field, head) != kBlankWord) {
        while (word_at(field, word) == kBlankWord) word -= 8;  // the head word stops it
    } else {
        while (word >= head && word_at(field, word) == kBlankWord) word -= 8;
        if (word < head) return head > 0 ? scan_bytes(field, head - 1) : 0;
    }
    int32_t i = word + 7;
    while (field[i] == ' ') --i;  // the word holds a non-blank
    return i + 1;
}

}  // namespace

extern "C" {

// Bytes before the first NUL; 0 for a null pointer.
int32_t wzstlen(const char *string) {
    return string == nullptr ? 0 : static_cast<int32_t>(std::strlen(string));
}

// Length of the field without its trailing blanks; 0 when all blank. A
// length of 0 or less comes back unchanged. Reads only inside the field.
int32_t wzstrip(const void *field, int32_t length) {
    const auto *bytes = static_cast<const uint8_t *>(field);
    if (length <= 0 || bytes[length - 1] != ' ') return length;
    if (length <= kShortField) return scan_bytes(bytes, length - 2 < 0 ? 0 : length - 2);
    return scan_words(bytes, length);
}

}  // extern "C"
