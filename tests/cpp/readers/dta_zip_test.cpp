#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <zip.h>

#include "common/errors.hpp"
#include "readers/dta_zip.hpp"

namespace vombrelle {
namespace {

using Names = std::vector<std::string>;

TEST(DtaScanNumber, FollowsTheMemberNamePattern) {
    const std::pair<std::string, std::int64_t> accepted[] = {
        {"a.100.100.0.dta", 100}, {"dir/run.0123.5.0.dta", 123}, {"x5.6.0.dta", 5},
        {"x.5.5.0.dta\n", 5},      // "$" also matches before one final line feed
        {"\n5.5.0.dta", 5},         // the non-digit before the scan may be a line feed
        {"\xc3\xa9" "12.3.0.dta", 12}, {"a.b.7.8.0.dta", 7},
    };
    for (const auto& [name, scan] : accepted) {
        auto got = dta_scan_number(name);
        ASSERT_TRUE(got.has_value()) << name;
        EXPECT_EQ(*got, scan) << name;
    }
    const char* rejected[] = {
        "7.7.0.dta", "x.7.7.2.dta", "x.7.7.0.DTA", "notes.txt", "dir/", "x..7.0.dta", "x.7..0.dta",
        "x.7.7.0.dta\n\n", "a\nb.5.5.0.dta", "x.7.7.00.dta", "x.7.7.0.dta ", "x.7.7.0.dtax", "x.7.0.dta",
    };
    for (const char* name : rejected) EXPECT_FALSE(dta_scan_number(name).has_value()) << name;
}

HostError merge_error(const std::string& bytes) {
    SpectrumRecord rec{RecordKeys::TitleHeaderIonMass, {}, {}, {}};
    PeakMapBuilder peaks;
    peaks.attach(&rec.peaks);
    try {
        merge_dta_member(bytes, "m", "a.zip/m", rec, peaks);
    } catch (const HostError& e) {
        return e;
    }
    throw std::runtime_error("no error for " + bytes);
}

TEST(MergeDtaMember, MergesNamesHeadersAndPeaksSkippingBlankLines) {
    SpectrumRecord rec{RecordKeys::TitleHeaderIonMass, {}, {}, {}};
    PeakMapBuilder peaks;
    peaks.attach(&rec.peaks);
    merge_dta_member(" 0 0 \r\n100.5 1.0000049\r\n\r\n  \t\n200 2 9\r\n\n", "x.500.500.0.dta", "a", rec, peaks);
    merge_dta_member("0 0\n100.5 7\n300 3", "y.500.501.0.dta", "a", rec, peaks);
    merge_dta_member("1 1\n", "x.500.500.0.dta", "a", rec, peaks);
    EXPECT_EQ(rec.titles, (Names{"x.500.500.0.dta", "y.500.501.0.dta"}));
    EXPECT_EQ(rec.headers, (Names{"0 0", "1 1"}));
    ASSERT_EQ(rec.peaks.size(), 3u);
    EXPECT_EQ(rec.peaks[0].mz, 100.5);
    EXPECT_EQ(rec.peaks[0].intensity, 7.0);
    EXPECT_EQ(rec.peaks[2].mz, 300.0);
    // Only line feeds end lines: a lone CR stays inside the header line.
    SpectrumRecord cr{RecordKeys::TitleHeaderIonMass, {}, {}, {}};
    peaks.attach(&cr.peaks);
    merge_dta_member("0 0\r100 1\r", "m", "a", cr, peaks);
    EXPECT_EQ(cr.headers, Names{"0 0\r100 1"});
    EXPECT_TRUE(cr.peaks.empty());
}

TEST(MergeDtaMember, RaisesForNonAsciiEmptyAndShortLines) {
    struct Bad {
        std::string bytes;
        ErrorKind kind;
        const char* message;
        const char* context;
    };
    const Bad cases[] = {
        {"0 0\n100 1\n200 \xe9\n", ErrorKind::UnicodeDecode, "ordinal not in range(128)", "in file 'a.zip/m', line 3"},
        {"", ErrorKind::Index, "list index out of range", "in file 'a.zip/m', line 1"},
        {"0 0\n100\n", ErrorKind::Index, "list index out of range", "in file 'a.zip/m', line 2"},
        {"0 0\n\n100 1\nabc 1\n", ErrorKind::Value, "could not convert string to float: 'abc'",
         "in file 'a.zip/m', line 4"},
    };
    for (const auto& c : cases) {
        HostError e = merge_error(c.bytes);
        EXPECT_EQ(e.kind(), c.kind) << c.bytes;
        EXPECT_STREQ(e.what(), c.message) << c.bytes;
        EXPECT_EQ(e.context(), c.context) << c.bytes;
    }
    HostError e = merge_error("0 0\n1\xff");
    EXPECT_EQ(e.start, 5u);
    EXPECT_EQ(e.end, 6u);
    EXPECT_EQ(e.encoding, "ascii");
}

class DtaZip : public ::testing::Test {
protected:
    std::string path_ = (std::filesystem::path(::testing::TempDir()) / "members.zip").string();

    // Entries in this order; a name ending in "/" is a directory.
    void write_zip(const std::vector<std::pair<std::string, std::string>>& entries) {
        std::filesystem::remove(path_);
        int err = 0;
        zip_t* z = zip_open(path_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        ASSERT_NE(z, nullptr);
        for (const auto& [name, bytes] : entries) {
            if (!name.empty() && name.back() == '/') {
                ASSERT_GE(zip_dir_add(z, name.substr(0, name.size() - 1).c_str(), ZIP_FL_ENC_UTF_8), 0);
                continue;
            }
            // libzip frees the copy once written; an empty member needs no buffer.
            char* copy = nullptr;
            if (!bytes.empty()) {
                copy = static_cast<char*>(malloc(bytes.size()));
                memcpy(copy, bytes.data(), bytes.size());
            }
            zip_source_t* src = zip_source_buffer(z, copy, bytes.size(), copy != nullptr);
            ASSERT_GE(zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8), 0) << name;
        }
        ASSERT_EQ(zip_close(z), 0);
    }
};

TEST_F(DtaZip, SkippedNamesAreReportedEvenWhenAMemberFails) {
    write_zip({{"keep.txt", ""}, {"a.1.1.0.dta", "0 0\n100\n"}});
    Names reported;
    EXPECT_THROW(read_dta_zip(path_, [&](const Names& n) { reported = n; }), HostError);
    EXPECT_EQ(reported, Names{"keep.txt"});
}

} // namespace
} // namespace vombrelle
