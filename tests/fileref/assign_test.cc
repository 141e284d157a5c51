// Assignment, assignment like another fileref, deassignment and option-block
// release, through the method vector against the stand-in host.
#include <functional>

#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class AssignTest : public FilerefTest {
protected:
    void TearDown() override {
        deassign_all();
        expect_pools_back();
    }
    std::string physical(const char *name) {
        zef::FilerefRecord *r = record(name);
        return std::string(r->physical_name, r->physical_name_length);
    }
    std::string full(const char *name) {
        zef::FilerefRecord *r = record(name);
        return std::string(r->full_name, r->full_name_length);
    }
};

TEST_F(AssignTest, NamesAreDividedJoinedAndKept) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("MYREF", "mylib.mycat.entry1.source", options), zef::kOk);
    zef::FilerefRecord *r = record("MYREF");
    EXPECT_EQ(r->part_count, 4);
    EXPECT_EQ(part(r->part1) + "|" + part(r->part2) + "|" + part(r->part3) + "|" + part(r->part4),
              "mylib|mycat|entry1|source");
    EXPECT_EQ(field(r->full_name, 90), "mylib.mycat.entry1.source" + std::string(65, ' '));
    EXPECT_EQ(r->method_block, block());
    EXPECT_EQ(r->option_block, options);

    // Divided whole, kept to 40 characters.
    std::string name = "library.catalog_with_a_long_name.entry_with_a_long_name.source";
    ASSERT_EQ(assign("LONG", name), zef::kOk);
    EXPECT_EQ(physical("LONG"), name.substr(0, 40));
    EXPECT_EQ(full("LONG"), name);
}

TEST_F(AssignTest, CatalogNamesMarkTheBlockOrTheRecord) {
    zef::OptionBlock *options = this->options("MOD");
    ASSERT_EQ(assign("CAT1", "lib.cat", options), zef::kOk);
    EXPECT_EQ(options->flags, 0x100000u);
    EXPECT_EQ(record("CAT1")->flags, 0x100000u);
    EXPECT_EQ(part(record("CAT1")->part3) + "." + part(record("CAT1")->part4), "lib.cat");
    EXPECT_EQ(full("CAT1"), "..lib.cat");
    ASSERT_EQ(assign("CAT2", "lib.cat"), zef::kOk);
    EXPECT_EQ(record("CAT2")->flags, 0x100000u);

    zef::OptionBlock *entry_options = this->options("MOD");
    ASSERT_EQ(assign("ENTRY3", "lib.cat.entry", entry_options), zef::kOk);
    ASSERT_EQ(assign("ENTRY4", "lib.cat.entry.log"), zef::kOk);
    EXPECT_EQ(entry_options->flags | record("ENTRY3")->flags | record("ENTRY4")->flags, 0u);

    // Without options a reassignment keeps the earlier flags.
    ASSERT_EQ(assign("CAT2", "lib.cat.entry"), zef::kOk);
    EXPECT_EQ(record("CAT2")->flags, 0x100000u);
}

TEST_F(AssignTest, ReassignmentReusesTheRecordAndReleasesTheOwnedBlock) {
    zef::OptionBlock *first = options("LRECL=80");
    ASSERT_EQ(assign("MYREF", "lib.cat.one", first), zef::kOk);
    zef::FilerefRecord *r = record("MYREF");
    int64_t blocks = host.owner_pool().blocks_outstanding();

    zef::OptionBlock *second = options("LRECL=132");
    ASSERT_EQ(assign("myref", "lib.cat.two", second), zef::kOk);  // found by its upper-case key
    EXPECT_EQ(list_length(), 1);
    EXPECT_EQ(record("MYREF"), r);
    EXPECT_EQ(r->option_block, second);
    EXPECT_EQ(part(r->part3), "two");
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);  // first went, second came

    // The same block handed over again is kept, not released under the record.
    ASSERT_EQ(assign("MYREF", "lib.cat.three", second), zef::kOk);
    EXPECT_EQ(second->lrecl, 132);

    // A block the fileref does not own survives the next reassignment.
    zef::OptionBlock *foreign = options("LRECL=80", 0x10);
    ASSERT_EQ(assign("MYREF", "lib.cat.four", foreign), zef::kOk);
    EXPECT_EQ(record("MYREF")->flags, 0x10u);
    ASSERT_EQ(assign("MYREF", "lib.cat.five"), zef::kOk);
    EXPECT_EQ(foreign->lrecl, 80);
    release(foreign);
}

TEST_F(AssignTest, LowerCaseNamesAreStoredAsGivenAndNotFoundAgain) {
    ASSERT_EQ(assign("lower", "lib.cat.one"), zef::kOk);
    ASSERT_EQ(assign("lower", "lib.cat.two"), zef::kOk);
    EXPECT_EQ(list_length(), 2);  // each assignment searched for LOWER
    EXPECT_EQ(deassign("lower"), zef::kFilerefNotAssigned);
    while (zef::FilerefRecord *r = block()->fileref_list) {  // only by hand
        block()->fileref_list = r->next;
        host.storage_pool().release(r);
    }
}

TEST_F(AssignTest, BlankNamesAreMadeUpByTheHost) {
    Name8 fileref("");
    ASSERT_EQ(assign_slot(fileref, nullptr, zef::kMethodName, "lib.cat", 7, nullptr), zef::kOk);
    EXPECT_EQ(fileref.str(), "#LN00001");  // in the host's own field
    ASSERT_NE(record("#LN00001"), nullptr);
    Name8 like("");
    ASSERT_EQ(assign_like_slot(like, nullptr, zef::kMethodName, "#LN00001", 8, "e", 1, nullptr,
                               nullptr),
              zef::kOk);
    EXPECT_EQ(like.str(), "#LN00002");
    EXPECT_EQ(full("#LN00002"), "lib.cat.e.");
}

TEST_F(AssignTest, FailuresAssignNothing) {
    ASSERT_EQ(assign("MYREF", "lib.cat.entry", options("LRECL=80")), zef::kOk);
    ASSERT_EQ(assign("CAT", "l.c"), zef::kOk);
    zef::OptionBlock *options = this->options("LRECL=99");
    std::string too_long = "lib.cat." + std::string(33, 'e');
    struct Case {
        const char *what;
        std::function<void()> arrange;
        std::function<int32_t()> act;
        int32_t status;
    } cases[] = {
        {"name refused", [] {}, [&] { return assign("MYREF", too_long, options); }, zef::kNameRefused},
        {"empty name", [] {}, [&] { return assign("OTHER", "", options); }, zef::kNameRefused},
        {"like, name refused", [] {},
         [&] { return assign_like("MYREF", "CAT", std::string(36, 'x').c_str(), options); },
         zef::kNameRefused},
        {"made-up name refused", [&] { host.fail_call(zef::routine::yxaunql, zefhost::kNoUniqueName); },
         [&] { return assign("", "lib.cat.e", options); }, zefhost::kNoUniqueName},
        {"like, made-up name refused",
         [&] { host.fail_call(zef::routine::yxaunql, zefhost::kNoUniqueName); },
         [&] { return assign_like("", "CAT", "e", options); }, zefhost::kNoUniqueName},
        {"record refused", [&] { host.storage_pool().refuse_nth(1); },
         [&] { return assign("OTHER", "lib.cat.e", options); }, zef::kNoStorage},
        {"like, record refused", [&] { host.storage_pool().refuse_nth(1); },
         [&] { return assign_like("OTHER", "CAT", "e", options); }, zef::kNoStorage},
        {"no control block", [&] { host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod); },
         [&] { return assign("OTHER", "lib.cat.e", options); }, zefhost::kUnknownMethod},
        {"like, no control block",
         [&] { host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod); },
         [&] { return assign_like("OTHER", "CAT", nullptr, options); }, zefhost::kUnknownMethod},
        {"no control block by the switch",
         [&] {
             host.set_assignment_switch(1);
             host.fail_call(zef::routine::yxamscp, zefhost::kUnknownMethod);
         },
         [&] { return assign("OTHER", "lib.cat.e", options); }, zefhost::kUnknownMethod},
    };
    for (Case &c : cases) {
        c.arrange();
        EXPECT_EQ(c.act(), c.status) << c.what;
        EXPECT_EQ(list_length(), 2) << c.what;
        EXPECT_EQ(record("MYREF")->option_block->lrecl, 80) << c.what;
        EXPECT_EQ(physical("MYREF"), "lib.cat.entry") << c.what;
        EXPECT_EQ(options->flags, 0u) << c.what;
    }
    EXPECT_EQ(host.calls(zef::routine::yxamscp), 1);
    release(options);
}

// ------------------------------------------------------------ like another --

TEST_F(AssignTest, LikeACatalogWithAnExtensionNamesAnEntry) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("CAT", "lib.cat", options), zef::kOk);
    ASSERT_EQ(assign_like("ENTRY", "cat", "member1"), zef::kOk);
    zef::FilerefRecord *r = record("ENTRY");
    EXPECT_EQ(physical("ENTRY"), "lib.cat.member1");
    EXPECT_EQ(r->part_count, 3);
    EXPECT_EQ(full("ENTRY"), "lib.cat.member1.");
    EXPECT_EQ(r->option_block, options);  // borrowed from CAT
    EXPECT_EQ(r->flags, 0u);              // the target's flags are not touched

    ASSERT_EQ(assign("CAT8", "library8.catalog8"), zef::kOk);
    ASSERT_EQ(assign_like("ENTRY", "CAT8", "a_member_name_that_runs_on_and_on"), zef::kOk);
    EXPECT_EQ(physical("ENTRY"), "library8.catalog8.a_member_name_that_run");
    EXPECT_EQ(list_length(), 3);
}

TEST_F(AssignTest, LikeAnEntryCopiesOrRefusesAnExtension) {
    ASSERT_EQ(assign("SOURCE", "lib.cat.entry.log"), zef::kOk);
    ASSERT_EQ(assign_like("COPY", "SOURCE"), zef::kOk);
    EXPECT_EQ(record("COPY")->part_count, 4);
    EXPECT_EQ(full("COPY"), "lib.cat.entry.log");

    EXPECT_EQ(assign_like("TARGET", "SOURCE", "more"), zef::kNameUnsuitable);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{host.messages().text(566, 48) + '\0'});
    // The target stays linked with the copied names and no parts.
    ASSERT_NE(record("TARGET"), nullptr);
    EXPECT_EQ(full("TARGET"), "lib.cat.entry.log");
    EXPECT_EQ(record("TARGET")->part_count, 0);

    EXPECT_EQ(assign_like("TARGET", "nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"nosuch"});
}

// The like-assignment keeps a caller's block (flag 0x10) as assignment does,
// and the target's flags follow the block it takes, so that exactly one
// party releases each block.
TEST_F(AssignTest, LikeKeepsOwnershipAsAssignmentDoes) {
    ASSERT_EQ(assign("SOURCE", "lib.cat.entry"), zef::kOk);

    // A caller's block on the target stays the caller's; the owned block that
    // replaces it is released by the deassignment.
    zef::OptionBlock *callers = options("LRECL=80", 0x10);
    ASSERT_EQ(assign("TARGET", "lib.cat.old", callers), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();
    ASSERT_EQ(assign_like("TARGET", "SOURCE", nullptr, options("MOD")), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks + 1);
    EXPECT_EQ(record("TARGET")->flags & 0x10u, 0u);
    ASSERT_EQ(deassign("TARGET"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    EXPECT_EQ(callers->lrecl, 80);  // still live: the caller's to release
    release(callers);

    // A caller's block like-assigned to a new fileref is not released by its
    // deassignment (the caller's release then touched freed storage).
    callers = options("LRECL=90", 0x10);
    blocks = host.owner_pool().blocks_outstanding();
    ASSERT_EQ(assign_like("NEW", "SOURCE", nullptr, callers), zef::kOk);
    EXPECT_EQ(record("NEW")->flags & 0x10u, 0x10u);
    ASSERT_EQ(deassign("NEW"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    release(callers);

    // A borrower of a caller's block does not become its owner either.
    callers = options("LRECL=70", 0x10);
    ASSERT_EQ(assign("LENDER", "lib.cat.e", callers), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "LENDER"), zef::kOk);
    ASSERT_EQ(deassign("LENDER"), zef::kOk);
    ASSERT_EQ(deassign("BORROWER"), zef::kOk);
    EXPECT_EQ(callers->lrecl, 70);
    release(callers);

    deassign_all();
    expect_pools_back();
    EXPECT_EQ(host.owner_pool().bad_releases(), 0);
}

// ---------------------------------------------------- shared option blocks --

TEST_F(AssignTest, BorrowerGoingAwayLeavesTheOwnersBlock) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();
    ASSERT_EQ(deassign("BORROWER"), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    ASSERT_EQ(assign("BORROWER", "lib.cat.f"), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    ASSERT_EQ(assign("BORROWER", "lib.cat.g", options), zef::kOk);  // still OWNER's
    ASSERT_EQ(deassign("BORROWER"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    EXPECT_EQ(record("OWNER")->option_block, options);
    EXPECT_EQ(options->lrecl, 80);
}

TEST_F(AssignTest, OwnerGoingAwayHandsTheBlockToABorrower) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("FIRST", "OWNER"), zef::kOk);
    ASSERT_EQ(assign_like("SECOND", "FIRST"), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();

    ASSERT_EQ(deassign("OWNER"), zef::kOk);
    EXPECT_EQ(record("FIRST")->option_block, options);
    EXPECT_EQ(record("SECOND")->option_block, options);
    ASSERT_EQ(assign("SECOND", "lib.cat.g"), zef::kOk);  // the new owner passes it on
    EXPECT_EQ(record("FIRST")->option_block, options);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    ASSERT_EQ(deassign("FIRST"), zef::kOk);  // the last holder releases it
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);

    // Like itself, a fileref lets go of its own block first.
    ASSERT_EQ(assign("SELF", "lib.cat", this->options("MOD")), zef::kOk);
    ASSERT_EQ(assign_like("SELF", "SELF", "entry"), zef::kOk);
    EXPECT_EQ(record("SELF")->option_block, nullptr);
    EXPECT_EQ(physical("SELF"), "lib.cat.entry");
}

TEST_F(AssignTest, ReleaseDetachesTheBlockFromEveryHolder) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    release(options, "owner");
    EXPECT_EQ(record("OWNER")->option_block, nullptr);
    EXPECT_EQ(record("BORROWER")->option_block, nullptr);
}

// ------------------------------------------------------------ deassignment --

TEST_F(AssignTest, DeassignmentUnlinksAndReleases) {
    ASSERT_EQ(assign("ONE", "lib.cat.a", options("MOD")), zef::kOk);
    ASSERT_EQ(assign("TWO", "lib.cat.b"), zef::kOk);
    ASSERT_EQ(assign("THREE", "lib.cat.c", options("MOD")), zef::kOk);
    ASSERT_EQ(deassign("two"), zef::kOk);
    EXPECT_EQ(block()->fileref_list, record("THREE"));
    EXPECT_EQ(record("THREE")->next, record("ONE"));
    ASSERT_EQ(deassign("THREE"), zef::kOk);
    ASSERT_EQ(deassign("ONE"), zef::kOk);
    EXPECT_EQ(block()->fileref_list, nullptr);
    expect_pools_back();

    EXPECT_EQ(deassign("nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"nosuch  "});
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(deassign("nosuch"), zefhost::kUnknownMethod);
}

TEST_F(AssignTest, DeassigningAnOpenFilerefLeavesItOutOfTheList) {
    ASSERT_EQ(assign("OPENED", "lib.cat.e", options("LRECL=80")), zef::kOk);
    zef::FilerefRecord *r = record("OPENED");
    r->open_count = 1;  // as an open stream leaves it
    int64_t blocks = host.owner_pool().blocks_outstanding();
    int64_t storage = host.storage_pool().blocks_outstanding();

    EXPECT_EQ(deassign("OPENED"), zef::kStillOpen);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"OPENED  "});
    EXPECT_EQ(host.log().back(), "566-160: " + host.messages().text(566, 160) + " Fileref: OPENED");
    EXPECT_EQ(record("OPENED"), nullptr);
    host.know_fileref("OPENED  ", block());
    EXPECT_EQ(exists_slot(Name8("OPENED"), nullptr), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);
    // The record waits for its last close (fileref_closed, called by the
    // close routines and tested with them): still obtained, its options gone.
    EXPECT_EQ(host.storage_pool().blocks_outstanding(), storage);
    EXPECT_EQ(r->option_block, nullptr);
    host.storage_pool().release(r);
}

// ---------------------------------------------------------- option release --

TEST_F(AssignTest, ReleaseWithAnUnknownNameStillReleases) {
    host.methods().refuse_unknown_filerefs(true);
    release(options("MOD"), "nosuch");
    EXPECT_TRUE(host.last_inserts().empty());  // the host knows no such fileref either
    host.methods().refuse_unknown_filerefs(false);
    release(options("MOD"), "nosuch");
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"NOSUCH  "});
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    release(options("MOD"));
    expect_pools_back();
}

TEST_F(AssignTest, ReleaseOfAnOwnerlessBlockUsesTheCurrentOwner) {
    zef::OptionBlock *options = this->options("MOD");
    options->owner = nullptr;
    release(options);
    expect_pools_back();

    options = this->options("MOD");
    options->owner = nullptr;
    host.set_no_current_task(true);
    release(options);  // no owner to release to: left alone
    host.set_no_current_task(false);
    EXPECT_EQ(options->owner, nullptr);
    options->owner = host.owner_record();
    release(options);
}

}  // namespace
}  // namespace fileref_test
