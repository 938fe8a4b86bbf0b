#include <gtest/gtest.h>

#include "rescue_fixture.hpp"

namespace vombrelle::test {
namespace {

MismatchRescueRequest mismatch(HostNumber mode, std::array<HostNumber, 4> scans) {
    static const Ms3MassList empty;
    return {mode, {&empty, &empty, &empty, &empty}, scans, 50, 2357.5, 3, 158.0, 54.0};
}

TEST(RescueDispatch, ThreeScanRescueReadsLeaveEntriesUnderTheShiftedScans) {
    PsmFixture f;
    f.add(f.tables.ms3, 51, {"PEPkA", 1000.5});
    f.add(f.tables.rescue, 1000052, {"PEPkB", 1200.25});
    NativeCalls calls;
    bool returned = false;
    MismatchRescueRequest r = mismatch(3, {51, 52, 52, 53});
    r.ms2_mass = 2357.742175;
    const CrossLinkScoreMap map = calls.rescue_prec_mismatch(r, f.tables, returned);
    ASSERT_TRUE(returned);
    // The first call reads scan 52 of the MS3 search and 1000053 of the rescue search unasked; the
    // second call then finds 52 an empty entry, so its side A has nothing to offer.
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at_position(0).first,
              "High\tH_H_\t51:52:1000052.1:1000053.1,50\t2357.742175\t3\t786.5859416666666\tPEPkA\tP1\tprotein one\t"
              "PEPkB\tP1\tprotein one\tMS2_Rescued_XL");
    EXPECT_EQ(map.at_position(1).first, "");
    for (const PsmScanEntry* e : {f.tables.ms3.high.find(52), f.tables.rescue.high.find(1000053)}) {
        EXPECT_TRUE(e != nullptr && e->made_by_read);
    }
    EXPECT_FALSE(f.tables.ms3.med_high.contains(52));
}

} // namespace
} // namespace vombrelle::test
