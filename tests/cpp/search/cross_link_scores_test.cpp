#include <gtest/gtest.h>

#include "search/cross_link_scores.hpp"

namespace vombrelle::search {
namespace {

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
