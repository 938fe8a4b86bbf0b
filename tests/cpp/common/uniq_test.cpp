#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/uniq.hpp"

namespace vombrelle {
namespace {

// The in-place form keeps what the copying one keeps, on short lists and past the hashing size.
TEST(Uniq, InPlaceKeepsTheFirstOccurrences) {
    const std::vector<std::string> texts = {"a", "b", "", "A", "ab", "b "};
    std::mt19937_64 rng(99);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string_view> items;
        for (auto n = rng() % 20; n > 0; --n) items.push_back(texts[rng() % texts.size()]);
        const std::vector<std::string_view> expected = uniq(items);
        uniq_in_place(items);
        ASSERT_EQ(items, expected) << "round " << round;
    }
}

} // namespace
} // namespace vombrelle
