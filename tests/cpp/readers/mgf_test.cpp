#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "readers/mgf.hpp"
#include "../common/temp_dir.hpp"
#include "mgf_line_by_line.hpp"

namespace vombrelle {
namespace {

// The text as a file of one name ("x.mgf" in the test's folder), read by read_mgf.
SpectrumTable read_text(const std::string& text, PeakStorage storage) {
    static const test::TempDir dir;
    return read_mgf(dir.write("x.mgf", text), storage);
}

HostError error_of(const std::string& text, PeakStorage storage) {
    try {
        read_text(text, storage);
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
    EXPECT_NO_THROW(read_text("BEGIN IONS\nTITLE=a\n123\n123 x\nEND IONS\n", PeakStorage::CheckOnly));
}

// A table as text: scans in order with their keys, titles, headers and peaks' bits; or the error.
std::string table_or_error(const std::function<SpectrumTable()>& read) {
    try {
        const SpectrumTable t = read();
        std::string out;
        for (const auto& [scan, rec] : t) {
            out += std::to_string(scan) + " " + std::to_string(static_cast<int>(rec.keys)) + "\n";
            for (const auto& title : rec.titles) out += " t " + title + "\n";
            for (const auto& header : rec.headers) out += " h " + header + "\n";
            for (const Peak& p : rec.peaks) {
                out += " p " + std::to_string(std::bit_cast<std::uint64_t>(p.mz)) + " " +
                       std::to_string(std::bit_cast<std::uint64_t>(p.intensity)) + "\n";
            }
        }
        return out;
    } catch (const HostError& e) {
        return std::to_string(static_cast<int>(e.kind())) + " " + e.what() + " " + e.context();
    }
}

// A scan read again holds its last block's peaks alone.
TEST(ReadMgf, AScanReadAgainTakesItsLastPeaks) {
    const std::string block = "BEGIN IONS\nTITLE=t\nPEPMASS=400.5\nCHARGE=2+\nSCANS=5\n";
    const SpectrumTable t = read_text(block + "100 1\n101 2\nEND IONS\n" + block + "200 3\nEND IONS\n", PeakStorage::Keep);
    ASSERT_EQ(t.find(5)->peaks.size(), 1u);
    EXPECT_EQ(t.find(5)->peaks[0].mz, 200.0);
}

// Files of many blocks whose peak lines are mostly the usual ones, among lines the file reader's
// inner loop must leave to the line-by-line parser (peak lines with more or other whitespace, in
// other spellings, longer than the fast path reads, repeating an m/z, before a block is complete,
// bad ones) and line ends of every kind: the file reads to what feeding the parser its lines one
// by one gives, peaks stored or checked.
TEST(ReadMgf, TheInnerLoopReadsWhatTheParserReadsLineByLine) {
    std::mt19937_64 rng(4242);
    const char* const unusual[] = {"100.5  7\t", " 100.5 7", "100.5\t7 extra", "1e2 5", "100.5 1_0", "100.5 +7",
                                   "100.5\xC2\xA0""7", "100.123456789012345678 7.25", "100.5 7.1234567",
                                   "100.5 9007199254740993", "50 1", "100.5 -0.0"};
    const char* const bad[] = {"100.5", "100.5 x", "1 \xD9\xA3x", "7 ."};
    const char* const ends[] = {"\n", "\n", "\n", "\r\n", "\r"};
    test::TempDir dir;
    for (int file = 0; file < 60; ++file) {
        const char* end = ends[file % std::size(ends)];
        std::string text = "MASS=Monoisotopic";
        text += end;
        for (int block = 0; block < 40; ++block) {
            const auto line = [&](const std::string& l) { text += l + (rng() % 50 == 0 ? "\r\n" : end); };
            line("BEGIN IONS");
            line("TITLE=run." + std::to_string(block) + " \xC3\xA9");
            if (rng() % 4 == 0) line("123.4 56");  // before the block is complete: no peak
            line("PEPMASS=" + std::to_string(400 + block) + ".25 1000");
            line("CHARGE=" + std::to_string(2 + block % 3) + "+");
            line("SCANS=" + std::to_string(1 + block % 30));  // some scans repeat
            double mz = 100;
            for (int k = 0, n = static_cast<int>(rng() % 300); k < n; ++k) {
                mz += 0.001 + static_cast<double>(rng() % 100000) / 1000;
                char buf[64];
                std::snprintf(buf, sizeof buf, "%.*f %.*f", static_cast<int>(rng() % 7), mz, static_cast<int>(rng() % 8),
                              static_cast<double>(rng() % 100000000) / 100);
                const unsigned kind = static_cast<unsigned>(rng() % 40);
                line(kind == 0 ? unusual[rng() % std::size(unusual)] : kind == 1 && file % 3 == 0 && rng() % 20 == 0
                                                                             ? bad[rng() % std::size(bad)]
                                                                             : buf);
            }
            line("END IONS");
        }
        const std::string path = dir.write("f.mgf", text);
        for (const PeakStorage storage : {PeakStorage::Keep, PeakStorage::CheckOnly}) {
            ASSERT_EQ(table_or_error([&] { return read_mgf(path, storage); }),
                      table_or_error([&] { return test::read_mgf_line_by_line(path, storage); }))
                << "file " << file;
        }
    }
}

} // namespace
} // namespace vombrelle
