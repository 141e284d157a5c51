// With the host's assignment switch set, an assignment finds the control
// block through yxamscp instead of yxam2am, and the fileref it makes is the
// same as any other: found by name, deassigned by name. Without the anchor
// that carries the switch, yxam2am serves.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class AssignmentSwitch : public FilerefTest {};

TEST_F(AssignmentSwitch, AssignmentThroughTheOtherLookupIsAnOrdinaryFileref) {
    host.set_assignment_switch(1);
    int64_t scp = host.calls(zef::routine::yxamscp);
    int64_t am = host.calls(zef::routine::yxam2am);
    ASSERT_EQ(assign("MYREF", "lib.cat.entry", options("lrecl=80")), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxamscp), scp + 1);
    EXPECT_EQ(host.calls(zef::routine::yxam2am), am);
    ASSERT_NE(record("MYREF"), nullptr);
    EXPECT_EQ(record("MYREF")->option_block->lrecl, 80);
    EXPECT_EQ(list_length(), 1);
    EXPECT_EQ(deassign("MYREF"), zef::kOk);
    EXPECT_EQ(list_length(), 0);
    expect_pools_back();
}

// A host without an attribute anchor has neither switch nor lookup service:
// assignments go through yxam2am, and an NBYTE name is taken as given.
TEST_F(AssignmentSwitch, WithoutAttributeAnchorTheUsualLookupServes) {
    host.set_assignment_switch(1);
    host.set_attribute_anchor_present(false);
    int64_t scp = host.calls(zef::routine::yxamscp);
    int64_t lookups = host.variables().lookups();
    zef::OptionBlock *given = options("nbyte=nosuch");
    EXPECT_EQ(given->nbyte_name_length, 6);
    ASSERT_EQ(assign("MYREF", "lib.cat.entry", given), zef::kOk);
    EXPECT_EQ(host.calls(zef::routine::yxamscp), scp);
    EXPECT_EQ(host.variables().lookups(), lookups);
    EXPECT_EQ(deassign("MYREF"), zef::kOk);
    host.set_attribute_anchor_present(true);
    expect_pools_back();
}

}  // namespace
}  // namespace fileref_test
