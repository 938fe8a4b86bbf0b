// Three- and two-scan groups through the whole search.
#include <gtest/gtest.h>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

const std::string kAB = peptides("PEPkA", "PEPkB");

// linker_dm is 30. A three-scan group whose scans 1 and 2 are A's arm forms (a2), or whose scans
// 2 and 3 are B's (b2); gaps between the scans are no matter.
Group a2_group(std::int64_t first, std::int64_t parent) {
    return Group{{first, first + 3, first + 9}, parent, {600.25, 570.25, 800.5}, {1, 2}};
}
Group b2_group(std::int64_t first, std::int64_t parent) {
    return Group{{first, first + 2, first + 8}, parent, {600.25, 770.5, 800.5}, {0, 1}};
}

TEST(ThreeScanSearch, MiddleScanPlacementAgreementAndLetters) {
    Fraction f;
    // The middle scan is A's: letters in scan order.
    const Group g = a2_group(101, 100).add_to(f);
    f.psm(101, psm("PEPkA", 500.0)).psm(104, psm("PEPkA", 500.0, 0.96, "Medium"));
    f.psm(110, psm("PEPkB", g.partner(f, 500.0), 1.0, "High", "2"));
    // The middle scan is B's, and Low: letters go scan 1, scan 3, scan 2.
    const Group h = b2_group(201, 200).add_to(f);
    f.psm(201, psm("PEPkA", 500.0)).psm(203, psm("PEPkB", h.partner(f, 500.0), 0.5, "Low", "2"));
    f.psm(209, psm("PEPkB", h.partner(f, 500.0), 0.96, "Medium", "2"));
    // Scans 1 and 2 share no sequence; only scan 2's PSM is High or Medium, so A is its sequence.
    const Group i = a2_group(301, 300).add_to(f);
    f.psm(301, psm("PEPkQ", 500.0, 0.5, "Low")).psm(304, psm("PEPkA", 500.0));
    f.psm(310, psm("PEPkB", i.partner(f, 500.0), 1.0, "High", "2"));
    // Scan 2 has no PSM: A is scan 1's, and the pairing's read of scan 2 leaves an empty entry.
    const Group j = a2_group(401, 400).add_to(f);
    f.psm(401, psm("PEPkA", 500.0)).psm(410, psm("PEPkB", j.partner(f, 500.0), 1.0, "High", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HMH", kAB), "59.2"},
                       {h.record("Medium", "HML", kAB), "24.6"},
                       {i.record("High", "_HH", kAB), "40.0"},
                       {j.record("High", "H_H", kAB), "40.0"}}));
    EXPECT_TRUE(f.tables.psm.ms3.all.contains(404) && f.tables.psm.ms3.all.find(404)->made_by_read);
}

TEST(ThreeScanSearch, GroupsThatCannotBePlacedAreDroppedAndHandOffs) {
    // A linker_dm of 0 places no middle scan; a middle scan without an own precursor has no
    // mass to place. Neither fails the search.
    Fraction f;
    f.args.linker_dm = HostNumber(0);
    const Group g = a2_group(101, 100).add_to(f);
    Group e = a2_group(201, 200);
    e.own[1] = NAN;
    e.explained = {0, 2};
    e.add_to(f);
    for (const Group* x : {&g, static_cast<const Group*>(&e)}) {
        f.psm(x->scans[0], psm("PEPkA", 500.0)).psm(x->scans[1], psm("PEPkA", 500.0));
        f.psm(x->scans[2], psm("PEPkB", x->partner(f, 500.0), 1.0, "High", "2"));
    }
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(f.tables, f.args, calls).empty());

    // A group no pair explains goes to the MS2-search rescue with its middle scan in both middle
    // places, the very same list twice.
    Fraction m;
    m.args.ms2_rescue = true;
    Group off = a2_group(101, 100);
    off.shift = 40.0;
    off.add_to(m);
    RecordingCalls rescue;
    find_cross_links(m.tables, m.args, rescue);
    std::string lists;
    for (std::size_t i : {0, 1, 1, 2}) lists += "[" + float_repr(mh_of(off.own_header(i))) + "]";
    EXPECT_EQ(rescue.calls("mismatch").front(),
              "mismatch 3 101:104:104:110 100 " + float_repr(mh_of(off.label)) + " 1 100.0 2.0 " + lists + " same");
}

Group pair_group(std::int64_t first) { return Group{{first, first + 1}, first - 1, {600.25, 800.5}, {0, 1}}; }

TEST(TwoScanSearch, RecordsScoresAndUniqCalls) {
    Fraction f;
    const Group g = pair_group(10).add_to(f);
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkB", g.partner(f, 500.0), 1.0, "High", "2"));
    // The same peptide on both scans scores double.
    const Group same = pair_group(110).add_to(f);
    const double half = same.partner(f, 0.0) / 2;
    f.psm(110, psm("PEPkA", half)).psm(111, psm("PEPkA", half));
    // Sequences equal up to case are the candidates; the others drop out.
    const Group cased = pair_group(210).add_to(f);
    const double b = cased.partner(f, 500.0);
    f.psm(210, psm("AkAKR", 500.0)).psm(210, psm("GGkR", 500.0)).psm(211, psm("AKAkR", b, 1.0, "High", "2"));
    f.psm(211, psm("TTkR", b, 1.0, "High", "2"));
    // Two A candidates of which only the first pairs: class and letters of that pair, the score
    // from the last A candidate's q-value.
    const Group two = pair_group(310).add_to(f);
    f.psm(310, psm("PEPkA", 500.0)).psm(310, psm("PEPkC", 450.0, 0.96, "Medium"));
    f.psm(311, psm("PEPkB", two.partner(f, 500.0), 1.0, "High", "2"));
    // q-values of 0.95 make the class "Low", which stores nothing.
    const Group low = pair_group(410).add_to(f);
    f.psm(410, psm("PEPkA", 500.0, 0.95, "Medium")).psm(411, psm("PEPkB", low.partner(f, 500.0), 0.95, "Medium", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HH", kAB), "40.0"},
                       {same.record("High", "HH", "PEPkA\tP1\td1\tPEPkA\tP1\td1"), "80.0"},
                       {cased.record("High", "HH", peptides("AkAKR", "AKAkR")), "40.0"},
                       {two.record("High", "HH", kAB), "19.6"}}));
    // Candidates, the six record lists, each side's stripped sequences, the (empty) remarks.
    EXPECT_EQ(std::vector(calls.log.begin(), calls.log.begin() + 11),
              (std::vector<std::string>{"uniq PEPkA", "uniq PEPkB", "uniq PEPkA", "uniq PEPkB", "uniq P1", "uniq P2",
                                        "uniq d1", "uniq d2", "uniq PEPkA", "uniq PEPkB", "uniq "}));
}

TEST(TwoScanSearch, MismatchHandOffWithTwoNewEmptyLists) {
    Fraction f;
    f.args.ms2_rescue = true;
    Group g = pair_group(10);
    g.shift = 40.0;
    g.add_to(f);
    // The PSM gate comes first: without PSMs nothing is handed over.
    RecordingCalls calls;
    Fraction without = f;
    find_cross_links(without.tables, without.args, calls);
    EXPECT_TRUE(calls.log.empty());
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkB", 500.0));
    find_cross_links(f.tables, f.args, calls);
    EXPECT_EQ(calls.log, std::vector<std::string>{"mismatch 2 10:11:10:11 9 " + float_repr(mh_of(g.label)) +
                                                  " 1 100.0 2.0 [" + float_repr(mh_of(g.own_header(0))) + "][" +
                                                  float_repr(mh_of(g.own_header(1))) + "][][]"});
}

} // namespace
} // namespace vombrelle::search_test
