// The host's five 256-byte translation tables and the pointer block the
// global control block leads to (entries 2..6 are the tables of translation
// indexes 0..4). The stand-in's host side is Latin-1:
//   0  Latin-1 to EBCDIC code page 037 (the transcoding wzsxcch performs)
//   1  EBCDIC code page 037 to Latin-1 (the transcoding wzsxrch performs)
//   2  upper case: ASCII and Latin-1 letters (a-z, à-þ without ÷)
//   3  lower case: the reverse of 2
//   4  display: control bytes (below 0x20, 0x7F, 0x80..0x9F) become '.'
// The case and transcoding routines use the same tables, so a translation
// gives the same bytes whether or not a host encoding is in force.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zefhost {

class TranslationTables {
public:
    static constexpr int kCount = 5;
    static constexpr int kToEbcdic = 0;
    static constexpr int kFromEbcdic = 1;
    static constexpr int kUpper = 2;
    static constexpr int kLower = 3;
    static constexpr int kDisplay = 4;

    TranslationTables();
    TranslationTables(const TranslationTables &) = delete;
    TranslationTables &operator=(const TranslationTables &) = delete;

    // Table of translation index 0..4.
    const uint8_t *table(int index) const { return tables_[index].data(); }
    // What the control block's word at 216 points at.
    const uint8_t **block() { return block_.data(); }

    // Maps length bytes in place through table `index` (length <= 0: nothing).
    void apply(int index, uint8_t *bytes, int64_t length) const;

private:
    std::array<std::array<uint8_t, 256>, kCount> tables_{};
    std::array<const uint8_t *, 2 + kCount> block_{};
};

// A name upper-cased through table 2 of the live host (of a fresh table
// set when none is live): the folding the module gives every fileref name
// it looks up (wztxxlt index 2), so that a tool that names filerefs finds
// them again. Latin-1 letters fold too, UTF-8 bytes as Latin-1 ones.
std::string upper_case_name(std::string_view name);

}  // namespace zefhost
