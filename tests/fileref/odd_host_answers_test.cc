// Answers a host may give that the stand-in gives only when a test plans
// them: message lengths out of range, name parts of impossible lengths,
// tokens without text or statement, a variable lookup that cannot bind now.
// Each is taken safely: the usual status, bounded inserts, nothing left.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class OddHostAnswers : public FilerefTest {
protected:
    void TearDown() override {
        deassign_all();
        expect_pools_back();
    }
    int32_t physical_name(std::string_view name) {
        char buffer[1024];
        return physical_name_slot(Name8(name), buffer);
    }
};

TEST_F(OddHostAnswers, MessageLengthsOutOfRangeGiveBoundedInserts) {
    ASSERT_EQ(assign("CAT", "lib.cat"), zef::kOk);
    const std::string text = host.messages().text(zef::kMessageSet, 5);

    host.answer_oddly(zef::routine::ypmstr, -7);
    EXPECT_EQ(physical_name("CAT"), zef::kNameUnsuitable);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{std::string(1, '\0')});

    // More than the buffer holds: cut to it, and still ended by a zero byte.
    host.answer_oddly(zef::routine::ypmstr, 100000);
    EXPECT_EQ(physical_name("CAT"), zef::kNameUnsuitable);
    ASSERT_EQ(host.last_inserts().size(), 1u);
    const std::string &insert = host.last_inserts()[0];
    EXPECT_EQ(insert.size(), size_t{zef::kMessageBufferSize});
    EXPECT_EQ(insert.substr(0, text.size()), text);
    EXPECT_EQ(insert.back(), '\0');
}

TEST_F(OddHostAnswers, NegativePartLengthsAreEmptyParts) {
    host.answer_oddly(zef::routine::znamdiv, -3);
    ASSERT_EQ(assign("NEG", "lib.cat.entry.type"), zef::kOk);
    const zef::FilerefRecord *r = record("NEG");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::string(r->full_name, r->full_name_length), "...");
    EXPECT_EQ(physical_name("NEG"), zef::kNameUnsuitable);
    EXPECT_EQ(host.messages().insert_text(0), host.messages().text(zef::kMessageSet, 5));
    // Nor does a test of existence or a deletion hand the host a negative
    // catalog length: the empty catalog is refused first.
    EXPECT_EQ(module.slot<zef::fn::yxlexp>(3)(Name8("NEG"), nullptr), zef::kNameUnsuitable);
    EXPECT_EQ(module.slot<zef::fn::yxldel>(32)(Name8("NEG"), nullptr), zef::kNameUnsuitable);
}

class OddTokens : public FilerefTest {
protected:
    zef::OptionBlock *slot = nullptr;
    int32_t taken = -1;
    bool marked = false;

    int32_t parse_one(std::string_view text) {
        zefhost::OptionSource source(text);
        taken = -1;
        host.clear_inserts();
        int32_t status =
            parse_slot(nullptr, host.owner_record(), nullptr, 0, source.handle(), &taken, &slot);
        marked = (source.statement()->status_word & 0x1) != 0;
        return status;
    }
    // The inserts of a rejected token: its length, its text with a zero byte.
    static std::vector<std::string> token_inserts(std::string_view text) {
        int32_t length = static_cast<int32_t>(text.size());
        return {std::string(reinterpret_cast<char *>(&length), 4), std::string(text) + '\0'};
    }
    void TearDown() override {
        if (slot != nullptr) release(slot);
        expect_pools_back();
    }
};

// A token without text is an empty token, wherever in the option it comes.
TEST_F(OddTokens, ATokenWithoutTextIsEmpty) {
    struct Case {
        const char *text;
        int nth;  // which token comes without text
        int32_t status;
        int32_t taken;
    } cases[] = {
        {"LRECL=80", 1, zef::kUnknownOption, 0},
        {"BLOCKSIZE=80", 2, zef::kOptionRejected, 1},
        {"RECFM=F", 3, zef::kOptionRejected, 2},
        {"NBYTE=counter", 3, zef::kOptionRejected, 2},
        {"ENCODING=utf8", 3, zef::kOptionRejected, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int64_t ends = host.calls(zef::routine::yxatokt);
        host.answer_oddly(zef::routine::yxatok, 0, c.nth);
        EXPECT_EQ(parse_one(c.text), c.status);
        EXPECT_EQ(taken, c.taken);
        EXPECT_TRUE(marked);
        EXPECT_EQ(host.last_inserts(), token_inserts(""));
        EXPECT_EQ(host.calls(zef::routine::yxatokt), ends + 1);
    }
    // An empty quoted text is an empty description.
    host.answer_oddly(zef::routine::yxatok, 0, 3);
    EXPECT_EQ(parse_one("DESC='x'"), zef::kOk);
    EXPECT_EQ(slot->description_length, 0);
    // LRECL without its '=' leaves the scan open, as it does for any token.
    host.answer_oddly(zef::routine::yxatok, 0, 2);
    EXPECT_EQ(parse_one("LRECL=80"), zef::kOptionRejected);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(slot->lrecl, 0);
}

TEST_F(OddTokens, ATokenWithoutStatementMarksNothing) {
    host.answer_oddly(zef::routine::yxatok, 1, 3);
    EXPECT_EQ(parse_one("RECFM=X"), zef::kOptionRejected);
    EXPECT_EQ(taken, 2);
    EXPECT_FALSE(marked);
    EXPECT_EQ(host.last_inserts(), token_inserts("X"));

    host.answer_oddly(zef::routine::yxatok, 1, 2);
    EXPECT_EQ(parse_one("LRECL 80"), zef::kOptionRejected);
    EXPECT_FALSE(marked);
}

// A lookup may answer 2 for a name it cannot bind now: refused as unbound.
TEST_F(OddTokens, LookupThatCannotBindNowRefusesNbyte) {
    host.set_variable("COUNTER", 3);
    host.variables().answer_next_lookup(2);
    EXPECT_EQ(parse_one("NBYTE=counter"), zef::kOptionRejected);
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(host.last_inserts(), token_inserts("COUNTER"));
    EXPECT_EQ(parse_one("NBYTE=counter"), zef::kOk);  // once only
}

}  // namespace
}  // namespace fileref_test
