// The host's option statement: one call of the option slot per option, up to
// the end of the text or the first rejection.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class OptionStatementTest : public FilerefTest {
protected:
    void TearDown() override { expect_pools_back(); }

    zefhost::ParsedOptions parse(std::string_view text, zefhost::OptionStatementSettings s = {}) {
        return zefhost::parse_option_statement(module, text, s);
    }
};

TEST_F(OptionStatementTest, EveryOptionFillsOneBlock) {
    zefhost::ParsedOptions p =
        parse("mod attr lrecl=80 recfm=v catalog desc='Monthly report' encoding=utf-8 recfm=f");
    EXPECT_EQ(p.status, zef::kOk);
    EXPECT_EQ(p.accepted, 8);
    EXPECT_TRUE(p.message.empty());
    EXPECT_FALSE(p.marked);
    const zef::OptionBlock &b = *p.block.get();
    EXPECT_EQ(b.mode, 0x4u);
    EXPECT_EQ(b.attr, 1);
    EXPECT_EQ(b.lrecl, 80);
    EXPECT_EQ(b.record_format, 0x28u);
    EXPECT_EQ(std::string(b.description, b.description_length), "Monthly report");
    EXPECT_EQ(b.encoding, zefhost::kEncodingUtf8);
}

TEST_F(OptionStatementTest, RejectionEndsTheStatementWithTheHostsMessage) {
    struct Case {
        const char *text;
        int32_t status;
        int accepted;
        const char *message;
    } cases[] = {
        {"lrecl=80 descript='x' mod", zef::kUnknownOption, 1, "unknown option keyword DESCRIPT"},
        {"recfm=x", zef::kOptionRejected, 0, "option syntax or value rejected X"},
        {"mod blocksize attr", zef::kOptionRejected, 1, "option syntax or value rejected ATTR"},
        {"lrecl=80 lrecl 80", zef::kOptionRejected, 1, "option syntax or value rejected"},
        {"mod desc='open", zefhost::kUnterminatedQuote, 1, "quoted string not closed"},
    };
    for (const Case &c : cases) {
        zefhost::ParsedOptions p = parse(c.text);
        EXPECT_EQ(p.status, c.status) << c.text;
        EXPECT_EQ(p.accepted, c.accepted) << c.text;
        EXPECT_EQ(p.message, c.message) << c.text;
        EXPECT_EQ(p.marked, c.status != zefhost::kUnterminatedQuote) << c.text;
        EXPECT_TRUE(p.block) << c.text;  // kept, with what the options before set
    }
}

TEST_F(OptionStatementTest, EmptyTextMakesABlockOnlyWhenAsked) {
    EXPECT_FALSE(parse("   ").block);
    EXPECT_EQ(host.owner_pool().obtains(), 0);
    zefhost::ParsedOptions p = parse("", {.flags = 0x10, .block_when_empty = true});
    EXPECT_EQ(p.status, zef::kOk);
    EXPECT_EQ(p.block.get()->flags, 0x10u);
}

TEST_F(OptionStatementTest, TheBlockIsReleasedUnlessTaken) {
    zefhost::HostPool other_pool("other");
    zef::OwnerRecord other{};
    other.pool = other_pool.pool();
    {
        zefhost::ParsedOptions p = parse("mod", {.owner = &other});
        EXPECT_EQ(p.block.get()->owner, &other);
        zefhost::ParsedOptions q = parse("lrecl=120");
        ASSERT_EQ(assign("REPORT", "lib.cat.e", q.block.get()), zef::kOk);
        q.block.take();
        zefhost::OptionBlockHandle moved = std::move(p.block);
        EXPECT_FALSE(p.block);
        EXPECT_EQ(other_pool.blocks_outstanding(), 1);
    }
    EXPECT_EQ(other_pool.blocks_outstanding(), 0);
    EXPECT_EQ(record("REPORT")->option_block->lrecl, 120);
    ASSERT_EQ(deassign("REPORT"), zef::kOk);

    host.owner_pool().refuse_nth(1);
    zefhost::ParsedOptions p = parse("mod lrecl=1");
    EXPECT_EQ(p.status, zef::kNoStorage);
    EXPECT_FALSE(p.block);
    EXPECT_EQ(p.message, "storage could not be obtained, or there is no current task");
}

}  // namespace
}  // namespace fileref_test
