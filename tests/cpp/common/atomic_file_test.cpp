#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>  // umask

#include "common/atomic_file.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

namespace fs = std::filesystem;

std::ptrdiff_t entries(const std::string& dir) { return std::distance(fs::directory_iterator(dir), {}); }

unsigned mode_of(const std::string& path) { return static_cast<unsigned>(fs::status(path).permissions()); }

void write_file(const std::string& path, std::string_view content) {
    AtomicFileWriter w(path);
    w.write(content.substr(0, content.size() / 2));
    w.write(content.substr(content.size() / 2));
    w.commit();
}

TEST(AtomicFileWriter, OnlyACommitReplacesAndNoTemporaryIsLeftBehind) {
    test::TempDir dir;
    const std::string path = dir.write("out.tsv", "old content that is longer\n");
    {
        AtomicFileWriter w(path);
        w.write("half of the new");
        EXPECT_EQ(entries(dir.path()), 2);  // the temporary sits beside the target
    }
    EXPECT_EQ(test::read_all(path), "old content that is longer\n");
    { AtomicFileWriter(dir.file("fresh.tsv")).write("never committed"); }
    EXPECT_FALSE(fs::exists(dir.file("fresh.tsv")));
    write_file(path, "new\n");
    EXPECT_EQ(test::read_all(path), "new\n");
    EXPECT_EQ(entries(dir.path()), 1);
}

// Links and kept permission bits are seen through the module's writers; what they cannot show:
TEST(AtomicFileWriter, ANewFileFollowsTheUmaskAndSameFileNeedsOneExistingFile) {
    test::TempDir dir;
    const std::string target = dir.write("table.tsv", "new\n");
    const mode_t old_mask = ::umask(027);
    write_file(dir.file("fresh.tsv"), "new\n");
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir.file("fresh.tsv")), 0640u);
    EXPECT_FALSE(same_file(target, dir.file("fresh.tsv")));  // equal content is not the same file
    EXPECT_FALSE(same_file(target, dir.file("missing")) || same_file(dir.file("missing"), dir.file("missing")));
}

} // namespace
} // namespace vombrelle
