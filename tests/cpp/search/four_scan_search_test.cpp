// Four-scan groups through the whole search: the record, the hand-offs, the tiers and what their
// reads leave in the tables.
#include <gtest/gtest.h>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// The record fields after the precursor: peptide A, its proteins, B, its proteins, remarks.
std::string tail(const std::string& a, const std::string& b) { return a + "\tP1\td1\t" + b + "\tP2\td2\t"; }

// The precursor fields of a group's record: MH+, charge, m/z.
std::string precursor_fields(const std::string& label) {
    return float_repr(mh_of(label)) + "\t1\t" + float_repr(parse_float(split_whitespace(label)[0]));
}

Psm b_psm(std::string seq, double mass, HostNumber q = 1.0, std::string confidence = "High") {
    return Psm{std::move(seq), mass, q, std::move(confidence), true, "P2", "d2"};
}

TEST(FourScanSearch, StoresOneRecordAndUsesUpItsScans) {
    Fraction f;
    FourScanGroup g{10, 9};
    g.add_to(f);
    const double a = 500.0, b = g.b_mass(f, a);
    f.psm(10, {"PEPkA", a}).psm(11, {"PEPkA", a}).psm(12, b_psm("PEPkB", b)).psm(13, b_psm("PEPkB", b));
    RecordingCalls calls;
    const auto got = entries(find_cross_links(f.tables, f.args, calls));
    EXPECT_EQ(got, (Entries{{"High\tHHHH\t10:11:12:13,9\t" + precursor_fields(g.label) + "\t" + tail("PEPkA", "PEPkB"),
                             "80.0"}}));
    // Candidates, the six record lists, the remarks: and nothing from scans 11 to 13, which the
    // record used up.
    EXPECT_EQ(calls.uniq_calls, (std::vector<std::vector<std::string>>{
                                    {"PEPkA"}, {"PEPkB"}, {"PEPkA"}, {"PEPkB"}, {"P1"}, {"P2"}, {"d1"}, {"d2"}, {}}));
}

TEST(FourScanSearch, SecondTierKeepsWhatTheFirstRead) {
    // Tier one pairs A with B's High PSM PEPkX (wrong mass) and so reads b2's q-value 1.0; tier two
    // pairs A with B's Medium PEPkB, which b2 holds only as PEPKB: b2 keeps the q-value of the
    // first tier (B scores 26 points, "High") and its letter comes from PEPKB, read last.
    Fraction f;
    FourScanGroup g{10, 9};
    g.add_to(f);
    const double a = 500.0, b = g.b_mass(f, a);
    f.psm(10, {"PEPkA", a}).psm(11, {"PEPkA", a});
    f.psm(12, b_psm("PEPkB", b, 0.96, "Medium"));
    f.psm(13, b_psm("PEPKB", b + 50, 0.96, "Medium")).psm(13, b_psm("PEPkX", b + 50));
    RecordingCalls calls;
    const auto got = entries(find_cross_links(f.tables, f.args, calls));
    const HostNumber score = ((HostNumber(0) + 1.0 + 1.0) + (HostNumber(0) + 0.96 + 1.0)) * HostNumber(20);
    EXPECT_EQ(got, (Entries{{"High\tHHMM\t10:11:12:13,9\t" + precursor_fields(g.label) + "\t" + tail("PEPkA", "PEPkB"),
                             score.to_text()}}));
    // The first tier's pairing read b1, which the High table lacked: it holds an empty entry now.
    ASSERT_TRUE(f.tables.psm.ms3.high.contains(12));
    EXPECT_TRUE(f.tables.psm.ms3.high.find(12)->made_by_read);
    EXPECT_FALSE(f.tables.psm.ms3.all.find(12)->made_by_read);
}

TEST(FourScanSearch, RemarksOfAnEarlierTierAndLowOnlyGroups) {
    // A's scans select different High sequences (a remark in the first tier); a2's first row is a
    // Medium PEPkA, which the second tier selects: it agrees and stores, remark included.
    Fraction f;
    FourScanGroup g{10, 9};
    g.add_to(f);
    const double a = 500.0, b = g.b_mass(f, a);
    f.psm(10, {"PEPkA", a}).psm(11, {"PEPkA", a, 0.96, "Medium"}).psm(11, {"PEPkZ", a});
    f.psm(12, b_psm("PEPkB", b)).psm(13, b_psm("PEPkB", b));
    // A second group whose PSMs are all Low: only the all-confidence tier sees them, which stores
    // nothing however well they pair.
    FourScanGroup low{30, 29, 650.5, 900.75};
    low.add_to(f);
    for (std::int64_t s : {30, 31}) f.psm(s, Psm{"PEPkA", a, 0.5, "Low"});
    for (std::int64_t s : {32, 33}) f.psm(s, Psm{"PEPkB", low.b_mass(f, a), 0.5, "Low"});
    RecordingCalls calls;
    const HostNumber score = ((HostNumber(0) + 1.0 + 0.96) + (HostNumber(0) + 1.0 + 1.0)) * HostNumber(20);
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{"High\tHMHH\t10:11:12:13,9\t" + precursor_fields(g.label) + "\tPEPkA\tP1\td1\tPEPkB\tP2\td2\t" +
                            "different_pep_A_seqs",
                        score.to_text()}}));
}

TEST(FourScanSearch, ThirdTierReadsLeaveEntriesForLaterGroups) {
    // An empty entry for a1 in the High table (left by an earlier read) flags a1 in the first
    // tier; the third tier then agrees on a2's Medium PSM alone, pairs, and its read of a1 leaves
    // an empty entry in the all-confidence table. No record comes of it.
    Fraction f;
    FourScanGroup g{10, 9};
    g.add_to(f);
    const double a = 500.0, b = g.b_mass(f, a);
    f.tables.psm.ms3.high.read(10);
    f.psm(11, {"PEPkA", a, 0.96, "Medium"}).psm(12, b_psm("PEPkB", b)).psm(13, b_psm("PEPkB", b));
    RecordingCalls calls;
    // Key 11 then regroups 11, 12, 13 as a three-scan group, whose record is stored.
    const HostNumber score = (HostNumber(0.96) + 0 + 1.0 + 1.0) * HostNumber(10);
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)),
              (Entries{{"Medium\tMHH\t11:12:13,9\t" + precursor_fields(g.label) + "\t" + tail("PEPkA", "PEPkB"),
                        score.to_text()}}));
    ASSERT_TRUE(f.tables.psm.ms3.all.contains(10));
    EXPECT_TRUE(f.tables.psm.ms3.all.find(10)->made_by_read);
    EXPECT_FALSE(f.tables.psm.ms3.med_high.contains(10));
}

// A group whose crossed pairs miss the precursor by 2 Da, with A and B in the High+Medium table.
struct IsotopeMiss {
    Fraction f;
    FourScanGroup g{10, 9};
    double true_mh = 0.0;

    IsotopeMiss() {
        g.add_to(f);
        true_mh = g.precursor(f);
        const std::string off = header_of(true_mh + 2.0);
        f.tables.ms2.find(9)->headers = {off};
        for (std::int64_t s = 10; s < 14; ++s) f.tables.ms3.find(s)->headers = {off};
        const double a = 500.0, b = true_mh - a - 100.0 + kProtonMass;
        for (std::int64_t s : {10, 11}) f.psm(s, {"PEPkA", a});
        for (std::int64_t s : {12, 13}) f.psm(s, b_psm("PEPkB", b));
    }
};

TEST(FourScanSearch, MismatchRescueArgumentsAndMerge) {
    IsotopeMiss t;
    t.f.args.ms2_rescue = true;
    RecordingCalls calls;
    CrossLinkScoreMap first;
    first.insert_or_assign("", HostNumber(0));
    first.insert_or_assign("R2", HostNumber(2.5));
    first.insert_or_assign("R1", HostNumber(1));
    CrossLinkScoreMap second;
    second.insert_or_assign("R1", HostNumber(7.0));
    calls.mismatch_answers = {first, second};
    const auto got = entries(find_cross_links(t.f.tables, t.f.args, calls));
    // Records came back, so the precursor rescue is not tried and the group is dropped; key 11
    // regroups 11, 12, 13 and is handed over too, and R1 keeps its place.
    EXPECT_EQ(got, (Entries{{"R2", "2.5"}, {"R1", "7.0"}}));
    EXPECT_TRUE(calls.mass_calls.empty());
    ASSERT_EQ(calls.mismatch_calls.size(), 2u);
    const auto& m = calls.mismatch_calls[0];
    EXPECT_EQ(m.request.spec_mode.to_text(), "4");
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m.request.scans[i].to_text(), std::to_string(10 + i));
        EXPECT_EQ(m.lists[i], (Ms3MassList{mh_of(t.g.own(t.f)[i])}));
    }
    EXPECT_EQ(m.request.ms2_scan.to_text(), "9");
    EXPECT_EQ(m.request.ms2_mass.as_double(), mh_of(t.f.tables.ms2.find(9)->headers[0]));
    EXPECT_EQ(m.request.ms2_charge.to_text(), "1");
    EXPECT_EQ(m.request.linker_mass.to_text(), "100.0");
    EXPECT_EQ(m.request.linker_deficit.to_text(), "2.0");
    EXPECT_EQ(calls.mismatch_calls[1].request.spec_mode.to_text(), "3");

    // A rescue that returns no map fails as a loop over None does.
    IsotopeMiss again;
    again.f.args.ms2_rescue = true;
    calls.mismatch_returns = false;
    try {
        find_cross_links(again.f.tables, again.f.args, calls);
        ADD_FAILURE() << "no error";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Type);
        EXPECT_STREQ(e.what(), "'NoneType' object is not iterable");
    }
}

TEST(FourScanSearch, PrecursorRescueReplacesThePrecursor) {
    IsotopeMiss t;
    RecordingCalls calls;
    // With the MS2-search rescue on but giving only the empty key, the precursor rescue is tried.
    t.f.args.ms2_rescue = true;
    CrossLinkScoreMap nothing;
    nothing.insert_or_assign("", HostNumber(0));
    calls.mismatch_answers = {nothing};
    calls.mass_answers = {PrecursorRescueResult{true, "500.5:" + float_repr(t.true_mh), "ignored"}};
    const auto got = entries(find_cross_links(t.f.tables, t.f.args, calls));
    EXPECT_EQ(got, (Entries{{"High\tHHHH\t10:11:12:13,9\t" + float_repr(t.true_mh) + "\t1\t500.5\t" +
                                 tail("PEPkA", "PEPkB"),
                             "80.0"}}));
    EXPECT_EQ(calls.order.front(), "mismatch");
    ASSERT_EQ(calls.mass_calls.size(), 1u);
    const PrecursorRescueRequest& r = calls.mass_calls[0];
    const std::string measured = t.f.tables.ms2.find(9)->headers[0];
    EXPECT_EQ(r.ms2_conv_mass.as_double(), parse_float(split_whitespace(measured)[0]));
    EXPECT_EQ(r.ms2_mass.as_double(), mh_of(measured));
    EXPECT_EQ(r.ms2_match_scan.to_text(), "9");
    EXPECT_EQ(r.scans[3].to_text(), "13");
    EXPECT_EQ(calls.mass_call_lists[0][2], (Ms3MassList{mh_of(t.g.own(t.f)[2])}));
}

TEST(FourScanSearch, PrecursorRescueTextsThatDoNotRead) {
    for (const auto& [derived, kind, message] :
         {std::tuple{"500.5", ErrorKind::Index, "list index out of range"},
          std::tuple{"x:1", ErrorKind::Value, "could not convert string to float: 'x'"},
          std::tuple{"1:", ErrorKind::Value, "could not convert string to float: ''"}}) {
        IsotopeMiss t;
        RecordingCalls calls;
        calls.mass_answers = {PrecursorRescueResult{true, derived, ""}};
        try {
            find_cross_links(t.f.tables, t.f.args, calls);
            ADD_FAILURE() << derived;
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), kind);
            EXPECT_STREQ(e.what(), message);
        }
    }
    // Not found: the group is dropped; a derived precursor of 0 matches no pairing.
    for (const PrecursorRescueResult& answer : {PrecursorRescueResult{}, PrecursorRescueResult{true, "0.0:0.0", ""}}) {
        IsotopeMiss t;
        RecordingCalls calls;
        calls.mass_answers = {answer};
        EXPECT_TRUE(find_cross_links(t.f.tables, t.f.args, calls).empty());
    }
}

TEST(FourScanSearch, EmptyMassListsSkipThePrecursorRescueButReachTheMismatchRescue) {
    IsotopeMiss t;
    t.f.args.ms2_rescue = true;
    // Scan 13's own block never completed; the pair (a2, b1) still comes within the window.
    t.f.tables.msn1_ms3.find(13)->headers.clear();
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(t.f.tables, t.f.args, calls).empty());
    EXPECT_TRUE(calls.mass_calls.empty());
    ASSERT_FALSE(calls.mismatch_calls.empty());
    EXPECT_TRUE(calls.mismatch_calls[0].lists[3].empty());
}

TEST(FourScanSearch, ClearedScansHaveNoPsm) {
    // In each group only a2 and b1 explain the precursor, so a1 and b2 are cleared to 0. Looking
    // them up under scan 0 would leave an entry at 0 that makes the second group lose its record.
    Fraction f;
    RecordingCalls calls;
    Entries expected;
    for (const auto& [first, b_long] : {std::pair<std::int64_t, double>{10, 800.5}, {20, 850.5}}) {
        const double dm = f.args.linker_dm.as_double();
        const std::vector<std::string> own = {header_of(600.25), header_of(600.25 - dm), header_of(b_long),
                                              header_of(100.0)};
        const double precursor = mh_of(own[1]) + mh_of(own[2]) + f.args.linker_deficit.as_double() - kProtonMass;
        const std::string label = header_of(precursor);
        std::vector<double> peaks;
        for (std::int64_t i = 0; i < 4; ++i) {
            f.ms3(first + i, label, {own[i]});
            peaks.push_back(parse_float(split_whitespace(own[i])[0]));
        }
        f.ms2(first - 1, label, peaks);
        const double a = 500.0, b = mh_of(label) - a - 100.0 + kProtonMass;
        f.psm(first, {"PEPkA", a}).psm(first + 1, {"PEPkA", a});
        f.psm(first + 2, b_psm("PEPkB", b)).psm(first + 3, b_psm("PEPkB", b));
        expected.emplace_back("High\t_HH_\t0:" + std::to_string(first + 1) + ":" + std::to_string(first + 2) + ":0," +
                                  std::to_string(first - 1) + "\t" + precursor_fields(label) + "\t" +
                                  tail("PEPkA", "PEPkB"),
                              "40.0");
    }
    EXPECT_EQ(entries(find_cross_links(f.tables, f.args, calls)), expected);
    for (std::size_t t = 0; t < 3; ++t) EXPECT_FALSE(f.tables.psm.ms3[t].contains(0));
}

} // namespace
} // namespace vombrelle::search_test
