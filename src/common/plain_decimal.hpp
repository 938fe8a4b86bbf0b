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
// is known and padding surrounds it, digit_span_decimals reads two numbers at once, sixteen
// digits each (the peak lines' fast path).
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vombrelle {

namespace plain_decimal_detail {

inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                    1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
inline constexpr int kMaxDigits = 19;  // 10^19 - 1 fits 64 bits

inline bool is_digit(char c) { return static_cast<unsigned>(c - '0') < 10; }

// 16 bytes of 0x00, then 16 of 0xFF: the 16 bytes from kRamp + n have their last n lanes set.
// kDigitRamp the same with 0x0F, which masks a digit's character to its value.
alignas(32) inline constexpr unsigned char kRamp[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
alignas(32) inline constexpr unsigned char kDigitRamp[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F};

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

// Where a plain decimal's digits lie in a text: they end at byte `end` (exclusive), number
// `digits` (1 to 16) of which `decimals` follow the point, if there is one; the digits before the
// point lie one byte further back.
struct DigitSpan {
    unsigned end;
    unsigned digits;
    unsigned decimals;
    bool point;
};

// float() of two plain decimals of text at p (17 bytes before each span's end readable), when
// their digits are worth less than 2^53, so that the digits and the power of ten are exact doubles
// and one division rounds correctly; false otherwise. The 16 bytes that end a span are loaded
// twice, in place and one byte back; lane masks take each digit from where it lies and clear the
// bytes before the first, so that the digits stand right-aligned in 16 lanes for a fixed
// reduction.
inline bool digit_span_decimals_portable(const char* p, DigitSpan a, DigitSpan b, double& va, double& vb) {
    using namespace plain_decimal_detail;
    const auto digits_value = [p](DigitSpan s) {
        const char* const end = p + s.end;
        const unsigned in_place = s.point ? s.decimals : s.digits;
        std::uint64_t half[2];  // lanes 0-7 and 8-15
        for (int h = 0; h < 2; ++h) {
            const std::uint64_t mask = load8(kRamp + in_place + 8 * h);
            const std::uint64_t bytes = (load8(end - 16 + 8 * h) & mask) | (load8(end - 17 + 8 * h) & ~mask);
            half[h] = bytes & load8(kDigitRamp + s.digits + 8 * h);
        }
        return eight_digits_value(half[0]) * 100000000 + eight_digits_value(half[1]);
    };
    const std::uint64_t ma = digits_value(a), mb = digits_value(b);
    if (std::max(ma, mb) >= (std::uint64_t(1) << 53)) return false;
    va = static_cast<double>(static_cast<std::int64_t>(ma)) / kPow10[a.decimals];
    vb = static_cast<double>(static_cast<std::int64_t>(mb)) / kPow10[b.decimals];
    return true;
}

#if defined(__SSE2__)

// The same with both spans' lanes in vectors: bytes to 16-bit lanes, then pairs, fours and eights
// of digits by multiply-adds, the two numbers sharing the last steps; the halves of eight digits
// joined as doubles (exact below 2^53), both divisions in one.
[[gnu::always_inline]] inline bool digit_span_decimals_sse2(const char* p, DigitSpan a, DigitSpan b, double& va,
                                                           double& vb) {
    using namespace plain_decimal_detail;
    const auto load = [](const void* q) { return _mm_loadu_si128(static_cast<const __m128i*>(q)); };
    const auto pairs = [&](DigitSpan s) {
        const char* const end = p + s.end;
        const __m128i in_place = load(kRamp + (s.point ? s.decimals : s.digits));
        const __m128i bytes =
            _mm_or_si128(_mm_and_si128(in_place, load(end - 16)), _mm_andnot_si128(in_place, load(end - 17)));
        const __m128i digits = _mm_and_si128(bytes, load(kDigitRamp + s.digits));
        const __m128i zero = _mm_setzero_si128(), ten_one = _mm_set1_epi32(0x0001000A);
        return _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), ten_one),
                               _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), ten_one));
    };
    const __m128i hundred_one = _mm_set1_epi32(0x00010064), ten_thousand_one = _mm_set1_epi32(0x00012710);
    const __m128i fours = _mm_packs_epi32(_mm_madd_epi16(pairs(a), hundred_one), _mm_madd_epi16(pairs(b), hundred_one));
    const __m128i eights = _mm_madd_epi16(fours, ten_thousand_one);  // a's first and last eight, then b's
    const __m128d first = _mm_cvtepi32_pd(_mm_shuffle_epi32(eights, _MM_SHUFFLE(3, 1, 2, 0)));
    const __m128d last = _mm_cvtepi32_pd(_mm_shuffle_epi32(eights, _MM_SHUFFLE(2, 0, 3, 1)));
    // Exact where the sum is below 2^53; at or above, rounding cannot bring it below.
    const __m128d digits = _mm_add_pd(_mm_mul_pd(first, _mm_set1_pd(1e8)), last);
    if (_mm_movemask_pd(_mm_cmpge_pd(digits, _mm_set1_pd(0x1p53))) != 0) return false;
    const __m128d v = _mm_div_pd(digits, _mm_set_pd(kPow10[b.decimals], kPow10[a.decimals]));
    va = _mm_cvtsd_f64(v);
    vb = _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
    return true;
}

inline bool digit_span_decimals(const char* p, DigitSpan a, DigitSpan b, double& va, double& vb) {
    return digit_span_decimals_sse2(p, a, b, va, vb);
}

#else

inline bool digit_span_decimals(const char* p, DigitSpan a, DigitSpan b, double& va, double& vb) {
    return digit_span_decimals_portable(p, a, b, va, vb);
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
