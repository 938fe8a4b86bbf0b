#include <gtest/gtest.h>

#include <cmath>

#include "rescue_mgf/group_masses.hpp"

namespace vombrelle::rescue_mgf {
namespace {

TEST(GroupMasses, PairsInCombinationsOrderAndTheInclusiveBound) {
    MassPairs pairs;
    all_mass_pairs({1.0, 2.0, 3.0}, pairs);
    EXPECT_EQ(pairs, (MassPairs{{1.0, 2.0}, {1.0, 3.0}, {2.0, 3.0}}));  // never a mass with itself
    all_mass_pairs({1.0}, pairs);
    EXPECT_TRUE(pairs.empty());
    // ((1000.0 + m) + 50.0) - 1.007825 lies 20.0 ppm (to the last bit) below 2899.50202 for this m;
    // the next m down lies a hair beyond.
    const double m = 1850.4518549596;
    const LinkerArgument deficit = LinkerArgument::number(50.0);
    EXPECT_TRUE(pair_explains_precursor(1000.0, m, 2899.50202, deficit));
    EXPECT_FALSE(pair_explains_precursor(1000.0, std::nextafter(m, 0.0), 2899.50202, deficit));
}

} // namespace
} // namespace vombrelle::rescue_mgf
