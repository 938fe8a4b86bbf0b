// float() of the plain common form of a number text, "[-+]digits[.digits]" (as in "123.4567",
// "1234.5", "-0.25", "7."), without the general path's tests for every other spelling: the form
// of nearly every number in a peak list, read in the readers' inner loops.
//
// Contract (errors are values, as those loops want them): read_plain_decimal takes the text at
// p, stops at `end` or at the first byte that cannot continue the number, and returns where it
// stopped; nullptr when the text there is not of the form or has more than 19 digits. Whether
// the stopping byte may end a field is the caller's business, and the general path (parse_float)
// reads or rejects whatever is not taken here. The value is float()'s, correctly rounded: with
// at most 2^53 as the digits' value and at most 19 decimals both the digits and the power of ten
// are exact doubles, so one division rounds correctly; larger digits go to from_chars, which
// rounds correctly too. scan_plain_decimal checks the form (any number of digits) without
// computing a value.
//
// Why byte by byte: on peak lists, whose number lengths vary little from line to line, this
// loop is predicted well and measured as fast as reading eight digits per word, with less code.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>

namespace vombrelle {

namespace plain_decimal_detail {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                    1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
inline constexpr int kMaxDigits = 19;  // 10^19 - 1 fits 64 bits

inline bool is_digit(char c) { return static_cast<unsigned>(c - '0') < 10; }

} // namespace plain_decimal_detail

// `decimals`: the number of digits after the point (what round(x, 5) needs to know).
inline const char* read_plain_decimal(const char* p, const char* end, double& value, int& decimals) {
    using namespace plain_decimal_detail;
    const bool has_sign = p < end && (*p == '-' || *p == '+');
    const bool negative = has_sign && *p == '-';
    p += static_cast<int>(has_sign);
    const char* const digits_start = p;
    std::uint64_t m = 0;
    for (; p < end && is_digit(*p); ++p) m = m * 10 + static_cast<unsigned>(*p - '0');
    const auto whole = p - digits_start;
    std::ptrdiff_t fraction = 0;
    if (p < end && *p == '.') {
        const char* const fraction_start = ++p;
        for (; p < end && is_digit(*p); ++p) m = m * 10 + static_cast<unsigned>(*p - '0');
        fraction = p - fraction_start;
    }
    if (whole + fraction == 0 || whole + fraction > kMaxDigits) return nullptr;
    decimals = static_cast<int>(fraction);
    if (m <= (std::uint64_t(1) << 53)) {
        // The signed conversion is the short one; below 2^53 it is exact.
        value = static_cast<double>(static_cast<std::int64_t>(m)) / kPow10[fraction];
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
    p += static_cast<int>(p < end && (*p == '-' || *p == '+'));
    const char* const start = p;
    while (p < end && is_digit(*p)) ++p;
    bool any = p != start;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        while (p < end && is_digit(*p)) ++p;
        any = any || p != fraction;
    }
    return any ? p : nullptr;
}

} // namespace vombrelle
