#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <map>
#include <optional>
#include <random>
#include <set>

#include "common/parent_lookup.hpp"
#include "common/scan_grouping.hpp"

namespace vombrelle {
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

// The groups the walk forms, in order; a group uses up its scans when its first scan is in `used_up`.
Groups groups(Ms3HeaderTable& index, const std::set<std::int64_t>& used_up) {
    Groups seen;
    walk_scan_groups(index, [&](const Ms3ScanGroup& g) {
        seen.emplace_back(g.scans.begin(), g.scans.begin() + static_cast<std::ptrdiff_t>(g.count()));
        return used_up.count(g.first()) != 0;
    });
    return seen;
}

// The common group forms are left to the module's whole-run comparison; these are the walk's corners.
TEST(Grouping, FormsAndMarksGroups) {
    struct Case {
        const char* name;
        Scans ms3;
        std::set<std::int64_t> used_up;  // first scans of the groups that use up their scans
        Groups expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             // The lowest scan of the file: key - 1 reads as the empty text, which differs.
             {"two_scan_at_start", scans_with("H 2", {1, 2}), {}, {{1, 2}}},
             // 100 and 101 follow a marked four-scan group of their own list: 100 fails on 99,
             // 101 on 102; neither is ever grouped.
             {"after_marked_four", scans_with("H 2", {96, 97, 98, 99, 100, 101}), {96}, {{96, 97, 98, 99}}},
             // A group that uses nothing up marks nothing: every scan is visited and may start a group.
             {"four_without_parent", scans_with("H 2", {100, 101, 102, 103, 104}), {},
              {{100, 101, 102, 103}, {101, 102, 103, 104}, {102, 103, 104}}},
             // The window of 100 ends at 139; a three-scan group marks all three, so 139 never
             // starts a group of four with the scans after it.
             {"three_marks_all_three", scans_with("H 2", {100, 120, 139, 150, 160, 170}), {100},
              {{100, 120, 139}, {150, 160, 170}}}}) {
        HeaderClasses classes;
        SpectrumTable ms3 = table(c.ms3);
        Ms3HeaderTable index(ms3, classes);
        EXPECT_EQ(groups(index, c.used_up), c.expected) << c.name;
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

// The walk and the parent index against the linear loops they replace: the MS3 table read with
// default-inserting lookups (an absent scan reads as the empty text), the used scans as a list,
// header lists compared whole, and the parent found by walking down to scan 0.
class LinearReference {
public:
    using Header = std::optional<std::vector<std::string>>;  // nullopt: the empty text

    explicit LinearReference(const SpectrumTable& ms3) {
        for (const auto& [scan, r] : ms3) table_[scan] = r.has_keys() ? Header(r.headers) : std::nullopt;
    }

    Groups walk(const std::function<bool(const std::vector<std::int64_t>&)>& used_up) {
        std::vector<std::int64_t> keys;
        for (const auto& [scan, h] : table_) keys.push_back(scan);
        std::vector<std::int64_t> checklist;
        Groups out;
        auto form = [&](std::vector<std::int64_t> g) {
            out.push_back(g);
            if (used_up(g)) checklist.insert(checklist.end(), g.begin(), g.end());
        };
        for (const std::int64_t key : keys) {
            if (std::find(checklist.begin(), checklist.end(), key) != checklist.end()) continue;
            if (present(key + 1) && present(key + 2) && present(key + 3) && header(key) == header(key + 1) &&
                header(key) == header(key + 2) && header(key) == header(key + 3)) {
                form({key, key + 1, key + 2, key + 3});
                continue;
            }
            const Header key_header = header(key);
            std::vector<std::int64_t> matches;
            for (std::int64_t n = key; n < key + 40; ++n) {
                if (matches.size() < 4 && header(n) == key_header) matches.push_back(n);
            }
            if (matches.size() >= 3) {
                form(matches);
            } else if (present(key + 1) && header(key) == header(key + 1) && header(key) != header(key - 1) &&
                       header(key) != header(key + 2)) {
                form({key, key + 1});
            }
        }
        return out;
    }

    static std::optional<std::int64_t> parent(const SpectrumTable& ms2, const SpectrumRecord& first, std::int64_t scan) {
        for (std::int64_t k = scan - 1; k >= 0; --k) {
            const SpectrumRecord* r = ms2.find(k);
            if (r != nullptr && same_headers(*r, first)) return k;
        }
        return std::nullopt;
    }

private:
    bool present(std::int64_t scan) const { return table_.count(scan) != 0; }
    const Header& header(std::int64_t scan) { return table_.try_emplace(scan, std::nullopt).first->second; }

    std::map<std::int64_t, Header> table_;
};

SpectrumTable random_table(std::mt19937_64& rng, std::int64_t low, std::int64_t high, int density, bool keyless) {
    static const std::vector<std::vector<std::string>> lists = {{"A 1"}, {"B 2"}, {"A 1", "B 2"}, {}};
    SpectrumTable t;
    std::vector<std::int64_t> scans;
    for (std::int64_t s = low; s < high; ++s) {
        if (static_cast<int>(rng() % 100) < density) scans.push_back(s);
    }
    std::shuffle(scans.begin(), scans.end(), rng);  // tables come in file order, not sorted
    for (const std::int64_t s : scans) {
        const bool none = keyless && rng() % 10 == 0;
        t.insert_or_assign(s, none ? SpectrumRecord{} : record(lists[rng() % (rng() % 4 == 0 ? 4 : 2)]));
    }
    return t;
}

TEST(Grouping, MatchesTheLinearLoopOnRandomTables) {
    std::mt19937_64 rng(4242);
    for (int round = 0; round < 400; ++round) {
        const SpectrumTable ms3 = random_table(rng, 0, 160, 20 + round % 70, round % 3 == 0);
        const std::uint64_t salt = rng();
        auto used_up = [&](const std::vector<std::int64_t>& g) {
            return (static_cast<std::uint64_t>(g[0]) * 2654435761u + g.size() + salt) % 3 != 0;
        };
        HeaderClasses classes;
        Ms3HeaderTable index(ms3, classes);
        Groups fast;
        walk_scan_groups(index, [&](const Ms3ScanGroup& g) {
            fast.emplace_back(g.scans.begin(), g.scans.begin() + static_cast<std::ptrdiff_t>(g.count()));
            return used_up(fast.back());
        });
        LinearReference reference(ms3);
        ASSERT_EQ(fast, reference.walk(used_up)) << "round " << round;
    }
}

TEST(ParentLookup, MatchesTheWalkDownOnRandomTables) {
    std::mt19937_64 rng(777);
    for (int round = 0; round < 200; ++round) {
        const SpectrumTable ms3 = random_table(rng, 0, 150, 40, round % 2 == 0);
        const SpectrumTable ms2 = random_table(rng, -5, 150, 10 + round % 50, round % 4 == 0);
        HeaderClasses classes;
        Ms3HeaderTable index(ms3, classes);
        ParentLookup parents(ms2, classes);
        for (const auto& [scan, r] : ms3) {
            ASSERT_EQ(parents.find(index.lookup(scan), scan), LinearReference::parent(ms2, r, scan))
                << "round " << round << ", scan " << scan;
        }
    }
}

} // namespace
} // namespace vombrelle
