// Translating no bytes writes nothing, on the table path and on the host's
// (case mapping copies into the target before mapping it in place).
#include "text_fixture.h"

namespace {

class TranslateEmpty : public TextTest {};

TEST_F(TranslateEmpty, ZeroLengthLeavesTheTargetAlone) {
    for (bool encoding : {false, true}) {
        host.set_host_encoding(encoding);
        for (int32_t index = 0; index < 5; ++index) {
            char target[] = "untouched";
            EXPECT_EQ(text.wztxxlt(index, "SOURCE!!!", target, 0), zef::kOk)
                << "index " << index << " encoding " << encoding;
            EXPECT_STREQ(target, "untouched") << "index " << index << " encoding " << encoding;
        }
    }
}

}  // namespace
