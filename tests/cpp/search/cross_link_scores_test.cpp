#include <gtest/gtest.h>

#include "search/cross_link_scores.hpp"

namespace vombrelle::search {
namespace {

// Q-values per band: 1.0 scores 18 points, 0.97 scores 8, 0.5 scores 3, 0 nothing.
TEST(CrossLinkScore, ClassesAtTheirPointBoundaries) {
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
        const ClassAndScore got = cross_link_score(c.a, c.b);
        EXPECT_EQ(got.cross_link_class, c.cross_link_class);
        EXPECT_EQ(got.score.to_text(), c.score.to_text()) << c.cross_link_class;
    }
    // 0.99 is not above 0.99: it counts as medium.
    EXPECT_EQ(cross_link_score({0.99, 0.99}, {0.99, 0.99}).cross_link_class, "Medium");
}

// A confidence's first character, not its first byte; the empty text has none.
TEST(CrossLinkRecord, ConfidenceLetters) {
    std::string letters;
    append_confidence_letter(letters, "Medium");
    append_confidence_letter(letters, "\xC3\x89levee");
    EXPECT_EQ(letters, "M\xC3\x89");
    EXPECT_THROW(append_confidence_letter(letters, ""), HostError);
}

// Sequences are compared stripped: "PEPkA " and "PEPkA" are one peptide.
TEST(CrossLinkRecord, OneStrippedSequence) {
    std::vector<std::string_view> scratch;
    EXPECT_TRUE(one_stripped_sequence({"PEPkA ", "PEPkA", "\tPEPkA"}, nullptr, scratch));
    EXPECT_FALSE(one_stripped_sequence({"PEPkA", "PEPKA"}, nullptr, scratch));
}

} // namespace
} // namespace vombrelle::search
