#include <gtest/gtest.h>

#include "common/cross_link_mass.hpp"

namespace vombrelle {
namespace {

// Left to right: (0.1 + 0.2) + 0.3 is 0.6000000000000001, 0.1 + (0.2 + 0.3) would be 0.6.
TEST(CrossLinkMass, PartsJoinLeftToRightLessTheProton) {
    EXPECT_EQ(joined_mh(0.1, 0.2, 0.3), -0.4078249999999999);
    EXPECT_EQ(pair_miss(1.0, 0.1, 0.2, 0.3), 1.0 - -0.4078249999999999);
}

// 1000 + 1850.4518549596 + 50 - 1.007825 misses 2899.50202 by 20.0 ppm to the last bit; the next
// double down misses it by 20.000000000156835.
TEST(CrossLinkMass, APairExplainsItsPrecursorUpToTwentyPpmOfIt) {
    EXPECT_TRUE(pair_explains(2899.50202, 1000.0, 1850.4518549596, 50.0));
    EXPECT_FALSE(pair_explains(2899.50202, 1000.0, 1850.4518549595998, 50.0));
    // Above the precursor as below: 500020.00000000006 is the last part B within 20 ppm of 1e6.
    EXPECT_TRUE(pair_explains(1e6, 500000.0, 500020.00000000006, 1.007825));
    EXPECT_FALSE(pair_explains(1e6, 500000.0, 500020.0000000001, 1.007825));
    // Nothing explains a precursor MH+ of 0, not even a pair that makes it exactly.
    EXPECT_FALSE(pair_explains(0.0, 0.0, 0.0, 1.007825));
}

// 2899.50202 - ((1000.1 + 50.3) - 1.007825); subtracting term by term would give 1850.109845.
TEST(CrossLinkMass, APartnerIsThePrecursorLessTheJoinedFragment) {
    EXPECT_EQ(partner_mh(2899.50202, 1000.1, 50.3), 1850.1098449999997);
}

} // namespace
} // namespace vombrelle
