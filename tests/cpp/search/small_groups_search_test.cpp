// Three- and two-scan groups through the whole search.
#include <gtest/gtest.h>

#include <cmath>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// MS3 scans with one own precursor each (MH+ as given); the precursor is explained by the pair
// of positions `pair`; the parent's peaks hold every MS3 m/z.
struct SmallGroup {
    std::vector<std::int64_t> scans;
    std::int64_t parent;
    std::vector<double> own;  // MH+ per scan; NaN: the scan's own block never completed
    std::pair<std::size_t, std::size_t> pair;
    std::string label = {};

    void add_to(Fraction& f) {
        const double precursor = mh_of(header_of(own[pair.first])) + mh_of(header_of(own[pair.second])) +
                                 f.args.linker_deficit.as_double() - kProtonMass;
        label = header_of(precursor);
        std::vector<double> peaks;
        for (std::size_t i = 0; i < scans.size(); ++i) {
            if (std::isnan(own[i])) {
                f.ms3(scans[i], label, {});
                continue;
            }
            f.ms3(scans[i], label, {header_of(own[i])});
            peaks.push_back(parse_float(split_whitespace(header_of(own[i]))[0]));
        }
        f.ms2(parent, label, peaks);
    }
    // The peptide mass that pairs with `a_mass` under the linker.
    double partner(const Fraction& f, double a_mass) const {
        return mh_of(label) - a_mass - f.args.linker_mass.as_double() + kProtonMass;
    }
    std::string record(const std::string& cls, const std::string& letters, const std::string& peptides) const {
        std::string scan_text;
        for (std::size_t i = 0; i < scans.size(); ++i) scan_text += (i ? ":" : "") + std::to_string(scans[i]);
        return cls + "\t" + letters + "\t" + scan_text + "," + std::to_string(parent) + "\t" + float_repr(mh_of(label)) +
               "\t1\t" + float_repr(parse_float(split_whitespace(label)[0])) + "\t" + peptides + "\t";
    }
};

Psm psm(std::string seq, double mass, HostNumber q = 1.0, std::string confidence = "High", std::string protein = "1") {
    return Psm{std::move(seq), mass, q, std::move(confidence), true, "P" + protein, "d" + protein};
}

const std::string kAB = "PEPkA\tP1\td1\tPEPkB\tP2\td2";

TEST(ThreeScanSearch, MiddleScanJoinsThePeptideWhoseArmsItCompletes) {
    // linker_dm is 30: scans 101 and 104 are A's arm forms; 110 is B (gaps are no matter).
    Fraction f;
    SmallGroup g{{101, 104, 110}, 100, {600.25, 570.25, 800.5}, {1, 2}};
    g.add_to(f);
    f.psm(101, psm("PEPkA", 500.0)).psm(104, psm("PEPkA", 500.0, 0.96, "Medium"));
    f.psm(110, psm("PEPkB", g.partner(f, 500.0), 1.0, "High", "2"));
    // Here 232 and 238 are B's arm forms, the middle one Low; letters go scan 1, scan 3, scan 2.
    SmallGroup h{{230, 232, 238}, 229, {600.25, 770.5, 800.5}, {0, 1}};
    h.add_to(f);
    f.psm(230, psm("PEPkA", 500.0)).psm(232, psm("PEPkB", h.partner(f, 500.0), 0.5, "Low", "2"));
    f.psm(238, psm("PEPkB", h.partner(f, 500.0), 0.96, "Medium", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HMH", kAB), "59.2"}, {h.record("Medium", "HML", kAB), "24.6"}}));
}

TEST(ThreeScanSearch, ConfidentPsmsDecideWhenTheArmsDisagree) {
    // Scan 1's only PSM is Low, scan 2's High: A takes scan 2's sequence, scan 1 gives no letter.
    Fraction f;
    SmallGroup g{{101, 104, 110}, 100, {600.25, 570.25, 800.5}, {1, 2}};
    g.add_to(f);
    f.psm(101, psm("PEPkQ", 500.0, 0.5, "Low")).psm(104, psm("PEPkA", 500.0));
    f.psm(110, psm("PEPkB", g.partner(f, 500.0), 1.0, "High", "2"));
    // Scan 2 of this group has no PSM: A is scan 1's, and the pairing's read of scan 2 leaves an
    // empty entry in the all-confidence table.
    SmallGroup h{{230, 231, 240}, 229, {600.25, 570.25, 800.5}, {1, 2}};
    h.add_to(f);
    f.psm(230, psm("PEPkA", 500.0)).psm(240, psm("PEPkB", h.partner(f, 500.0), 1.0, "High", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "_HH", kAB), "40.0"}, {h.record("High", "H_H", kAB), "40.0"}}));
    ASSERT_TRUE(f.tables.psm.ms3.all.contains(231));
    EXPECT_TRUE(f.tables.psm.ms3.all.find(231)->made_by_read);
}

TEST(ThreeScanSearch, GroupsThatCannotBePlacedAreDropped) {
    // A linker_dm of 0 places no middle scan; a middle scan without an own precursor has no
    // mass to place. Neither fails the search.
    Fraction zero;
    zero.args.linker_dm = HostNumber(0);
    SmallGroup g{{101, 104, 110}, 100, {600.25, 570.25, 800.5}, {1, 2}};
    g.add_to(zero);
    zero.psm(101, psm("PEPkA", 500.0)).psm(104, psm("PEPkA", 500.0)).psm(110, psm("PEPkB", g.partner(zero, 500.0)));
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(zero.tables, zero.args, calls).empty());

    Fraction empty;
    SmallGroup e{{101, 104, 110}, 100, {600.25, NAN, 800.5}, {0, 2}};
    e.add_to(empty);
    empty.psm(101, psm("PEPkA", 500.0)).psm(104, psm("PEPkA", 500.0)).psm(110, psm("PEPkB", e.partner(empty, 500.0)));
    EXPECT_TRUE(find_cross_links(empty.tables, empty.args, calls).empty());
}

TEST(ThreeScanSearch, MismatchHandOffDoublesTheMiddleScan) {
    Fraction f;
    f.args.ms2_rescue = true;
    SmallGroup g{{101, 104, 110}, 100, {600.25, 570.25, 800.5}, {1, 2}};
    g.add_to(f);
    f.tables.ms2.find(100)->headers = {"2000.5 2"};
    for (std::int64_t s : g.scans) f.tables.ms3.find(s)->headers = {"2000.5 2"};
    RecordingCalls calls;
    find_cross_links(f.tables, f.args, calls);
    ASSERT_FALSE(calls.mismatch_calls.empty());
    const auto& m = calls.mismatch_calls[0];
    EXPECT_EQ(m.request.spec_mode.to_text(), "3");
    const double l1 = mh_of(header_of(600.25)), l2 = mh_of(header_of(570.25)), l3 = mh_of(header_of(800.5));
    EXPECT_EQ(m.lists, (std::array<Ms3MassList, 4>{{{l1}, {l2}, {l2}, {l3}}}));
    EXPECT_EQ(m.request.mass_lists[1], m.request.mass_lists[2]);  // the very same list
    EXPECT_EQ(m.request.ms2_mass.as_double(), mh_from_mz(2000.5, 2));
    EXPECT_EQ(m.request.ms2_charge.to_text(), "2");
}

TEST(TwoScanSearch, RecordsScoresAndUniqCalls) {
    Fraction f;
    SmallGroup g{{10, 11}, 9, {600.25, 800.5}, {0, 1}};
    g.add_to(f);
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkB", g.partner(f, 500.0), 1.0, "High", "2"));
    // The same peptide on both scans scores double.
    SmallGroup same{{120, 121}, 119, {600.25, 800.5}, {0, 1}};
    same.add_to(f);
    const double half = (mh_of(same.label) - 100.0 + kProtonMass) / 2;
    f.psm(120, psm("PEPkA", half)).psm(121, psm("PEPkA", half));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HH", kAB), "40.0"},
                       {same.record("High", "HH", "PEPkA\tP1\td1\tPEPkA\tP1\td1"), "80.0"}}));
    // Candidates, the six record lists, each side's stripped sequences, the (empty) remarks.
    const std::vector<std::vector<std::string>> per_group = {{"PEPkA"}, {"PEPkB"}, {"PEPkA"}, {"PEPkB"}, {"P1"},
                                                             {"P2"},    {"d1"},    {"d2"},    {"PEPkA"}, {"PEPkB"}, {}};
    ASSERT_EQ(calls.uniq_calls.size(), 2 * per_group.size());
    EXPECT_EQ(std::vector(calls.uniq_calls.begin(), calls.uniq_calls.begin() + 11), per_group);
}

TEST(TwoScanSearch, CandidatesClassesAndCarriedQValues) {
    // Sequences equal up to case are the candidates; the others drop out.
    Fraction f;
    SmallGroup g{{10, 11}, 9, {600.25, 800.5}, {0, 1}};
    g.add_to(f);
    const double b = g.partner(f, 500.0);
    f.psm(10, psm("AkAKR", 500.0)).psm(10, psm("GGkR", 500.0)).psm(11, psm("AKAkR", b, 1.0, "High", "2"));
    f.psm(11, psm("TTkR", b, 1.0, "High", "2"));
    // Two A candidates of which only the first pairs: class and letter of that pair, the score
    // from the last A candidate's q-value.
    SmallGroup h{{120, 121}, 119, {600.25, 800.5}, {0, 1}};
    h.add_to(f);
    f.psm(120, psm("PEPkA", 500.0)).psm(120, psm("PEPkC", 450.0, 0.96, "Medium"));
    f.psm(121, psm("PEPkB", h.partner(f, 500.0), 1.0, "High", "2"));
    // q-values of 0.95 make the class "Low", which stores nothing.
    SmallGroup low{{220, 221}, 219, {600.25, 800.5}, {0, 1}};
    low.add_to(f);
    f.psm(220, psm("PEPkA", 500.0, 0.95, "Medium")).psm(221, psm("PEPkB", low.partner(f, 500.0), 0.95, "Medium", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HH", "AkAKR\tP1\td1\tAKAkR\tP2\td2"), "40.0"},
                       {h.record("High", "HH", kAB), "19.6"}}));
    EXPECT_EQ(calls.uniq_calls[0], std::vector<std::string>{"AkAKR"});
    EXPECT_EQ(calls.uniq_calls[1], std::vector<std::string>{"AKAkR"});
}

TEST(TwoScanSearch, MismatchHandOffWithTwoNewEmptyLists) {
    Fraction f;
    f.args.ms2_rescue = true;
    SmallGroup g{{10, 11}, 9, {600.25, 800.5}, {0, 1}};
    g.add_to(f);
    f.tables.ms2.find(9)->headers = {"2000.5 1"};
    for (std::int64_t s : g.scans) f.tables.ms3.find(s)->headers = {"2000.5 1"};
    // The PSM gate comes first: without PSMs nothing is handed over.
    RecordingCalls calls;
    Fraction without = f;
    find_cross_links(without.tables, without.args, calls);
    EXPECT_TRUE(calls.mismatch_calls.empty());
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkB", 500.0));
    find_cross_links(f.tables, f.args, calls);
    ASSERT_EQ(calls.mismatch_calls.size(), 1u);
    const auto& m = calls.mismatch_calls[0];
    EXPECT_EQ(m.request.spec_mode.to_text(), "2");
    EXPECT_EQ(m.lists, (std::array<Ms3MassList, 4>{{{mh_of(header_of(600.25))}, {mh_of(header_of(800.5))}, {}, {}}}));
    EXPECT_NE(m.request.mass_lists[2], m.request.mass_lists[3]);
    std::vector<std::string> scans;
    for (const HostNumber& s : m.request.scans) scans.push_back(s.to_text());
    EXPECT_EQ(scans, (std::vector<std::string>{"10", "11", "10", "11"}));
}

} // namespace
} // namespace vombrelle::search_test
