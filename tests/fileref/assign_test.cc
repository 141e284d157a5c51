// Assignment, assignment like another fileref, deassignment and option-block
// release, through the method vector against the stand-in host.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class AssignTest : public FilerefTest {
protected:
    void TearDown() override {
        deassign_all();
        expect_pools_back();
    }
};

TEST_F(AssignTest, FourPartNameFillsTheRecord) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("MYREF", "mylib.mycat.entry1.source", options), zef::kOk);

    zef::FilerefRecord *r = record("MYREF");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->part_count, 4);
    EXPECT_EQ(part(r->part1), "mylib");
    EXPECT_EQ(part(r->part2), "mycat");
    EXPECT_EQ(part(r->part3), "entry1");
    EXPECT_EQ(part(r->part4), "source");
    EXPECT_EQ(field(r->full_name, 90), "mylib.mycat.entry1.source" + std::string(65, ' '));
    EXPECT_EQ(r->full_name_length, 25);
    EXPECT_EQ(field(r->physical_name, r->physical_name_length), "mylib.mycat.entry1.source");
    EXPECT_EQ(r->method_block, block());
    EXPECT_EQ(r->option_block, options);
    EXPECT_EQ(r->flags, 0u);
    EXPECT_EQ(r->open_count, 0);
    EXPECT_EQ(host.calls(zef::routine::yxamscp), 0);
}

TEST_F(AssignTest, CatalogNamesMarkTheBlockOrTheRecord) {
    zef::OptionBlock *options = this->options("MOD");
    ASSERT_EQ(assign("CAT1", "lib.cat", options), zef::kOk);
    EXPECT_EQ(options->flags, 0x100000u);
    EXPECT_EQ(record("CAT1")->flags, 0x100000u);
    // Library and catalog stand in the third and fourth part fields.
    EXPECT_EQ(record("CAT1")->part_count, 2);
    EXPECT_EQ(part(record("CAT1")->part3), "lib");
    EXPECT_EQ(part(record("CAT1")->part4), "cat");
    EXPECT_EQ(field(record("CAT1")->full_name, 9), "..lib.cat");

    ASSERT_EQ(assign("CAT2", "lib.cat"), zef::kOk);
    EXPECT_EQ(record("CAT2")->flags, 0x100000u);

    zef::OptionBlock *entry_options = this->options("MOD");
    ASSERT_EQ(assign("ENTRY3", "lib.cat.entry", entry_options), zef::kOk);
    ASSERT_EQ(assign("ENTRY4", "lib.cat.entry.log"), zef::kOk);
    EXPECT_EQ(entry_options->flags, 0u);
    EXPECT_EQ(record("ENTRY3")->flags, 0u);
    EXPECT_EQ(record("ENTRY4")->flags, 0u);

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
    EXPECT_EQ(r->option_block, second);
    EXPECT_EQ(second->lrecl, 132);

    // Reassigned without options, the record lets go of the block it owned.
    ASSERT_EQ(assign("MYREF", "lib.cat.four"), zef::kOk);
    EXPECT_EQ(r->option_block, nullptr);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);
}

TEST_F(AssignTest, ReassignmentKeepsABlockTheFilerefDoesNotOwn) {
    zef::OptionBlock *foreign = options("LRECL=80", 0x10);
    ASSERT_EQ(assign("MYREF", "lib.cat.one", foreign), zef::kOk);
    EXPECT_EQ(record("MYREF")->flags, 0x10u);
    ASSERT_EQ(assign("MYREF", "lib.cat.two", options("MOD")), zef::kOk);
    EXPECT_EQ(foreign->lrecl, 80);  // still the caller's
    EXPECT_EQ(record("MYREF")->flags, 0u);
    release(foreign);
}

TEST_F(AssignTest, LowerCaseNamesAreStoredAsGivenAndNotFoundAgain) {
    ASSERT_EQ(assign("lower", "lib.cat.one"), zef::kOk);
    ASSERT_EQ(assign("lower", "lib.cat.two"), zef::kOk);
    EXPECT_EQ(list_length(), 2);  // each assignment searched for LOWER
    EXPECT_EQ(deassign("lower"), zef::kFilerefNotAssigned);
    // Such records can only be taken away by hand here.
    while (zef::FilerefRecord *r = block()->fileref_list) {
        block()->fileref_list = r->next;
        host.storage_pool().release(r);
    }
}

TEST_F(AssignTest, BlankNameGetsAMadeUpOne) {
    Name8 fileref("");
    ASSERT_EQ(assign_slot(fileref, nullptr, zef::kMethodName, "lib.cat.e", 9, nullptr), zef::kOk);
    EXPECT_EQ(fileref.str(), "#LN00001");  // in the host's own field
    ASSERT_NE(record("#LN00001"), nullptr);
    EXPECT_EQ(host.calls(zef::routine::yxaunql), 1);
}

TEST_F(AssignTest, MadeUpNameRefusedAssignsNothing) {
    host.fail_call(zef::routine::yxaunql, zefhost::kNoUniqueName);
    zef::OptionBlock *options = this->options("MOD");
    int64_t blocks = host.owner_pool().blocks_outstanding();
    Name8 fileref("");
    EXPECT_EQ(assign_slot(fileref, nullptr, zef::kMethodName, "lib.cat.e", 9, options),
              zefhost::kNoUniqueName);
    EXPECT_EQ(list_length(), 0);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);  // still the caller's
    release(options);
}

TEST_F(AssignTest, LongPhysicalNamesAreDividedWholeAndKeptTo40) {
    std::string name = "library.catalog_with_a_long_name.entry_with_a_long_name.source";
    ASSERT_GT(name.size(), 40u);
    ASSERT_EQ(assign("LONG", name), zef::kOk);
    zef::FilerefRecord *r = record("LONG");
    EXPECT_EQ(r->physical_name_length, 40);
    EXPECT_EQ(field(r->physical_name, 40), name.substr(0, 40));
    EXPECT_EQ(part(r->part4), "source");
    EXPECT_EQ(r->full_name_length, static_cast<int32_t>(name.size()));
}

TEST_F(AssignTest, RefusedNameAssignsNothing) {
    zef::OptionBlock *first = options("LRECL=80");
    ASSERT_EQ(assign("MYREF", "lib.cat.entry", first), zef::kOk);
    zef::OptionBlock *second = options("LRECL=99");

    std::string too_long = "lib.cat." + std::string(33, 'e');
    EXPECT_EQ(assign("MYREF", too_long, second), zef::kNameRefused);
    EXPECT_EQ(assign("OTHER", too_long), zef::kNameRefused);
    EXPECT_EQ(assign("EMPTY", ""), zef::kNameRefused);
    EXPECT_EQ(list_length(), 1);
    zef::FilerefRecord *r = record("MYREF");
    EXPECT_EQ(r->option_block, first);  // the earlier assignment stands
    EXPECT_EQ(first->lrecl, 80);
    EXPECT_EQ(part(r->part3), "entry");
    EXPECT_EQ(field(r->physical_name, r->physical_name_length), "lib.cat.entry");
    release(second);
}

TEST_F(AssignTest, ControlBlockLookupFollowsTheAssignmentSwitch) {
    host.set_assignment_switch(1);
    ASSERT_EQ(assign("SWITCHED", "lib.cat.e"), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxamscp), 1);
    EXPECT_EQ(host.calls(zef::routine::yxam2am), 0);

    host.fail_call(zef::routine::yxamscp, zefhost::kUnknownMethod);
    EXPECT_EQ(assign("NOBLOCK", "lib.cat.e"), zefhost::kUnknownMethod);
    host.set_assignment_switch(0);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(assign("NOBLOCK", "lib.cat.e"), zefhost::kUnknownMethod);
    EXPECT_EQ(list_length(), 1);
}

TEST_F(AssignTest, RecordRefusedAssignsNothing) {
    zef::OptionBlock *options = this->options("MOD");
    host.storage_pool().refuse_nth(1);
    EXPECT_EQ(assign("MYREF", "lib.cat.e", options), zef::kNoStorage);
    EXPECT_EQ(list_length(), 0);
    EXPECT_EQ(options->flags, 0u);
    release(options);
}

// ------------------------------------------------------------ like another --

TEST_F(AssignTest, LikeACatalogWithAnExtensionNamesAnEntry) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("CAT", "lib.cat", options), zef::kOk);
    ASSERT_EQ(assign_like("ENTRY", "cat", "member1"), zef::kOk);

    zef::FilerefRecord *r = record("ENTRY");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(field(r->physical_name, r->physical_name_length), "lib.cat.member1");
    EXPECT_EQ(r->part_count, 3);
    EXPECT_EQ(part(r->part1), "lib");
    EXPECT_EQ(part(r->part3), "member1");
    EXPECT_EQ(field(r->full_name, r->full_name_length), "lib.cat.member1.");
    EXPECT_EQ(r->method_block, block());
    EXPECT_EQ(r->option_block, options);  // borrowed from CAT
    EXPECT_EQ(r->flags, 0u);              // the target's flags are not touched
    EXPECT_EQ(list_length(), 2);
}

TEST_F(AssignTest, ExtensionStopsAt40Characters) {
    ASSERT_EQ(assign("CAT", "library1.catalog1"), zef::kOk);
    ASSERT_EQ(assign_like("ENTRY", "CAT", "a_member_name_that_runs_on_and_on"), zef::kOk);
    zef::FilerefRecord *r = record("ENTRY");
    EXPECT_EQ(r->physical_name_length, 40);
    EXPECT_EQ(field(r->physical_name, 40), "library1.catalog1.a_member_name_that_run");
    EXPECT_EQ(part(r->part3), "a_member_name_that_run");
}

TEST_F(AssignTest, LikeWithoutExtensionCopiesTheName) {
    ASSERT_EQ(assign("SOURCE", "lib.cat.entry.log"), zef::kOk);
    ASSERT_EQ(assign_like("COPY", "SOURCE"), zef::kOk);
    zef::FilerefRecord *r = record("COPY");
    EXPECT_EQ(r->part_count, 4);
    EXPECT_EQ(field(r->full_name, r->full_name_length), "lib.cat.entry.log");
    EXPECT_EQ(r->option_block, nullptr);
}

TEST_F(AssignTest, ExtensionOnAnEntryFilerefIsRefusedAfterLinking) {
    ASSERT_EQ(assign("SOURCE", "lib.cat.entry"), zef::kOk);
    EXPECT_EQ(assign_like("TARGET", "SOURCE", "more"), zef::kNameUnsuitable);
    ASSERT_EQ(host.last_inserts().size(), 1u);
    EXPECT_EQ(host.last_inserts()[0], host.messages().text(566, 48) + '\0');
    // The target stays linked with the copied names and no parts.
    zef::FilerefRecord *r = record("TARGET");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(field(r->physical_name, r->physical_name_length), "lib.cat.entry");
    EXPECT_EQ(field(r->full_name, r->full_name_length), "lib.cat.entry.");
    EXPECT_EQ(r->part_count, 0);
}

TEST_F(AssignTest, LikeAnUnassignedFilerefFails) {
    EXPECT_EQ(assign_like("TARGET", "nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(inserts(), std::vector<std::string>{"nosuch"});
    EXPECT_EQ(list_length(), 0);
}

TEST_F(AssignTest, LikeWithARefusedNameAssignsNothing) {
    ASSERT_EQ(assign("CAT", "l.c"), zef::kOk);
    ASSERT_EQ(assign("TARGET", "lib.cat.keep"), zef::kOk);
    EXPECT_EQ(assign_like("TARGET", "CAT", std::string(36, 'x').c_str()), zef::kNameRefused);
    EXPECT_EQ(field(record("TARGET")->physical_name, 12), "lib.cat.keep");
    EXPECT_EQ(list_length(), 2);
}

TEST_F(AssignTest, LikeReleasesTheTargetsBlockWhateverItsFlags) {
    ASSERT_EQ(assign("SOURCE", "lib.cat.entry"), zef::kOk);
    zef::OptionBlock *foreign = options("LRECL=80", 0x10);
    ASSERT_EQ(assign("TARGET", "lib.cat.old", foreign), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();
    zef::OptionBlock *own = options("MOD");
    ASSERT_EQ(assign_like("TARGET", "SOURCE", nullptr, own), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);  // foreign went, own came
    EXPECT_EQ(record("TARGET")->option_block, own);
    EXPECT_EQ(record("TARGET")->flags, 0x10u);  // untouched by the like-assignment
    // Those flags still say "not owned", so deassignment leaves the block.
    ASSERT_EQ(deassign("TARGET"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    release(own);
}

TEST_F(AssignTest, LikeWithABlankNameAndRefusals) {
    ASSERT_EQ(assign("SOURCE", "lib.cat"), zef::kOk);
    Name8 blank("");
    ASSERT_EQ(assign_like_slot(blank, nullptr, zef::kMethodName, "SOURCE", 6, "e", 1, nullptr,
                               nullptr),
              zef::kOk);
    EXPECT_EQ(blank.str(), "#LN00001");

    host.fail_call(zef::routine::yxaunql, zefhost::kNoUniqueName);
    Name8 second("");
    EXPECT_EQ(assign_like_slot(second, nullptr, zef::kMethodName, "SOURCE", 6, "e", 1, nullptr,
                               nullptr),
              zefhost::kNoUniqueName);
    host.storage_pool().refuse_nth(1);
    EXPECT_EQ(assign_like("NEW", "SOURCE"), zef::kNoStorage);
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(assign_like("NEW", "SOURCE"), zefhost::kUnknownMethod);
    EXPECT_EQ(list_length(), 2);
}

// ---------------------------------------------------- shared option blocks --

TEST_F(AssignTest, BorrowerGoingAwayLeavesTheOwnersBlock) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();

    ASSERT_EQ(deassign("BORROWER"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    EXPECT_EQ(record("OWNER")->option_block, options);

    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    ASSERT_EQ(assign("BORROWER", "lib.cat.f", this->options("MOD")), zef::kOk);
    EXPECT_EQ(record("OWNER")->option_block, options);
    EXPECT_EQ(options->lrecl, 80);
}

TEST_F(AssignTest, OwnerGoingAwayHandsTheBlockToItsBorrower) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("FIRST", "OWNER"), zef::kOk);
    ASSERT_EQ(assign_like("SECOND", "FIRST"), zef::kOk);
    int64_t blocks = host.owner_pool().blocks_outstanding();

    ASSERT_EQ(deassign("OWNER"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks);
    ASSERT_EQ(record("SECOND")->option_block, options);
    ASSERT_EQ(record("FIRST")->option_block, options);
    EXPECT_EQ(options->lrecl, 80);

    // Reassigned, the new owner passes it on again; the last one releases it.
    ASSERT_EQ(assign("SECOND", "lib.cat.g"), zef::kOk);
    ASSERT_EQ(record("FIRST")->option_block, options);
    ASSERT_EQ(deassign("FIRST"), zef::kOk);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);
}

TEST_F(AssignTest, LikeItselfLetsGoOfItsOwnBlock) {
    ASSERT_EQ(assign("SELF", "lib.cat", options("MOD")), zef::kOk);
    ASSERT_EQ(assign_like("SELF", "SELF", "entry"), zef::kOk);
    zef::FilerefRecord *r = record("SELF");
    EXPECT_EQ(r->option_block, nullptr);
    EXPECT_EQ(field(r->physical_name, r->physical_name_length), "lib.cat.entry");
    EXPECT_EQ(list_length(), 1);
}

TEST_F(AssignTest, ReleasingASharedBlockDetachesEveryHolder) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OWNER", "lib.cat.e", options), zef::kOk);
    ASSERT_EQ(assign_like("BORROWER", "OWNER"), zef::kOk);
    release(options, "OWNER");
    EXPECT_EQ(record("OWNER")->option_block, nullptr);
    EXPECT_EQ(record("BORROWER")->option_block, nullptr);
}

// ------------------------------------------------------------ deassignment --

TEST_F(AssignTest, DeassignmentReleasesRecordAndBlock) {
    ASSERT_EQ(assign("ONE", "lib.cat.a", options("MOD")), zef::kOk);
    ASSERT_EQ(assign("TWO", "lib.cat.b"), zef::kOk);
    ASSERT_EQ(assign("THREE", "lib.cat.c", options("MOD")), zef::kOk);
    ASSERT_EQ(deassign("two"), zef::kOk);
    EXPECT_EQ(list_length(), 2);
    EXPECT_EQ(block()->fileref_list, record("THREE"));
    EXPECT_EQ(record("THREE")->next, record("ONE"));
    ASSERT_EQ(deassign("THREE"), zef::kOk);
    ASSERT_EQ(deassign("ONE"), zef::kOk);
    EXPECT_EQ(block()->fileref_list, nullptr);
    expect_pools_back();
}

TEST_F(AssignTest, DeassigningAMissingFilerefFails) {
    EXPECT_EQ(deassign("nosuch"), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"nosuch  "});
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    EXPECT_EQ(deassign("nosuch"), zefhost::kUnknownMethod);
}

TEST_F(AssignTest, DeassigningAnOpenFilerefLeavesItOutOfTheList) {
    zef::OptionBlock *options = this->options("LRECL=80");
    ASSERT_EQ(assign("OPENED", "lib.cat.e", options), zef::kOk);
    zef::FilerefRecord *r = record("OPENED");
    r->open_count = 1;  // as an open stream leaves it
    int64_t blocks = host.owner_pool().blocks_outstanding();

    EXPECT_EQ(deassign("OPENED"), zef::kStillOpen);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"OPENED  "});
    ASSERT_FALSE(host.log().empty());
    EXPECT_EQ(host.log().back(), "566-160: " + host.messages().text(566, 160) + " Fileref: OPENED");
    EXPECT_EQ(record("OPENED"), nullptr);
    host.know_fileref("OPENED  ", block());
    EXPECT_EQ(exists_slot(Name8("OPENED"), nullptr), zef::kFilerefNotAssigned);
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);
    // The record waits for the last close, which releases it (the close
    // routines call fileref_closed); here it is given back by hand.
    EXPECT_EQ(r->state & zef::kDeassigned, zef::kDeassigned);
    EXPECT_EQ(r->option_block, nullptr);
    host.storage_pool().release(r);
}

// ---------------------------------------------------------- option release --

TEST_F(AssignTest, ReleaseWithAnUnknownNameStillReleases) {
    zef::OptionBlock *options = this->options("MOD");
    int64_t blocks = host.owner_pool().blocks_outstanding();
    release(options, "nosuch");
    EXPECT_EQ(host.owner_pool().blocks_outstanding(), blocks - 1);
    EXPECT_TRUE(host.last_inserts().empty());  // the host knows no such fileref either
    EXPECT_EQ(host.calls(zef::routine::yxal2am), 1);

    // A fileref the host knows through a control block that lacks it: the
    // upper-cased key is the insert.
    host.know_fileref("NOSUCH  ", block());
    release(this->options("MOD"), "nosuch");
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{"NOSUCH  "});
}

TEST_F(AssignTest, ReleaseDetachesTheBlockFromItsRecord) {
    zef::OptionBlock *options = this->options("MOD");
    ASSERT_EQ(assign("HOLDER", "lib.cat.e", options), zef::kOk);
    release(options, "holder");
    EXPECT_EQ(record("HOLDER")->option_block, nullptr);
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

TEST_F(AssignTest, ReleaseFindsTheControlBlockFailingAndStillReleases) {
    host.fail_call(zef::routine::yxam2am, zefhost::kUnknownMethod);
    release(options("MOD"));
    expect_pools_back();
}

}  // namespace
}  // namespace fileref_test
