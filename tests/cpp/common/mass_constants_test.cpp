#include <gtest/gtest.h>

#include "common/mass_constants.hpp"

namespace vombrelle {
namespace {

// (1000.5 - 1.007825) * 2 + 1.007825 and (2357 - 1.007825) / 3 + 1.007825.
TEST(MassConstants, ConversionsInTheHostsArithmeticMatchTheDoubleOnes) {
    EXPECT_EQ(mh_from_mz(1000.5, 2), 1999.9921749999999);
    EXPECT_EQ(mz_from_mh(2357.0, 3), 786.3385499999999);
    const HostNumber mh = mh_from_mz(HostNumber(1000.5), HostNumber(2));
    EXPECT_FALSE(mh.is_int());
    EXPECT_EQ(mh.as_double(), 1999.9921749999999);
    // An int MH+ and an int charge still give a float; so does a bool charge (True is 1).
    EXPECT_EQ(mz_from_mh(HostNumber(2357), HostNumber(3)).as_double(), 786.3385499999999);
    EXPECT_EQ(mz_from_mh(HostNumber(2357), HostNumber::boolean(true)).as_double(), 2357.0);
}

TEST(MassConstants, AChargeOfZeroIsTheHostsDivisionError) {
    try {
        mz_from_mh(HostNumber(2357), HostNumber(0));
        FAIL();
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ZeroDivision);
        EXPECT_STREQ(e.what(), "float division by zero");
    }
    EXPECT_EQ(mh_from_mz(HostNumber(1000.5), HostNumber(0)).as_double(), 1.007825);
}

} // namespace
} // namespace vombrelle
