#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "rescue_mgf/partner_derivation.hpp"

namespace vombrelle::rescue_mgf {
namespace {

const Precursor kMs2{0.0, 4, 3000.0};
const LinkerArgument kDeficit = LinkerArgument::number(50.0);

TEST(PartnerDerivation, WorkedExample) {
    const ArmPartners p = derive_partners_in_order(kMs2, {1000.0, 2}, {1032.0, 2}, kDeficit);
    EXPECT_EQ(p.long_partner.mz, 976.007825);
    EXPECT_EQ(p.short_partner.mz, 960.007825);
    EXPECT_EQ(p.long_partner.charge, 2);
    EXPECT_TRUE(partners_confirmed({{976.01, 1.0}, {960.0, 1.0}}, p));
}

TEST(PartnerDerivation, OrderAndCharges) {
    // Equal masses: the second scan counts as the lighter one.
    const ArmPartners equal = derive_partners_in_order(kMs2, {1000.0, 1}, {1000.0, 3}, kDeficit);
    EXPECT_EQ(equal.long_partner.charge, 1);   // 4 - 3, from the second scan
    EXPECT_EQ(equal.short_partner.charge, 3);  // 4 - 1
    // Heavier first: the partners swap.
    const ArmPartners swapped = derive_partners_in_order(kMs2, {1032.0, 2}, {1000.0, 2}, kDeficit);
    EXPECT_EQ(swapped.long_partner.mz, 976.007825);
    // A charge of 0 is taken as 1 (the m/z is then the MH+); a negative one stays.
    const ArmPartners zero = derive_partners_in_order(kMs2, {1000.0, 4}, {1032.0, 5}, kDeficit);
    EXPECT_EQ(zero.long_partner.charge, 1);
    EXPECT_EQ(zero.long_partner.mz, 1951.007825);
    EXPECT_EQ(zero.short_partner.charge, -1);
    EXPECT_LT(zero.short_partner.mz, 0.0);
}

TEST(PartnerDerivation, ToleranceIsInclusiveAndRelativeToThePeak) {
    const ArmPartners p{{976.007825, 2}, {960.007825, 2}};
    const Peak short_peak{960.0, 1.0};
    struct Row {
        double peak;
        bool confirmed;
    };
    for (const Row& r : {Row{976.0273, true}, Row{976.0275, false},
                         Row{976.0273453, true},  // 19.99975 ppm of the peak, 20.00015 of the partner
                         Row{975.9889, true}, Row{975.98, false}}) {
        EXPECT_EQ(partners_confirmed({short_peak, {r.peak, 1.0}}, p), r.confirmed) << r.peak;
    }
}

TEST(PartnerDerivation, OnePeakCountsForTheLongPartnerOnly) {
    // 976.0075 is within 20 ppm of both partners, 976.03 of the short one only.
    const ArmPartners close{{976.0, 2}, {976.015, 2}};
    EXPECT_FALSE(partners_confirmed({{976.0075, 1.0}}, close));
    EXPECT_TRUE(partners_confirmed({{976.0075, 1.0}, {976.03, 1.0}}, close));
    EXPECT_FALSE(partners_confirmed({}, close));
}

TEST(PartnerDerivation, NonPositivePeaksConfirmNothing) {
    // A negative peak makes every relative error negative, and so "within" tolerance of the long
    // partner; a peak at 0 divides by zero.
    const ArmPartners p{{976.007825, 2}, {960.0, 2}};
    EXPECT_TRUE(partners_confirmed({{960.0, 1.0}, {976.0, 1.0}}, p));
    EXPECT_FALSE(partners_confirmed({{960.0, 1.0}, {-3.0, 1.0}, {0.0, 1.0}, {-0.0, 1.0}}, p));
    const ArmPartners at_zero{{0.0, 1}, {960.0, 2}};
    EXPECT_FALSE(partners_confirmed({{960.0, 1.0}, {0.0, 1.0}}, at_zero));
}

TEST(TwoScanArmOrder, TenPercentOfLinkerDm) {
    const LinkerArgument dm10 = LinkerArgument::number(10.0), dm32 = LinkerArgument::number(32.0);
    EXPECT_EQ(two_scan_arm_order(1000.0, 1009.0, dm10), true);
    EXPECT_EQ(two_scan_arm_order(1000.0, 1011.0, dm10), true);
    EXPECT_EQ(two_scan_arm_order(1009.0, 1000.0, dm10), false);
    EXPECT_EQ(two_scan_arm_order(1000.0, 1008.9, dm10), std::nullopt);
    EXPECT_EQ(two_scan_arm_order(1000.0, 1011.1, dm10), std::nullopt);
    EXPECT_EQ(two_scan_arm_order(1000.0, 1028.8, dm32), std::nullopt);  // 10 % plus 1.4e-15
    EXPECT_EQ(two_scan_arm_order(1000.0, 1000.0, LinkerArgument::number(0.0)), std::nullopt);
    EXPECT_EQ(two_scan_arm_order(1000.0, 2000.0, LinkerArgument::number(-1.0)), true);
    EXPECT_THROW(two_scan_arm_order(1000.0, 1001.0, LinkerArgument::number(0.0)), HostError);
    LinkerArgument text;
    text.bad_type = "str";
    try {
        two_scan_arm_order(1000.0, 1001.0, text);
        FAIL();
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Type);
        EXPECT_STREQ(e.what(), "unsupported operand type(s) for -: 'str' and 'float'");
    }
}

} // namespace
} // namespace vombrelle::rescue_mgf
