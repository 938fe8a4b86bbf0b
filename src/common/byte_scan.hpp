// Byte scans at the heart of the text readers, many bytes at a time: where the next line break
// is, how long a run of ASCII bytes is, which of 64 bytes end lines, which of 32 bytes can make up
// or separate plain decimal numbers. Each comes in two forms that
// must agree byte for byte: a portable one working on 8-byte words, and one on 16-byte SSE2
// vectors (part of every x86-64 target, so no run-time dispatch is needed). The readers call the
// plain names, which pick the vector form where it was compiled in; the tests compare both forms
// at every offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vombrelle {

// Readable bytes (of unspecified value) that a reader keeps before the start and after the end of
// every line it hands out, so that a scan of a line may load whole words and vectors across its
// ends.
inline constexpr std::size_t kLinePadding = 64;

// Bit i for byte p[i] of 32 bytes, by class.
struct NumberBytes32 {
    std::uint32_t digits;  // '0' to '9'
    std::uint32_t points;  // '.'
    std::uint32_t blanks;  // ' ' and '\t'
};

namespace byte_scan_detail {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The high bit of every byte of `w` that equals `b` (exact: no false hits from carries, as the
// per-byte sum below never carries across bytes).
inline std::uint64_t bytes_equal(std::uint64_t w, unsigned char b) {
    const std::uint64_t x = w ^ (kOnes * b);
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((x & low7) + low7) | x | low7);
}

inline std::uint64_t line_break_bytes(std::uint64_t w) { return bytes_equal(w, '\n') | bytes_equal(w, '\r'); }

// The high bit of every byte of `w` that is an ASCII digit (the sums stay within their bytes).
inline std::uint64_t digit_bytes(std::uint64_t w) {
    const std::uint64_t low7 = w & 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t from_0 = low7 + 0x5050505050505050ULL;  // high bit: low7 >= '0'
    const std::uint64_t past_9 = low7 + 0x4646464646464646ULL;  // high bit: low7 > '9'
    return from_0 & ~past_9 & ~w & kHighs;
}

// Bit i from the high bit of byte i of a word, by one multiplication.
inline std::uint32_t gather_high_bits(std::uint64_t highs) {
    return static_cast<std::uint32_t>(((highs >> 7) * 0x0102040810204080ULL) >> 56);
}

// Index of the lowest flagged byte of a little-endian word mask (mask != 0).
inline std::size_t first_flagged(std::uint64_t mask) {
    return static_cast<std::size_t>(__builtin_ctzll(mask)) / 8;
}

} // namespace byte_scan_detail

// Index of the first '\n' or '\r' in [p, p + n), or n; words of 8 bytes.
inline std::size_t find_line_break_portable(const char* p, std::size_t n) {
    using namespace byte_scan_detail;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t hit = line_break_bytes(load8(p + i));
        if (hit != 0) return i + first_flagged(hit);
    }
    for (; i < n; ++i) {
        if (p[i] == '\n' || p[i] == '\r') return i;
    }
    return n;
}

// Bit i set where p[i] is '\n' or '\r', for the 64 bytes at p; words of 8 bytes, each byte's
// flag gathered into a bit by one multiplication.
inline std::uint64_t line_break_mask64_portable(const char* p) {
    using namespace byte_scan_detail;
    std::uint64_t mask = 0;
    for (int k = 0; k < 8; ++k) mask |= std::uint64_t{gather_high_bits(line_break_bytes(load8(p + 8 * k)))} << (8 * k);
    return mask;
}

// The classes of the 32 bytes at p; words of 8 bytes.
inline NumberBytes32 number_bytes32_portable(const char* p) {
    using namespace byte_scan_detail;
    NumberBytes32 c{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const std::uint64_t w = load8(p + 8 * k);
        c.digits |= gather_high_bits(digit_bytes(w)) << (8 * k);
        c.points |= gather_high_bits(bytes_equal(w, '.')) << (8 * k);
        c.blanks |= gather_high_bits(bytes_equal(w, ' ') | bytes_equal(w, '\t')) << (8 * k);
    }
    return c;
}

// Length of the run of ASCII bytes (below 0x80) at the start of [p, p + n); words of 8 bytes.
inline std::size_t ascii_prefix_portable(const char* p, std::size_t n) {
    using namespace byte_scan_detail;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        if ((load8(p + i) | load8(p + i + 8) | load8(p + i + 16) | load8(p + i + 24)) & kHighs) break;
    }
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t high = load8(p + i) & kHighs;
        if (high != 0) return i + first_flagged(high);
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(p[i]) >= 0x80) return i;
    }
    return n;
}

#if defined(__SSE2__)

namespace byte_scan_detail {

inline unsigned line_break_bits16(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

} // namespace byte_scan_detail

inline std::size_t find_line_break_sse2(const char* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const unsigned hit = byte_scan_detail::line_break_bits16(p + i);
        if (hit != 0) return i + static_cast<std::size_t>(__builtin_ctz(hit));
    }
    return i + find_line_break_portable(p + i, n - i);
}

inline std::uint64_t line_break_mask64_sse2(const char* p) {
    using byte_scan_detail::line_break_bits16;
    return std::uint64_t{line_break_bits16(p)} | std::uint64_t{line_break_bits16(p + 16)} << 16 |
           std::uint64_t{line_break_bits16(p + 32)} << 32 | std::uint64_t{line_break_bits16(p + 48)} << 48;
}

[[gnu::always_inline]] inline NumberBytes32 number_bytes32_sse2(const char* p) {
    const auto classes = [](__m128i v, unsigned& digits, unsigned& points, unsigned& blanks) {
        const __m128i from_0 = _mm_sub_epi8(v, _mm_set1_epi8('0'));
        const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(from_0, _mm_set1_epi8(9)), from_0);
        const __m128i blank =
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
        digits = static_cast<unsigned>(_mm_movemask_epi8(digit));
        points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))));
        blanks = static_cast<unsigned>(_mm_movemask_epi8(blank));
    };
    unsigned d0, p0, b0, d1, p1, b1;
    classes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), d0, p0, b0);
    classes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), d1, p1, b1);
    return {d0 | d1 << 16, p0 | p1 << 16, b0 | b1 << 16};
}

inline std::size_t ascii_prefix_sse2(const char* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const auto* v = reinterpret_cast<const __m128i*>(p + i);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                                         _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    for (; i + 16 <= n; i += 16) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
    }
    return i + ascii_prefix_portable(p + i, n - i);
}

inline std::size_t find_line_break(const char* p, std::size_t n) { return find_line_break_sse2(p, n); }
inline std::uint64_t line_break_mask64(const char* p) { return line_break_mask64_sse2(p); }
inline std::size_t ascii_prefix(const char* p, std::size_t n) { return ascii_prefix_sse2(p, n); }
inline NumberBytes32 number_bytes32(const char* p) { return number_bytes32_sse2(p); }

#else

inline std::size_t find_line_break(const char* p, std::size_t n) { return find_line_break_portable(p, n); }
inline std::uint64_t line_break_mask64(const char* p) { return line_break_mask64_portable(p); }
inline std::size_t ascii_prefix(const char* p, std::size_t n) { return ascii_prefix_portable(p, n); }
inline NumberBytes32 number_bytes32(const char* p) { return number_bytes32_portable(p); }

#endif

} // namespace vombrelle
