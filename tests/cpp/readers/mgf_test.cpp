#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "readers/mgf.hpp"

namespace vombrelle {
namespace {

using Titles = std::vector<std::string>;

const SpectrumRecord& record(const SpectrumTable& t, std::int64_t scan) {
    const SpectrumRecord* r = t.find(scan);
    if (r == nullptr) throw std::runtime_error("no scan " + std::to_string(scan));
    return *r;
}

HostError error_of(const std::string& text, PeakStorage storage = PeakStorage::Keep) {
    try {
        parse_mgf(text, "x.mgf", storage);
    } catch (const HostError& e) {
        return e;
    }
    throw std::runtime_error("no error for:\n" + text);
}

TEST(MgfParser, IncompleteBlocksStoreNothingAndCarryTheirState) {
    // No CHARGE: the block never completes, its END IONS is ignored, and a CHARGE line after it
    // completes the carried state, so the later peak lands in scan 5.
    const auto t = parse_mgf(
        "BEGIN IONS\nTITLE=a\n100 1\nPEPMASS=500.5\nSCANS=5\n200 2\nEND IONS\nCHARGE=3+\n300 3\n"
        "BEGIN IONS\nTITLE=b\nPEPMASS=1\nCHARGE=2+\nSCANS=0\n400 4\nEND IONS\n"
        "BEGIN IONS\nTITLE=\nPEPMASS=1\nCHARGE=2+\nSCANS=6\n500 5\nEND IONS\n");
    ASSERT_EQ(t.size(), 3u);
    const auto& r5 = record(t, 5);
    EXPECT_EQ(r5.titles, Titles{"a"});
    EXPECT_EQ(r5.headers, Titles{"500.5 3"});
    ASSERT_EQ(r5.peaks.size(), 1u);
    EXPECT_EQ(r5.peaks[0].mz, 300.0);
    for (std::int64_t scan : {0, 6}) {  // scan 0 counts as none; an empty title as missing
        const auto& r = record(t, scan);
        EXPECT_EQ(r.keys, RecordKeys::IonMassTitleHeader);
        EXPECT_TRUE(r.titles.empty() && r.headers.empty() && r.peaks.empty()) << scan;
    }
    EXPECT_EQ(t.at_position(0).first, 5);
    EXPECT_EQ(t.at_position(1).first, 0);
}

TEST(MgfParser, MalformedLinesRaiseWithTheirLine) {
    struct Bad {
        std::string text;
        ErrorKind kind;
        const char* message;
        const char* context;
    };
    const std::string head = "BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2+\n";
    const Bad cases[] = {
        {"BEGIN IONS\nSCANS=1518-1520\n", ErrorKind::Value, "invalid literal for int() with base 10: '1518-1520'",
         "in file 'x.mgf', line 2"},
        {"PEPMASS=  \n", ErrorKind::Index, "list index out of range", "in file 'x.mgf', line 1"},
        {"\nCHARGE= \t\n", ErrorKind::Index, "string index out of range", "in file 'x.mgf', line 2"},
        {head + "SCANS=3\n123\n", ErrorKind::Index, "list index out of range", "in file 'x.mgf', line 6"},
        {head + "SCANS=3\r\n100 1\r\n123 x\r\n", ErrorKind::Value, "could not convert string to float: 'x'",
         "in file 'x.mgf', line 7"},
    };
    for (const auto& c : cases) {
        for (auto storage : {PeakStorage::Keep, PeakStorage::CheckOnly}) {
            HostError e = error_of(c.text, storage);
            EXPECT_EQ(e.kind(), c.kind) << c.text;
            EXPECT_STREQ(e.what(), c.message) << c.text;
            EXPECT_EQ(e.context(), c.context) << c.text;
        }
    }
    // A malformed peak line before the block is complete is no peak line at all.
    EXPECT_NO_THROW(parse_mgf("BEGIN IONS\nTITLE=a\n123\n123 x\nEND IONS\n"));
}

TEST(MgfParser, CheckOnlyKeepsTitlesAndHeadersButNoPeaks) {
    const std::filesystem::path dir = VOMBRELLE_REALDATA_DIR;
    std::size_t peaks = 0;
    for (const auto& path : {dir / "derived" / "Ribosome_RT60min_28800-28898_MS2.mgf",
                             dir / "derived" / "ms2ms3mixed_10226_MS3.mgf"}) {
        const auto kept = read_mgf(path.string());
        const auto checked = read_mgf(path.string(), PeakStorage::CheckOnly);
        ASSERT_EQ(kept.size(), checked.size());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(kept.at_position(i).first, checked.at_position(i).first);
            EXPECT_EQ(kept.at_position(i).second.titles, checked.at_position(i).second.titles);
            EXPECT_EQ(kept.at_position(i).second.headers, checked.at_position(i).second.headers);
            EXPECT_TRUE(checked.at_position(i).second.peaks.empty());
            peaks += kept.at_position(i).second.peaks.size();
        }
    }
    EXPECT_GT(peaks, 1000u);
}

} // namespace
} // namespace vombrelle
