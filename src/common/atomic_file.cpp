#include "common/atomic_file.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/errors.hpp"

namespace vombrelle {

namespace {

// The file that writing to `path` would change: a symbolic link is followed to its target
// (also a dangling one, whose target is then created).
std::string resolve_target(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), buf, sizeof(buf) - 1);
        if (n < 0) return current;
        std::string link(buf, static_cast<std::size_t>(n));
        if (!link.empty() && link[0] == '/') {
            current = link;
        } else {
            auto slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
        }
    }
    throw os_error(ELOOP, path);
}

mode_t default_mode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& path) : path_(path), target_(resolve_target(path)) {
    if (path.empty()) throw os_error(ENOENT, path);
    struct stat st {};
    bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw os_error(EISDIR, path);
    if (exists && ::access(target_.c_str(), W_OK) != 0) throw os_error(errno, path);

    auto slash = target_.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string templ = (slash == std::string::npos ? std::string() : dir) + "." + base + ".tmp.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw os_error(errno, path);
    temp_.assign(name.data());
    if (::fchmod(fd, exists ? (st.st_mode & 07777) : default_mode()) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        throw os_error(err, path);
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        int err = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        throw os_error(err, path);
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFileWriter::write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) throw os_error(errno ? errno : EIO, path_);
}

void AtomicFileWriter::commit() {
    if (std::fflush(file_) != 0) throw os_error(errno, path_);
    if (::fsync(::fileno(file_)) != 0 && errno != EINVAL) throw os_error(errno, path_);
    int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) throw os_error(errno, path_);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) throw os_error(errno, path_);
    committed_ = true;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace vombrelle
