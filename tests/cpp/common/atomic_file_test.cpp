#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>  // umask

#include "common/atomic_file.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

namespace fs = std::filesystem;

unsigned mode_of(const std::string& path) { return static_cast<unsigned>(fs::status(path).permissions()); }

// A replacement only on commit, links and kept permission bits are seen through the module's
// writers; what they cannot show:
TEST(AtomicFileWriter, ANewFileFollowsTheUmaskAndSameFileNeedsOneExistingFile) {
    test::TempDir dir;
    const std::string target = dir.write("table.tsv", "new\n");
    const mode_t old_mask = ::umask(002);
    AtomicFileWriter fresh(dir.file("fresh.tsv"));
    fresh.write("new\n");
    fresh.commit();
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir.file("fresh.tsv")), 0664u);
    EXPECT_FALSE(same_file(target, dir.file("fresh.tsv")));  // equal content is not the same file
    EXPECT_FALSE(same_file(target, dir.file("missing")) || same_file(dir.file("missing"), dir.file("missing")));
}

} // namespace
} // namespace vombrelle
