#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/output_file.hpp"
#include "temp_dir.hpp"

// The umask is the whole process's: while it is changed, even for a moment, a file another
// thread creates gets the wrong mode. Every call from the core lands here and is counted.
std::atomic<int> umask_calls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umask_calls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace vombrelle {
namespace {

namespace fs = std::filesystem;

struct stat status_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

void write_whole(const std::string& path, std::string_view bytes) {
    OutputFile out(path);
    out.write(bytes);
    out.commit();
}

// Replacing only on commit, links and kept permission bits are seen through the module's
// writers; what they cannot show:
TEST(OutputFile, ANewFileFollowsTheUmaskLeftAsItIs) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(002);
    umask_calls = 0;
    write_whole(dir.file("fresh.tsv"), "new\n");
    EXPECT_EQ(umask_calls, 0);
    ::umask(old_mask);
    EXPECT_EQ(status_of(dir.file("fresh.tsv")).st_mode & 07777, 0664u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// FIFOs, devices, sockets and /dev/stdout on a pipe are seen through the module's writers.
TEST(OutputFile, AFileHeldByADescriptorIsWrittenInPlace) {
    // Replaced, it would be cut away from the descriptor: what its holder wrote later would go
    // to a file no name leads to.
    test::TempDir dir;
    const std::string held = dir.write("held.txt", "an old and longer content\n");
    const int fd = ::open(held.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const ino_t inode = status_of(held).st_ino;
    write_whole("/dev/fd/" + std::to_string(fd), "new\n");
    ::close(fd);
    EXPECT_EQ(status_of(held).st_ino, inode);
    EXPECT_EQ(status_of(held).st_size, 4);
}

} // namespace
} // namespace vombrelle
