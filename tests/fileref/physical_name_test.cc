// Physical names, fileref existence and the listing of filerefs.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class PhysicalNameTest : public FilerefTest {
protected:
    char buffer[1024];

    void TearDown() override {
        deassign_all();
        expect_pools_back();
    }
    int32_t physical_name(std::string_view name) {
        std::memset(buffer, '#', sizeof buffer);
        return physical_name_slot(Name8(name), buffer);
    }
};

TEST_F(PhysicalNameTest, JoinsUpperCasedPieces) {
    const std::pair<const char *, const char *> cases[] = {
        {"mylib.mycat.e1.zef", "MYLIB.MYCAT.E1.SOURCE"},
        {"lib.cat.entry", "LIB.CAT.ENTRY.CATAMS"},
        {"libname8.cat.e.Typename", "LIBNAME8.CAT.E.TYPENAME"},
        {"lib.cat..src", "LIB.CAT..SRC"},  // an empty entry keeps its period
    };
    for (auto [physical, expected] : cases) {
        ASSERT_EQ(assign("PHYS", physical), zef::kOk) << physical;
        ASSERT_EQ(physical_name("phys"), zef::kOk) << physical;
        EXPECT_EQ(std::string(buffer), expected);
        EXPECT_EQ(buffer[std::strlen(expected) + 1], ' ');
        EXPECT_EQ(buffer[1023], ' ');  // blank filled to the end
    }
    EXPECT_EQ(part(record("PHYS")->part1), "lib");  // the record keeps its case
}

TEST_F(PhysicalNameTest, NamesThatMakeNoEntryAreRefused) {
    for (const char *physical : {"lib.cat", "library_9.cat.e", "lib.cat.e.typename9", "lib"}) {
        ASSERT_EQ(assign("BAD", physical), zef::kOk) << physical;
        EXPECT_EQ(physical_name("BAD"), zef::kNameUnsuitable) << physical;
        EXPECT_EQ(host.last_inserts(), std::vector<std::string>{host.messages().text(566, 5) + '\0'});
        EXPECT_EQ(buffer[0], '#') << physical;  // untouched
    }
}

TEST_F(PhysicalNameTest, ExistenceAndNamesSearchTwice) {
    // A second control block, known to the host under another method name,
    // holding a fileref the host knows through it.
    zef::AccessMethodBlock *other = nullptr;
    int32_t status = -1;
    module.construct(&other, &status);
    ASSERT_EQ(status, 0);
    constexpr char kOther[8] = {'Z', 'E', 'F', 'O', 'T', 'H', 'E', 'R'};
    host.register_method_block(kOther, other);
    ASSERT_EQ(assign_slot(Name8("ELSEWHER"), nullptr, kOther, "lib.cat.e.log", 13, nullptr), zef::kOk);
    host.know_fileref("ELSEWHER", other);

    EXPECT_EQ(exists_slot(Name8("elsewher"), nullptr), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 1);
    ASSERT_EQ(physical_name("ELSEWHER"), zef::kOk);
    EXPECT_EQ(std::string(buffer), "LIB.CAT.E.LOG");
    ASSERT_EQ(assign("HERE", "lib.cat.e"), zef::kOk);
    EXPECT_EQ(exists_slot(Name8("HERE"), nullptr), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 2);  // HERE was found at once

    // A host that refuses a name it never recorded: its status. Known through
    // a block that lacks it: not assigned, with the upper-cased name as the insert.
    host.methods().refuse_unknown_filerefs(true);
    EXPECT_EQ(exists_slot(Name8("nowhere"), nullptr), zefhost::kFilerefUnknownToHost);
    EXPECT_EQ(physical_name("nowhere"), zefhost::kFilerefUnknownToHost);
    host.know_fileref("NOWHERE ", other);
    EXPECT_EQ(exists_slot(Name8("nowhere"), nullptr), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"NOWHERE "});
    EXPECT_EQ(physical_name("nowhere"), zef::kFilerefNotAssigned);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(exists_slot(Name8("HERE"), nullptr), zefhost::kUnknownMethod);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(physical_name("HERE"), zefhost::kUnknownMethod);

    zef::FilerefRecord *r = other->fileref_list;
    other->fileref_list = nullptr;
    host.storage_pool().release(r);
    start.storage += 2;  // the second control block and its vector stay the host's
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
        std::vector<std::string> listed;
        int32_t status;
        while ((status = next_slot(&cursor, name, nullptr, &full_name, &length)) == zef::kOk) {
            listed.push_back(std::string(name, 8) + "=" + std::string(full_name, length));
            EXPECT_EQ(full_name, cursor->full_name);  // points into the live record
        }
        EXPECT_EQ(status, zef::kEndOfList);
        EXPECT_EQ(cursor, nullptr);
        EXPECT_EQ(listed, (std::vector<std::string>{"THIRD   =lib.cat.three.log",
                                                    "SECOND  =..lib.cat", "FIRST   =lib.cat.one."}));
    }
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(next_slot(&cursor, name, nullptr, &full_name, &length), zefhost::kUnknownMethod);
}

}  // namespace
}  // namespace fileref_test
