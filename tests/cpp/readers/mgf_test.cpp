#include <gtest/gtest.h>

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

// Checking peaks without storing them must fail exactly where storing them fails (that both read
// titles and headers alike, the rescue's whole-run comparison sees).
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
}

} // namespace
} // namespace vombrelle
