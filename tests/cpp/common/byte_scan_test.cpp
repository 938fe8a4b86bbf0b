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

} // namespace
} // namespace vombrelle
