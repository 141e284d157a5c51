// The blank-padded string routines: vzatl, vzmp, wzstcat, wzstcom, wzstlen,
// wzstrip, wzstrpq.
#include <memory>
#include <vector>

#include "text_fixture.h"

namespace {

using BlankPaddedTest = TextTest;

TEST_F(BlankPaddedTest, VzatlComparesEveryByteWithTheWholeValue) {
    const uint8_t zeros[8] = {};
    const uint8_t ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    struct Case {
        int32_t value;
        const void *field;
        int64_t count;
        int32_t expected;
    } cases[] = {
        {0x20, "ABCDEFGH", 0, 1},   {0x20, "ABCDEFGH", -5, 1}, {0x20, "ABCDEFGH", 8, 0},
        {0x20, "        ", 8, 1},   {0x20, "       X", 8, 0},  {0x20, "       X", 7, 1},
        {256, zeros, 8, 0},         {0, zeros, 8, 1},          {-1, ones, 8, 0},
        {0xFF, ones, 8, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(text.vzatl(c.value, c.field, c.count), c.expected)
            << "value " << c.value << " count " << c.count;
}

TEST_F(BlankPaddedTest, VzmpCutsOrBlankFills) {
    struct Case {
        const char *source;
        int32_t source_length;
        int32_t target_length;
        std::string expected;
    } cases[] = {
        {"AB", 2, 8, "AB      "},
        {"ABCDEFGHIJ", 10, 8, "ABCDEFGH"},
        {"ABCDEFGH", 8, 8, "ABCDEFGH"},
        {"", 0, 8, "        "},
        {"ABC", 3, 0, ""},
    };
    for (const Case &c : cases) {
        char field[16];
        std::memset(field, '#', sizeof field);
        text.vzmp(c.source, c.source_length, field, c.target_length);
        EXPECT_EQ(bytes(field, c.expected.size()), c.expected) << c.source;
        EXPECT_EQ(field[c.expected.size()], '#') << "wrote past the target: " << c.source;
    }
}

TEST_F(BlankPaddedTest, VzmpOntoItselfShiftedCopiesAsMemmove) {
    char forward[] = "ABCDEFGH";
    text.vzmp(forward, 7, forward + 1, 7);  // target one byte higher
    EXPECT_EQ(bytes(forward, 8), "AABCDEFG");

    char backward[] = "ABCDEFGH";
    text.vzmp(backward + 1, 7, backward, 7);
    EXPECT_EQ(bytes(backward, 8), "BCDEFGHH");
}

TEST_F(BlankPaddedTest, WzstcatJoinsPaddedFields) {
    char field[91];
    field[90] = '#';
    EXPECT_EQ(text.wzstcat(field, 90, '.', 4, "WORK", 4, "CAT", 3, "ENTRY", 5, "SOURCE", 6), 21);
    EXPECT_EQ(bytes(field, 90), "WORK.CAT.ENTRY.SOURCE" + std::string(69, ' '));
    EXPECT_EQ(field[90], '#');

    EXPECT_EQ(text.wzstcat(field, 90, '.', 3, "A", 1, "", 0, "B", 1), 4);
    EXPECT_EQ(bytes(field, 5), "A..B ");

    EXPECT_EQ(text.wzstcat(field, 90, -1, 3, "AB", 2, "", 0, "CD", 2), 4);
    EXPECT_EQ(bytes(field, 5), "ABCD ");
}

TEST_F(BlankPaddedTest, WzstcatStopsWhenTheFieldIsFull) {
    struct Case {
        int32_t width;
        int32_t separator;
        int32_t placed;
        std::string written;
    } cases[] = {
        {5, '.', 5, "ABCD."},  // the separator takes the last byte
        {4, '.', 4, "ABCD"},   // no separator after a piece that fills the room
        {3, '.', 3, "ABC"},    // a cut piece ends the join
        {7, '.', 7, "ABCD.XY"},
        {9, '.', 7, "ABCD.XY  "},
        {0, '.', 0, ""},
    };
    for (const Case &c : cases) {
        char field[16];
        std::memset(field, '#', sizeof field);
        EXPECT_EQ(text.wzstcat(field, c.width, c.separator, 2, "ABCD", 4, "XY", 2), c.placed)
            << "width " << c.width;
        EXPECT_EQ(bytes(field, c.written.size() + 1), c.written + "#") << "width " << c.width;
    }
}

TEST_F(BlankPaddedTest, WzstcatNegativeWidthEndsWithANul) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(text.wzstcat(buffer, -6, -1, 2, "ABC", 3, "DEFG", 4), 5);
    EXPECT_EQ(bytes(buffer, 7), std::string("ABCDE\0#", 7));

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(text.wzstcat(buffer, -1, '.', 2, "ABC", 3, "DEFG", 4), 0);
    EXPECT_EQ(bytes(buffer, 2), std::string("\0#", 2));

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(text.wzstcat(buffer, -8, '.', 2, "AB", 2, "C", 1), 4);
    EXPECT_EQ(bytes(buffer, 6), std::string("AB.C\0#", 6));  // nothing after the NUL

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(text.wzstcat(buffer, 8, '.', 0), 0);
    EXPECT_EQ(bytes(buffer, 8), "        ");
}

TEST_F(BlankPaddedTest, WzstcomOrdersAsIfPaddedWithBlanks) {
    const char high[] = "\xC1";
    struct Case {
        const char *first;
        int32_t first_length;
        const char *second;
        int32_t second_length;
        int32_t expected;
    } cases[] = {
        {"LRECL", 5, "LRECL", 5, 0},
        {"AB", 2, "AB  ", 4, 0},
        {"AB  ", 4, "AB", 2, 0},
        {"ABC", 3, "ABD", 3, -3},
        {"ABD", 3, "ABC", 3, 3},
        {"A", 1, "AB", 2, -2},
        {"AB", 2, "A", 1, 2},
        {"A\t", 2, "A", 1, -2},
        {"A", 1, "A\t", 2, 2},
        {nullptr, 5, "X", 1, -1},
        {"X", 1, nullptr, 3, 1},
        {nullptr, 0, "   ", 3, 0},
        {"ABC", -2, "", 0, 0},
        {high, 1, "A", 1, 1},
        {"A", 1, high, 1, -1},
        {"MOD", 3, "MODE", 4, -4},
    };
    for (const Case &c : cases)
        EXPECT_EQ(text.wzstcom(c.first, c.first_length, c.second, c.second_length), c.expected)
            << (c.first ? c.first : "(null)") << " / " << (c.second ? c.second : "(null)");
}

TEST_F(BlankPaddedTest, WzstlenCountsToTheNul) {
    EXPECT_EQ(text.wzstlen(nullptr), 0);
    EXPECT_EQ(text.wzstlen(""), 0);
    EXPECT_EQ(text.wzstlen("LRECL"), 5);
}

TEST_F(BlankPaddedTest, WzstripNamedCases) {
    EXPECT_EQ(text.wzstrip("AB  ", 4), 2);
    EXPECT_EQ(text.wzstrip("        ", 8), 0);
    EXPECT_EQ(text.wzstrip("ABC", 0), 0);
    EXPECT_EQ(text.wzstrip("ABC", -3), -3);
    EXPECT_EQ(text.wzstrip(("A" + std::string(39, ' ')).data(), 40), 1);
    EXPECT_EQ(text.wzstrip("ABCDEFGHIJKLMNOPQ", 17), 17);

    alignas(8) char storage[100];
    std::memset(storage, ' ', sizeof storage);
    char *odd = storage + 1;
    odd[0] = 'W';
    odd[36] = 'Z';
    EXPECT_EQ(text.wzstrip(odd, 90), 37);
}

// The position of the last non-blank byte, one byte at a time.
int32_t reference_strip(const uint8_t *field, int32_t length) {
    while (length > 0 && field[length - 1] == ' ') --length;
    return length;
}

// Every length 0..64 at every alignment 0..7, with the last non-blank byte
// at every position (or none), the first byte blank or not, and the bytes
// around the field blank or not: the word scan must agree with the byte
// scan and read nothing outside the field (the sanitizer build checks the
// end; a read before the start would meet the non-blank guard bytes).
TEST_F(BlankPaddedTest, WzstripAgreesWithAByteScanAtEveryLengthAndAlignment) {
    for (int32_t length = 0; length <= 64; ++length) {
        for (int align = 0; align < 8; ++align) {
            for (uint8_t guard : {uint8_t{' '}, uint8_t{'G'}}) {
                for (bool first_blank : {true, false}) {
                    for (int32_t last = 0; last <= length; ++last) {
                        // Exactly align + length bytes, so a read past the end is caught.
                        std::unique_ptr<uint8_t[]> buffer(new uint8_t[align + length]);
                        uint8_t *field = buffer.get() + align;
                        std::memset(buffer.get(), guard, align);
                        for (int32_t i = 0; i < length; ++i)
                            field[i] = i < last && i % 3 == 1 ? 'x' : ' ';
                        if (length > 0) field[0] = first_blank ? ' ' : 'F';
                        if (last > 0) field[last - 1] = 'L';

                        ASSERT_EQ(text.wzstrip(field, length), reference_strip(field, length))
                            << "length " << length << " alignment " << align << " last "
                            << last << " first blank " << first_blank;
                    }
                }
            }
        }
    }
}

TEST_F(BlankPaddedTest, WzstrpqUnquotesInPlace) {
    struct Case {
        std::string token;
        int32_t expected_length;
        std::string expected_text;
    } cases[] = {
        {"'it''s'", 4, "it's"},
        {"''", 0, ""},
        {"'ABC'", 3, "ABC"},
        {"\"say \"\"hi\"\"\"", 8, "say \"hi\""},
        {"\"it's\"", 4, "it's"},         // the other quote is plain text
        {"'a'b'", 3, "a'b"},             // a lone inner quote is copied
        {"''''", 1, "'"},
        {"'", -1, ""},
    };
    for (const Case &c : cases) {
        std::string buffer = c.token;
        EXPECT_EQ(text.wzstrpq(buffer.data(), static_cast<int32_t>(buffer.size())),
                  c.expected_length)
            << c.token;
        EXPECT_STREQ(buffer.c_str(), c.expected_text.c_str()) << c.token;
    }

    char untouched[] = "'X'";
    EXPECT_EQ(text.wzstrpq(untouched, 0), 0);
    EXPECT_STREQ(untouched, "'X'");
}

}  // namespace
