// With the host's assignment switch set, an assignment finds the control
// block through yxamscp instead of yxam2am, and the fileref it makes is the
// same as any other: found by name, deassigned by name.
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

}  // namespace
}  // namespace fileref_test
