#include <gtest/gtest.h>

#include "rescue_mgf/rescue_mgf_writer.hpp"

namespace vombrelle::rescue_mgf {
namespace {

std::string write(const std::function<void(RescueMgfWriter&)>& body, std::size_t buffer = 1 << 20) {
    std::string out;
    RescueMgfWriter w([&](std::string_view s) { out.append(s); }, buffer);
    body(w);
    w.finish();
    return out;
}

TEST(RescueMgfWriter, BlockBytes) {
    const std::vector<Peak> peaks{{1303.6551, 87.0}, {120.08078, 311.5}, {175.11895, 1520.40625}, {99.5, 1e-05}};
    const std::string peak_lines = "99.5 1e-05\n120.08078 311.5\n175.11895 1520.40625\n1303.6551 87.0\nEND IONS\n";
    struct Row {
        const char* title;
        TitleForm form;
        Partner partner;
        HostNumber label;
        const char* head;
    };
    for (const Row& r : {  // quoted titles and the common labels are left to the whole-run comparison
             Row{"t", TitleForm::Plain, {750.5654125000001, 3}, HostNumber(2046.1),
                 "TITLE=FILE: t\nPEPMASS=750.5654125000001\nCHARGE=3+\nRTINSECONDS=1000000\nSCANS=2046.1\n"},
             Row{"t", TitleForm::Plain, {1e-05, 1}, HostNumber(1e16),
                 "TITLE=FILE: t\nPEPMASS=1e-05\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1e+16\n"}}) {
        const std::string got = write([&](RescueMgfWriter& w) { w.write_block(r.title, r.form, r.partner, r.label, 7, peaks); });
        EXPECT_EQ(got, std::string("BEGIN IONS\n") + r.head + peak_lines);
    }
}

TEST(RescueMgfWriter, PeakLinesFollowTheParentAcrossSmallFlushes) {
    const std::string got = write(
        [](RescueMgfWriter& w) {
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 6, {{2.0, 3.0}});
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
        },
        /*buffer=*/16);  // flushed after every block
    const std::string head = "BEGIN IONS\nTITLE=FILE: x\nPEPMASS=1.5\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1\n";
    EXPECT_EQ(got, head + "END IONS\n" + head + "2.0 3.0\nEND IONS\n" + head + "END IONS\n");
}

} // namespace
} // namespace vombrelle::rescue_mgf
