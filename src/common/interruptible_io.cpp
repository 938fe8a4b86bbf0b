#include "common/interruptible_io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/interruption.hpp"

namespace vombrelle {

namespace {

template <class Call>
auto retried(Call&& call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
        after_interrupted_call();
    }
}

} // namespace

int open_file(const std::string& path, int flags, mode_t mode) {
    return retried([&] { return ::open(path.c_str(), flags, mode); });
}

std::size_t read_some(int fd, char* into, std::size_t size, const std::string& path) {
    const ssize_t got = retried([&] { return ::read(fd, into, size); });
    if (got < 0) throw os_error(errno, path);
    return static_cast<std::size_t>(got);
}

ssize_t pread_some(int fd, char* into, std::size_t size, off_t offset) {
    return retried([&] { return ::pread(fd, into, size, offset); });
}

void write_all(int fd, const char* from, std::size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t put = retried([&] { return ::write(fd, from, size); });
        if (put < 0) throw os_error(errno, path);
        from += put;
        size -= static_cast<std::size_t>(put);
    }
}

int sync_file(int fd) {
    return retried([&] { return ::fsync(fd); });
}

} // namespace vombrelle
