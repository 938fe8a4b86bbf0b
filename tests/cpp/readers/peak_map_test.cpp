#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "readers/peak_map.hpp"

namespace vombrelle {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The fast rounding must agree bit for bit with the exact one wherever it answers.
TEST(Round5, AgreesWithExactRoundingOnRandomAndBoundaryValues) {
    std::mt19937_64 rng(20240611);
    std::vector<double> values = {0.0, -0.0, 0.000005, -0.000005, 0.0000049999, 1.000005, 2.675,
                                  1301.2, 21742.94727, 9.0e10, 8.99999999e10, 1e300, -1e-300,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), 5e-324};
    // Exact ties at the sixth decimal: odd multiples of 1/64 have six decimals ending in 5.
    for (int j = -2001; j <= 4001; j += 2) values.insert(values.end(), {j / 64.0, 123456.0 + j / 64.0});
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> exp10(-8, 14);
    char buf[64];
    for (int i = 0; i < 200000; ++i) {
        const double v = unit(rng) * std::pow(10.0, exp10(rng));
        values.push_back(i % 2 ? v : -v);
        // Values written with 6 to 8 decimals, as intensities are in files.
        std::snprintf(buf, sizeof buf, "%.*f", 6 + i % 3, unit(rng) * std::pow(10.0, exp10(rng) % 8));
        values.push_back(parse_float(buf));
    }
    for (double v : values) ASSERT_TRUE(same_bits(round5(v), round_to(v, 5))) << v;
    EXPECT_TRUE(std::isnan(round5(std::nan(""))));
}

// Peak lines of random plain decimals (the fast path), after a few other spellings (the general
// path), against float() and round() applied field by field.
TEST(ParsePeakLine, AgreesWithFieldwiseConversion) {
    std::mt19937_64 rng(1102);
    auto digits = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
        return s;
    };
    auto number = [&]() {
        std::string s = rng() % 10 == 0 ? "-" : "";
        s += digits(1 + static_cast<int>(rng() % 12));
        if (rng() % 4 != 0) s += "." + digits(static_cast<int>(rng() % 24));
        if (rng() % 20 == 0) s += "e" + std::to_string(static_cast<int>(rng() % 40) - 20);
        return s;
    };
    const std::pair<std::string, std::string> odd[] = {
        {"1_000.5", "+2"}, {"100", "1e400"}, {"0.0", "-0.0000001"}, {"1e3", "-inf"}, {".5", "7.1234567"}};
    const char* seps[] = {" ", "\t", "  ", " \t ", "\xc2\xa0" /* no-break space */, " \x1f "};
    const char* ends[] = {"", " 12", "\r", "\t2.5 extra fields"};
    for (std::size_t i = 0; i < 300000; ++i) {
        const auto [a, b] = i < std::size(odd) ? odd[i] : std::pair{number(), number()};
        const std::string line = (rng() % 5 == 0 ? "  " : "") + a + seps[rng() % 6] + b + ends[rng() % 4];
        // The line inside a longer buffer whose next bytes are digits, which must not be taken.
        const std::string buffer = line + "77.7";
        const Peak p = parse_peak_line(std::string_view(buffer).substr(0, line.size()));
        ASSERT_TRUE(same_bits(p.mz, parse_float(a))) << line;
        ASSERT_TRUE(same_bits(p.intensity, round_to(parse_float(b), 5))) << line;
    }
    // A field runs on to the next whitespace, also past ASCII: "2\u00b2" is no number.
    EXPECT_THROW(parse_peak_line("100 2\xc2\xb2"), HostError);
}

// Checking a line without its values raises what reading it raises, by every path.
TEST(ParsePeakLine, CheckingFailsWhereReadingFails) {
    std::mt19937_64 rng(77);
    const char* const pieces[] = {"1", "23", "4.5", ".", "-", "+7", "e3", "x", "1_0", " ", "\t", "  ", "\xC2\xA0",
                                  "\x1f", "9999999.9999999", "12345678901234567890", "nan", "\xD9\xA3"};
    const auto failure = [](auto&& f) -> std::string {
        try {
            f();
        } catch (const HostError& e) {
            return std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
        }
        return "ok";
    };
    for (int i = 0; i < 100000; ++i) {
        std::string line;
        for (int k = 1 + static_cast<int>(rng() % 6); k > 0; --k) line += pieces[rng() % std::size(pieces)];
        ASSERT_EQ(failure([&] { check_peak_line(line); }), failure([&] { parse_peak_line(line); })) << line;
    }
}

// Against a list searched linearly with the dict's key equality (NaN never equal, -0.0 == 0.0).
TEST(PeakMapBuilder, MatchesALinearScanWithRepeatsZerosAndNaN) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        // Some runs start from peaks already present, as when archive members merge.
        std::vector<Peak> fast;
        for (int i = 0; i < (round % 3 == 0 ? 5 : 0); ++i) fast.push_back({double(i * 3), 1.0});
        std::vector<Peak> slow = fast;
        PeakMapBuilder b;
        b.attach(&fast);
        double ascending = 0.0;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 400); i < n; ++i) {
            const unsigned kind = rng() % 8;
            const double mz = kind == 0 ? double(rng() % 20)                 // repeats
                              : kind == 1 ? (rng() % 2 ? 0.0 : -0.0)         // one key
                              : kind == 2 ? std::nan("")                      // never equal
                                          : (ascending += 0.5 + (rng() % 3));
            b.store(mz, double(i));
            auto same = std::find_if(slow.begin(), slow.end(), [&](const Peak& p) { return p.mz == mz; });
            if (same == slow.end()) slow.push_back({mz, double(i)});
            else same->intensity = double(i);
        }
        ASSERT_EQ(fast.size(), slow.size());
        for (std::size_t i = 0; i < fast.size(); ++i) {
            ASSERT_TRUE(same_bits(fast[i].mz, slow[i].mz) && fast[i].intensity == slow[i].intensity) << round << " " << i;
        }
    }
}

} // namespace
} // namespace vombrelle
