#include <gtest/gtest.h>

#include "common/psm.hpp"

namespace vombrelle {
namespace {

TEST(Psm, EachSideNeedsOneOfItsArmScansInItsOwnTable) {
    PsmMatchTable a, b;
    a.scans[11];
    a.scans[12];
    b.scans[13];
    b.scans[14];
    const std::optional<std::int64_t> none;
    struct Case {
        std::array<std::optional<std::int64_t>, 4> keys;
        bool expected;
    };
    for (const Case& c : {Case{{11, 12, 13, 14}, true}, Case{{none, 12, 13, none}, true},
                          Case{{11, none, none, 14}, true}, Case{{11, 12, none, none}, false},
                          Case{{none, none, 13, 14}, false}, Case{{13, 14, 11, 12}, false},  // each side its own table
                          Case{{1, 2, 13, 14}, false}}) {
        EXPECT_EQ(each_side_has_a_scan(a, b, c.keys), c.expected);
    }
    EXPECT_EQ(a.scans.size(), 2u);  // asking inserts nothing
    EXPECT_FALSE(a.contains(1));
}

} // namespace
} // namespace vombrelle
