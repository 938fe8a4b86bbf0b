#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "common/host_text.hpp"
#include "search/precursor_rescue.hpp"

namespace vombrelle {
namespace {

void add_ms1(SpectrumTable& table, std::int64_t scan, const std::vector<double>& mzs) {
    SpectrumRecord& r = table[scan];
    r.keys = RecordKeys::TitleHeaderIonMass;
    for (double mz : mzs) r.peaks.push_back({mz, 1.0});
}

// Arm masses whose two pairings both sum to 3.0, and a linker deficit that cancels them with the
// proton exactly: the precursor error of both pairings is then the MH+ itself, to the last bit.
struct Group {
    Ms3MassList a1{1.0}, a2{2.0}, b1{2.0}, b2{1.0};
    SpectrumTable ms1;
    PsmMatchTable med_high;

    Group() {
        med_high.scans[51];
        med_high.scans[53];
    }
    PrecursorRescueRequest request(HostNumber error, HostNumber parent = 101, HostNumber mz = 800.0,
                                   HostNumber charge = 3) {
        return {{51, 52, 53, 54}, {&a1, &a2, &b1, &b2}, parent, mz, error, charge, -1.992175};
    }
    PrecursorRescueResult run(const PrecursorRescueRequest& r) {
        return rescue_prec_mass(r, ms1, Ms1ScanIndex(ms1), med_high);
    }
};

void expect_result(const PrecursorRescueResult& r, bool found, std::string_view derived, std::string_view remarks) {
    EXPECT_EQ(r.found, found);
    EXPECT_EQ(r.derived, derived);
    EXPECT_EQ(r.remarks, remarks);
}

TEST(PrecursorRescue, AcceptsWholeDaltonErrorsRoundedAsTheHostRounds) {
    struct Row {
        double error;
        const char* remark;  // nullptr: rejected
    };
    for (const Row& r : {Row{1.04, "Upstream search: 1.0"}, Row{-1.04, "Downstream search: -1.0"},
                         Row{0.95, nullptr}, Row{-0.95, nullptr},  // 0.9499999...: 0.9
                         Row{1.05, nullptr},                       // 1.0500000...: 1.1
                         Row{5.05, "Upstream search: 5.0"}, Row{-5.05, "Downstream search: -5.0"},
                         Row{4.96, "Upstream search: 5.0"}, Row{0.0, nullptr}, Row{6.0, nullptr},
                         Row{1.5, nullptr}, Row{0.96, "Upstream search: 1.0"}, Row{0.94, nullptr},
                         Row{-0.96, "Downstream search: -1.0"}, Row{2.0, "Upstream search: 2.0"},
                         Row{-2.0, "Downstream search: -2.0"}, Row{3.0, "Upstream search: 3.0"},
                         Row{-3.0, "Downstream search: -3.0"}, Row{4.0, "Upstream search: 4.0"},
                         Row{-4.0, "Downstream search: -4.0"}, Row{5.0, "Upstream search: 5.0"},
                         Row{-6.0, nullptr}}) {
        Group g;
        add_ms1(g.ms1, 100, {800.0});
        const PrecursorRescueResult out = g.run(g.request(r.error));
        EXPECT_EQ(out.found, r.remark != nullptr) << r.error;
        if (r.remark) {
            EXPECT_EQ(out.remarks, std::string("Derived_MS2mass_not_located;") + r.remark);
        }
    }
}

TEST(PrecursorRescue, DerivedPrecursorFromTheFirstPeakWithinFifteenPpmOfThePeak) {
    struct Row {
        double error, mz;
        std::int64_t charge;
        std::vector<double> peaks;
        const char* derived;
        const char* remarks;
    };
    const char* located = "Derived_MS2mass_located;Upstream search: 1.0";
    const char* not_located = "Derived_MS2mass_not_located;Upstream search: 1.0";
    const char* located5 = "Derived_MS2mass_located;Upstream search: 5.0";
    const char* not_located5 = "Derived_MS2mass_not_located;Upstream search: 5.0";
    for (const Row& r : {
             // Expected m/z 800 - 0.33333; a peak 1.7 ppm above it.
             Row{1.0, 800.0, 3, {800.0, 799.668029433339}, "799.668029433339:2396.988438300017", located},
             Row{1.0, 800.0, 3, {800.0}, "799.66667:2396.98436", not_located},
             Row{-3.0, 800.0, 2, {800.0}, "801.5:1601.9921749999999",
                 "Derived_MS2mass_not_located;Downstream search: -3.0"},
             // The first peak within tolerance (14.9999999999 ppm) beats a closer one; peaks at 0
             // match nothing and fail nothing.
             Row{1.0, 800.0, 3, {0.0, -0.0, 800.0, 799.6786651799775, 799.668029433339},
                 "799.6786651799775:2397.020345539933", located},
             // Expected 200003 (5 Da below the measured m/z): a peak 15 ppm away is in, one step
             // further out.
             Row{5.0, 200008.0, 1, {200008.0, 200000.0}, "200000.0:200000.0", located5},
             Row{5.0, 200008.0, 1, {200008.0, std::nextafter(200000.0, 0.0)}, "200003.0:200003.0", not_located5},
             // Expected 200000: 199997 is 15 ppm of the expected m/z but 15.0002 of itself.
             Row{5.0, 200005.0, 1, {200005.0, 199997.0}, "200000.0:200000.0", not_located5},
             Row{5.0, 200005.0, 1, {200005.0, 200003.0}, "200003.0:200003.0", located5}}) {
        Group g;
        add_ms1(g.ms1, 100, r.peaks);
        expect_result(g.run(g.request(r.error, 101, r.mz, r.charge)), true, r.derived, r.remarks);
    }
    Group own;  // the parent's own scan number is no MS1 scan below it
    add_ms1(own.ms1, 101, {800.0});
    add_ms1(own.ms1, 100, {500.0});
    EXPECT_FALSE(own.run(own.request(1.0)).found);
}

// The walk below the parent is range(parent - 1, -1, -1): an int parent (a bool is one) walks, a
// float one raises TypeError as range() does, but only once the masses call for the walk.
TEST(PrecursorRescue, WalksBelowAnIntParentOnly) {
    Group g;
    add_ms1(g.ms1, 0, {800.0});
    EXPECT_TRUE(g.run(g.request(1.0, HostNumber::boolean(true))).found);  // scan 0 is below True
    EXPECT_FALSE(g.run(g.request(1.0, HostNumber::boolean(false))).found);
    for (const double parent : {101.0, 1.0, std::nan("")}) {
        try {
            g.run(g.request(1.0, parent));
            ADD_FAILURE() << parent;
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Type);
            EXPECT_STREQ(e.what(), "'float' object cannot be interpreted as an integer");
        }
        EXPECT_FALSE(g.run(g.request(0.5, parent)).found);  // no isotope error: no walk
    }
}

// The five nearest scans in [0, parent), nearest first, whatever the order they are offered in.
TEST(PrecursorRescue, Ms1ScansBelowKeepTheFiveNearest) {
    Ms1ScansBelow far(10);
    for (std::int64_t scan : {3, 10, 11, -1, 0, 1, 2}) far.offer(scan);
    EXPECT_EQ(far.nearest_first(), (std::vector<std::int64_t>{3, 2, 1, 0}));
    EXPECT_FALSE(far.full());
    for (std::int64_t scan : {5, 9, 4}) far.offer(scan);
    EXPECT_EQ(far.nearest_first(), (std::vector<std::int64_t>{9, 5, 4, 3, 2}));
    EXPECT_TRUE(far.full());
    Ms1ScansBelow at_zero(0);
    at_zero.offer(0);
    EXPECT_TRUE(at_zero.nearest_first().empty());
}

// The walk down asks parent - 1 first, then each number down to 0, and none once five scans are
// found; below a parent of 0 or less there is nothing to ask. The index walk finds the same scans.
TEST(PrecursorRescue, Ms1ScansBelowWalkDownFromJustBelowTheParent) {
    const std::set<std::int64_t> held = {-1, 0, 2, 3, 5, 6, 7, 9, 10};
    SpectrumTable table;
    for (std::int64_t s : held) add_ms1(table, s, {});
    const Ms1ScanIndex index(table);
    struct Row {
        std::int64_t parent, numbers_below;
        std::vector<std::int64_t> asked, nearest;
    };
    for (const Row& r : {Row{10, 10, {9, 8, 7, 6, 5, 4, 3}, {9, 7, 6, 5, 3}}, Row{3, 3, {2, 1, 0}, {2, 0}},
                         Row{1, 1, {0}, {0}}, Row{0, 0, {}, {}}, Row{-2, 0, {}, {}}}) {
        Ms1ScansBelow asking(r.parent);
        EXPECT_EQ(asking.numbers_below(), r.numbers_below) << r.parent;
        std::vector<std::int64_t> asked;
        asking.walk_down([&](std::int64_t s) {
            asked.push_back(s);
            return held.count(s) != 0;
        });
        EXPECT_EQ(asked, r.asked) << r.parent;
        EXPECT_EQ(asking.nearest_first(), r.nearest) << r.parent;
        Ms1ScansBelow indexed(r.parent);
        indexed.walk_down(index);
        EXPECT_EQ(indexed.nearest_first(), r.nearest) << r.parent;
    }
}

} // namespace
} // namespace vombrelle
