#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "results/pair_consolidation.hpp"

namespace vombrelle {
namespace {

// The keys are split in map order before anything else: a key that is no text (position 1 here,
// an empty text in its place) fails in its turn, after a short key before it and before a short
// key after it.
TEST(XlRecurrenceScore, KeysFailInMapOrder) {
    const std::string key = "High\tHHHH\t1:2:3:4,5\t1000.0\t3\t334.0\tAAK\tP1\td1\tGGK\tP2\td2\t\tF1";
    const ItemFaults second({1}, [](std::size_t) { throw type_error("no text"); });
    const std::vector<HostOperand> scores(3, HostOperand::of(1.0));
    const std::string_view short_key = "a\tb";
    for (const auto& [first, third, kind] : {std::tuple{short_key, std::string_view(key), ErrorKind::Index},
                                             std::tuple{std::string_view(key), short_key, ErrorKind::Type}}) {
        const std::vector<std::string_view> keys{first, "", third};
        try {
            XL_recurrence_score(keys, second, scores);
            FAIL();
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), kind);
        }
    }
}

} // namespace
} // namespace vombrelle
