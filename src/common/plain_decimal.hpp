// float() of the plain common form of a number text, "[-+]digits[.digits]" (as in "123.4567",
// "1234.5", "-0.25", "7."), without the general path's tests for every other spelling.
//
// Contract (errors are values, as the readers' hot loops want them): each reader takes the text
// at p, stops at `end` or at the first byte that cannot continue the number, and returns where it
// stopped, or nullptr when the text there is not of its form; whether the stopping byte may end a
// field is the caller's business, and the general path (parse_float) reads or rejects what these
// do not take. Values are float()'s, correctly rounded: with at most 2^53 as the digits' value and
// at most 22 decimals both the digits and the power of ten are exact doubles and one division
// rounds correctly; beyond that the digits go to from_chars, which rounds correctly too.
//   - read_short_plain_decimal: at most 7 digits either side of the point (the usual m/z and
//     intensity), read from two 8-byte words without a loop; needs 18 readable bytes at p.
//   - read_plain_decimal: any length up to 19 digits, byte by byte.
//   - scan_*: the same forms checked without computing a value (any number of digits for
//     scan_plain_decimal).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vombrelle {

namespace plain_decimal_detail {

inline constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kMaxDigits = 19;  // 10^19 - 1 fits 64 bits

// The run of ASCII digits at the start of the 8 bytes at p, cut at `end`: its length (8 when the
// word holds nothing else, so that the run may go on) and the word itself. Exact for the first
// non-digit: the sums below carry or borrow only out of non-digit bytes, into bytes after them.
[[gnu::always_inline]] inline unsigned leading_digits(const char* p, const char* end, std::uint64_t& w) {
    std::memcpy(&w, p, 8);
    const std::uint64_t non_digit =
        ((w + 0x4646464646464646ULL) | (w - 0x3030303030303030ULL)) & 0x8080808080808080ULL;
    const auto n = static_cast<std::ptrdiff_t>(non_digit == 0 ? 8 : __builtin_ctzll(non_digit) / 8);
    return static_cast<unsigned>(n < end - p ? n : end - p);
}

// The value of the first n digits (1 to 8) of the word: the digits are moved to the top, behind
// zeros, and combined pairwise, then in fours, then all eight.
[[gnu::always_inline]] inline std::uint64_t digits_value(std::uint64_t w, unsigned n) {
    std::uint64_t v = (w - 0x3030303030303030ULL) << (8 * (8 - n));
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
         (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >> 32;
    return static_cast<std::uint32_t>(v);
}

inline bool is_digit(char c) { return static_cast<unsigned>(c - '0') < 10; }

} // namespace plain_decimal_detail

// `decimals`: the number of digits after the point (what round(x, 5) needs to know).
[[gnu::always_inline]] inline const char* read_short_plain_decimal(const char* p, const char* end, double& value,
                                                                   int& decimals) {
    using namespace plain_decimal_detail;
    const bool has_sign = p < end && (*p == '-' || *p == '+');
    const bool negative = has_sign && *p == '-';
    p += static_cast<int>(has_sign);
    std::uint64_t w1, w2;
    const unsigned n1 = leading_digits(p, end, w1);
    unsigned n2 = 0;
    const char* q = p + n1;
    std::uint64_t m = n1 == 0 ? 0 : digits_value(w1, n1);
    if (q < end && *q == '.') {
        n2 = leading_digits(q + 1, end, w2);
        q += 1 + n2;
        if (n2 != 0) m = m * kPow10Int[n2] + digits_value(w2, n2);
    }
    if (n1 == 8 || n2 == 8 || n1 + n2 == 0) return nullptr;
    decimals = static_cast<int>(n2);
    // Below 10^14 the digits convert exactly, and the signed conversion is the short one.
    value = static_cast<double>(static_cast<std::int64_t>(m)) / kPow10[n2];
    if (negative) value = -value;
    return q;
}

[[gnu::always_inline]] inline const char* scan_short_plain_decimal(const char* p, const char* end) {
    using namespace plain_decimal_detail;
    p += static_cast<int>(p < end && (*p == '-' || *p == '+'));
    std::uint64_t w;
    const unsigned n1 = leading_digits(p, end, w);
    unsigned n2 = 0;
    const char* q = p + n1;
    if (q < end && *q == '.') {
        n2 = leading_digits(q + 1, end, w);
        q += 1 + n2;
    }
    if (n1 == 8 || n2 == 8 || n1 + n2 == 0) return nullptr;
    return q;
}

inline const char* read_plain_decimal(const char* p, const char* end, double& value, int& decimals) {
    using namespace plain_decimal_detail;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    const char* digits_start = p;
    std::uint64_t m = 0;
    int count = 0, whole = 0;
    for (; p < end && is_digit(*p); ++p, ++whole) m = m * 10 + static_cast<unsigned>(*p - '0');
    count = whole;
    if (p < end && *p == '.') {
        for (++p; p < end && is_digit(*p); ++p, ++count) m = m * 10 + static_cast<unsigned>(*p - '0');
    }
    if (count == 0 || count > kMaxDigits) return nullptr;
    decimals = count - whole;
    if (m <= (std::uint64_t(1) << 53)) {
        value = static_cast<double>(m) / kPow10[decimals];
    } else {
        // from_chars takes no sign and would read a trailing "e..." on its own: the text is given
        // without either.
        const auto res = std::from_chars(digits_start, p, value, std::chars_format::fixed);
        if (res.ec != std::errc() || res.ptr != p) return nullptr;
    }
    if (negative) value = -value;
    return p;
}

inline const char* scan_plain_decimal(const char* p, const char* end) {
    using plain_decimal_detail::is_digit;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* start = p;
    while (p < end && is_digit(*p)) ++p;
    bool any = p != start;
    if (p < end && *p == '.') {
        const char* frac = ++p;
        while (p < end && is_digit(*p)) ++p;
        any = any || p != frac;
    }
    return any ? p : nullptr;
}

} // namespace vombrelle
