// Which groups the search forms and hands on, seen through the MS2-search rescue: every group
// here has a parent, is in the msn-1 table and misses its precursor, so each one formed is handed
// over (spec_mode and scans as the callee's a1, a2, b1, b2) and none uses up its scans.
#include <gtest/gtest.h>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

using HandOffs = std::vector<std::vector<std::int64_t>>;  // spec_mode, then the four scans

HandOffs hand_offs(Fraction& f) {
    f.args.ms2_rescue = true;
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(f.tables, f.args, calls).empty());
    HandOffs out;
    for (const auto& m : calls.mismatch_calls) {
        std::vector<std::int64_t> row{m.request.spec_mode.as_int()};
        for (const HostNumber& s : m.request.scans) row.push_back(s.as_int());
        out.push_back(row);
    }
    return out;
}

// MS3 scans labelled H (parent 1) or G (no parent), each with an own precursor far from H's.
Fraction labelled(const std::vector<std::int64_t>& h, const std::vector<std::int64_t>& g = {}) {
    Fraction f;
    f.ms2(1, "2000.5 1", {});
    for (std::int64_t s : h) f.ms3(s, "2000.5 1", {"300.25 1"}).psm(s, Psm{"PEPkA", 1.0, 0.5, "Low"});
    for (std::int64_t s : g) f.ms3(s, "1500.5 1", {"300.25 1"});
    return f;
}

TEST(GroupingSearch, GroupsFormedFromTheWalk) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> h, g;
        HandOffs expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             // Consecutive; then 11 regroups what is left; 12 follows a scan of its own list.
             {"consecutive", {10, 11, 12, 13}, {}, {{4, 10, 11, 12, 13}, {3, 11, 12, 12, 13}}},
             // The look-ahead skips scans of other lists; 13 then meets 14 of another list.
             {"look_ahead", {10, 12, 13, 15}, {11, 14}, {{4, 10, 12, 13, 15}, {3, 12, 13, 13, 15}}},
             // A fifth match is never seen; the group that yields nothing is regrouped from 12.
             {"fifth_match", {10, 12, 14, 16, 18}, {}, {{4, 10, 12, 14, 16}, {4, 12, 14, 16, 18}, {3, 14, 16, 16, 18}}},
             // The window of 10 ends at 49; 49 and 50 later pair off, set apart from 48 and 51.
             {"window_end", {10, 30, 49, 50}, {}, {{3, 10, 30, 30, 49}, {3, 30, 49, 49, 50}, {2, 49, 50, 49, 50}}},
             {"pair", {10, 11}, {9, 12}, {{2, 10, 11, 10, 11}}},
             {"pair_with_gap", {10, 12}, {11}, {}},
         }) {
        Fraction f = labelled(c.h, c.g);
        EXPECT_EQ(hand_offs(f), c.expected) << c.name;
    }
}

TEST(GroupingSearch, ParentAndMsn1Gates) {
    // The nearest MS2 scan below with the same list is the parent, whatever lies above.
    Fraction f = labelled({10, 11, 12, 13});
    f.ms2(8, "2000.5 1", {}).ms2(9, "1500.5 1", {}).ms2(12, "2000.5 1", {});
    f.args.ms2_rescue = true;
    RecordingCalls calls;
    find_cross_links(f.tables, f.args, calls);
    ASSERT_FALSE(calls.mismatch_calls.empty());
    EXPECT_EQ(calls.mismatch_calls[0].request.ms2_scan.to_text(), "8");

    // No parent below (scans 0 and below are no parents), or a scan missing from the msn-1 table:
    // nothing is formed that gets handed on.
    Fraction none = labelled({10, 11, 12, 13});
    none.tables.ms2 = SpectrumTable{};
    none.ms2(-1, "2000.5 1", {}).ms2(20, "2000.5 1", {});
    EXPECT_EQ(hand_offs(none), HandOffs{});
    Fraction gap = labelled({10, 11, 12, 13});
    gap.tables.msn1_ms3 = SpectrumTable{};
    for (std::int64_t s : {10, 12, 13}) gap.tables.msn1_ms3.insert_or_assign(s, spectrum({"300.25 1"}));
    EXPECT_EQ(hand_offs(gap), HandOffs{});
}

TEST(GroupingSearch, IncompleteBlocksStartNoGroup) {
    // Scans whose blocks never completed have empty header lists, as does a parent below them:
    // they would group and then fail on the parent's missing precursor. They are passed over,
    // and a real group after them still stores its record.
    Fraction f;
    f.ms2(3, "", {});
    f.tables.ms2.find(3)->headers.clear();
    for (std::int64_t s = 4; s < 8; ++s) {
        f.ms3(s, "", {});
        f.tables.ms3.find(s)->headers.clear();
    }
    FourScanGroup g{10, 9};
    g.add_to(f);
    const double a = 500.0, b = g.b_mass(f, a);
    f.psm(10, {"PEPkA", a}).psm(11, {"PEPkA", a});
    f.psm(12, {"PEPkB", b}).psm(13, {"PEPkB", b});
    RecordingCalls calls;
    EXPECT_EQ(find_cross_links(f.tables, f.args, calls).size(), 1u);
}

TEST(GroupingSearch, MalformedHeadersFailTheSearch) {
    // Masses are read scan by scan before the parent's precursor.
    for (const auto& [own, parent, message] :
         {std::tuple{"x 1", "2000.5 1", "could not convert string to float: 'x'"},
          std::tuple{"300.25", "y", "list index out of range"},
          std::tuple{"300.25 1", "2000.5 z", "invalid literal for int() with base 10: 'z'"}}) {
        Fraction f = labelled({10, 11, 12, 13});
        f.tables.ms2.find(1)->headers = {parent};
        for (std::int64_t s = 10; s < 14; ++s) f.tables.ms3.find(s)->headers = {parent};
        f.tables.msn1_ms3.find(12)->headers = {own};
        RecordingCalls calls;
        try {
            find_cross_links(f.tables, f.args, calls);
            ADD_FAILURE() << message;
        } catch (const HostError& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

} // namespace
} // namespace vombrelle::search_test
