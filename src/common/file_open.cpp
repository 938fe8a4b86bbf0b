#include "common/file_open.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/interruptible_io.hpp"

namespace vombrelle {

int open_readable(const std::string& path) {
    // Opening a FIFO waits for its writer.
    int fd = open_file(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw os_error(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw os_error(EISDIR, path);
    }
    return fd;
}

} // namespace vombrelle
