#include <gtest/gtest.h>

#include <algorithm>
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

// Members deflated, stored and bzip2-compressed in turn.
std::string write_zip(const test::TempDir& dir, const std::string& name,
                      const std::vector<std::pair<std::string, std::string>>& members) {
    const std::string path = dir.file(name);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    constexpr zip_int32_t kMethods[] = {ZIP_CM_DEFLATE, ZIP_CM_STORE, ZIP_CM_BZIP2};
    for (const auto& [member, text] : members) {
        auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
        std::memcpy(copy, text.data(), text.size());
        const zip_int64_t i = zip_file_add(z, member.c_str(), zip_source_buffer(z, copy, text.size(), 1), ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(i), kMethods[i % 3], 0);
    }
    zip_close(z);
    return path;
}

// What reading the archive failed with, read whole or `batch_bytes` of members at a time.
std::string failure(const std::string& path, unsigned threads, std::uint64_t batch_bytes) {
    std::vector<std::string> skipped;
    try {
        if (batch_bytes == 0) {
            read_dta_zip(path, skipped, threads);
        } else {
            DtaZipReading reading(path, skipped);
            for (SpectrumTable batch; reading.read_batch(batch, batch_bytes, threads);) batch = {};
        }
    } catch (const HostError& e) {
        return e.what() + std::string(" ") + e.context();
    }
    return "no error";
}

// Bad members in several scans among good ones spread over threads (a field that is no number,
// a byte beyond ASCII after many good lines, a missing field): the one in the lowest scan is
// reported, though the later ones fail sooner, read whole or in batches, whatever the members'
// compression.
TEST(DtaZip, TheBadMemberOfTheLowestScanIsReported) {
    std::mt19937_64 rng(12);
    std::vector<std::pair<std::string, std::string>> members;
    for (int scan = 1; scan <= 300; ++scan) {
        std::string text = std::to_string(500 + scan) + ".25 2\n";
        for (int k = 0; k < 80; ++k) text += std::to_string(100 + k) + ".5\t" + std::to_string(rng() % 100000) + "\n";
        members.emplace_back("run." + std::to_string(scan) + "." + std::to_string(scan) + ".0.dta", text);
    }
    std::string slow = "1 2\n";
    for (int i = 0; i < 200000; ++i) slow += "3.5 4\n";
    const std::pair<int, std::string> bad[] = {{260, "1 2\n1 x\n"}, {90, slow + "3 \xC3\xA9\n"}, {170, "1 2\n5\n"}};
    test::TempDir dir;
    for (std::size_t n = 1; n <= std::size(bad); ++n) {
        members.emplace_back("bad." + std::to_string(bad[n - 1].first) + "." + std::to_string(bad[n - 1].first) + ".0.dta",
                             bad[n - 1].second);
        std::shuffle(members.begin(), members.end(), rng);
        const std::string path = write_zip(dir, "bad" + std::to_string(n) + ".zip", members);
        const std::string lowest = n == 1 ? "260" : "90";
        const std::string expected = failure(path, 1, 0);
        EXPECT_NE(expected.find("/bad." + lowest + "." + lowest + ".0.dta'"), std::string::npos) << expected;
        for (unsigned threads : {2u, 4u}) {
            EXPECT_EQ(failure(path, threads, 0), expected) << n << " bad, " << threads;
            EXPECT_EQ(failure(path, threads, 3000), expected) << n << " bad, " << threads << ", in batches";
        }
    }
}

} // namespace
} // namespace vombrelle
