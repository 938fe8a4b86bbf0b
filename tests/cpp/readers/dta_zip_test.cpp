#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>
#include <zip.h>

#include "../common/temp_dir.hpp"
#include "common/errors.hpp"
#include "readers/dta_zip.hpp"

namespace vombrelle {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

std::string write_zip(const test::TempDir& dir, const std::string& name, const Members& members) {
    const std::string path = dir.file(name);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    for (const auto& [member, text] : members) {
        auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
        std::memcpy(copy, text.data(), text.size());
        zip_file_add(z, member.c_str(), zip_source_buffer(z, copy, text.size(), 1), ZIP_FL_ENC_UTF_8);
    }
    zip_close(z);
    return path;
}

// The table as text: scans, titles, headers and the bits of every peak. Read whole, or with
// `batch_bytes` a batch of scans at a time.
std::string outcome(const std::string& path, unsigned threads, std::uint64_t batch_bytes = 0) {
    std::vector<std::string> skipped;
    std::string out;
    auto print = [&out](const SpectrumTable& table) {
        for (const auto& [scan, record] : table) {
            out += std::to_string(scan) + ":";
            for (const auto& t : record.titles) out += t + ",";
            for (const auto& h : record.headers) out += h + ",";
            for (const auto& p : record.peaks) {
                out += std::to_string(std::bit_cast<std::uint64_t>(p.mz)) + "=" +
                       std::to_string(std::bit_cast<std::uint64_t>(p.intensity)) + " ";
            }
        }
    };
    try {
        if (batch_bytes == 0) {
            print(read_dta_zip(path, skipped, threads));
        } else {
            DtaZipReading reading(path, skipped);
            SpectrumTable whole, batch;
            while (reading.read_batch(batch, batch_bytes, threads)) {
                EXPECT_GE(batch.size(), 1u);
                for (auto& [scan, record] : batch) EXPECT_TRUE(whole.insert_or_assign(scan, std::move(record)));
                batch = SpectrumTable();
            }
            print(whole);
        }
    } catch (const HostError& e) {
        out += "error " + std::to_string(static_cast<int>(e.kind())) + " " + e.what() + " " + e.context();
    }
    for (const auto& s : skipped) out += " skipped " + s;
    return out;
}

// Members spread over several threads give the table, the skipped names and the first error of
// the reading in scan order: scans of several members (whose peaks merge), skipped names, and
// bad members in several scans, the first of which must be the one reported. Read a batch of scans
// at a time, likewise.
TEST(DtaZip, ReadAtOnceAsReadInScanOrder) {
    std::mt19937_64 rng(12);
    Members members;
    for (int scan = 1; scan <= 300; ++scan) {
        for (int copy = 0; copy < (scan % 7 == 0 ? 3 : 1); ++copy) {
            std::string text = std::to_string(500 + scan) + ".25 " + std::to_string(copy + 1) + "\n";
            double mz = 100.0 + copy;
            for (int k = 0; k < 80; ++k) {
                mz += rng() % 3 == 0 ? -1.0 : 0.5 + static_cast<double>(rng() % 1000) / 997.0;  // repeats too
                text += std::to_string(mz) + "\t" + std::to_string(rng() % 100000) + "." + std::to_string(rng() % 1000) + "\n";
            }
            members.emplace_back("run" + std::string(1, static_cast<char>('a' + copy)) + "." + std::to_string(scan) + "." +
                                     std::to_string(scan) + ".0.dta",
                                 text);
        }
        if (scan % 50 == 0) members.emplace_back("notes" + std::to_string(scan) + ".txt", "x");
    }
    std::shuffle(members.begin(), members.end(), rng);
    test::TempDir dir;
    const std::string good = write_zip(dir, "good.zip", members);
    const std::string sequential = outcome(good, 1);
    EXPECT_EQ(outcome(good, 4), sequential);
    for (unsigned threads : {1u, 4u}) EXPECT_EQ(outcome(good, threads, 3000), sequential) << threads;
    EXPECT_EQ(sequential.find("error"), std::string::npos);

    // Bad members: a field that is no number, a byte beyond ASCII, a missing field; the one in the
    // lowest scan is reported, although the later ones fail sooner (the first is found only after
    // many good lines).
    std::string slow = "1 2\n";
    for (int i = 0; i < 200000; ++i) slow += "3.5 4\n";
    const std::pair<int, std::string> bad[] = {{260, "1 2\n1 x\n"}, {90, slow + "3 \xC3\xA9\n"}, {170, "1 2\n5\n"}};
    for (std::size_t n = 1; n <= std::size(bad); ++n) {
        Members with_bad = members;
        for (std::size_t i = 0; i < n; ++i) {
            const auto& [scan, text] = bad[i];
            with_bad.emplace_back("bad." + std::to_string(scan) + "." + std::to_string(scan) + ".0.dta", text);
        }
        const std::string path = write_zip(dir, "bad" + std::to_string(n) + ".zip", with_bad);
        const std::string expected = outcome(path, 1);
        EXPECT_NE(expected.find("error"), std::string::npos);
        for (unsigned threads : {2u, 4u}) {
            EXPECT_EQ(outcome(path, threads), expected) << n << " bad, " << threads;
            EXPECT_EQ(outcome(path, threads, 3000), expected) << n << " bad, " << threads << ", in batches";
        }
    }
}

} // namespace
} // namespace vombrelle
