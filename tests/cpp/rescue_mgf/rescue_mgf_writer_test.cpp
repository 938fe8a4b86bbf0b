#include <gtest/gtest.h>

#include "rescue_mgf/rescue_mgf_writer.hpp"

namespace vombrelle::rescue_mgf {
namespace {

// Block bytes are the whole-run comparisons' to check; what they cannot show:
TEST(RescueMgfWriter, PeakLinesFollowTheParentAcrossSmallFlushes) {
    std::string got;
    RescueMgfWriter w([&](std::string_view s) { got.append(s); }, /*buffer_bytes=*/16);  // flushed after every block
    w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
    w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 6, {{2.0, 3.0}});
    w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
    w.finish();
    const std::string head = "BEGIN IONS\nTITLE=FILE: x\nPEPMASS=1.5\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1\n";
    EXPECT_EQ(got, head + "END IONS\n" + head + "2.0 3.0\nEND IONS\n" + head + "END IONS\n");
}

} // namespace
} // namespace vombrelle::rescue_mgf
