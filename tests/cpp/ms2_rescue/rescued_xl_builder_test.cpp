#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/psm_rows.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "search/native_calls.hpp"

namespace vombrelle::test {
namespace {

// The six tables filled by hand as the PSM reader fills them, and a NamedCalls that runs the
// native algorithms while noting every uniq input.
class PsmFixture : public PsmRows {
public:
    PsmFixture() {
        for (PsmTables* search : {&tables.ms3, &tables.rescue}) {
            for (std::size_t i = 0; i < 3; ++i) (*search)[i] = table();
        }
    }

    SearchPsmTables tables;
};

class RecordingCalls : public NamedCalls {
public:
    void uniq(std::vector<std::string_view>& items) override {
        uniq_inputs.emplace_back(items.begin(), items.end());
        native.uniq(items);
    }
    std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables& t) override {
        return native.rescue_prec_mismatch(r, t);
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& t) override {
        return vombrelle::find_xls_ms2_rescue(r, t, *this);
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable& ms1,
                                           const PsmMatchTable& med_high) override {
        return native.rescue_prec_mass(r, ms1, med_high);
    }

    NativeCalls native;
    std::vector<std::vector<std::string>> uniq_inputs;
};

// A 1000.5 Da and B 1200.25 Da with the 158 Da linker make this MH+ exactly.
constexpr double kMh = 2357.742175;
constexpr double kA = 1000.5, kB = 1200.25;

RescueBuilderRequest request(HostNumber mass = kMh, std::array<HostNumber, 4> scans = {51, 52, 53, 54}) {
    return {scans, 50, mass, 3, 158.0};
}

struct Built {
    RescueBuilderResult result;
    RecordingCalls calls;
};

void build(PsmFixture& f, Built& out, const RescueBuilderRequest& r = request()) {
    out.result = find_xls_ms2_rescue(r, f.tables, out.calls);
}

TEST(RescuedXlBuilder, TierTwoKeepsTierOneRemarksLettersAndInsertsWhereItReads) {
    PsmFixture f;
    // Tier 1: a1 and a2 select different peptides, so side A disagrees and no pair is tried.
    f.add(f.tables.ms3, 51, {"PEPkA", kA, 0.995, "High"});
    f.add(f.tables.ms3, 52, {"PEPkZ", kA, 0.995, "High"});
    // Tier 2: a2 also carries PEPkA, with its own accessions, which win over a1's.
    f.add(f.tables.ms3, 52, {"PEPkA", kA, 0.96, "Medium", "P1b", "alpha b"});
    f.add(f.tables.rescue, 53, {"PEPkB", kB, 0.995, "High", "P2", "beta"});
    Built b;
    build(f, b);
    EXPECT_EQ(b.result.record,
              "High\tHMH_\t51:52:53.1:54.1,50\t2357.742175\t3\t786.5859416666666\tPEPkA\tP1b\talpha b\tPEPkB\tP2\tbeta\t"
              "different_pep_A_seqs;MS2_Rescued_XL");
    EXPECT_EQ(b.result.score, HostNumber(59.0));  // A 18 + 8 points, B 18: x20
    // Side B's b2 was read without a membership test in tier 2 only.
    const PsmMatchTable& med = f.tables.rescue.med_high;
    ASSERT_EQ(med.scans.size(), 2u);
    EXPECT_EQ(med.scans.at_position(1).first, 54);
    EXPECT_TRUE(med.scans.at_position(1).second.made_by_read && med.scans.at_position(1).second.pep_seq_text);
    EXPECT_FALSE(f.tables.rescue.high.contains(54));
}

TEST(RescuedXlBuilder, CountingTakesTheLatestValueReadFromEachScan) {
    PsmFixture f;
    // Candidates PEPkA (a1 only, too light) and PEPKA (a2 only): the match counts a1's stale 0.999.
    f.add(f.tables.ms3, 51, {"PEPkA", 999.0, 0.999});
    f.add(f.tables.ms3, 52, {"PEPKA", kA, 0.97});
    f.add(f.tables.rescue, 53, {"PEPkB", kB, 0.995});
    Built b;
    build(f, b);
    EXPECT_EQ(b.calls.uniq_inputs[0], (std::vector<std::string>{"PEPkA", "PEPKA"}));
    EXPECT_EQ(b.result.record.substr(0, 9), "High\tHHH_");  // without a1's 0.999, A would be 8 points
    EXPECT_NE(b.result.record.find("\tPEPKA\tP1\t"), std::string::npos);
    EXPECT_EQ(b.result.score, HostNumber(59.28));
}

TEST(RescuedXlBuilder, AcceptanceNeedsOnePeptidePerSideWhiteSpaceAside) {
    PsmFixture f;
    // a1 selects "PEPkA", a2 "PEPkA " (its "PEPkA" rejected); their whole lists agree.
    f.add(f.tables.ms3, 51, {"PEPkA", kA});
    f.add(f.tables.ms3, 51, {"PEPkA ", kA});
    f.add(f.tables.ms3, 52, {"PEPkA", kA, 0.995, "High", "P1", "protein one", true});
    f.add(f.tables.ms3, 52, {"PEPkA ", kA});
    f.add(f.tables.rescue, 53, {"PEPkB", kB});
    Built spaced;
    build(f, spaced);
    EXPECT_NE(spaced.result.record.find("\tPEPkA;PEPkA \tP1\t"), std::string::npos);

    f.add(f.tables.ms3, 51, {"PEPkC", kA});
    f.add(f.tables.ms3, 52, {"PEPkC", kA});
    Built two;  // PEPkA and PEPkC both match: no record, and tier 2 is not tried
    build(f, two);
    EXPECT_TRUE(two.result.record.empty() && two.result.score.is_int() && two.result.score == HostNumber(0));
    EXPECT_EQ(two.calls.uniq_inputs.size(), 9u);
}

TEST(RescuedXlBuilder, PairingWithinTwentyPpmOfTheMeasuredMass) {
    struct Row {
        double mass_b, ms2_mass;
        bool matches;
    };
    for (const Row& r : {Row{499823.007825, 1e6, true},            // 20 ppm below, exactly
                         Row{499823.00782499986, 1e6, false},     // one step further
                         Row{499863.00782500004, 1e6, true},      // 20 ppm above
                         Row{499863.0078250001, 1e6, false},
                         Row{-156.992175 - 500000.0, 0.0, false}}) {  // MH+ 0: no relative error
        PsmFixture f;
        f.add(f.tables.ms3, 51, {"PEPkA", 500000.0});
        f.add(f.tables.rescue, 53, {"PEPkB", r.mass_b});
        Built b;
        build(f, b, request(r.ms2_mass));
        EXPECT_EQ(!b.result.record.empty(), r.matches) << r.mass_b;
    }
}

TEST(RescuedXlBuilder, ClassAndScoreByPeptidePoints) {
    const HostNumber h = 1.0, m = 0.96, l = 0.5, z = 0;
    struct Row {
        std::array<HostNumber, 4> q;  // a1, a2, b1, b2
        std::string_view xl_class;
        HostNumber score;
    };
    for (const Row& r : {Row{{h, h, h, z}, "High", 60.0},         // 36, 18: x20
                         Row{{h, m, m, z}, "Medium", 29.2},       // 26, 8: x10
                         Row{{m, z, m, z}, "Medium", 15.36},      // 8, 8: x8
                         Row{{h, z, l, l}, "Low", 8.0},           // 18, 6: x4
                         Row{{l, z, h, h}, "Very_low", 2.5},      // 3, 36
                         Row{{0.99, 0.99, 0.99, 0.99}, "Medium", 31.68},  // 0.99 is medium
                         Row{{0.95, 0.95, 0.95, 0.95}, "Low", 3.8},       // 0.95 is low
                         Row{{z, z, z, z}, "Very_low", 0}}) {
        PsmFixture f;
        for (std::size_t i = 0; i < 4; ++i) {
            const bool a = i < 2;
            f.add(a ? f.tables.ms3 : f.tables.rescue, 51 + static_cast<std::int64_t>(i),
                  {a ? "PEPkA" : "PEPkB", a ? kA : kB, r.q[i]});
        }
        Built b;
        build(f, b);
        EXPECT_EQ(b.result.record.substr(0, b.result.record.find('\t')), r.xl_class) << r.score.to_text();
        EXPECT_TRUE(b.result.score == r.score && b.result.score.is_int() == r.score.is_int()) << r.score.to_text();
    }
}

// The record's numbers print as the caller gave them: ints as ints, floats as floats.
TEST(RescuedXlBuilder, NumbersPrintAsTheCallerGaveThem) {
    PsmFixture f;
    f.add(f.tables.ms3, 51, {"PEPkA", kA});
    f.add(f.tables.rescue, 53, {"PEPkB", 1199.507825});
    Built ints, floats;
    build(f, ints, request(2357));
    EXPECT_NE(ints.result.record.find("\t51:52:53.1:54.1,50\t2357\t3\t786.3385499999999\t"), std::string::npos);
    build(f, floats, {{51.0, 52.0, 53.0, 54.0}, 50.0, 2357.0, 3.0, 158});
    EXPECT_NE(floats.result.record.find("\t51.0:52.0:53.1:54.1,50.0\t2357.0\t3.0\t786.3385499999999\t"), std::string::npos);
    // A bool prints as the word, and a side-B scan plus 0.1 as the float it gives (True + 0.1).
    Built bools;
    const HostNumber yes = HostNumber::boolean(true), no = HostNumber::boolean(false);
    f.add(f.tables.rescue, 1, {"PEPkB", 1199.507825});
    build(f, bools, {{yes, 51, yes, 54}, no, 2357, yes, 158});
    EXPECT_NE(bools.result.record.find("\tTrue:51:1.1:54.1,False\t2357\tTrue\t2357.0\t"), std::string::npos)
        << bools.result.record;
}

} // namespace
} // namespace vombrelle::test
