#include <gtest/gtest.h>

#include <cmath>

#include "common/ordered_map.hpp"

namespace vombrelle {

TEST(OrderedMap, ReplacingKeepsTheFirstPlaceAndReadsInsertDefaults) {
    OrderedMap<double, double> m;
    for (auto [k, v] : {std::pair{3.0, 1.0}, {1.0, 2.0}, {3.0, 5.0}, {-0.0, 7.0}, {0.0, 8.0}}) m.insert_or_assign(k, v);
    ASSERT_EQ(m.size(), 3u);  // 0.0 and -0.0 are one key, which keeps its first spelling
    EXPECT_EQ(m.at_position(0).second, 5.0);
    EXPECT_EQ(m.at_position(2).second, 8.0);
    EXPECT_TRUE(std::signbit(m.at_position(2).first));
    EXPECT_EQ(m[42.0], 0.0);
    EXPECT_TRUE(m.size() == 4 && m.contains(42.0));
}

} // namespace vombrelle
