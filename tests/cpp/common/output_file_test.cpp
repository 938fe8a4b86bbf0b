#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
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

std::string read_all(int fd) {
    std::string out(4096, '\0');
    const ssize_t n = ::read(fd, out.data(), out.size());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
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
    const mode_t old_mask = ::umask(027);
    umask_calls = 0;
    write_whole(dir.file("fresh.tsv"), "new\n");
    EXPECT_EQ(umask_calls, 0);
    ::umask(old_mask);
    EXPECT_EQ(status_of(dir.file("fresh.tsv")).st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OutputFile, WhatIsNoRegularFileIsWrittenInPlace) {
    test::TempDir dir;
    // A FIFO stays one (a reader opened without waiting lets the writer open at once).
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    write_whole(fifo, "through the FIFO\n");
    EXPECT_EQ(read_all(reader), "through the FIFO\n");
    EXPECT_TRUE(S_ISFIFO(status_of(fifo).st_mode));
    ::close(reader);

    // An open descriptor named through /dev/fd: a pipe's, and a regular file's, which keeps
    // its inode (the descriptor's holder would otherwise write to a file no name leads to).
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    write_whole("/dev/fd/" + std::to_string(pipe_ends[1]), "through the pipe\n");
    EXPECT_EQ(read_all(pipe_ends[0]), "through the pipe\n");
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    const std::string held = dir.write("held.txt", "an old and longer content\n");
    const int fd = ::open(held.c_str(), O_WRONLY);
    const ino_t inode = status_of(held).st_ino;
    write_whole("/dev/fd/" + std::to_string(fd), "new\n");
    ::close(fd);
    EXPECT_EQ(status_of(held).st_ino, inode);
    EXPECT_EQ(status_of(held).st_size, 4);

    // A socket fails as open() does.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = dir.file("socket");
    ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
    socket_path.copy(address.sun_path, socket_path.size());
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(test::failure_of([&] { OutputFile out(socket_path); }), test::os_failure(ENXIO, socket_path));
    ::close(sock);
}

TEST(OutputFile, SameFileNeedsOneExistingFile) {
    test::TempDir dir;
    const std::string a = dir.write("a.tsv", "same\n");
    const std::string b = dir.write("b.tsv", "same\n");
    EXPECT_TRUE(same_file(a, dir.path() + "/./a.tsv"));
    EXPECT_FALSE(same_file(a, b));  // equal content is not the same file
    EXPECT_FALSE(same_file(a, dir.file("missing")) || same_file(dir.file("missing"), dir.file("missing")));
}

} // namespace
} // namespace vombrelle
