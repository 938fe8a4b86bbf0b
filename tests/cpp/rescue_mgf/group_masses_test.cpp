#include <gtest/gtest.h>

#include "rescue_mgf/group_masses.hpp"

namespace vombrelle::rescue_mgf {
namespace {

TEST(GroupMasses, PairsInCombinationsOrder) {
    MassPairs pairs;
    all_mass_pairs({1.0, 2.0, 3.0}, pairs);
    EXPECT_EQ(pairs, (MassPairs{{1.0, 2.0}, {1.0, 3.0}, {2.0, 3.0}}));  // never a mass with itself
    all_mass_pairs({1.0}, pairs);
    EXPECT_TRUE(pairs.empty());
}

} // namespace
} // namespace vombrelle::rescue_mgf
