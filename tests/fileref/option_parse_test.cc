// The option slot, one option per call, against the stand-in's tokenizer.
#include <cstring>

#include "fileref_fixture.h"

namespace fileref_test {
namespace {

constexpr int32_t kUntouched = -7;

struct CallResult {
    int32_t status;
    int32_t taken;
};

class OptionParseTest : public FilerefTest {
protected:
    zef::OptionBlock *slot = nullptr;

    // One call of the option slot on the first option of `text`.
    CallResult parse_one(std::string_view text, uint32_t flags = 0) {
        zefhost::OptionSource source(text);
        source.begin_option();
        CallResult result{0, kUntouched};
        host.clear_inserts();
        result.status = parse_slot(nullptr, host.owner_record(), nullptr, flags, source.handle(),
                                   &result.taken, &slot);
        statement_marked = (source.statement()->status_word & 0x1) != 0;
        return result;
    }

    void TearDown() override {
        if (slot != nullptr) release(slot);
        expect_pools_back();
    }

    bool statement_marked = false;
};

std::string description(const zef::OptionBlock &b) {
    return std::string(b.description, b.description_length);
}

TEST_F(OptionParseTest, NullSourceOnlyMakesTheBlock) {
    int32_t taken = kUntouched;
    ASSERT_EQ(parse_slot(nullptr, host.owner_record(), nullptr, 0x10 | 0x4, nullptr, &taken, &slot),
              zef::kOk);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(taken, kUntouched);
    EXPECT_EQ(slot->kind, 7);
    EXPECT_EQ(slot->flags, 0x10u);  // only the 0x10 bit of the caller's flags
    EXPECT_EQ(slot->description_length, 0);
    EXPECT_EQ(field(slot->description, 256), std::string(256, ' '));
    EXPECT_EQ(slot->owner, host.owner_record());
    EXPECT_EQ(slot->lrecl, 0);
    EXPECT_EQ(slot->record_format, 0u);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), start.owner + 1);

    zef::OptionBlock *same = slot;
    ASSERT_EQ(parse_slot(nullptr, host.owner_record(), nullptr, 0, nullptr, &taken, &slot), zef::kOk);
    EXPECT_EQ(slot, same);  // an existing block is kept
}

TEST_F(OptionParseTest, BlockWithoutFlagIsOwned) {
    int32_t taken = 0;
    ASSERT_EQ(parse_slot(nullptr, host.owner_record(), nullptr, 0x8, nullptr, &taken, &slot), zef::kOk);
    EXPECT_EQ(slot->flags, 0u);
}

TEST_F(OptionParseTest, EachKeywordAccepted) {
    host.set_variable("COUNTER", 3);
    struct Case {
        const char *text;
        int32_t taken;
    } cases[] = {
        {"LRECL=80", 3},      {"BLOCKSIZE=6144", 3},     {"RECFM=F", 3},
        {"MOD", 1},           {"ATTR", 1},               {"CATALOG", 1},
        {"NBYTE=counter", 3}, {"DESC='first'", 3},       {"DESCRIPTION=\"second\"", 3},
        {"ENCODING=utf-8", 3}, {"encoding='Latin1'", 3},
    };
    for (const Case &c : cases) {
        CallResult r = parse_one(c.text);
        EXPECT_EQ(r.status, zef::kOk) << c.text;
        EXPECT_EQ(r.taken, c.taken) << c.text;
        EXPECT_FALSE(statement_marked) << c.text;
        EXPECT_TRUE(host.last_inserts().empty()) << c.text;
    }
    EXPECT_EQ(slot->lrecl, 80);
    EXPECT_EQ(slot->blocksize, 6144);
    EXPECT_EQ(slot->record_format, 0x08u);
    EXPECT_EQ(slot->mode, 0x4u);
    EXPECT_EQ(slot->attr, 1);
    EXPECT_EQ(slot->nbyte_param, -1);
    EXPECT_EQ(slot->nbyte_name_length, 7);
    EXPECT_EQ(field(slot->nbyte_name, 32), "COUNTER" + std::string(25, ' '));
    EXPECT_EQ(description(*slot), "second");  // the later DESCRIPTION replaced DESC
    EXPECT_EQ(slot->encoding, zefhost::kEncodingLatin1);
    EXPECT_EQ(slot->encoding_flags, 0x10u);
    EXPECT_EQ(host.calls(zef::routine::yxatokt), static_cast<int64_t>(std::size(cases)));
}

TEST_F(OptionParseTest, RecordFormatBitsAddUp) {
    struct Case {
        const char *text;
        uint32_t bits;
    } cases[] = {{"RECFM=VB", 0x20}, {"RECFM=P", 0x11}, {"RECFM=S", 0x02}, {"RECFM=F", 0x08}};
    for (const Case &c : cases) {
        zef::OptionBlock *before = slot;
        uint32_t earlier = before ? before->record_format : 0;
        ASSERT_EQ(parse_one(c.text).status, zef::kOk) << c.text;
        EXPECT_EQ(slot->record_format, earlier | c.bits) << c.text;
    }
    EXPECT_EQ(slot->record_format, 0x3Bu);
}

TEST_F(OptionParseTest, RepeatedValuesReplaceTheEarlierOnes) {
    host.set_variable("A", 1);
    host.set_variable("LONGERNAME", 2);
    for (const char *text : {"LRECL=80", "BLOCKSIZE=10", "NBYTE=LONGERNAME", "ENCODING=utf8",
                             "DESC='a longer one'", "LRECL=132", "BLOCKSIZE=20", "NBYTE=A",
                             "ENCODING=ascii", "DESC='b'"})
        ASSERT_EQ(parse_one(text).status, zef::kOk) << text;
    EXPECT_EQ(slot->lrecl, 132);
    EXPECT_EQ(slot->blocksize, 20);
    EXPECT_EQ(field(slot->nbyte_name, 32), "A" + std::string(31, ' '));
    EXPECT_EQ(slot->nbyte_name_length, 1);
    EXPECT_EQ(slot->encoding, zefhost::kEncodingAscii);
    EXPECT_EQ(description(*slot), "b");
    EXPECT_EQ(field(slot->description, 12), "b           ");
}

TEST_F(OptionParseTest, DescriptionUnquotesDoubledQuotes) {
    ASSERT_EQ(parse_one("DESC='It''s'").status, zef::kOk);
    EXPECT_EQ(slot->description_length, 4);
    EXPECT_EQ(description(*slot), "It's");
    EXPECT_EQ(host.scratch_pool().obtains(), 1);  // the work buffer, given back
}

TEST_F(OptionParseTest, LongDescriptionIsCutWithItsLength) {
    std::string text(300, 'x');
    text.replace(250, 10, "0123456789");
    ASSERT_EQ(parse_one("DESC='" + text + "'").status, zef::kOk);
    EXPECT_EQ(slot->description_length, 256);
    EXPECT_EQ(field(slot->description, 256), text.substr(0, 256));
    EXPECT_EQ(slot->spare_290[0], 0);  // nothing written past the field
    EXPECT_EQ(slot->flags, 0u);
}

struct Rejection {
    const char *text;
    int32_t status;
    int32_t taken;
    const char *insert;  // the token's text; null: no inserts
};

TEST_F(OptionParseTest, RejectionsCountMarkAndInsert) {
    const Rejection cases[] = {
        {"DESCRIPT='x'", zef::kUnknownOption, 0, "DESCRIPT"},
        {"LREC=80", zef::kUnknownOption, 0, "LREC"},
        {"80", zef::kUnknownOption, 0, "80"},
        {"BLOCKSIZE 80", zef::kOptionRejected, 1, "80"},
        {"RECFM MOD", zef::kOptionRejected, 1, "MOD"},
        {"NBYTE", zef::kOptionRejected, 1, ""},
        {"DESC:'x'", zef::kOptionRejected, 1, ":"},
        {"ENCODING utf8", zef::kOptionRejected, 1, "UTF8"},
        {"BLOCKSIZE=big", zef::kOptionRejected, 2, "BIG"},
        {"BLOCKSIZE=99999999999999999999", zef::kOptionRejected, 2, "99999999999999999999"},
        {"LRECL=99999999999999999999", zef::kOptionRejected, 2, "99999999999999999999"},
        {"RECFM=X", zef::kOptionRejected, 2, "X"},
        {"RECFM='V'", zef::kOptionRejected, 2, "'V'"},
        {"RECFM=8", zef::kOptionRejected, 2, "8"},
        {"NBYTE='A'", zef::kOptionRejected, 2, "'A'"},
        {"NBYTE=NOSUCHVARIABLE", zef::kOptionRejected, 2, "NOSUCHVARIABLE"},
        {"DESC=plain", zef::kOptionRejected, 2, "PLAIN"},
        {"ENCODING=klingon", zef::kOptionRejected, 2, "KLINGON"},
        {"ENCODING='klingon'", zef::kOptionRejected, 2, "'klingon'"},
        {"ENCODING=8", zef::kOptionRejected, 2, "8"},
    };
    for (const Rejection &c : cases) {
        int64_t ends_before = host.calls(zef::routine::yxatokt);
        CallResult r = parse_one(c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_EQ(r.taken, c.taken) << c.text;
        EXPECT_TRUE(statement_marked) << c.text;
        ASSERT_EQ(host.last_inserts().size(), 2u) << c.text;
        int32_t length = -1;
        ASSERT_EQ(host.last_inserts()[0].size(), 4u) << c.text;
        std::memcpy(&length, host.last_inserts()[0].data(), 4);
        EXPECT_EQ(length, static_cast<int32_t>(std::strlen(c.insert))) << c.text;
        EXPECT_EQ(host.last_inserts()[1], std::string(c.insert) + '\0') << c.text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt), ends_before + 1) << c.text;
    }
    EXPECT_EQ(slot->encoding, 0);  // refused names leave no identifier
    EXPECT_EQ(slot->encoding_flags, 0u);
    EXPECT_EQ(slot->record_format, 0u);
    // The NBYTE fields stay set for a name the host cannot bind.
    EXPECT_EQ(field(slot->nbyte_name, 14), "NOSUCHVARIABLE");
    EXPECT_EQ(slot->nbyte_param, -1);
}

TEST_F(OptionParseTest, LreclRejectsSomeValuesQuietly) {
    // A missing '=' and a value that is not a number: no inserts, the scan left open.
    for (auto [text, taken] : {std::pair{"LRECL 80", 1}, std::pair{"LRECL=big", 2},
                               std::pair{"LRECL='80'", 2}}) {
        int64_t ends_before = host.calls(zef::routine::yxatokt);
        CallResult r = parse_one(text);
        EXPECT_EQ(r.status, zef::kOptionRejected) << text;
        EXPECT_EQ(r.taken, taken) << text;
        EXPECT_TRUE(statement_marked) << text;
        EXPECT_TRUE(host.last_inserts().empty()) << text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt), ends_before) << text;
    }
    EXPECT_EQ(slot->lrecl, 0);
}

TEST_F(OptionParseTest, NbyteNamesLongerThan32AreRejectedUntouched) {
    std::string name(33, 'N');
    CallResult r = parse_one("NBYTE=" + name);
    EXPECT_EQ(r.status, zef::kOptionRejected);
    EXPECT_EQ(r.taken, 2);
    EXPECT_EQ(slot->nbyte_param, 0);
    EXPECT_EQ(slot->nbyte_name_length, 0);
    EXPECT_EQ(host.variables().lookups(), 0);

    host.set_variable(std::string(32, 'N'), 1);
    EXPECT_EQ(parse_one("NBYTE=" + std::string(32, 'N')).status, zef::kOk);
    EXPECT_EQ(slot->nbyte_name_length, 32);
}

TEST_F(OptionParseTest, NbyteWithoutLookupServiceIsTakenAsGiven) {
    host.offer_variable_lookup(false);
    CallResult r = parse_one("NBYTE=ANYTHING");
    EXPECT_EQ(r.status, zef::kOk);
    EXPECT_EQ(r.taken, 3);
    EXPECT_EQ(slot->nbyte_name_length, 8);
}

TEST_F(OptionParseTest, BlockRefusedLeavesTheSlotNull) {
    host.owner_pool().refuse_nth(1);
    CallResult r = parse_one("LRECL=80");
    EXPECT_EQ(r.status, zef::kNoStorage);
    EXPECT_EQ(r.taken, kUntouched);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(host.calls(zef::routine::yxatoki), 0);
}

TEST_F(OptionParseTest, DescriptionBufferRefusedKeepsTheBlock) {
    ASSERT_EQ(parse_one("LRECL=80").status, zef::kOk);
    host.scratch_pool().refuse_nth(1);
    CallResult r = parse_one("DESC='text'");
    EXPECT_EQ(r.status, zef::kNoStorage);
    EXPECT_EQ(r.taken, kUntouched);
    EXPECT_FALSE(statement_marked);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->lrecl, 80);
    EXPECT_EQ(slot->description_length, 0);
}

TEST_F(OptionParseTest, BlockMadeForTheCurrentOwnerWhenNoneIsGiven) {
    zefhost::OptionSource source("MOD");
    int32_t taken = 0;
    ASSERT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, source.handle(), &taken, &slot), zef::kOk);
    EXPECT_EQ(slot->owner, host.owner_record());
    release(slot);
    slot = nullptr;

    host.set_no_current_task(true);
    EXPECT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, nullptr, &taken, &slot), zef::kNoStorage);
    EXPECT_EQ(slot, nullptr);
    host.set_no_current_task(false);
}

TEST_F(OptionParseTest, TokenizerStatusesPassThrough) {
    struct Case {
        zef::RoutineAddress routine;
        int nth;
        const char *text;
        int64_t ends;  // scans ended
    } cases[] = {
        {zef::routine::yxatoki, 1, "LRECL=80", 0},
        {zef::routine::yxatok, 1, "LRECL=80", 0},
        {zef::routine::yxatok, 2, "LRECL=80", 0},
        {zef::routine::yxatok, 3, "LRECL=80", 0},
        {zef::routine::yxatok, 3, "NBYTE=X", 1},
        {zef::routine::yxatok, 3, "ENCODING=X", 1},
        {zef::routine::yxatokt, 1, "MOD", 1},
        {zef::routine::yxatokt, 1, "LRECL=80", 1},
    };
    constexpr int32_t kHostStatus = static_cast<int32_t>(0x8001BEEF);
    for (const Case &c : cases) {
        host.fail_call(c.routine, kHostStatus, c.nth);
        int64_t ends_before = host.calls(zef::routine::yxatokt);
        CallResult r = parse_one(c.text);
        EXPECT_EQ(r.status, kHostStatus) << c.text;
        EXPECT_EQ(r.taken, c.routine.slot == zef::routine::yxatokt.slot ? (c.text[0] == 'M' ? 1 : 3)
                                                                        : kUntouched)
            << c.text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt) - ends_before, c.ends) << c.text;
        host.clear_failures();
    }
    // An unterminated quote is the tokenizer's failure too.
    CallResult r = parse_one("DESC='open");
    EXPECT_EQ(r.status, zefhost::kUnterminatedQuote);
    EXPECT_EQ(r.taken, kUntouched);
}

}  // namespace
}  // namespace fileref_test
