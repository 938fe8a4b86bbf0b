#include <gtest/gtest.h>

#include <string>

#include "common/errors.hpp"
#include "common/precursor.hpp"

namespace vombrelle {
namespace {

TEST(Precursor, TheFirstTwoItemsAreMzAndCharge) {
    for (const PrecursorReading reading :
         {PrecursorReading::MzFirst, PrecursorReading::BothThenMz, PrecursorReading::BothThenCharge}) {
        const Precursor p = parse_precursor(" 500.5\t2 scan=7", reading);
        EXPECT_EQ(p.mz, 500.5);
        EXPECT_EQ(p.charge, 2);
        EXPECT_EQ(p.mh, 999.992175);  // (500.5 - 1.007825) * 2 + 1.007825
    }
}

// Which error a malformed entry raises depends on the order the reading reaches its items in.
struct Malformed {
    const char* entry;
    PrecursorReading reading;
    ErrorKind kind;
    const char* message;
};

class PrecursorErrors : public testing::TestWithParam<Malformed> {};

TEST_P(PrecursorErrors, FollowTheReadingsOrder) {
    const Malformed& c = GetParam();
    try {
        parse_precursor(c.entry, c.reading);
        FAIL() << c.entry;
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), c.kind) << c.entry;
        EXPECT_EQ(std::string(e.what()), c.message) << c.entry;
    }
}

constexpr const char* kNoItem = "list index out of range";
constexpr const char* kBadMz = "could not convert string to float: 'abc'";
constexpr const char* kBadCharge = "invalid literal for int() with base 10: 'x'";

INSTANTIATE_TEST_SUITE_P(
    Readings, PrecursorErrors,
    testing::Values(Malformed{" ", PrecursorReading::MzFirst, ErrorKind::Index, kNoItem},
                    Malformed{" ", PrecursorReading::BothThenCharge, ErrorKind::Index, kNoItem},
                    Malformed{"abc", PrecursorReading::MzFirst, ErrorKind::Value, kBadMz},
                    Malformed{"500.5", PrecursorReading::MzFirst, ErrorKind::Index, kNoItem},
                    Malformed{"abc", PrecursorReading::BothThenMz, ErrorKind::Index, kNoItem},
                    Malformed{"abc", PrecursorReading::BothThenCharge, ErrorKind::Index, kNoItem},
                    Malformed{"abc x", PrecursorReading::MzFirst, ErrorKind::Value, kBadMz},
                    Malformed{"abc x", PrecursorReading::BothThenMz, ErrorKind::Value, kBadMz},
                    Malformed{"abc x", PrecursorReading::BothThenCharge, ErrorKind::Value, kBadCharge}));

} // namespace
} // namespace vombrelle
