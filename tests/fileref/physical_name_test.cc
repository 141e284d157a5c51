// Physical names, fileref existence and the listing of filerefs.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class PhysicalNameTest : public FilerefTest {
protected:
    char buffer[1024];

    PhysicalNameTest() { std::memset(buffer, '#', sizeof buffer); }

    void TearDown() override {
        deassign_all();
        expect_pools_back();
    }

    int32_t physical_name(std::string_view name) { return physical_name_slot(Name8(name), buffer); }
    std::string text() { return std::string(buffer); }
};

TEST_F(PhysicalNameTest, JoinsUpperCasedPieces) {
    struct Case {
        const char *physical;
        const char *expected;
    } cases[] = {
        {"mylib.mycat.e1.zef", "MYLIB.MYCAT.E1.SOURCE"},
        {"lib.cat.entry", "LIB.CAT.ENTRY.CATAMS"},
        {"lib.cat.entry.Log", "LIB.CAT.ENTRY.LOG"},
        {"lib.cat.entry.zefx", "LIB.CAT.ENTRY.ZEFX"},
        {"libname8.cat.e.typename", "LIBNAME8.CAT.E.TYPENAME"},
        {"lib.cat..src", "LIB.CAT..SRC"},  // an empty entry keeps its period
    };
    for (const Case &c : cases) {
        ASSERT_EQ(assign("PHYS", c.physical), zef::kOk) << c.physical;
        std::memset(buffer, '#', sizeof buffer);
        ASSERT_EQ(physical_name("PHYS"), zef::kOk) << c.physical;
        EXPECT_EQ(text(), c.expected);
        size_t end = std::strlen(c.expected);
        EXPECT_EQ(buffer[end + 1], ' ');
        EXPECT_EQ(buffer[1023], ' ');  // blank filled to the end
    }
    // The record itself keeps the name as given.
    EXPECT_EQ(part(record("PHYS")->part3), "");
    ASSERT_EQ(assign("PHYS", "mylib.mycat.e1.zef"), zef::kOk);
    ASSERT_EQ(physical_name("phys"), zef::kOk);
    EXPECT_EQ(part(record("PHYS")->part1), "mylib");
}

TEST_F(PhysicalNameTest, NamesThatMakeNoEntryAreRefused) {
    for (const char *physical : {"lib.cat", "library_9.cat.e", "lib.cat.e.typename9", "lib"}) {
        ASSERT_EQ(assign("BAD", physical), zef::kOk) << physical;
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(physical_name("BAD"), zef::kNameUnsuitable) << physical;
        EXPECT_EQ(host.last_inserts(),
                  std::vector<std::string>{host.messages().text(566, 5) + '\0'})
            << physical;
        EXPECT_EQ(buffer[0], '#') << physical;  // untouched
    }
}

TEST_F(PhysicalNameTest, UnassignedFilerefs) {
    // The host knows no block for the name: its status comes back.
    EXPECT_EQ(physical_name("nosuch"), zefhost::kFilerefUnknownToHost);
    EXPECT_TRUE(host.last_inserts().empty());
    // It names a block whose list lacks the name: not assigned.
    host.know_fileref("NOSUCH  ", block());
    EXPECT_EQ(physical_name("nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"NOSUCH  "});
    ASSERT_EQ(assign("lower", "lib.cat.e"), zef::kOk);
    host.know_fileref("LOWER   ", block());
    EXPECT_EQ(physical_name("lower"), zef::kFilerefNotAssigned);
    // Remove the lower-case record by hand: deassignment cannot find it.
    zef::FilerefRecord *r = block()->fileref_list;
    block()->fileref_list = r->next;
    host.storage_pool().release(r);

    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(physical_name("nosuch"), zefhost::kUnknownMethod);
}

class SecondBlockTest : public PhysicalNameTest {
protected:
    // A second control block that the host knows under another method name,
    // with one fileref in it that the host knows through that block.
    zef::AccessMethodBlock *other = nullptr;
    static constexpr char kOtherMethod[8] = {'Z', 'E', 'F', 'O', 'T', 'H', 'E', 'R'};

    void SetUp() override {
        int32_t status = -1;
        module.construct(&other, &status);
        ASSERT_EQ(status, 0);
        host.register_method_block(kOtherMethod, other);
        Name8 name("ELSEWHER");
        ASSERT_EQ(assign_slot(name, nullptr, kOtherMethod, "lib.cat.e.log", 13, nullptr), zef::kOk);
        host.know_fileref("ELSEWHER", other);
        start = mark();
    }
    void TearDown() override {
        zef::FilerefRecord *r = other->fileref_list;
        other->fileref_list = nullptr;
        host.storage_pool().release(r);
        start.storage -= 1;
        PhysicalNameTest::TearDown();
    }
};

TEST_F(SecondBlockTest, ExistenceFoundOnTheSecondSearch) {
    EXPECT_EQ(exists_slot(Name8("elsewher"), nullptr), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 1);
    ASSERT_EQ(physical_name("ELSEWHER"), zef::kOk);
    EXPECT_EQ(text(), "LIB.CAT.E.LOG");
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 2);

    ASSERT_EQ(assign("HERE", "lib.cat.e"), zef::kOk);
    EXPECT_EQ(exists_slot(Name8("HERE"), nullptr), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 2);  // found on the first search
}

TEST_F(SecondBlockTest, ExistenceFailures) {
    EXPECT_EQ(exists_slot(Name8("nowhere"), nullptr), zefhost::kFilerefUnknownToHost);
    host.know_fileref("NOWHERE ", other);
    EXPECT_EQ(exists_slot(Name8("nowhere"), nullptr), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"NOWHERE "});
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(exists_slot(Name8("ELSEWHER"), nullptr), zefhost::kUnknownMethod);
    host.fail_call(zef::routine::yxal2am, zefhost::kBadArgument);
    EXPECT_EQ(exists_slot(Name8("ELSEWHER"), nullptr), zefhost::kBadArgument);
}

TEST_F(PhysicalNameTest, ListingRunsNewestFirstThenStartsOver) {
    zef::FilerefRecord *cursor = nullptr;
    char name[8];
    const char *full_name = nullptr;
    int32_t length = 0;
    EXPECT_EQ(next_slot(&cursor, name, nullptr, &full_name, &length), zef::kEndOfList);
    EXPECT_EQ(cursor, nullptr);

    ASSERT_EQ(assign("FIRST", "lib.cat.one"), zef::kOk);
    ASSERT_EQ(assign("SECOND", "lib.cat"), zef::kOk);
    ASSERT_EQ(assign("THIRD", "lib.cat.three.log"), zef::kOk);
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> names, full_names;
        int32_t status;
        while ((status = next_slot(&cursor, name, nullptr, &full_name, &length)) == zef::kOk) {
            names.push_back(std::string(name, 8));
            full_names.push_back(std::string(full_name, length));
            EXPECT_EQ(full_name, cursor->full_name);
        }
        EXPECT_EQ(status, zef::kEndOfList);
        EXPECT_EQ(cursor, nullptr);
        EXPECT_EQ(names, (std::vector<std::string>{"THIRD   ", "SECOND  ", "FIRST   "}));
        EXPECT_EQ(full_names,
                  (std::vector<std::string>{"lib.cat.three.log", "..lib.cat", "lib.cat.one."}));
    }
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(next_slot(&cursor, name, nullptr, &full_name, &length), zefhost::kUnknownMethod);
}

}  // namespace
}  // namespace fileref_test
