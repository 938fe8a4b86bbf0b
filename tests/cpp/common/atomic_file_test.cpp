#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/atomic_file.hpp"
#include "common/errors.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

namespace fs = std::filesystem;

std::size_t entries(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

void write_file(const std::string& path, std::string_view content) {
    AtomicFileWriter w(path);
    w.write(content.substr(0, content.size() / 2));
    w.write(content.substr(content.size() / 2));
    w.commit();
}

TEST(AtomicFileWriter, CommitReplacesAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.write("out.tsv", "old content that is longer\n");
    write_file(path, "new\n");
    EXPECT_EQ(test::read_all(path), "new\n");
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(AtomicFileWriter, WithoutCommitTheOldFileStaysAndTheTemporaryGoes) {
    test::TempDir dir;
    const std::string path = dir.write("out.tsv", "old\n");
    {
        AtomicFileWriter w(path);
        w.write("half of the new");
        EXPECT_EQ(entries(dir.path()), 2u);  // the temporary sits beside the target
    }
    EXPECT_EQ(test::read_all(path), "old\n");
    EXPECT_EQ(entries(dir.path()), 1u);
    {
        AtomicFileWriter w(dir.file("fresh.tsv"));
        w.write("never committed");
    }
    EXPECT_FALSE(fs::exists(dir.file("fresh.tsv")));
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(AtomicFileWriter, SymbolicLinkKeepsPointingAtTheNewContent) {
    test::TempDir dir;
    fs::create_directory(dir.file("real"));
    const std::string target = dir.write("real/table.tsv", "old\n");
    ASSERT_EQ(::symlink("real/table.tsv", dir.file("link.tsv").c_str()), 0);
    write_file(dir.file("link.tsv"), "new\n");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.tsv")));
    EXPECT_EQ(test::read_all(target), "new\n");
    EXPECT_EQ(entries(dir.file("real")), 1u);
}

TEST(AtomicFileWriter, PermissionBitsCarryOverAndNewFilesFollowTheUmask) {
    test::TempDir dir;
    const std::string existing = dir.write("kept.tsv", "old\n");
    ASSERT_EQ(::chmod(existing.c_str(), 0640), 0);
    write_file(existing, "new\n");
    EXPECT_EQ(mode_of(existing), 0640u);

    const mode_t old_mask = ::umask(027);
    write_file(dir.file("fresh.tsv"), "x");
    ::umask(old_mask);
    EXPECT_EQ(mode_of(dir.file("fresh.tsv")), 0640u);
}

TEST(AtomicFileWriter, OpenFailuresCarryErrnoAndFileName) {
    test::TempDir dir;
    const std::pair<std::string, int> cases[] = {
        {dir.file("no/such/folder/out.tsv"), ENOENT}, {dir.path(), EISDIR}, {"", ENOENT}};
    for (const auto& [path, err] : cases) {
        try {
            AtomicFileWriter w(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::OS);
            EXPECT_EQ(e.os_errno, err) << path;
            EXPECT_EQ(e.filename, path);
        }
    }
    if (::geteuid() != 0) {  // root writes anywhere
        const std::string locked = dir.write("locked.tsv", "old\n");
        ::chmod(locked.c_str(), 0444);
        try {
            AtomicFileWriter w(locked);
            ADD_FAILURE() << "opened a read-only file";
        } catch (const HostError& e) {
            EXPECT_EQ(e.os_errno, EACCES);
        }
        EXPECT_EQ(test::read_all(locked), "old\n");
    }
}

TEST(SameFile, SeesThroughLinksAndSpellings) {
    test::TempDir dir;
    const std::string a = dir.write("a.txt", "1");
    const std::string b = dir.write("b.txt", "1");
    ASSERT_EQ(::symlink(a.c_str(), dir.file("link").c_str()), 0);
    EXPECT_TRUE(same_file(a, a));
    EXPECT_TRUE(same_file(a, dir.file("link")));
    EXPECT_TRUE(same_file(dir.path() + "/./a.txt", a));
    EXPECT_FALSE(same_file(a, b));  // equal content is not the same file
    EXPECT_FALSE(same_file(a, dir.file("missing")));
    EXPECT_FALSE(same_file(dir.file("missing"), dir.file("missing")));
}

} // namespace
} // namespace vombrelle
