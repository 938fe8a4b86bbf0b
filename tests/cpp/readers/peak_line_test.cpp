#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "readers/peak_line.hpp"

namespace vombrelle {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The fast rounding must agree bit for bit with the exact one wherever it answers.
TEST(Round5, AgreesWithExactRoundingOnRandomAndBoundaryValues) {
    std::mt19937_64 rng(20240611);
    std::vector<double> values = {0.0, -0.0, 0.000005, -0.000005, 0.0000049999, 1.000005, 2.675,
                                  1301.2, 21742.94727, 9.0e10, 8.99999999e10, 1e300, -1e-300, 1e304, -1.5e305,
                                  std::numeric_limits<double>::max(),
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

// What reading or checking a line gave: the values' bits, "ok" for a check, or the error.
template <class Read>
std::string outcome(Read read) {
    try {
        return read();
    } catch (const HostError& e) {
        return std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
    }
}

std::string bits(const Peak& p) {
    return std::to_string(std::bit_cast<std::uint64_t>(p.mz)) + " " +
           std::to_string(std::bit_cast<std::uint64_t>(p.intensity));
}

// A line with kLinePadding bytes before and after it that would continue its numbers if they
// were read as the line's: digits, points, signs, blanks.
struct PaddedLine {
    std::string buffer;
    std::string_view line;
};

PaddedLine pad(const std::string& line, std::mt19937_64& rng) {
    const auto filler = [&] {
        std::string s(kLinePadding, '0');
        for (char& c : s) c = "0123456789.-+ \t"[rng() % 15];
        return s;
    };
    PaddedLine p{filler() + line + filler(), {}};
    p.line = std::string_view(p.buffer).substr(kLinePadding, line.size());
    return p;
}

// float() of the first two whitespace-separated fields, the intensity rounded as round(x, 5); or "-".
std::string fieldwise(const std::string& line) {
    try {
        std::string_view fields[2];
        if (split_whitespace_first(line, fields, 2) < 2) return "-";
        return bits({parse_float(fields[0]), round_to(parse_float(fields[1]), 5)});
    } catch (const HostError&) {
        return "-";
    }
}

// The m/z is read before the intensity is looked for: a lone bad field is the ValueError of its
// reading, a lone good one the IndexError of the missing intensity.
TEST(PeakLine, AMissingIntensityFailsOnlyAfterTheMzIsRead) {
    const auto kind = [](std::string_view line) {
        try {
            parse_peak_line(line);
        } catch (const HostError& e) {
            return e.kind();
        }
        ADD_FAILURE() << line;
        return ErrorKind::Value;
    };
    for (std::string_view line : {"1x", "1x ", " x", "1..5"}) EXPECT_EQ(kind(line), ErrorKind::Value) << line;
    for (std::string_view line : {"1", "100.5 ", "", " \t"}) EXPECT_EQ(kind(line), ErrorKind::Index) << line;
}

// Random peak lines, mostly of the usual form and at its limits (15 to 20 digits, 2^53, leading
// zeros, signs, points at either end, lengths around 32 bytes), the rest in every other spelling
// float() takes or refuses, with whitespace of all kinds around and between the fields: every
// path reads (and checks) each as float() and round() applied field by field do, reading the
// line alone in a buffer of its own size; the fast path takes most of the usual ones itself.
TEST(PeakLine, EveryPathReadsAndChecksAsFloatFieldByField) {
    std::mt19937_64 rng(2053);
    const auto digits = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + (rng() % 4 == 0 ? 9 : rng() % 10));
        return s;
    };
    const auto plain = [&](bool sign) {
        std::string s = sign && rng() % 6 == 0 ? (rng() % 2 ? "-" : "+") : "";
        const std::size_t total = rng() % 5 == 0 ? 15 + rng() % 6 : 1 + rng() % 12;
        const std::size_t whole = rng() % (total + 1);
        s += digits(whole);
        if (whole < total || rng() % 8 == 0) s += "." + digits(total - whole);
        return s;
    };
    const char* const odd[] = {"9007199254740992", "9007199254740993", "900719925474099.3", "0.9007199254740993",
                               "0000000000000001.5", "1e5", "1E-3", "-inf", "nan", "Infinity", "1_000.5", "1__0",
                               "\xD9\xA3.5", "\xEF\xBC\x91", "", ".", "-", "+.5", "5.", "-.5", "1.2.3", "0x1p3",
                               "12345678901234567890", "1234567890.123456789", "1e400", "2\xC2\xB2"};
    const char* const separators[] = {" ", " ", "\t", "  \t ", "\x0b", "\x1f", "\xC2\xA0", "\xE2\x80\x83", ""};
    const char* const tails[] = {"", "", "", " ", "\t3 4", " x", "\xC2\xA0", "\x0c", "\xE2\x80\x83y"};
    std::size_t fast = 0, usual = 0;
    for (int i = 0; i < 300000; ++i) {
        const auto field = [&](bool sign) {
            return rng() % 10 == 0 ? std::string(odd[rng() % std::size(odd)]) : plain(sign);
        };
        std::string line = field(false) + separators[rng() % std::size(separators)] + field(true);
        line += tails[rng() % std::size(tails)];
        if (rng() % 20 == 0) line = (rng() % 2 ? " " : "\t") + line;
        if (rng() % 10 == 0) line.resize(std::min<std::size_t>(line.size(), rng() % 40));
        const std::string alone = line;  // exactly its own size: reading past it is caught
        const std::string general = outcome([&] { return bits(parse_peak_line(alone)); });
        const std::string want = fieldwise(line);
        ASSERT_TRUE(want == "-" ? general.find(':') != std::string::npos : general == want) << line << " " << general;
        ASSERT_EQ(outcome([&] { check_peak_line(alone); return std::string("ok"); }),
                  general.find(':') == std::string::npos ? "ok" : general)
            << line;
        const PaddedLine p = pad(line, rng);
        ASSERT_EQ(outcome([&] { return bits(parse_padded_peak_line(p.line)); }), general) << line;
        ASSERT_EQ(outcome([&] { check_padded_peak_line(p.line); return std::string("ok"); }),
                  general.find(':') == std::string::npos ? "ok" : general)
            << line;
        Peak peak;
        if (read_usual_peak_line(p.line, peak)) {
            ++fast;
            ASSERT_EQ(bits(peak), general) << line;
        }
        PeakLineLayout layout;
        if (usual_peak_layout(p.line, layout)) ++usual;
    }
    EXPECT_GT(fast, 30000u);
    EXPECT_GE(fast, usual * 9 / 10);  // the layouts the values refuse: digits above 2^53
    EXPECT_GE(usual, fast);
}

} // namespace
} // namespace vombrelle
