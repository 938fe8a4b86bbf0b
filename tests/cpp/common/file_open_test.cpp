#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

TEST(OpenReadable, GivesADescriptorOfTheFile) {
    test::TempDir dir;
    const int fd = open_readable(dir.write("in.txt", "abc"));
    ASSERT_GE(fd, 0);
    char buf[4] = {};
    EXPECT_EQ(::read(fd, buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    ::close(fd);
}

TEST(OpenReadable, FailuresCarryTheInterpretersErrnoAndFileName) {
    test::TempDir dir;
    const std::string file = dir.write("plain.txt", "x");
    const std::pair<std::string, int> cases[] = {
        {dir.file("missing.txt"), ENOENT},
        {dir.path(), EISDIR},        // a folder opens under POSIX; open() refuses it
        {file + "/below", ENOTDIR},
        {"", ENOENT},
    };
    for (const auto& [path, err] : cases) {
        try {
            const int fd = open_readable(path);
            ::close(fd);
            ADD_FAILURE() << "opened '" << path << "'";
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::OS) << path;
            EXPECT_EQ(e.os_errno, err) << path;
            EXPECT_EQ(e.filename, path);
        }
    }
}

} // namespace
} // namespace vombrelle
