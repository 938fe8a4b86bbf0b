#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "readers/mgf.hpp"
#include "../common/temp_dir.hpp"

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

// The table as text: scans, titles, headers and every peak; or the error.
std::string shown(const std::function<SpectrumTable()>& read) {
    std::string out;
    try {
        for (const auto& [scan, r] : read()) {
            out += std::to_string(scan) + ":" + std::to_string(static_cast<int>(r.keys));
            for (const auto& t : r.titles) out += " t=" + t;
            for (const auto& h : r.headers) out += " h=" + h;
            for (const auto& p : r.peaks) out += " " + std::to_string(p.mz) + "=" + std::to_string(p.intensity);
            out += "\n";
        }
    } catch (const HostError& e) {
        out += std::string("error ") + e.what() + " " + e.context();
    }
    return out;
}

// Scans read again far apart (their peaks start anew, their titles and headers accumulate),
// blocks that never complete, and a bad line at the end: handed over in batches of any size and
// merged, the parts make the table (or the error) of the whole file's reading.
TEST(MgfPartReader, PartsInBatchesMakeTheWholeFilesTable) {
    test::TempDir dir;
    std::string text = "MASS=Monoisotopic\n";
    const int scans[] = {5, 7, 5, 9, 7, 5, 11, 9};
    for (int i = 0; i < 8; ++i) {
        text += "BEGIN IONS\nTITLE=t" + std::to_string(i % 3) + "\nPEPMASS=" + std::to_string(400 + i) +
                ".5\nCHARGE=" + std::to_string(2 + i % 2) + "+\nSCANS=" + std::to_string(scans[i]) + "\n";
        for (int k = 0; k < 40 + 7 * i; ++k) text += std::to_string(100 + 3 * k + i) + ".25 " + std::to_string(k) + "\n";
        text += i == 4 ? "TITLE=late\n1.5 2\n" : "END IONS\n";
        if (i == 2) text += "BEGIN IONS\nTITLE=x\nSCANS=13\n1 2\nEND IONS\n";  // never complete
    }
    for (const std::string& tail : {std::string(), std::string("BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2\nSCANS=3\n1 x\n")}) {
        const std::string path = dir.write("parts.mgf", text + tail);
        for (PeakStorage storage : {PeakStorage::Keep, PeakStorage::CheckOnly}) {
            const std::string whole = shown([&] { return read_mgf(path, storage); });
            for (std::size_t weight : {1u, 60u, 100000u}) {
                EXPECT_EQ(shown([&] {
                              MgfPartReader reader(path, storage);
                              SpectrumTable table;
                              std::vector<MgfScanPart> batch;
                              while (reader.read(batch, weight)) {
                                  for (auto& part : batch) add_scan_part(table, std::move(part));
                                  batch.clear();
                              }
                              return table;
                          }),
                          whole)
                    << weight;
            }
        }
    }
}

std::string failure_of_reading(const std::vector<MgfInput>& inputs, bool at_once) {
    try {
        if (at_once) {
            read_mgf_files(inputs, 4);
        } else {
            for (const auto& in : inputs) read_mgf(in.path, in.peaks);
        }
    } catch (const HostError& e) {
        return std::to_string(static_cast<int>(e.kind())) + " " + e.what() + " " + e.context() + " " + e.filename;
    }
    return "no error";
}

// MGF files bad in different ways (decoding, a peak line, a missing file), in every order: the
// files read at once fail as the first bad one read alone fails.
TEST(ReadMgfFiles, FailAsTheFirstBadFileReadAlone) {
    test::TempDir dir;
    std::string good = "BEGIN IONS\nTITLE=t\nPEPMASS=500.5\nCHARGE=2+\nSCANS=7\n";
    for (int i = 0; i < 3000; ++i) good += std::to_string(100 + i) + ".125 " + std::to_string(i) + ".5\n";
    good += "END IONS\n";
    const std::vector<std::string> files = {
        dir.write("good.mgf", good),
        dir.write("decode.mgf", good + "\xFF\n"),
        dir.write("peak.mgf", "BEGIN IONS\nTITLE=t\nPEPMASS=1\nCHARGE=2\nSCANS=1\n1 x\n" + good),
        dir.file("missing.mgf"),
    };
    std::vector<std::size_t> order = {0, 1, 2, 3};
    do {
        std::vector<MgfInput> inputs;
        for (std::size_t i : order) inputs.push_back({files[i], i % 2 ? PeakStorage::CheckOnly : PeakStorage::Keep});
        EXPECT_EQ(failure_of_reading(inputs, true), failure_of_reading(inputs, false));
    } while (std::next_permutation(order.begin(), order.end()));
    const auto tables = read_mgf_files({{files[0], PeakStorage::Keep}, {files[0], PeakStorage::CheckOnly}});
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].find(7)->peaks.size(), 3000u);
    EXPECT_TRUE(tables[1].find(7)->peaks.empty());
}

} // namespace
} // namespace vombrelle
