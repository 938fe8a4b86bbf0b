#include <gtest/gtest.h>

#include <set>

#include "rescue_mgf/parent_lookup.hpp"
#include "rescue_mgf/scan_grouping.hpp"

namespace vombrelle::rescue_mgf {
namespace {

using Scans = std::vector<std::pair<std::int64_t, std::string>>;
using Groups = std::vector<std::vector<std::int64_t>>;

SpectrumRecord record(std::vector<std::string> headers) {
    return SpectrumRecord{RecordKeys::IonMassTitleHeader, {"t"}, std::move(headers), {}};
}

SpectrumTable table(const Scans& scans) {
    SpectrumTable t;
    for (const auto& [scan, header] : scans) t.insert_or_assign(scan, record({header}));
    return t;
}

Scans scans_with(const std::string& h, std::vector<std::int64_t> scans, Scans more = {}) {
    for (auto s : scans) more.emplace_back(s, h);
    return more;
}

// The groups the walk forms, in order; `parent_found` answers for each.
Groups groups(Ms3HeaderTable& index, const std::set<std::int64_t>& parent_found) {
    Groups seen;
    walk_scan_groups(index, [&](const Ms3ScanGroup& g) {
        seen.emplace_back(g.scans.begin(), g.scans.begin() + static_cast<std::ptrdiff_t>(g.count()));
        return parent_found.count(g.first()) != 0;
    });
    return seen;
}

// The common group forms are left to the module's whole-run comparison; these are the walk's corners.
TEST(Grouping, FormsAndMarksGroups) {
    struct Case {
        const char* name;
        Scans ms3;
        std::set<std::int64_t> parent_found;  // first scans of groups whose parent is found
        Groups expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             // The lowest scan of the file: key - 1 reads as the empty text, which differs.
             {"two_scan_at_start", scans_with("H 2", {1, 2}), {}, {{1, 2}}},
             // 100 and 101 follow a marked four-scan group of their own list: 100 fails on 99,
             // 101 on 102; neither is ever grouped.
             {"after_marked_four", scans_with("H 2", {96, 97, 98, 99, 100, 101}), {96}, {{96, 97, 98, 99}}},
             // Without a parent nothing is marked: every scan is visited and may start a group.
             {"four_without_parent", scans_with("H 2", {100, 101, 102, 103, 104}), {},
              {{100, 101, 102, 103}, {101, 102, 103, 104}, {102, 103, 104}}},
             // The window of 100 ends at 139; a three-scan group marks all three, so 139 never
             // starts a group of four with the scans after it.
             {"three_marks_all_three", scans_with("H 2", {100, 120, 139, 150, 160, 170}), {},
              {{100, 120, 139}, {150, 160, 170}}}}) {
        HeaderClasses classes;
        SpectrumTable ms3 = table(c.ms3);
        Ms3HeaderTable index(ms3, classes);
        EXPECT_EQ(groups(index, c.parent_found), c.expected) << c.name;
    }
}

TEST(Grouping, RecordsWithoutKeysGroupWithPlaceholders) {
    // Only a reader bound in the module's place can hand over a record without keys; its empty
    // text equals a placeholder's, so the window of 100 counts the scans it looks up, which are
    // then present for later membership tests.
    HeaderClasses classes;
    SpectrumTable ms3;
    ms3.insert_or_assign(100, SpectrumRecord{});
    ms3.insert_or_assign(130, SpectrumRecord{});
    Ms3HeaderTable index(ms3, classes);
    EXPECT_EQ(groups(index, {}), (Groups{{100, 101, 102, 103}, {130, 131, 132, 133}}));
    EXPECT_TRUE(index.contains(103));
    EXPECT_FALSE(index.contains(104));
}

TEST(HeaderClasses, WholeListsCompare) {
    HeaderClasses classes;
    const auto ab = classes.intern(record({"a 1", "b 2"}));
    EXPECT_EQ(classes.intern(record({"a 1", "b 2"})), ab);
    for (const auto& other : {std::vector<std::string>{"b 2", "a 1"}, {"a 1"}, {"a 1b 2"}}) {
        EXPECT_NE(classes.intern(record(other)), ab);
    }
    // The empty list is a list; a record without keys reads as the empty text.
    EXPECT_NE(classes.intern(record({})), HeaderClasses::kNoHeaderKey);
    EXPECT_EQ(classes.intern(SpectrumRecord{}), HeaderClasses::kNoHeaderKey);
}

TEST(ParentLookup, NearestLowerScanWithTheSameList) {
    HeaderClasses classes;
    SpectrumTable ms3 = table({{500, "H 2"}, {501, "X 2"}});
    Ms3HeaderTable index(ms3, classes);
    SpectrumTable ms2 = table({{470, "H 2"}, {480, "H 2"}, {520, "H 2"}, {490, "X 2"}, {0, "X 2"}, {-5, "H 2"}});
    ParentLookup parents(ms2, classes);
    const auto h = index.lookup(500), x = index.lookup(501);
    EXPECT_EQ(parents.find(h, 500), 480);
    EXPECT_EQ(parents.find(h, 480), 470);
    EXPECT_EQ(parents.find(h, 470), std::nullopt);  // negative scans are below the walk
    EXPECT_EQ(parents.find(x, 1), 0);
    EXPECT_EQ(parents.find(x, 0), std::nullopt);
    EXPECT_EQ(parents.find(HeaderClasses::kNoHeaderKey, 1000), std::nullopt);
}

} // namespace
} // namespace vombrelle::rescue_mgf
