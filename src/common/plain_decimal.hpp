// float() of the plain common form of a number text, "[-+]digits[.digits]" (as in "123.4567",
// "1234.5", "-0.25", "7."), without the general path's tests for every other spelling.
//
// Contract (errors are values, as the hot loops of the readers want them):
//   - read_plain_decimal reads the number at p and returns the end of its text, or nullptr when
//     the text there is not of the plain form, or is, but with more than 19 digits (the general
//     path then reads or rejects it). The value is float()'s, correctly rounded: with at most
//     2^53 as the digits' value and at most 22 decimals the digits and the power of ten are both
//     exact doubles and one division rounds correctly; beyond that the digits go to from_chars,
//     which rounds correctly too.
//   - scan_plain_decimal checks the same form (any number of digits) without computing a value.
// The text ends at `end` or at the first byte that cannot continue it; whether that byte may end
// the field is the caller's business. Digits are read eight at a time: a word is loaded at p when
// eight bytes remain, else the eight bytes ending at `end` when `floor` (where the caller's
// buffer starts) leaves room, else byte by byte.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vombrelle {

namespace plain_decimal_detail {

inline constexpr std::uint64_t kPow10Int[] = {1,       10,       100,       1000,       10000,
                                              100000,  1000000,  10000000,  100000000};
inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kMaxDigits = 19;  // 10^19 - 1 fits 64 bits

// Eight bytes of text at p, the bytes at `end` and beyond replaced by a zero byte or left as they
// are (the callers stop at `end` whatever those bytes are); false when no word can be loaded
// within [floor, limit).
inline bool load_word(const char* p, const char* end, const char* floor, const char* limit, std::uint64_t& w) {
    if (limit - p >= 8) {
        std::memcpy(&w, p, 8);
        return true;
    }
    const auto avail = static_cast<std::size_t>(end - p);
    if (end - floor < 8) return false;
    if (avail == 0) {
        w = 0;
        return true;
    }
    std::memcpy(&w, end - 8, 8);
    w >>= 8 * (8 - avail);
    return true;
}

// Number of leading ASCII digits of the word (0 to 8). Exact for the first non-digit: the sums
// below carry or borrow only out of non-digit bytes, into bytes after them.
[[gnu::always_inline]] inline unsigned leading_digits(std::uint64_t w) {
    const std::uint64_t non_digit =
        ((w + 0x4646464646464646ULL) | (w - 0x3030303030303030ULL)) & 0x8080808080808080ULL;
    return non_digit == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(non_digit)) / 8;
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

// Reads the run of digits at p into m (while `count` stays within kMaxDigits; beyond it only
// counts) and returns the run's end.
inline const char* digit_run(const char* p, const char* end, const char* floor, const char* limit, std::uint64_t& m,
                             int& count) {
    for (;;) {
        std::uint64_t w;
        if (!load_word(p, end, floor, limit, w)) {
            while (p < end && static_cast<unsigned>(*p - '0') < 10) {
                if (++count <= kMaxDigits) m = m * 10 + static_cast<unsigned>(*p - '0');
                ++p;
            }
            return p;
        }
        const auto avail = static_cast<std::size_t>(end - p);
        const unsigned n = std::min<std::size_t>(leading_digits(w), avail);
        if (n == 0) return p;
        count += static_cast<int>(n);
        if (count <= kMaxDigits) m = m * kPow10Int[n] + digits_value(w, n);
        p += n;
        if (n < 8) return p;
    }
}

// Skips the run of digits at p; returns its end.
inline const char* skip_digits(const char* p, const char* end, const char* floor, const char* limit) {
    for (;;) {
        std::uint64_t w;
        if (!load_word(p, end, floor, limit, w)) {
            while (p < end && static_cast<unsigned>(*p - '0') < 10) ++p;
            return p;
        }
        const unsigned n = std::min<std::size_t>(leading_digits(w), static_cast<std::size_t>(end - p));
        p += n;
        if (n < 8) return p;
    }
}

// Digits in the word before the first non-digit, when that is within the word; 8 says the run
// may go on.
[[gnu::always_inline]] inline const char* short_digit_run(const char* p, std::uint64_t& w, unsigned& n) {
    std::memcpy(&w, p, 8);
    n = leading_digits(w);
    return p + n;
}

} // namespace plain_decimal_detail

// The short plain form, "[-+]d[.d]" with at most 7 digits on either side of the point (the
// usual m/z and intensity): two word loads, no loop, and at most 14 digits, whose value is always
// exact as a double. Needs 18 bytes readable at p; returns nullptr for any other text.
[[gnu::always_inline]] inline const char* read_short_plain_decimal(const char* p, const char* end, double& value, int& decimals) {
    using namespace plain_decimal_detail;
    const bool negative = *p == '-';
    p += static_cast<int>(negative | (*p == '+'));
    std::uint64_t w1, w2;
    unsigned n1, n2 = 0;
    const char* q = short_digit_run(p, w1, n1);
    std::uint64_t m = n1 == 0 ? 0 : digits_value(w1, n1);
    if (q < end && *q == '.') {
        q = short_digit_run(q + 1, w2, n2);
        if (n2 != 0) m = m * kPow10Int[n2] + digits_value(w2, n2);
    }
    if (n1 == 8 || n2 == 8 || n1 + n2 == 0 || q > end) return nullptr;
    decimals = static_cast<int>(n2);
    // Below 10^14 the digits convert exactly, and the signed conversion is the short one.
    value = static_cast<double>(static_cast<std::int64_t>(m)) / kPow10[n2];
    if (negative) value = -value;
    return q;
}

// The same form checked without its value.
[[gnu::always_inline]] inline const char* scan_short_plain_decimal(const char* p, const char* end) {
    using namespace plain_decimal_detail;
    p += static_cast<int>((*p == '-') | (*p == '+'));
    std::uint64_t w;
    unsigned n1, n2 = 0;
    const char* q = short_digit_run(p, w, n1);
    if (q < end && *q == '.') q = short_digit_run(q + 1, w, n2);
    if (n1 == 8 || n2 == 8 || n1 + n2 == 0 || q > end) return nullptr;
    return q;
}

// `decimals`: the number of digits after the point (what round(x, 5) needs to know).
inline const char* read_plain_decimal(const char* p, const char* end, const char* floor, const char* limit,
                                      double& value, int& decimals) {
    using namespace plain_decimal_detail;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    std::uint64_t m = 0;
    const char* digits_start = p;
    int count = 0;
    p = digit_run(p, end, floor, limit, m, count);
    const int whole = count;
    if (p < end && *p == '.') p = digit_run(p + 1, end, floor, limit, m, count);
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

inline const char* scan_plain_decimal(const char* p, const char* end, const char* floor, const char* limit) {
    using namespace plain_decimal_detail;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* start = p;
    p = skip_digits(p, end, floor, limit);
    bool any = p != start;
    if (p < end && *p == '.') {
        const char* frac = p + 1;
        p = skip_digits(frac, end, floor, limit);
        any = any || p != frac;
    }
    return any ? p : nullptr;
}

} // namespace vombrelle
