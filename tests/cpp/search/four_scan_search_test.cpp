// Four-scan groups through the whole search: the record, the hand-offs, the tiers and what their
// reads leave in the tables.
#include <gtest/gtest.h>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

const std::string kAB = peptides("PEPkA", "PEPkB");

// A and B on both their scans, masses that pair.
void add_pair(Fraction& f, const Group& g, std::int64_t first, HostNumber q = 1.0) {
    f.psm(first, psm("PEPkA", 500.0, q)).psm(first + 1, psm("PEPkA", 500.0, q));
    f.psm(first + 2, psm("PEPkB", g.partner(f, 500.0), q, "High", "2"));
    f.psm(first + 3, psm("PEPkB", g.partner(f, 500.0), q, "High", "2"));
}

TEST(FourScanSearch, StoresOneRecordAndUsesUpItsScans) {
    Fraction f;
    const Group g = four_scans(10, 9).add_to(f);
    add_pair(f, g, 10);
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)), (Entries{{g.record("High", "HHHH", kAB), "80.0"}}));
    // Candidates, the six record lists, the remarks; nothing from scans 11 to 13, used up.
    EXPECT_EQ(calls.log, (std::vector<std::string>{"uniq PEPkA", "uniq PEPkB", "uniq PEPkA", "uniq PEPkB", "uniq P1",
                                                   "uniq P2", "uniq d1", "uniq d2", "uniq "}));
}

TEST(FourScanSearch, LaterTiersKeepWhatEarlierOnesRead) {
    // Tier one pairs A with B's High PEPkX (wrong mass), reading b2's q-value 1.0; tier two pairs
    // A with B's Medium PEPkB, which b2 holds only as PEPKB: b2 keeps tier one's q-value (B scores
    // 26 points: "High") and takes its letter from PEPKB, read last.
    Fraction f;
    const Group g = four_scans(10, 9).add_to(f);
    const double b = g.partner(f, 500.0);
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkA", 500.0)).psm(12, psm("PEPkB", b, 0.96, "Medium", "2"));
    f.psm(13, psm("PEPKB", b + 50, 0.96, "Medium", "2")).psm(13, psm("PEPkX", b + 50, 1.0, "High", "2"));
    // A's scans select different High sequences here (a remark); a2's first row, Medium PEPkA,
    // lets the second tier agree.
    const Group h = four_scans(110, 109).add_to(f);
    f.psm(110, psm("PEPkA", 500.0)).psm(111, psm("PEPkA", 500.0, 0.96, "Medium")).psm(111, psm("PEPkZ", 500.0));
    f.psm(112, psm("PEPkB", h.partner(f, 500.0), 1.0, "High", "2")).psm(113, psm("PEPkB", h.partner(f, 500.0), 1.0, "High", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HHMM", kAB), ((HostNumber(2.0) + (HostNumber(0) + 0.96 + 1.0)) * 20).to_text()},
                       {h.record("High", "HMHH", kAB, "different_pep_A_seqs"),
                        ((HostNumber(0) + 1.0 + 0.96 + 2.0) * 20).to_text()}}));
    // Tier one's pairing read b1, which the High table lacked: it holds an empty entry now.
    EXPECT_TRUE(f.tables.psm.ms3.high.contains(12) && f.tables.psm.ms3.high.find(12)->made_by_read);
}

TEST(FourScanSearch, ThirdTierStoresNothingButItsReadsStay) {
    // An empty entry for a1 in the High table (left by an earlier read) flags a1; the third tier
    // agrees on a2's Medium PSM alone and pairs, and its read of a1 leaves an empty entry in the
    // all-confidence table. Key 11 then regroups 11, 12, 13 as a three-scan group, which stores.
    Fraction f;
    const Group g = four_scans(10, 9).add_to(f);
    f.tables.psm.ms3.high.read(10);
    const double b = g.partner(f, 500.0);
    f.psm(11, psm("PEPkA", 500.0, 0.96, "Medium")).psm(12, psm("PEPkB", b, 1.0, "High", "2"));
    f.psm(13, psm("PEPkB", b, 1.0, "High", "2"));
    RecordingCalls calls;
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("Medium", "MHH", kAB, "", "11:12:13,9"), ((HostNumber(0.96) + 0 + 1.0 + 1.0) * 10).to_text()}}));
    EXPECT_TRUE(f.tables.psm.ms3.all.contains(10) && f.tables.psm.ms3.all.find(10)->made_by_read);
}

// The crossed pairs miss the precursor by 2 Da; A and B are in the High+Medium table.
Group isotope_miss(Fraction& f) {
    Group g = four_scans(10, 9);
    g.shift = 2.0;
    g.add_to(f);
    const double b = g.partner(f, 500.0, g.explained_mh(f));  // pairs with the true precursor
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkA", 500.0));
    f.psm(12, psm("PEPkB", b, 1.0, "High", "2")).psm(13, psm("PEPkB", b, 1.0, "High", "2"));
    return g;
}

std::string mass_lists(const Group& g, std::initializer_list<std::size_t> positions) {
    std::string out;
    for (std::size_t i : positions) out += "[" + float_repr(mh_of(g.own_header(i))) + "]";
    return out;
}

TEST(FourScanSearch, MismatchHandOffAndMerge) {
    // Records come back, so the precursor rescue is not tried; key 11 then regroups 11 to 13
    // and is handed over too; R1 keeps its place.
    Fraction f;
    f.args.ms2_rescue = true;
    const Group g = isotope_miss(f);
    RecordingCalls calls;
    CrossLinkScoreMap first, second;
    first.insert_or_assign("", HostNumber(0));
    first.insert_or_assign("R2", HostNumber(2.5));
    first.insert_or_assign("R1", HostNumber(1));
    second.insert_or_assign("R1", HostNumber(7.0));
    calls.mismatch_answers = {first, second};
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)), (Entries{{"R2", "2.5"}, {"R1", "7.0"}}));
    const std::string precursor = " 9 " + float_repr(mh_of(g.label)) + " 1 100.0 2.0 ";
    EXPECT_EQ(calls.log, (std::vector<std::string>{
                             "mismatch 4 10:11:12:13" + precursor + mass_lists(g, {0, 1, 2, 3}),
                             "mismatch 3 11:12:12:13" + precursor + mass_lists(g, {1, 2, 2, 3}) + " same"}));

    // A rescue that returns no map fails as a loop over None does.
    Fraction again;
    again.args.ms2_rescue = true;
    isotope_miss(again);
    calls.mismatch_returns = false;
    try {
        find_cross_links(again.tables, again.args, calls);
        ADD_FAILURE() << "no error";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Type);
        EXPECT_STREQ(e.what(), "'NoneType' object is not iterable");
    }
}

TEST(FourScanSearch, PrecursorRescue) {
    // The MS2-search rescue gives only the empty key: the precursor rescue is tried, and its
    // derived precursor goes into the record.
    Fraction f;
    f.args.ms2_rescue = true;
    const Group g = isotope_miss(f);
    RecordingCalls calls;
    calls.mismatch_answers = {CrossLinkScoreMap{}};
    calls.mismatch_answers.front().insert_or_assign("", HostNumber(0));
    const std::string derived = float_repr(g.explained_mh(f));
    calls.mass_answers = {PrecursorRescueResult{true, "500.5:" + derived, "ignored"}};
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{g.record("High", "HHHH", kAB, "", "", derived + "\t1\t500.5"), "80.0"}}));
    const std::string measured = f.tables.ms2.find(9)->headers[0];
    EXPECT_EQ(calls.calls("mass"), std::vector<std::string>{"mass 10:11:12:13 9 " + std::string(split_whitespace(measured)[0]) +
                                                            " " + float_repr(mh_of(measured)) + " 1 2.0 " +
                                                            mass_lists(g, {0, 1, 2, 3})});

    // Texts that do not read fail the search; nothing found, or a derived precursor of 0 (which
    // matches no pairing), drops the group.
    for (const auto& [text, message] : {std::pair{"500.5", "list index out of range"},
                                        {"x:1", "could not convert string to float: 'x'"},
                                        {"1:", "could not convert string to float: ''"}, {"", ""}, {"0.0:0.0", ""}}) {
        Fraction t;
        isotope_miss(t);
        RecordingCalls c;
        c.mass_answers = {PrecursorRescueResult{*text != '\0', text, ""}};
        try {
            EXPECT_TRUE(find_cross_links(t.tables, t.args, c).empty()) << text;
            EXPECT_STREQ(message, "") << text;
        } catch (const HostError& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(FourScanSearch, EmptyMassListsSkipOnlyThePrecursorRescue) {
    // Scan 13's own block never completed; a2 with b1 still comes within the window.
    Fraction f;
    f.args.ms2_rescue = true;
    isotope_miss(f);
    f.tables.msn1_ms3.find(13)->headers.clear();
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(f.tables, f.args, calls).empty());
    EXPECT_TRUE(calls.calls("mass").empty());
    ASSERT_FALSE(calls.log.empty());
    EXPECT_EQ(calls.log[0].substr(calls.log[0].size() - 2), "[]");
}

TEST(FourScanSearch, ClearedScansHaveNoPsm) {
    // Only a2 with b1 explains each precursor, so a1 and b2 are cleared to 0. Looking them up
    // under scan 0 would leave an entry there that makes the second group lose its record.
    Fraction f;
    RecordingCalls calls;
    Entries expected;
    for (const auto& [first, b_long] : {std::pair<std::int64_t, double>{10, 800.5}, {20, 850.5}}) {
        const Group g = Group{{first, first + 1, first + 2, first + 3}, first - 1, {600.25, 570.25, b_long, 100.0}, {1, 2}}
                            .add_to(f);
        add_pair(f, g, first);
        expected.emplace_back(g.record("High", "_HH_", kAB, "",
                                       "0:" + std::to_string(first + 1) + ":" + std::to_string(first + 2) + ":0," +
                                           std::to_string(first - 1)),
                              "40.0");
    }
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)), expected);
    for (std::size_t t = 0; t < 3; ++t) EXPECT_FALSE(f.tables.psm.ms3[t].contains(0));
}

} // namespace
} // namespace vombrelle::search_test
