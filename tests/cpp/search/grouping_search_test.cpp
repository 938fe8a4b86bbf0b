// Which groups the search forms and hands on, seen through the MS2-search rescue: every group
// here has a parent, is in the msn-1 table and misses its precursor, so each one formed is handed
// over (its size and its scans in the callee's roles a1, a2, b1, b2) and none uses up its scans.
#include <gtest/gtest.h>

#include "search_fixture.hpp"

namespace vombrelle::search_test {
namespace {

// "<spec_mode> <scans>" of each hand-off, in order.
std::vector<std::string> hand_offs(Fraction& f) {
    f.args.ms2_rescue = true;
    RecordingCalls calls;
    EXPECT_TRUE(find_cross_links(f.tables, f.args, calls).empty());
    std::vector<std::string> out;
    for (const std::string& line : calls.calls("mismatch")) {
        const auto words = split_whitespace(line);
        out.push_back(std::string(words[1]) + " " + std::string(words[2]) + " " + std::string(words[3]));
    }
    return out;
}

// MS3 scans labelled H (parent 1) or G (no parent), each with an own precursor far from H's and a
// PSM (two-scan groups need one before they are handed on).
Fraction labelled(const std::vector<std::int64_t>& h, const std::vector<std::int64_t>& g = {}) {
    Fraction f;
    f.ms2(1, "2000.5 1", {});
    for (std::int64_t s : h) f.ms3(s, "2000.5 1", {"300.25 1"}).psm(s, psm("PEPkA", 1.0, 0.5, "Low"));
    for (std::int64_t s : g) f.ms3(s, "1500.5 1", {"300.25 1"});
    return f;
}

TEST(GroupingSearch, GroupsFormedFromTheWalk) {
    struct Case {
        std::vector<std::int64_t> h, g;
        std::vector<std::string> expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             // Consecutive; 11 regroups what is left; 12 follows a scan of its own list.
             {{10, 11, 12, 13}, {}, {"4 10:11:12:13 1", "3 11:12:12:13 1"}},
             // The look-ahead passes over other lists; 13 then meets 14 of another list.
             {{10, 12, 13, 15}, {11, 14}, {"4 10:12:13:15 1", "3 12:13:13:15 1"}},
             // A fifth match is never seen; the group that yields nothing is regrouped from 12.
             {{10, 12, 14, 16, 18}, {}, {"4 10:12:14:16 1", "4 12:14:16:18 1", "3 14:16:16:18 1"}},
             // The window of 10 ends at 49; 49 and 50 later pair off, set apart from 48 and 51.
             {{10, 30, 49, 50}, {}, {"3 10:30:30:49 1", "3 30:49:49:50 1", "2 49:50:49:50 1"}},
             {{10, 11}, {9, 12}, {"2 10:11:10:11 1"}},
             {{10, 12}, {11}, {}},
         }) {
        Fraction f = labelled(c.h, c.g);
        EXPECT_EQ(hand_offs(f), c.expected) << c.h[0] << "..." << c.h.back();
    }
}

TEST(GroupingSearch, ParentAndMsn1Gates) {
    // The parent is the nearest MS2 scan below with the same list (the index itself is checked
    // against the walk down in the grouping tests); a scan missing from the msn-1 table drops
    // every group that holds it.
    Fraction f = labelled({10, 11, 12, 13});
    f.ms2(8, "2000.5 1", {}).ms2(9, "1500.5 1", {}).ms2(12, "2000.5 1", {});
    EXPECT_EQ(hand_offs(f).front(), "4 10:11:12:13 8");
    f.tables.msn1_ms3 = SpectrumTable{};
    for (std::int64_t s : {10, 12, 13}) f.tables.msn1_ms3.insert_or_assign(s, spectrum({"300.25 1"}));
    EXPECT_EQ(hand_offs(f), std::vector<std::string>{});
}

TEST(GroupingSearch, IncompleteBlocksStartNoGroup) {
    // Scans whose blocks never completed have empty header lists, as does a parent below them:
    // grouped, they would fail on the parent's missing precursor. They are passed over, and a
    // real group after them still stores its record.
    Fraction f;
    f.tables.ms2.insert_or_assign(3, spectrum({}));
    for (std::int64_t s = 4; s < 8; ++s) f.ms3(s, "", {}).tables.ms3.find(s)->headers.clear();
    const Group g = four_scans(10, 9).add_to(f);
    f.psm(10, psm("PEPkA", 500.0)).psm(11, psm("PEPkA", 500.0));
    f.psm(12, psm("PEPkB", g.partner(f, 500.0))).psm(13, psm("PEPkB", g.partner(f, 500.0)));
    RecordingCalls calls;
    EXPECT_EQ(find_cross_links(f.tables, f.args, calls).size(), 1u);
}

TEST(GroupingSearch, MalformedHeadersFailTheSearch) {
    // Masses are read scan by scan, m/z first, before the parent's precursor.
    for (const auto& [own, parent, message] :
         {std::tuple{"x 1", "2000.5 1", "could not convert string to float: 'x'"},
          std::tuple{"300.25", "y", "list index out of range"},
          std::tuple{"300.25 1", "2000.5 z", "invalid literal for int() with base 10: 'z'"}}) {
        Fraction f;
        f.ms2(1, parent, {});
        for (std::int64_t s = 10; s < 14; ++s) f.ms3(s, parent, {s == 12 ? own : "300.25 1"});
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
