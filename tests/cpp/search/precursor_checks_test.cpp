#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <tuple>

#include "common/mass_constants.hpp"
#include "search/precursor_checks.hpp"

namespace vombrelle::search {
namespace {

// Where `holds` flips between two positive doubles: the last one at which it keeps its value at
// `low` (bisecting their bit patterns; `holds` must flip once).
double last_like_low(double low, double high, const std::function<bool(double)>& holds) {
    const bool at_low = holds(low);
    std::uint64_t lo = std::bit_cast<std::uint64_t>(low), hi = std::bit_cast<std::uint64_t>(high);
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        (holds(std::bit_cast<double>(mid)) == at_low ? lo : hi) = mid;
    }
    return std::bit_cast<double>(lo);
}

PairTest pairs(double m1, double m2, double precursor, double deficit) {
    PairTest out;
    test_pairs({m1, m2}, precursor, deficit, out);
    return out;
}

TEST(PrecursorChecks, PairToleranceIsRelativeToThePrecursorAndInclusive) {
    // The miss d = P - (m1 + m2 + deficit - 1.007825) grows negative as the deficit grows; at
    // P = 1e6 some deficit makes it exactly -20 Da, that is 20 ppm.
    auto ppm = [](double deficit) { return std::fabs(1e6 - (400000.0 + 600000.0 + deficit - kProtonMass)) / 1e6 * 1e6; };
    const double bound = last_like_low(21.0, 21.1, [&](double x) { return ppm(x) <= 20.0; });
    ASSERT_EQ(ppm(bound), 20.0);
    EXPECT_TRUE(pairs(400000.0, 600000.0, 1e6, bound).matched);
    EXPECT_FALSE(pairs(400000.0, 600000.0, 1e6, std::nextafter(bound, INFINITY)).matched);
    EXPECT_EQ(pairs(400000.0, 600000.0, 1e6, bound).matched_masses, (std::vector<double>{400000.0, 600000.0}));

    const double precursor = 1000.0;
    // The isotope window includes a miss of 5.5 Da exactly, on either side.
    auto miss = [&](double deficit) { return precursor - (400.0 + 500.0 + deficit - kProtonMass); };
    const double plus = last_like_low(90.0, 100.0, [&](double x) { return miss(x) > 5.5; });
    const double minus = last_like_low(100.0, 110.0, [&](double x) { return miss(x) >= -5.5; });
    for (const auto& [inside, outside, bound] : {std::tuple{std::nextafter(plus, INFINITY), plus, 5.5},
                                                 std::tuple{minus, std::nextafter(minus, INFINITY), -5.5}}) {
        ASSERT_EQ(miss(inside), bound);
        EXPECT_TRUE(pairs(400.0, 500.0, precursor, inside).within_window);
        EXPECT_FALSE(pairs(400.0, 500.0, precursor, outside).within_window);
    }
    // A mass never pairs with itself.
    EXPECT_FALSE(pairs(400000.0, 1.0, 800000.0 + bound - kProtonMass, bound).matched);
    // A precursor MH+ of 0 matches nothing and fails nothing.
    EXPECT_FALSE(pairs(0.0, 0.0, 0.0, kProtonMass).matched);
}

TEST(PrecursorChecks, SignaturePeaksAreMeasuredAgainstThePeak) {
    // Below the peak, the MS3 m/z is within 20 ppm of the peak before it is within 20 ppm of itself.
    const double peak = 500.0;
    const double near = last_like_low(peak - 0.02, peak, [&](double m) { return std::fabs(peak - m) / peak * 1e6 > 20.0; });
    const double at_bound = std::nextafter(near, INFINITY);
    ASSERT_GT(std::fabs(peak - at_bound) / at_bound * 1e6, 20.0);
    EXPECT_TRUE(signature_peaks_found({{peak, 1.0}}, {at_bound}, 1));
    EXPECT_FALSE(signature_peaks_found({{peak, 1.0}}, {near}, 1));
    // Every MS3 m/z counts for each peak; a peak at 0 matches nothing, a negative one (its
    // quotient is negative) everything; peaks are needed.
    EXPECT_TRUE(signature_peaks_found({{-5.0, 1.0}}, {500.0, 900.0}, 2));
    EXPECT_TRUE(signature_peaks_found({{0.0, 1.0}, {peak, 1.0}}, {peak, peak}, 2));
    EXPECT_FALSE(signature_peaks_found({{0.0, 1.0}, {peak, 1.0}}, {peak, 0.0}, 2));
    EXPECT_FALSE(signature_peaks_found({}, {peak}, 1));
}

} // namespace
} // namespace vombrelle::search
