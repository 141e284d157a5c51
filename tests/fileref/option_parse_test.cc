// The option slot, one option per call, against the stand-in's tokenizer.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

constexpr int32_t kUntouched = -7;

class OptionParseTest : public FilerefTest {
protected:
    zef::OptionBlock *slot = nullptr;
    int32_t taken = kUntouched;
    bool marked = false;

    // One call of the option slot on the first option of `text`.
    int32_t parse_one(std::string_view text) {
        zefhost::OptionSource source(text);
        taken = kUntouched;
        host.clear_inserts();
        int32_t status =
            parse_slot(nullptr, host.owner_record(), nullptr, 0, source.handle(), &taken, &slot);
        marked = (source.statement()->status_word & 0x1) != 0;
        return status;
    }
    std::string description() { return std::string(slot->description, slot->description_length); }

    void TearDown() override {
        if (slot != nullptr) release(slot);
        expect_pools_back();
    }
};

TEST_F(OptionParseTest, NullSourceOnlyMakesTheBlock) {
    for (uint32_t flags : {0x14u, 0x8u}) {
        zef::OptionBlock *block = nullptr;
        ASSERT_EQ(parse_slot(nullptr, host.owner_record(), nullptr, flags, nullptr, &taken, &block),
                  zef::kOk);
        EXPECT_EQ(taken, kUntouched);
        EXPECT_EQ(block->kind, 7);
        EXPECT_EQ(block->flags, flags & 0x10);
        EXPECT_EQ(field(block->description, 256), std::string(256, ' '));
        EXPECT_EQ(block->description_length, 0);
        EXPECT_EQ(block->owner, host.owner_record());
        EXPECT_EQ(block->lrecl, 0);
        zef::OptionBlock *same = block;
        ASSERT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, nullptr, &taken, &block), zef::kOk);
        EXPECT_EQ(block, same);
        release(block);
    }
}

TEST_F(OptionParseTest, EachKeywordAccepted) {
    host.set_variable("COUNTER", 3);
    const std::pair<const char *, int32_t> cases[] = {
        {"LRECL=80", 3},      {"BLOCKSIZE=6144", 3},           {"RECFM=F", 3},
        {"MOD", 1},           {"ATTR", 1},                     {"CATALOG", 1},
        {"NBYTE=counter", 3}, {"DESC='first'", 3},             {"DESCRIPTION=\"second\"", 3},
        {"ENCODING=utf-8", 3}, {"encoding='Latin1'", 3},
    };
    for (auto [text, count] : cases) {
        EXPECT_EQ(parse_one(text), zef::kOk) << text;
        EXPECT_EQ(taken, count) << text;
        EXPECT_FALSE(marked) << text;
        EXPECT_TRUE(host.last_inserts().empty()) << text;
    }
    EXPECT_EQ(slot->lrecl, 80);
    EXPECT_EQ(slot->blocksize, 6144);
    EXPECT_EQ(slot->record_format, 0x08u);
    EXPECT_EQ(slot->mode, 0x4u);
    EXPECT_EQ(slot->attr, 1);
    EXPECT_EQ(slot->nbyte_param, -1);
    EXPECT_EQ(field(slot->nbyte_name, 32), "COUNTER" + std::string(25, ' '));
    EXPECT_EQ(slot->nbyte_name_length, 7);
    EXPECT_EQ(description(), "second");
    EXPECT_EQ(slot->encoding, zefhost::kEncodingLatin1);
    EXPECT_EQ(slot->encoding_flags, 0x10u);
    EXPECT_EQ(host.calls(zef::routine::yxatokt), static_cast<int64_t>(std::size(cases)));
}

TEST_F(OptionParseTest, LaterOptionsFillTheSameBlock) {
    host.set_variable("A", 1);
    host.set_variable("LONGERNAME", 2);
    for (const char *text : {"RECFM=VB", "RECFM=P", "LRECL=80", "NBYTE=LONGERNAME",
                             "DESC='a longer one'", "ENCODING=utf8", "LRECL=132", "NBYTE=A",
                             "DESC='It''s'", "ENCODING=ascii", "RECFM=S"})
        ASSERT_EQ(parse_one(text), zef::kOk) << text;
    EXPECT_EQ(slot->record_format, 0x20u | 0x11u | 0x02u);  // RECFM adds, the rest replace
    EXPECT_EQ(slot->lrecl, 132);
    EXPECT_EQ(field(slot->nbyte_name, 32), "A" + std::string(31, ' '));
    EXPECT_EQ(description(), "It's");
    EXPECT_EQ(field(slot->description, 14), "It's          ");
    EXPECT_EQ(slot->encoding, zefhost::kEncodingAscii);
}

TEST_F(OptionParseTest, LongDescriptionIsCutWithItsLength) {
    std::string text(300, 'x');
    text.replace(250, 10, "0123456789");
    ASSERT_EQ(parse_one("DESC='" + text + "'"), zef::kOk);
    EXPECT_EQ(slot->description_length, 256);
    EXPECT_EQ(field(slot->description, 256), text.substr(0, 256));
    EXPECT_EQ(slot->flags, 0u);  // nothing written past the field
}

TEST_F(OptionParseTest, RejectionsCountMarkAndInsert) {
    struct Case {
        const char *text;
        int32_t status;
        int32_t taken;
        const char *insert;  // the text of the token that failed
    } cases[] = {
        {"DESCRIPT='x'", zef::kUnknownOption, 0, "DESCRIPT"},
        {"80", zef::kUnknownOption, 0, "80"},
        {"BLOCKSIZE 80", zef::kOptionRejected, 1, "80"},
        {"NBYTE", zef::kOptionRejected, 1, ""},
        {"DESC:'x'", zef::kOptionRejected, 1, ":"},
        {"ENCODING utf8", zef::kOptionRejected, 1, "UTF8"},
        {"BLOCKSIZE=big", zef::kOptionRejected, 2, "BIG"},
        {"LRECL=99999999999999999999", zef::kOptionRejected, 2, "99999999999999999999"},
        {"RECFM=X", zef::kOptionRejected, 2, "X"},
        {"RECFM='V'", zef::kOptionRejected, 2, "'V'"},
        {"NBYTE='A'", zef::kOptionRejected, 2, "'A'"},
        {"NBYTE=NOSUCHVARIABLE", zef::kOptionRejected, 2, "NOSUCHVARIABLE"},
        {"NBYTE=" "N234567890123456789012345678901234", zef::kOptionRejected, 2,
         "N234567890123456789012345678901234"},
        {"DESC=plain", zef::kOptionRejected, 2, "PLAIN"},
        {"ENCODING=klingon", zef::kOptionRejected, 2, "KLINGON"},
        {"ENCODING='klingon'", zef::kOptionRejected, 2, "'klingon'"},
    };
    for (const Case &c : cases) {
        int64_t ends = host.calls(zef::routine::yxatokt);
        EXPECT_EQ(parse_one(c.text), c.status) << c.text;
        EXPECT_EQ(taken, c.taken) << c.text;
        EXPECT_TRUE(marked) << c.text;
        int32_t length = static_cast<int32_t>(std::strlen(c.insert));
        EXPECT_EQ(host.last_inserts(),
                  (std::vector<std::string>{std::string(reinterpret_cast<char *>(&length), 4),
                                            std::string(c.insert) + '\0'}))
            << c.text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt), ends + 1) << c.text;
    }
    EXPECT_EQ(slot->encoding, 0);  // a refused encoding leaves no identifier
    EXPECT_EQ(slot->encoding_flags, 0u);
    EXPECT_EQ(slot->record_format, 0u);
    // An unbound NBYTE name stays set; a name over 32 characters never was.
    EXPECT_EQ(field(slot->nbyte_name, 16), "NOSUCHVARIABLE  ");
}

TEST_F(OptionParseTest, LreclRejectsSomeValuesQuietly) {
    // A missing '=' and a value that is not a number: no inserts, the scan left open.
    for (auto [text, count] : {std::pair{"LRECL 80", 1}, std::pair{"LRECL='80'", 2}}) {
        int64_t ends = host.calls(zef::routine::yxatokt);
        EXPECT_EQ(parse_one(text), zef::kOptionRejected) << text;
        EXPECT_EQ(taken, count) << text;
        EXPECT_TRUE(marked) << text;
        EXPECT_TRUE(host.last_inserts().empty()) << text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt), ends) << text;
    }
}

TEST_F(OptionParseTest, NbyteWithoutLookupServiceIsTakenAsGiven) {
    host.offer_variable_lookup(false);
    EXPECT_EQ(parse_one("NBYTE=ANYTHING"), zef::kOk);
    EXPECT_EQ(slot->nbyte_name_length, 8);
}

TEST_F(OptionParseTest, StorageRefusedForBlockOrDescription) {
    host.owner_pool().refuse_nth(1);
    EXPECT_EQ(parse_one("LRECL=80"), zef::kNoStorage);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(host.calls(zef::routine::yxatoki), 0);

    ASSERT_EQ(parse_one("LRECL=80"), zef::kOk);
    host.scratch_pool().refuse_nth(1);
    EXPECT_EQ(parse_one("DESC='text'"), zef::kNoStorage);
    EXPECT_EQ(taken, kUntouched);
    EXPECT_FALSE(marked);
    EXPECT_EQ(slot->lrecl, 80);  // the block stays with what was set
    EXPECT_EQ(slot->description_length, 0);
}

TEST_F(OptionParseTest, WithoutAnOwnerTheCurrentOnesPoolServes) {
    ASSERT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, nullptr, &taken, &slot), zef::kOk);
    EXPECT_EQ(slot->owner, host.owner_record());
    zef::OptionBlock *none = nullptr;
    host.set_no_current_task(true);
    EXPECT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, nullptr, &taken, &none), zef::kNoStorage);
    host.set_no_current_task(false);
    host.set_task_block_present(false);  // no task block: no current task either
    EXPECT_EQ(parse_slot(nullptr, nullptr, nullptr, 0, nullptr, &taken, &none), zef::kNoStorage);
    host.set_task_block_present(true);
    EXPECT_EQ(none, nullptr);
}

TEST_F(OptionParseTest, TokenizerStatusesPassThrough) {
    constexpr int32_t kHostStatus = static_cast<int32_t>(0x8001BEEF);
    struct Case {
        zef::RoutineAddress routine;
        int nth;
        const char *text;
        int32_t taken;
        int64_t ends;  // token scans ended
    } cases[] = {
        {zef::routine::yxatoki, 1, "LRECL=80", kUntouched, 0},
        {zef::routine::yxatok, 1, "LRECL=80", kUntouched, 0},
        {zef::routine::yxatok, 2, "LRECL=80", kUntouched, 0},
        {zef::routine::yxatok, 3, "LRECL=80", kUntouched, 0},
        {zef::routine::yxatok, 3, "NBYTE=X", kUntouched, 1},
        {zef::routine::yxatok, 3, "ENCODING=X", kUntouched, 1},
        {zef::routine::yxatokt, 1, "MOD", 1, 1},
        {zef::routine::yxatokt, 1, "LRECL=80", 3, 1},
    };
    for (const Case &c : cases) {
        host.fail_call(c.routine, kHostStatus, c.nth);
        int64_t ends = host.calls(zef::routine::yxatokt);
        EXPECT_EQ(parse_one(c.text), kHostStatus) << c.text;
        EXPECT_EQ(taken, c.taken) << c.text;
        EXPECT_EQ(host.calls(zef::routine::yxatokt) - ends, c.ends) << c.text;
    }
    EXPECT_EQ(parse_one("DESC='open"), zefhost::kUnterminatedQuote);
    EXPECT_EQ(taken, kUntouched);
}

}  // namespace
}  // namespace fileref_test
