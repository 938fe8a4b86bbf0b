#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/cross_link_scoring.hpp"

namespace vombrelle {
namespace {

TEST(CrossLinkScoring, QvalBandsAreOpenBelow) {
    EXPECT_EQ(qval_band(0.9900000000000001), QvalBand::High);
    EXPECT_EQ(qval_band(kHighQval), QvalBand::Medium);  // a High PSM without q-value
    EXPECT_EQ(qval_band(0.9500000000000001), QvalBand::Medium);
    EXPECT_EQ(qval_band(kMediumQval), QvalBand::Low);   // a Medium PSM without q-value
    EXPECT_EQ(qval_band(5e-324), QvalBand::Low);
    EXPECT_EQ(qval_band(HostNumber(0)), QvalBand::None);
    EXPECT_EQ(qval_band(-0.5), QvalBand::None);
    EXPECT_EQ(qval_band(NAN), QvalBand::None);
    EXPECT_EQ(peptide_points(std::array<HostNumber, 3>{1.0, 0.97, 0.5}), 29);
}

// Q-values per band: 1.0 scores 18 points, 0.97 scores 8, 0.5 scores 3, 0 nothing. The four-scan
// search and the rescued builder differ only below Low.
TEST(CrossLinkScoring, ClassesAtTheirPointBoundaries) {
    struct Case {
        std::array<HostNumber, 2> a, b;
        const char* cross_link_class;
        HostNumber score;
    };
    const HostNumber z = 0;
    for (const Case& c : std::initializer_list<Case>{
             {{1.0, z}, {1.0, z}, "High", HostNumber(2.0) * HostNumber(20)},           // 18 / 18
             {{0.97, 0.97}, {1.0, z}, "Medium", HostNumber(2.94) * HostNumber(10)},    // 16 / 18
             {{0.97, z}, {0.97, z}, "Medium", HostNumber(1.94) * HostNumber(8)},       // 8 / 8
             {{0.5, 0.5}, {1.0, z}, "Low", HostNumber(2.0) * HostNumber(4)},           // 6 / 18
             {{0.5, 0.5}, {0.97, z}, "Low", 3.94},                                     // 6 / 8
             {{0.5, 0.5}, {0.5, 0.5}, "Low", HostNumber(2.0)},                        // 6 / 6
             {{0.5, z}, {1.0, 1.0}, "MS2_MedLow", z},                                 // 3 / 36
             {{z, z}, {z, z}, "MS2_MedLow", z},
         }) {
        const ClassAndScore got = class_by_points({c.a[0], c.a[1], c.b[0], c.b[1]}, kSearchBelowLow);
        EXPECT_EQ(got.cross_link_class, c.cross_link_class);
        EXPECT_EQ(got.score.to_text(), c.score.to_text()) << c.cross_link_class;
    }
    // 0.99 is not above 0.99: it counts as medium.
    EXPECT_EQ(class_by_points({0.99, 0.99, 0.99, 0.99}, kSearchBelowLow).cross_link_class, "Medium");

    // Below Low the rescued builder keeps the sum, in the number type it has.
    struct Rescued {
        std::array<HostNumber, 4> q;
        std::string score;
    };
    for (const Rescued& r : {Rescued{{0.5, z, 1.0, 1.0}, "2.5"}, Rescued{{z, z, z, z}, "0"}}) {
        const ClassAndScore got = class_by_points(r.q, kRescueBelowLow);
        EXPECT_EQ(got.cross_link_class, "Very_low");
        EXPECT_EQ(got.score.to_text(), r.score);
    }
}

// Each peptide's q-values are summed from 0 first: (0.1 + 0.2) + (0.3 + 0.6) is 1.2, where the
// three-scan score's sum left to right is 1.2000000000000002.
TEST(CrossLinkScoring, EachScoreKeepsItsOrderOfAddition) {
    EXPECT_EQ(class_by_points({0.1, 0.2, 0.3, 0.6}, kSearchBelowLow).score.as_double(), 1.2);
    EXPECT_EQ(triplet_score(0.1, 0.2, 0.3, 0.6).as_double(), 1.2000000000000002);
}

TEST(CrossLinkScoring, TripletAndPairMultipliersByTheBetterQvalOfEachPeptide) {
    const HostNumber z = 0;
    EXPECT_EQ(triplet_score(z, 1.0, 1.0, z).as_double(), 40.0);   // both high: x20
    EXPECT_EQ(triplet_score(1.0, z, 0.96, z).as_double(), 19.6);  // both at least medium: x10
    EXPECT_EQ(triplet_score(1.0, z, 0.5, z).as_double(), 12.0);   // one high: x8
    EXPECT_EQ(triplet_score(0.96, z, 0.5, z).as_double(), 5.84);  // one medium: x4
    EXPECT_EQ(triplet_score(0.99, z, 0.95, z).as_double(), 7.76); // 0.99 is medium, 0.95 low: x4
    const HostNumber none = triplet_score(z, z, z, z);
    EXPECT_TRUE(none.is_int() && none == HostNumber(0));
    EXPECT_EQ(pair_score(1.0, 1.0, false).as_double(), 40.0);
    EXPECT_EQ(pair_score(1.0, 1.0, true).as_double(), 80.0);     // one peptide in both scans
    EXPECT_EQ(pair_score(0.5, 0.5, false).as_double(), 1.0);
}

TEST(CrossLinkScoring, ThreeAndTwoScanClassesBySomeQvalOfEachPeptide) {
    const HostNumber z = 0;
    const std::array<HostNumber, 2> high_second{z, 0.995}, medium{0.99, z}, low{0.95, 0.5};
    const std::array<HostNumber, 1> high{1.0};
    EXPECT_EQ(class_by_bands(high_second, high), "High");
    EXPECT_EQ(class_by_bands(high, medium), "Medium");
    EXPECT_EQ(class_by_bands(low, high), "Low");
    EXPECT_TRUE(class_stores("High") && class_stores("Medium"));
    EXPECT_FALSE(class_stores("Low") || class_stores("MS2_MedLow") || class_stores(""));
}

} // namespace
} // namespace vombrelle
