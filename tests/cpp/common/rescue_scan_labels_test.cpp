#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/rescue_scan_labels.hpp"

namespace vombrelle {
namespace {

std::string text(HostNumber n) {
    std::string s;
    n.append_text(s);
    return s;
}

TEST(RescueScanLabels, EachGroupSizeLabelsItsSpectraApart) {
    EXPECT_EQ(text(rescue_spectrum_label(GroupSize::Four, 7)), "7");
    EXPECT_EQ(text(rescue_spectrum_label(GroupSize::Three, 7)), "1000007");
    EXPECT_EQ(text(rescue_spectrum_label(GroupSize::Two, 7)), "7.1");
    // The rescued builder looks three-scan spectra up where they were written, and shows side B
    // as the two-scan label whatever the size.
    EXPECT_EQ(text(three_scan_rescue_scan(7)), "1000007");
    EXPECT_EQ(text(three_scan_rescue_scan(7.0)), "1000007.0");
    EXPECT_EQ(text(rescued_record_scan(53)), "53.1");
    EXPECT_EQ(text(rescued_record_scan(HostNumber::boolean(true))), "1.1");
}

TEST(RescueScanLabels, AThreeScanLabelBeyond64BitsIsRefused) {
    constexpr std::int64_t kLast = INT64_MAX - 1000000;
    EXPECT_EQ(three_scan_rescue_scan(kLast).as_int(), INT64_MAX);
    try {
        rescue_spectrum_label(GroupSize::Three, kLast + 1);
        FAIL();
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        EXPECT_STREQ(e.what(), "integer result does not fit in 64 bits");
    }
}

} // namespace
} // namespace vombrelle
