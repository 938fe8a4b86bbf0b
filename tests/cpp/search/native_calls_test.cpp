#include <gtest/gtest.h>

#include "search/native_calls.hpp"

namespace vombrelle {
namespace {

TEST(NativeCalls, Ms1IndexFollowsTheTableAndUniqKeepsFirstOccurrences) {
    // A group 1 Da off whose measured m/z 800 is a peak of the MS1 scan it finds.
    const Ms3MassList a1{1.0}, a2{2.0};
    const PrecursorRescueRequest r{{51, 52, 53, 54}, {&a1, &a2, &a2, &a1}, 101, 800.0, 1.0, 3, -1.992175};
    PsmMatchTable med_high;
    med_high.scans[51];
    med_high.scans[53];
    auto ms1_scan = [](SpectrumTable& t, std::int64_t scan, double mz) { t[scan].peaks.push_back({mz, 1.0}); };
    SpectrumTable first, second;
    ms1_scan(first, 90, 800.0);
    ms1_scan(second, 95, 500.0);
    NativeCalls calls;
    EXPECT_TRUE(calls.rescue_prec_mass(r, first, med_high).found);
    EXPECT_FALSE(calls.rescue_prec_mass(r, second, med_high).found);
    ms1_scan(second, 96, 800.0);
    EXPECT_TRUE(calls.rescue_prec_mass(r, second, med_high).found);

    std::vector<std::string_view> small{"b", "a", "b"}, large;
    for (int i = 0; i < 12; ++i) large.push_back(i % 2 ? "x" : "y");
    calls.uniq(small);
    calls.uniq(large);
    EXPECT_EQ(small, (std::vector<std::string_view>{"b", "a"}));
    EXPECT_EQ(large, (std::vector<std::string_view>{"y", "x"}));
}

} // namespace
} // namespace vombrelle
