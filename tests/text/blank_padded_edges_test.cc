// The blank-padded routines at their edges: lengths of 0 or below on either
// side of vzmp, and a quote just ahead of the closing one in wzstrpq.
#include "text_fixture.h"

namespace {

class BlankPaddedEdges : public TextTest {};

// Nothing is written for a target of no length or a source of negative
// length, whatever the other length says.
TEST_F(BlankPaddedEdges, VzmpWritesNothingForEmptyTargetOrNegativeSource) {
    struct Case {
        int32_t source_length;
        int32_t target_length;
    } cases[] = {{0, 0}, {0, -3}, {-1, 8}, {-5, 0}, {-2, -2}};
    for (const Case &c : cases) {
        char field[9] = "########";
        text.vzmp("ABCDEFGH", c.source_length, field, c.target_length);
        EXPECT_EQ(bytes(field, 8), "########")
            << "source " << c.source_length << " target " << c.target_length;
    }
}

// A quote right before the closing quote has no partner inside the token
// and is kept as text.
TEST_F(BlankPaddedEdges, WzstrpqKeepsAQuoteBeforeTheClosingOne) {
    std::string buffer = "'ab''";
    EXPECT_EQ(text.wzstrpq(buffer.data(), static_cast<int32_t>(buffer.size())), 3);
    EXPECT_STREQ(buffer.c_str(), "ab'");
}

}  // namespace
