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
// Why byte by byte: this reader takes any text and reads nothing past `end`. Where a line's layout
// is known and padding surrounds it, digit_span_values reads the digits of two numbers at once,
// sixteen bytes at a time (the peak lines' fast path).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace vombrelle {

namespace plain_decimal_detail {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                    1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
inline constexpr int kMaxDigits = 19;  // 10^19 - 1 fits 64 bits

inline bool is_digit(char c) { return static_cast<unsigned>(c - '0') < 10; }

// 16 bytes of 0x00, then 16 of 0xFF: the 16 bytes from kRamp + 16 - k have lanes k to 15 set.
alignas(32) inline constexpr unsigned char kRamp[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

inline std::uint64_t load8(const void* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The value of the eight digit values (0 to 9) in the bytes of w, the first byte the most
// significant: pairs, fours and eights combined by three multiplications.
inline std::uint64_t eight_digits_value(std::uint64_t w) {
    w = w * 10 + (w >> 8);  // byte 2k: the two digits 2k and 2k+1
    const std::uint64_t pairs = 0x000000FF000000FFULL;
    w = ((w & pairs) * (100 + (1000000ULL << 32)) + ((w >> 16) & pairs) * (1 + (10000ULL << 32))) >> 32;
    return w & 0xFFFFFFFF;
}

} // namespace plain_decimal_detail

// Where the digits of a plain decimal lie in a text: they end at byte `end` (exclusive) and number
// `digits` (1 to 16); the last `in_place` of them lie in the bytes just before `end`, the others
// one byte further back (before the point). Without a point in_place is all of them.
struct DigitSpan {
    unsigned end;
    unsigned digits;
    unsigned in_place;
};

// The digits' values of two decimals of text at p (the point skipped: 12.5 gives 125), 17 bytes
// before each span's end readable. The 16 bytes that end the span are loaded twice, in place and
// one byte back; a lane mask takes each digit from where it lies and clears the bytes before the
// first, so that the digits stand right-aligned in 16 lanes for a fixed reduction.
inline void digit_span_values_portable(const char* p, DigitSpan a, DigitSpan b, std::uint64_t& va, std::uint64_t& vb) {
    using namespace plain_decimal_detail;
    const auto value = [p](DigitSpan s) {
        const char* const end = p + s.end;
        std::uint64_t half[2];  // lanes 0-7 and 8-15
        for (int h = 0; h < 2; ++h) {
            const std::uint64_t in_place = load8(kRamp + 16 - (16 - s.in_place) + 8 * h);
            const std::uint64_t keep = load8(kRamp + 16 - (16 - s.digits) + 8 * h);
            const std::uint64_t bytes = (load8(end - 16 + 8 * h) & in_place) | (load8(end - 17 + 8 * h) & ~in_place);
            half[h] = (bytes & keep) - (0x3030303030303030ULL & keep);
        }
        return eight_digits_value(half[0]) * 100000000 + eight_digits_value(half[1]);
    };
    va = value(a);
    vb = value(b);
}

#if defined(__SSE2__) && defined(__x86_64__)

// The same with both spans' lanes in vectors: bytes to 16-bit lanes, then pairs, fours and eights
// of digits by multiply-adds, the two numbers sharing the last steps.
[[gnu::always_inline]] inline void digit_span_values_sse2(const char* p, DigitSpan a, DigitSpan b, std::uint64_t& va, std::uint64_t& vb) {
    using plain_decimal_detail::kRamp;
    const auto lanes_from = [](unsigned k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRamp + 16 - k)); };
    const auto pairs = [&](DigitSpan s) {
        const char* const end = p + s.end;
        const __m128i in_place = lanes_from(16 - s.in_place);
        const __m128i bytes = _mm_or_si128(_mm_and_si128(in_place, _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16))),
                                           _mm_andnot_si128(in_place, _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 17))));
        const __m128i keep = lanes_from(16 - s.digits);
        const __m128i digits = _mm_and_si128(_mm_sub_epi8(bytes, _mm_set1_epi8('0')), keep);
        const __m128i zero = _mm_setzero_si128(), ten_one = _mm_set1_epi32(0x0001000A);
        return _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), ten_one),
                               _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), ten_one));
    };
    const __m128i hundred_one = _mm_set1_epi32(0x00010064), ten_thousand_one = _mm_set1_epi32(0x00012710);
    const __m128i fours = _mm_packs_epi32(_mm_madd_epi16(pairs(a), hundred_one), _mm_madd_epi16(pairs(b), hundred_one));
    const __m128i eights = _mm_madd_epi16(fours, ten_thousand_one);  // a's first and last eight, then b's
    const auto value = [](std::uint64_t halves) { return (halves & 0xFFFFFFFF) * 100000000 + (halves >> 32); };
    va = value(static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights)));
    vb = value(static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(eights, eights))));
}

inline void digit_span_values(const char* p, DigitSpan a, DigitSpan b, std::uint64_t& va, std::uint64_t& vb) {
    digit_span_values_sse2(p, a, b, va, vb);
}

#else

inline void digit_span_values(const char* p, DigitSpan a, DigitSpan b, std::uint64_t& va, std::uint64_t& vb) {
    digit_span_values_portable(p, a, b, va, vb);
}

#endif

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
