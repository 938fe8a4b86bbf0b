#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "common/parent_lookup.hpp"
#include "common/scan_grouping.hpp"

namespace vombrelle {
namespace {

using Groups = std::vector<std::vector<std::int64_t>>;

SpectrumRecord record(std::vector<std::string> headers) {
    return SpectrumRecord{RecordKeys::IonMassTitleHeader, {"t"}, std::move(headers), {}};
}

// Only a reader bound in the module's place can hand over a record without keys; its empty text
// equals a placeholder's, so the window of 100 counts the scans it looks up, which are then present
// for later membership tests.
TEST(Grouping, RecordsWithoutKeysGroupWithPlaceholders) {
    HeaderClasses classes;
    SpectrumTable ms3;
    ms3.insert_or_assign(100, SpectrumRecord{});
    ms3.insert_or_assign(130, SpectrumRecord{});
    Ms3HeaderTable index(ms3, classes);
    Groups seen;
    walk_scan_groups(index, [&](const Ms3ScanGroup& g) {
        seen.emplace_back(g.scans.begin(), g.scans.begin() + static_cast<std::ptrdiff_t>(g.count()));
        return false;
    });
    EXPECT_EQ(seen, (Groups{{100, 101, 102, 103}, {130, 131, 132, 133}}));
    EXPECT_TRUE(index.contains(103));
    EXPECT_FALSE(index.contains(104));
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

    // A record without keys reads "header" as the empty text, which equals another empty text
    // and no list.
    static bool same_headers(const SpectrumRecord& a, const SpectrumRecord& b) {
        if (a.has_keys() != b.has_keys()) return false;
        return !a.has_keys() || a.headers == b.headers;
    }

private:
    bool present(std::int64_t scan) const { return table_.count(scan) != 0; }
    const Header& header(std::int64_t scan) { return table_.try_emplace(scan, std::nullopt).first->second; }

    std::map<std::int64_t, Header> table_;
};

SpectrumTable random_table(std::mt19937_64& rng, std::int64_t low, std::int64_t high, int density, bool keyless) {
    // Lists are compared whole: ["A 1", "B 2"] is not ["A 1B 2"].
    static const std::vector<std::vector<std::string>> lists = {{"A 1"}, {"B 2"}, {"A 1", "B 2"}, {}, {"A 1B 2"}};
    SpectrumTable t;
    std::vector<std::int64_t> scans;
    for (std::int64_t s = low; s < high; ++s) {
        if (static_cast<int>(rng() % 100) < density) scans.push_back(s);
    }
    std::shuffle(scans.begin(), scans.end(), rng);  // tables come in file order, not sorted
    for (const std::int64_t s : scans) {
        const bool none = keyless && rng() % 10 == 0;
        t.insert_or_assign(s, none ? SpectrumRecord{} : record(lists[rng() % (rng() % 4 == 0 ? 5 : 2)]));
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
