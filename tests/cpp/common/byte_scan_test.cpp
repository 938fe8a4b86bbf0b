#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>

#include "common/byte_scan.hpp"

namespace vombrelle {
namespace {

// Both forms against a byte-by-byte search, at every offset and at lengths around the word and
// vector sizes: line breaks and bytes beyond ASCII are planted at each position over the rounds.
TEST(ByteScan, BothFormsFindWhatAByteByByteSearchFinds) {
    std::mt19937_64 rng(64);
    const char fillers[] = {'a', '\n', '\r', '\x80', '\xC3', '\xFF', '\x7F', '\0', '\x8A', '\x8D'};
    for (int round = 0; round < 2000; ++round) {
        std::string s(160, 'x');
        for (int k = static_cast<int>(rng() % 4); k > 0; --k) s[rng() % s.size()] = fillers[rng() % sizeof fillers];
        s[round % s.size()] = fillers[round % sizeof fillers];
        for (std::size_t at = 0; at < 32; ++at) {
            for (std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(15), std::size_t(16), std::size_t(17),
                                  std::size_t(63), std::size_t(64), std::size_t(65), s.size() - at}) {
                const char* p = s.data() + at;
                const std::size_t brk = std::min(std::string_view(p, n).find_first_of("\r\n"), n);
                std::size_t ascii = 0;
                while (ascii < n && static_cast<unsigned char>(p[ascii]) < 0x80) ++ascii;
                ASSERT_EQ(find_line_break_portable(p, n), brk) << round << " " << at << " " << n;
                ASSERT_EQ(ascii_prefix_portable(p, n), ascii) << round << " " << at << " " << n;
#if defined(__SSE2__)
                ASSERT_EQ(find_line_break_sse2(p, n), brk) << round << " " << at << " " << n;
                ASSERT_EQ(ascii_prefix_sse2(p, n), ascii) << round << " " << at << " " << n;
#endif
            }
            if (at + 64 > s.size()) continue;
            std::uint64_t mask = 0;
            for (std::size_t i = 0; i < 64; ++i) {
                if (s[at + i] == '\n' || s[at + i] == '\r') mask |= std::uint64_t(1) << i;
            }
            ASSERT_EQ(line_break_mask64_portable(s.data() + at), mask) << round << " " << at;
#if defined(__SSE2__)
            ASSERT_EQ(line_break_mask64_sse2(s.data() + at), mask) << round << " " << at;
#endif
        }
    }
}

// The classes of 32 bytes, both forms against a byte-by-byte test, at every offset: the bytes
// next to each class's edges ('/' and ':' around the digits, the high-bit twins of '0', '.', ' ')
// are planted among the classes' own.
TEST(ByteScan, NumberClassesAreThoseOfEachByte) {
    std::mt19937_64 rng(32);
    const char bytes[] = {'0', '5', '9', '/', ':', '.', ' ', '\t', '\n', '\x0b', '-', 'e', '\0',
                          '\xB0', '\xB9', '\xAE', '\xA0', '\x89', '\xFF', '\x7F'};
    for (int round = 0; round < 3000; ++round) {
        std::string s(96, '0');
        for (char& c : s) c = bytes[rng() % sizeof bytes];
        for (std::size_t at = 0; at + 32 <= s.size(); ++at) {
            NumberBytes32 want{0, 0, 0};
            for (std::size_t i = 0; i < 32; ++i) {
                const char c = s[at + i];
                want.digits |= std::uint32_t{c >= '0' && c <= '9'} << i;
                want.points |= std::uint32_t{c == '.'} << i;
                want.blanks |= std::uint32_t{c == ' ' || c == '\t'} << i;
            }
            const auto same = [&](NumberBytes32 got) {
                return got.digits == want.digits && got.points == want.points && got.blanks == want.blanks;
            };
            ASSERT_TRUE(same(number_bytes32_portable(s.data() + at))) << round << " " << at;
#if defined(__SSE2__)
            ASSERT_TRUE(same(number_bytes32_sse2(s.data() + at))) << round << " " << at;
#endif
        }
    }
}

} // namespace
} // namespace vombrelle
