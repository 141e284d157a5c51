// Fileref names as a tool folds them: through the host's table, as the
// module folds every name it looks up.
#include <gtest/gtest.h>

#include "zefhost/host.h"
#include "zefhost/translation_tables.h"

namespace zefhost {
namespace {

// Latin-1 letters fold too (not the division sign, nor y with diaeresis,
// whose capital Latin-1 lacks); the bytes of a UTF-8 sequence fold as the
// Latin-1 bytes they are.
TEST(NameFolding, LatinOneLettersFoldWithOrWithoutALiveHost) {
    EXPECT_EQ(upper_case_name("ab\xE2\xF7\xFF"), "AB\xC2\xF7\xFF");
    Host host;
    EXPECT_EQ(upper_case_name("ab\xE2\xF7\xFF"), "AB\xC2\xF7\xFF");
    EXPECT_EQ(upper_case_name("\xC3\xA9t\xE9"), "\xC3\xA9T\xC9");
    EXPECT_EQ(upper_case_name("x\xE2\x82\xAC"), "X\xC2\x82\xAC");
}

}  // namespace
}  // namespace zefhost
