#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/named_calls.hpp"
#include "common/uniq.hpp"

namespace vombrelle {
namespace {

// Records the lists handed to uniq by name; no other call is expected.
class UniqCalls : public NamedCalls {
public:
    void uniq(std::vector<std::string_view>& items) override {
        inputs.emplace_back(items.begin(), items.end());
        uniq_in_place(items);
    }
    std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest&, SearchPsmTables&) override {
        throw std::logic_error("not called");
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest&, SearchPsmTables&) override {
        throw std::logic_error("not called");
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest&, const SpectrumTable&,
                                           const PsmMatchTable&) override {
        throw std::logic_error("not called");
    }

    std::vector<std::vector<std::string>> inputs;
};

// A confidence's first character, not its first byte; the empty text has none.
TEST(CrossLinkRecord, ConfidenceLetters) {
    std::string letters;
    append_confidence_letter(letters, "Medium");
    append_confidence_letter(letters, "\xC3\x89levee");
    append_confidence_letter(letters, kNoConfidence);
    EXPECT_EQ(letters, "M\xC3\x89_");
    EXPECT_THROW(append_confidence_letter(letters, ""), HostError);
}

// Sequences are compared stripped: "PEPkA " and "PEPkA" are one peptide. Counted here, no uniq is
// called by name; otherwise the stripped list is what uniq gets.
TEST(CrossLinkRecord, OneStrippedSequence) {
    UniqCalls calls;
    std::vector<std::string_view> scratch;
    EXPECT_TRUE(one_stripped_sequence({"PEPkA ", "PEPkA", "\tPEPkA"}, DistinctBy::CountedHere, calls, scratch));
    EXPECT_FALSE(one_stripped_sequence({"PEPkA", "PEPKA"}, DistinctBy::CountedHere, calls, scratch));
    EXPECT_TRUE(calls.inputs.empty());
    EXPECT_TRUE(one_stripped_sequence({"PEPkA ", "PEPkA"}, DistinctBy::UniqByName, calls, scratch));
    EXPECT_EQ(calls.inputs, (std::vector<std::vector<std::string>>{{"PEPkA", "PEPkA"}}));
}

TEST(CrossLinkRecord, ThirteenFieldsFromOnePair) {
    const PsmRowTexts a{"PEPkA", "P1; P2", "protein one", "High"};
    PeptideFields fields;
    fields.add_pair("PEPkA", "PEPkB", &a, nullptr);  // no PSM read for B: no proteins of B
    fields.add_pair("PEPkA", "PEPkC", &a, nullptr);
    UniqCalls calls;
    fields.make_distinct(calls);
    EXPECT_EQ(calls.inputs, (std::vector<std::vector<std::string>>{{"PEPkA", "PEPkA"},
                                                                   {"PEPkB", "PEPkC"},
                                                                   {"P1; P2", "P1; P2"},
                                                                   {},
                                                                   {"protein one", "protein one"},
                                                                   {}}));

    std::string scans;
    const HostNumber shown[] = {51, 52.0, HostNumber::boolean(true)};
    append_scan_text(scans, shown, 50);
    EXPECT_EQ(scans, "51:52.0:True,50");

    const std::string_view remarks[] = {"different_pep_A_seqs", "MS2_Rescued_XL"};
    EXPECT_EQ(record_text({"High", "HH_", scans, 2357.0, 3, 786.3385499999999, fields, remarks}),
              "High\tHH_\t51:52.0:True,50\t2357.0\t3\t786.3385499999999\tPEPkA\tP1; P2\tprotein one\t"
              "PEPkB;PEPkC\t\t\tdifferent_pep_A_seqs;MS2_Rescued_XL");
}

} // namespace
} // namespace vombrelle
