#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/errors.hpp"
#include "readers/mgf.hpp"

namespace vombrelle {
namespace {

HostError error_of(const std::string& text, PeakStorage storage) {
    try {
        parse_mgf(text, "x.mgf", storage);
    } catch (const HostError& e) {
        return e;
    }
    throw std::runtime_error("no error for:\n" + text);
}

// Checking peaks without storing them must fail exactly where storing them fails, and read
// everything else alike.
TEST(MgfParser, CheckOnlyIsKeepWithoutThePeaks) {
    const std::string head = "BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2+\n";
    for (const std::string& text : {std::string("BEGIN IONS\nSCANS=1518-1520\n"), std::string("\nCHARGE= \t\n"),
                                    head + "SCANS=3\n123\n", head + "SCANS=3\r\n100 1\r\n123 x\r\n"}) {
        const HostError keep = error_of(text, PeakStorage::Keep), check = error_of(text, PeakStorage::CheckOnly);
        EXPECT_EQ(keep.kind(), check.kind()) << text;
        EXPECT_STREQ(keep.what(), check.what()) << text;
        EXPECT_EQ(keep.context(), check.context()) << text;
    }
    // A malformed peak line before the block is complete is no peak line at all.
    EXPECT_NO_THROW(parse_mgf("BEGIN IONS\nTITLE=a\n123\n123 x\nEND IONS\n", "x.mgf", PeakStorage::CheckOnly));
    const std::filesystem::path dir = VOMBRELLE_REALDATA_DIR;
    std::size_t peaks = 0;
    for (const auto& path : {dir / "derived" / "Ribosome_RT60min_28800-28898_MS2.mgf",
                             dir / "derived" / "ms2ms3mixed_10226_MS3.mgf"}) {
        const auto kept = read_mgf(path.string()), checked = read_mgf(path.string(), PeakStorage::CheckOnly);
        ASSERT_EQ(kept.size(), checked.size());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            const auto& [scan, record] = kept.at_position(i);
            const auto& [checked_scan, checked_record] = checked.at_position(i);
            EXPECT_EQ(scan, checked_scan);
            EXPECT_EQ(record.titles, checked_record.titles);
            EXPECT_EQ(record.headers, checked_record.headers);
            EXPECT_TRUE(checked_record.peaks.empty());
            peaks += record.peaks.size();
        }
    }
    EXPECT_GT(peaks, 1000u);
}

} // namespace
} // namespace vombrelle
