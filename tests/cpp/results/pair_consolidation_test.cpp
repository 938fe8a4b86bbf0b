#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "results/pair_consolidation.hpp"

namespace vombrelle {
namespace {

// Keys are split in map order first: a key that is no text (the second here, an empty text in its
// place) fails in its turn, after a short key before it, before a short key after it.
TEST(XlRecurrenceScore, KeysFailInMapOrder) {
    const std::string key = "High\tHHHH\t1:2:3:4,5\t1000.0\t3\t334.0\tAAK\tP1\td1\tGGK\tP2\td2\t\tF1", short_key = "a\tb";
    const ItemFaults second({1}, [](std::size_t) { throw type_error("no text"); });
    for (const auto& [first, third, kind] : {std::tuple{short_key, key, ErrorKind::Index}, {key, short_key, ErrorKind::Type}}) {
        try {
            XL_recurrence_score(std::vector<std::string_view>{first, "", third}, second, std::vector<HostOperand>(3));
            FAIL();
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), kind);
        }
    }
}

} // namespace
} // namespace vombrelle
