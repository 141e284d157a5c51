// The ENCODING option's value: a number is no name, and a value longer than
// any encoding name is looked up cut to the longest, never read past, so
// blanks padding a quoted name do not matter.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class EncodingOption : public FilerefTest {
protected:
    zef::OptionBlock *slot = nullptr;
    int32_t taken = -1;

    int32_t parse_one(std::string_view text) {
        zefhost::OptionSource source(text);
        host.clear_inserts();
        return parse_slot(nullptr, host.owner_record(), nullptr, 0, source.handle(), &taken, &slot);
    }
    void expect_rejected(std::string_view text, const std::string &insert) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse_one(text), zef::kOptionRejected);
        EXPECT_EQ(taken, 2);
        int32_t length = static_cast<int32_t>(insert.size());
        EXPECT_EQ(host.last_inserts(),
                  (std::vector<std::string>{std::string(reinterpret_cast<char *>(&length), 4),
                                            insert + '\0'}));
        EXPECT_EQ(slot->encoding, 0);
        EXPECT_EQ(slot->encoding_flags, 0u);
    }
    void TearDown() override {
        if (slot != nullptr) release(slot);
        expect_pools_back();
    }
};

TEST_F(EncodingOption, NumberIsRejected) { expect_rejected("ENCODING=1208", "1208"); }

TEST_F(EncodingOption, OverlongValuesAreCutToTheLongestName) {
    expect_rejected("ENCODING=utf8utf8utf8utf8utf8utf8", "UTF8UTF8UTF8UTF8UTF8UTF8");
    expect_rejected("ENCODING='utf-8xxxxxxxxxxxxxxxxxxxxxxxxx'",
                    "'utf-8xxxxxxxxxxxxxxxxxxxxxxxxx'");
    EXPECT_EQ(parse_one("ENCODING='utf-8                           '"), zef::kOk);
    EXPECT_EQ(taken, 3);
    int32_t utf8 = slot->encoding;
    EXPECT_NE(utf8, 0);
    EXPECT_EQ(parse_one("ENCODING=utf-8"), zef::kOk);
    EXPECT_EQ(slot->encoding, utf8);
}

}  // namespace
}  // namespace fileref_test
