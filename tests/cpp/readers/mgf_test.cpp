#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "readers/mgf.hpp"

namespace vombrelle {
namespace {

using Titles = std::vector<std::string>;

std::string block(const std::string& scans, const std::string& extra = "", const std::string& peaks = "100 1\n") {
    return "BEGIN IONS\nTITLE=t" + scans + "\nPEPMASS=500.5 123\nCHARGE=2+\n" + extra + "SCANS=" + scans +
           "\n" + peaks + "END IONS\n";
}

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

TEST(MgfParser, ReadsABlockIntoTitlesHeaderAndPeaksInFileOrder) {
    const auto t = parse_mgf(
        "MASS=Monoisotopic\nBEGIN IONS\nTITLE=Example.1518.1518.4 File:\"a.raw\", NativeID:\"scan=1518\"\n"
        "PEPMASS=675.85168 21742.94727\nCHARGE=4+\nRTINSECONDS=636\nSCANS=1518\n"
        "280.04694 1418.4\n222.34184 1301.2\n280.04694 9.1234567\nEND IONS\n");
    ASSERT_EQ(t.size(), 1u);
    const auto& r = record(t, 1518);
    EXPECT_EQ(r.keys, RecordKeys::IonMassTitleHeader);
    // The title ends at its second "=".
    EXPECT_EQ(r.titles, Titles{"Example.1518.1518.4 File:\"a.raw\", NativeID:\"scan"});
    EXPECT_EQ(r.headers, Titles{"675.85168 4"});
    ASSERT_EQ(r.peaks.size(), 2u);  // a repeated m/z keeps its place and takes the later value
    EXPECT_EQ(r.peaks[0].mz, 280.04694);
    EXPECT_EQ(r.peaks[0].intensity, 9.12346);
    EXPECT_EQ(r.peaks[1].mz, 222.34184);
}

TEST(MgfParser, KeyRulesApplyOnlyToLinesStartingWithTheKey) {
    // Upper-case key words inside a title, and keys that merely end in one, change nothing.
    const auto t = parse_mgf(
        "BEGIN IONS\nTITLE=run SCANS: 7 CHARGE=9+ PEPMASS=1\nNUM_SCANS=99\nPEPMASS=500.5\nCHARGE=2+\n"
        "SCANS=7\n100 1\nEND IONS\n");
    ASSERT_EQ(t.size(), 1u);
    const auto& r = record(t, 7);
    EXPECT_EQ(r.titles, Titles{"run SCANS: 7 CHARGE"});
    EXPECT_EQ(r.headers, Titles{"500.5 2"});
    EXPECT_EQ(r.peaks.size(), 1u);
}

TEST(MgfParser, ChargeIsTheLeadingRunOfDigitsElseTheFirstCharacter) {
    const std::pair<const char*, const char*> cases[] = {
        {"10+", "10"}, {"2+ and 3+", "2"}, {" 4+ ", "4"}, {"+2", "+"}, {"\xc3\xbc" "2", "\xc3\xbc"}, {"3", "3"},
    };
    for (const auto& [value, charge] : cases) {
        const auto t = parse_mgf(std::string("BEGIN IONS\nTITLE=a\nPEPMASS=500.5\nCHARGE=") + value +
                                 "\nSCANS=3\nEND IONS\n");
        EXPECT_EQ(record(t, 3).headers, Titles{std::string("500.5 ") + charge}) << value;
    }
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

TEST(MgfParser, RepeatedScansAccumulateTitlesAndKeepTheFinalPeaks) {
    const auto t = parse_mgf(block("9", "", "100 1\n101 1\n") + block("8") +
                             "BEGIN IONS\nTITLE=other\nPEPMASS=600\nCHARGE=3+\nSCANS=9\n700 7\n"
                             "TITLE=changed\n800 8\nEND IONS\n");
    const auto& r = record(t, 9);
    EXPECT_EQ(r.titles, (Titles{"t9", "other", "changed"}));
    EXPECT_EQ(r.headers, (Titles{"500.5 2", "600 3"}));
    ASSERT_EQ(r.peaks.size(), 2u);
    EXPECT_EQ(r.peaks[0].mz, 700.0);
    EXPECT_EQ(t.at_position(0).first, 9);  // order of first SCANS line
}

TEST(MgfParser, DelimitersMatchWholeStrippedLinesInUpperCaseOnly) {
    const auto t = parse_mgf(" \tBEGIN IONS \r\nTITLE=a\nPEPMASS=1\nCHARGE=2+\nSCANS=4\n100 1\nEND IONS\t\n"
                             "200 2\nbegin ions\nTITLE=b\nPEPMASS=1\nCHARGE=2+\nSCANS=5\nend ions\n300 3\n"
                             "-1 2\n.5 2\n+3 2\n");
    EXPECT_EQ(record(t, 4).peaks.size(), 1u);  // 200 came after END IONS
    const auto& r5 = record(t, 5);
    ASSERT_EQ(r5.peaks.size(), 1u);  // lower-case end ions is no delimiter; "-", ".", "+" no peaks
    EXPECT_EQ(r5.peaks[0].mz, 300.0);
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
    const std::string text = block("1") + block("2", "", "100 1\n200 2\n");
    const auto kept = parse_mgf(text);
    const auto checked = parse_mgf(text, "x", PeakStorage::CheckOnly);
    ASSERT_EQ(kept.size(), checked.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept.at_position(i).first, checked.at_position(i).first);
        EXPECT_EQ(kept.at_position(i).second.titles, checked.at_position(i).second.titles);
        EXPECT_EQ(kept.at_position(i).second.headers, checked.at_position(i).second.headers);
        EXPECT_TRUE(checked.at_position(i).second.peaks.empty());
    }
}

class MgfFile : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        auto path = std::filesystem::path(::testing::TempDir()) / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
};

TEST_F(MgfFile, LineEndsLfCrlfAndCrReadAlike) {
    std::string lf = block("1") + block("2", "", "100 1\n200 2.5\n");
    auto with = [&](const std::string& end) {
        std::string s;
        for (char c : lf) s += c == '\n' ? end : std::string(1, c);
        return read_mgf(write("ends.mgf", s));
    };
    const auto a = with("\n"), b = with("\r\n"), c = with("\r");
    for (const auto* t : {&b, &c}) {
        ASSERT_EQ(t->size(), a.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(t->at_position(i).second.titles, a.at_position(i).second.titles);
            EXPECT_EQ(t->at_position(i).second.headers, a.at_position(i).second.headers);
            EXPECT_EQ(t->at_position(i).second.peaks.size(), a.at_position(i).second.peaks.size());
        }
    }
}

TEST_F(MgfFile, InvalidUtf8AndMissingFilesRaiseNamingTheFile) {
    const std::string path = write("latin1.mgf", block("1") + "TITLE=caf\xe9\n");
    try {
        read_mgf(path);
        ADD_FAILURE() << "read";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::UnicodeDecode);
        EXPECT_EQ(e.context(), "in file '" + path + "', line 8");
    }
    try {
        read_mgf(path + ".missing");
        ADD_FAILURE() << "read";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::OS);
        EXPECT_EQ(e.os_errno, ENOENT);
    }
}

TEST(MgfRealFiles, EveryFileOfTheFormatReads) {
    const std::filesystem::path dir = VOMBRELLE_REALDATA_DIR;
    std::size_t files = 0;
    for (const char* sub : {"mgf", "derived"}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir / sub)) {
            if (entry.path().extension() != ".mgf") continue;
            ++files;
            EXPECT_NO_THROW(read_mgf(entry.path().string())) << entry.path();
            EXPECT_NO_THROW(read_mgf(entry.path().string(), PeakStorage::CheckOnly)) << entry.path();
        }
    }
    EXPECT_EQ(files, 8u);
    // The MS2-MS3 cluster: MS3 scans 4 to 7 of charge 2, their titles naming the scan.
    const auto ms3 = read_mgf((dir / "derived" / "ms2ms3mixed_10226_MS3.mgf").string());
    ASSERT_EQ(ms3.size(), 4u);
    for (std::int64_t scan = 4; scan <= 7; ++scan) {
        const auto& r = record(ms3, scan);
        ASSERT_EQ(r.headers.size(), 1u);
        EXPECT_EQ(r.headers[0].substr(r.headers[0].size() - 2), " 2");
        EXPECT_FALSE(r.peaks.empty());
    }
    // Blocks without SCANS lines store nothing.
    EXPECT_EQ(read_mgf((dir / "mgf" / "crux_smoke_test.mgf").string()).size(), 0u);
}

} // namespace
} // namespace vombrelle
