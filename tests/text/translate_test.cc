// wztxxlt: the host's tables while no host encoding is in force (and always
// for index 4), the host's routines while one is.
#include <array>

#include "text_fixture.h"

namespace {

namespace routine = zef::routine;

// Puts five tables of the test's own into the control block's translation
// table block for the life of the object: table i maps b to b + i + 1, so
// each index's result tells which entry was read.
class OwnTables {
public:
    explicit OwnTables(zef::GlobalControlBlock *gcb) : gcb_(gcb), saved_(gcb->translation_tables) {
        for (int i = 0; i < 5; ++i) {
            for (int b = 0; b < 256; ++b) tables_[i][b] = static_cast<uint8_t>(b + i + 1);
            block_[zef::kTranslationTableBase + i] = tables_[i].data();
        }
        gcb_->translation_tables = block_.data();
    }
    ~OwnTables() { gcb_->translation_tables = saved_; }

    static std::string expected(int index, const std::string &source) {
        std::string out = source;
        for (char &c : out) c = static_cast<char>(static_cast<uint8_t>(c) + index + 1);
        return out;
    }

private:
    zef::GlobalControlBlock *gcb_;
    const uint8_t **saved_;
    std::array<std::array<uint8_t, 256>, 5> tables_{};
    std::array<const uint8_t *, 7> block_{};
};

using TranslateTest = TextTest;

TEST_F(TranslateTest, IndexOutsideZeroToFourWritesNothing) {
    for (bool encoding : {false, true}) {
        host.set_host_encoding(encoding);
        for (int32_t index : {5, -1, 100}) {
            char target[] = "UNCHANGED";
            EXPECT_EQ(text.wztxxlt(index, "abcdefgh", target, 8), zef::kBadTranslation);
            EXPECT_STREQ(target, "UNCHANGED");
        }
    }
}

TEST_F(TranslateTest, TablePathUsesTheTableOfTheIndex) {
    OwnTables tables(host.gcb());
    const std::string source = "Name\x01\xFE.x";
    for (int32_t index = 0; index < 5; ++index) {
        std::string target(source.size() + 1, '#');
        EXPECT_EQ(text.wztxxlt(index, source.data(), target.data(), 8), 0);
        EXPECT_EQ(target, OwnTables::expected(index, source) + "#") << "index " << index;
    }
}

TEST_F(TranslateTest, TablePathTranslatesExactlyLengthBytes) {
    OwnTables tables(host.gcb());
    const std::string source = "ABCDEFGHIJ";
    for (int32_t length : {-4, 0, 1, 2, 7, 8}) {
        std::string target(10, '#');
        EXPECT_EQ(text.wztxxlt(4, source.data(), target.data(), length), 0);
        int32_t done = length > 0 ? length : 0;
        EXPECT_EQ(target, OwnTables::expected(4, source.substr(0, done)) +
                              std::string(10 - done, '#'))
            << "length " << length;
    }
}

TEST_F(TranslateTest, UpperCasesANameInPlaceThroughTheHostTable) {
    char name[] = "work\xe9tmp";
    EXPECT_EQ(text.wztxxlt(kTranslateUpper, name, name, 8), 0);
    EXPECT_STREQ(name, "WORK\xc9TMP");
    EXPECT_EQ(host.calls(routine::wzstrup), 0);
}

TEST_F(TranslateTest, HostEncodingSendsCaseMappingToTheHost) {
    host.set_host_encoding(true);

    char name[] = "myLib x1";  // in place: the copy step meets itself
    EXPECT_EQ(text.wztxxlt(kTranslateUpper, name, name, 8), 0);
    EXPECT_STREQ(name, "MYLIB X1");
    EXPECT_EQ(host.calls(routine::wzstrup), 1);

    char lower[9] = {};
    EXPECT_EQ(text.wztxxlt(kTranslateLower, "MYLIB X1", lower, 8), 0);
    EXPECT_STREQ(lower, "mylib x1");
    EXPECT_EQ(host.calls(routine::wzstrlo), 1);
    EXPECT_EQ(host.unmarked_calls(), 0);
}

TEST_F(TranslateTest, HostEncodingSendsTranscodingToTheHost) {
    const std::string source = "Hello, 1";
    std::string by_table(8, '\0');
    for (int32_t index : {0, 1}) {
        host.set_host_encoding(false);
        text.wztxxlt(index, source.data(), by_table.data(), 8);

        host.set_host_encoding(true);
        std::string by_host(8, '\0');
        EXPECT_EQ(text.wztxxlt(index, source.data(), by_host.data(), 8), 0);
        EXPECT_EQ(by_host, by_table) << "index " << index;
    }
    EXPECT_EQ(host.calls(routine::wzsxcch), 1);
    EXPECT_EQ(host.calls(routine::wzsxrch), 1);
}

TEST_F(TranslateTest, IndexFourUsesItsTableEvenUnderAHostEncoding) {
    OwnTables tables(host.gcb());
    host.set_host_encoding(true);
    std::string target(8, '#');
    EXPECT_EQ(text.wztxxlt(4, "abcdefgh", target.data(), 8), 0);
    EXPECT_EQ(target, OwnTables::expected(4, "abcdefgh"));
}

TEST_F(TranslateTest, TheEncodingIsLookedAtOnEveryCall) {
    OwnTables tables(host.gcb());
    std::string target(4, '#');

    host.set_host_encoding(true);
    text.wztxxlt(kTranslateUpper, "abcd", target.data(), 4);
    EXPECT_EQ(target, "ABCD");

    host.set_host_encoding(false);
    text.wztxxlt(kTranslateUpper, "abcd", target.data(), 4);
    EXPECT_EQ(target, OwnTables::expected(kTranslateUpper, "abcd"));

    host.set_host_encoding(true);
    host.set_encoding_descriptor_present(false);  // no descriptor: no encoding
    text.wztxxlt(kTranslateUpper, "abcd", target.data(), 4);
    EXPECT_EQ(target, OwnTables::expected(kTranslateUpper, "abcd"));
    host.set_encoding_descriptor_present(true);
    host.set_encoding_holder_present(false);  // nor without the holder
    target.assign(4, '#');
    text.wztxxlt(kTranslateUpper, "abcd", target.data(), 4);
    EXPECT_EQ(target, OwnTables::expected(kTranslateUpper, "abcd"));
    EXPECT_EQ(host.calls(routine::wzstrup), 1);
}

}  // namespace
