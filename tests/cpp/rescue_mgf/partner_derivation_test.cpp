#include <gtest/gtest.h>

#include <cmath>

#include "rescue_mgf/partner_derivation.hpp"

namespace vombrelle::rescue_mgf {
namespace {

TEST(PartnerDerivation, ToleranceIsInclusiveAndRelativeToThePeak) {
    const ArmPartners p{{976.007825, 2}, {960.007825, 2}};
    for (const auto& [peak, confirmed] : std::vector<std::pair<double, bool>>{
             {976.0273, true}, {976.0275, false},
             {976.0273453, true},  // 19.99975 ppm of the peak, 20.00015 of the partner
             {975.9889, true}, {975.98, false}}) {
        EXPECT_EQ(partners_confirmed({{960.0, 1.0}, {peak, 1.0}}, p), confirmed) << peak;
    }
    // |2899.50202 - 2899.4440299596| / 2899.50202 * 1e6 is 20.0 to the last bit.
    const ArmPartners edge{{2899.4440299596, 2}, {960.007825, 2}};
    EXPECT_TRUE(partners_confirmed({{960.0, 1.0}, {2899.50202, 1.0}}, edge));
    EXPECT_FALSE(partners_confirmed({{960.0, 1.0}, {std::nextafter(2899.50202, 3000.0), 1.0}}, edge));
}

TEST(PartnerDerivation, OnePeakCountsForTheLongPartnerOnly) {
    // 976.0075 is within 20 ppm of both partners, 976.03 of the short one only.
    const ArmPartners close{{976.0, 2}, {976.015, 2}};
    EXPECT_FALSE(partners_confirmed({{976.0075, 1.0}}, close));
    EXPECT_TRUE(partners_confirmed({{976.0075, 1.0}, {976.03, 1.0}}, close));
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
    struct Row {
        double first, second, dm;
        std::optional<bool> lighter_first;
    };
    for (const Row& r : {Row{1000.0, 1011.0, 10.0, true}, Row{1009.0, 1000.0, 10.0, false},
                         Row{1000.0, 1011.1, 10.0, std::nullopt},
                         Row{1000.0, 1028.8, 32.0, std::nullopt},  // 10 % plus 1.4e-15
                         Row{1000.0, 1000.0, 0.0, std::nullopt},   // equal masses: never divided
                         Row{1000.0, 2000.0, -1.0, true}}) {
        EXPECT_EQ(two_scan_arm_order(r.first, r.second, HostOperand::of(r.dm)), r.lighter_first)
            << r.first << " " << r.second;
    }
}

} // namespace
} // namespace vombrelle::rescue_mgf
