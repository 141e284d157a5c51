// An assignment like another fileref whose existing name has a negative
// length: taken as the empty name, which names no fileref; nothing is
// assigned and nothing obtained.
#include "fileref_fixture.h"

namespace fileref_test {
namespace {

class AssignLikeEdges : public FilerefTest {};

TEST_F(AssignLikeEdges, NegativeExistingNameLengthNamesNoFileref) {
    ASSERT_EQ(assign("CAT", "lib.cat"), zef::kOk);
    Name8 fileref("COPY");
    EXPECT_EQ(assign_like_slot(fileref, nullptr, zef::kMethodName, "CAT", -3, nullptr, 0, nullptr,
                               nullptr),
              zef::kFilerefNotAssigned);
    EXPECT_EQ(host.last_inserts(), std::vector<std::string>{""});
    EXPECT_EQ(record("COPY"), nullptr);
    EXPECT_EQ(list_length(), 1);
    deassign_all();
    expect_pools_back();
}

}  // namespace
}  // namespace fileref_test
