#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/host_text.hpp"
#include "common/plain_decimal.hpp"

namespace vombrelle {
namespace {

// What a plain-form reader made of the text: where it stopped and the value's bits, or "-".
template <class Read>
std::string outcome(const std::string& text, std::size_t end, Read read) {
    double v = 0.0;
    int decimals = -1;
    const char* q = read(text.data(), text.data() + end, v, decimals);
    if (q == nullptr) return "-";
    return std::to_string(q - text.data()) + " " + std::to_string(std::bit_cast<std::uint64_t>(v)) + " " +
           std::to_string(decimals);
}

// The fast reader against the general one: it stops where the plain form ends (found here byte
// by byte) and reads float() of the text up to there when that holds at most 19 digits, and
// takes nothing otherwise; the scan takes any number of digits. Texts are random and at the
// limits (2^53, 19 and 20 digits, empty sides of the point, signs alone), and sit in a buffer
// whose bytes after their end are digits, points or signs, never to be read as theirs.
TEST(PlainDecimal, FastReadersAgreeWithFloat) {
    std::mt19937_64 rng(2024);
    auto digits = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>('0' + (rng() % 4 == 0 ? 9 : rng() % 10));
        return s;
    };
    std::vector<std::string> texts = {"0", "-0", "+0", "-0.0", "5.", ".5", ".", "-", "+", "-.", "+.5", "",
                                      "1234567.1234567", "12345678.5", "1.12345678", "9007199254740992",
                                      "9007199254740993", "900719925474099.3", "9999999999999999999",
                                      "99999999999999999999", "0.0000000000000000001", "1.000000000000000000001",
                                      "00000001.10000000", "1e5", "1_0", "--1", "1..2", "1.2.3", "12a", "0x1"};
    for (int i = 0; i < 200000; ++i) {
        std::string s = rng() % 8 == 0 ? "-" : (rng() % 30 == 0 ? "+" : "");
        s += digits(static_cast<int>(rng() % (i % 3 == 0 ? 21 : 9)));
        if (rng() % 5 != 0) s += "." + digits(static_cast<int>(rng() % (i % 3 == 0 ? 24 : 9)));
        if (rng() % 10 == 0) s += "e1x. -"[rng() % 6];
        texts.push_back(s);
    }
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    for (const std::string& text : texts) {
        std::string buffer = text;
        buffer.append(32, "0123456789.-"[rng() % 12]);
        const char* const end = buffer.data() + text.size();
        std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
        int whole = 0, decimals = 0;
        for (; i < text.size() && is_digit(text[i]); ++i) ++whole;
        if (i < text.size() && text[i] == '.') {
            for (++i; i < text.size() && is_digit(text[i]); ++i) ++decimals;
        }
        const std::string taken = whole + decimals == 0 ? "-"
                                  : std::to_string(i) + " " +
                                        std::to_string(std::bit_cast<std::uint64_t>(parse_float(text.substr(0, i)))) +
                                        " " + std::to_string(decimals);
        const auto read = [](const char* p, const char* e, double& v, int& d) { return read_plain_decimal(p, e, v, d); };
        ASSERT_EQ(outcome(buffer, text.size(), read), whole + decimals <= 19 ? taken : "-") << text;
        const char* scanned = scan_plain_decimal(buffer.data(), end);
        ASSERT_EQ(scanned == nullptr ? "-" : std::to_string(scanned - buffer.data()), taken.substr(0, taken.find(' ')))
            << text;
    }
}

// Two decimals read where their digits lie, by both forms, against strtod of their texts: 1 to 16
// digits, the point before, among or after them, or none, around 2^53, at every offset of a
// buffer whose other bytes are digits and points that must not count.
TEST(PlainDecimal, DigitSpansReadTheirDigitsOnly) {
    std::mt19937_64 rng(1616);
    const auto digits = [&](unsigned n) {
        std::string s;
        for (unsigned i = 0; i < n; ++i) s += static_cast<char>('0' + (rng() % 3 == 0 ? 9 : rng() % 10));
        return s;
    };
    struct Placed {
        DigitSpan span;
        std::string text;
    };
    // Writes the decimal ending at `end` into the buffer.
    const auto place = [&](std::string& buffer, unsigned end, std::string d, int point) {
        const auto n = static_cast<unsigned>(d.size());
        std::string text = d;
        if (point >= 0) text.insert(static_cast<std::size_t>(point), ".");
        buffer.replace(end - text.size(), text.size(), text);
        return Placed{{end, n, point >= 0 ? n - static_cast<unsigned>(point) : 0, point >= 0}, text};
    };
    const std::string limits[] = {"9007199254740991", "9007199254740992", "9007199254740993", "9999999999999999",
                                  "0000000000000000", "1"};
    const auto want = [](const Placed& x) { return std::strtod(x.text.c_str(), nullptr); };
    const auto accepted = [](const Placed& x) {
        std::string d;
        for (char c : x.text) {
            if (c != '.') d += c;
        }
        return std::stoull(d) < (std::uint64_t(1) << 53);
    };
    for (int round = 0; round < 40000; ++round) {
        std::string buffer(96, '0');
        for (char& c : buffer) c = "0123456789.. -"[rng() % 14];
        const std::string da = round % 5 == 0 ? limits[rng() % std::size(limits)] : digits(1 + round % 16);
        const std::string db = digits(1 + static_cast<unsigned>(rng() % 16));
        const int pa = static_cast<int>(rng() % (da.size() + 2)) - 1, pb = static_cast<int>(rng() % (db.size() + 2)) - 1;
        const unsigned end_a = 18 + static_cast<unsigned>(rng() % 20);
        const Placed a = place(buffer, end_a, da, pa);
        const Placed b = place(buffer, end_a + 18 + static_cast<unsigned>(rng() % 30), db, pb);
        const bool ok = accepted(a) && accepted(b);
        double va = 0, vb = 0;
        ASSERT_EQ(digit_span_decimals_portable(buffer.data(), a.span, b.span, va, vb), ok) << buffer;
        if (ok) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(va), std::bit_cast<std::uint64_t>(want(a))) << a.text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(vb), std::bit_cast<std::uint64_t>(want(b))) << b.text;
        }
#if defined(__SSE2__)
        ASSERT_EQ(digit_span_decimals_sse2(buffer.data(), a.span, b.span, va, vb), ok) << buffer;
        if (ok) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(va), std::bit_cast<std::uint64_t>(want(a))) << a.text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(vb), std::bit_cast<std::uint64_t>(want(b))) << b.text;
        }
#endif
    }
}

} // namespace
} // namespace vombrelle
