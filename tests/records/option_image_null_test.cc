// An option image of the right length at a null address: no block is made,
// nothing is obtained and the caller's slot is left as it was.
#include "records_fixture.h"

namespace records_test {
namespace {

class OptionImageNull : public RecordsTest {
protected:
    zef::fn::yxlhp2h from_image = module.slot<zef::fn::yxlhp2h>(34);
};

TEST_F(OptionImageNull, NullImageIsRefusedWithoutObtaining) {
    int64_t obtains = host.owner_pool().obtains();
    auto *untouched = reinterpret_cast<zef::OptionBlock *>(0x1);
    zef::OptionBlock *block = untouched;
    EXPECT_EQ(from_image(nullptr, nullptr, nullptr, 368, &block), zef::kNullHandle);
    EXPECT_EQ(block, untouched);
    EXPECT_EQ(host.owner_pool().obtains(), obtains);
    expect_clean();
}

}  // namespace
}  // namespace records_test
