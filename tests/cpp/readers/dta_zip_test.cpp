#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "readers/dta_zip.hpp"

namespace vombrelle {
namespace {

TEST(DtaScanNumber, FollowsTheMemberNamePattern) {
    const std::pair<std::string, std::int64_t> accepted[] = {
        {"a.100.100.0.dta", 100}, {"dir/run.0123.5.0.dta", 123}, {"x5.6.0.dta", 5},
        {"x.5.5.0.dta\n", 5},  // "$" also matches before one final line feed
        {"\n5.5.0.dta", 5},    // the non-digit before the scan may be a line feed
        {"\xc3\xa9" "12.3.0.dta", 12}, {"a.b.7.8.0.dta", 7},
    };
    for (const auto& [name, scan] : accepted) {
        const auto got = dta_scan_number(name);
        ASSERT_TRUE(got.has_value()) << name;
        EXPECT_EQ(*got, scan) << name;
    }
    for (const char* name : {"7.7.0.dta", "x.7.7.2.dta", "x.7.7.0.DTA", "notes.txt", "dir/", "x..7.0.dta",
                             "x.7..0.dta", "x.7.7.0.dta\n\n", "a\nb.5.5.0.dta", "x.7.7.00.dta", "x.7.7.0.dta ",
                             "x.7.7.0.dtax", "x.7.0.dta"}) {
        EXPECT_FALSE(dta_scan_number(name).has_value()) << name;
    }
}

} // namespace
} // namespace vombrelle
