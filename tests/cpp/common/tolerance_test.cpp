#include <gtest/gtest.h>

#include <cmath>

#include "common/tolerance.hpp"

namespace vombrelle {
namespace {

struct Case {
    const char* what;
    Tolerance tolerance;
    double difference, reference;
    bool within;
};

class ToleranceBounds : public testing::TestWithParam<Case> {};

TEST_P(ToleranceBounds, InclusiveAtTheBoundAndNotOneStepBeyond) {
    const Case& c = GetParam();
    EXPECT_EQ(c.tolerance.contains(c.difference, c.reference), c.within) << c.what;
}

// 0.02 Da of 1000 is 20 ppm to the last bit; the next double up is 20.000000000000004 ppm.
INSTANTIATE_TEST_SUITE_P(
    Kinds, ToleranceBounds,
    testing::Values(Case{"20 ppm, at", kPairTolerance, 0.02, 1000.0, true},
                    Case{"20 ppm, one step beyond", kPairTolerance, 0.020000000000000004, 1000.0, false},
                    Case{"relative to the reference", kPairTolerance, 0.02, 999.9999, false},
                    Case{"a reference of 0 holds nothing", kPairTolerance, 0.0, 0.0, false},
                    Case{"15 ppm, at", kIsotopePeakTolerance, 15.0, 1e6, true},
                    Case{"15 ppm, one step beyond", kIsotopePeakTolerance, 15.000000000000002, 1e6, false},
                    Case{"5.5 Da above", kIsotopeWindow, 5.5, 0.0, true},
                    Case{"5.5 Da below", kIsotopeWindow, -5.5, 0.0, true},
                    Case{"beyond 5.5 Da above", kIsotopeWindow, 5.500000000000001, 0.0, false},
                    Case{"beyond 5.5 Da below", kIsotopeWindow, -5.500000000000001, 0.0, false},
                    Case{"an undefined miss", kIsotopeWindow, NAN, 0.0, false},
                    Case{"a tenth, at", kArmFormTolerance, 1.0, 10.0, true},
                    Case{"a tenth, one step beyond", kArmFormTolerance, 1.0000000000000002, 10.0, false},
                    Case{"a negative reference makes every quotient negative", kArmFormTolerance, 5.0, -1.0, true}));

TEST(Tolerance, AFractionOfZeroRaisesTheHostsDivisionError) {
    try {
        kArmFormTolerance.contains(0.0, 0.0);
        FAIL();
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ZeroDivision);
        EXPECT_STREQ(e.what(), "float division by zero");
    }
}

TEST(Tolerance, PpmErrorDividesBeforeScaling) {
    // 0.3 / 3 x 1000000 is 99999.99999999999; scaled first it would come out 100000.0.
    EXPECT_EQ(ppm_error(0.3, 3.0), 99999.99999999999);
}

} // namespace
} // namespace vombrelle
