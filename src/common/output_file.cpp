#include "common/output_file.hpp"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.hpp"
#include "common/interruptible_io.hpp"
#include "common/interruption.hpp"

namespace vombrelle {

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;

// What a rename would replace for `path`: a symbolic link is followed to its target (also a
// dangling one, whose target is then created). A link of /proc (where /dev/stdout leads) names
// an open descriptor, whose file is to be written through it and not replaced by name.
struct RenameTarget {
    std::string name;
    bool descriptor = false;
};

bool is_proc_entry(const struct stat& entry) {
    struct stat proc {};
    return ::stat("/proc", &proc) == 0 && entry.st_dev == proc.st_dev;
}

RenameTarget resolve_target(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {current};
        if (is_proc_entry(st)) return {current, true};
        char buf[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), buf, sizeof(buf) - 1);
        if (n < 0) return {current};
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

bool names_file(const std::string& name, const struct stat& file) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino;
}

// Creates a file of a fresh name beside `target` with `mode` (less the umask); -1 and errno on
// failure. mkstemp() would fix the mode at 0600, and learning the umask means changing it.
int create_beside(const std::string& target, mode_t mode, std::string& name) {
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Part of the base name is enough to tell the temporary's origin; all of it may be too long.
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 200);
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + "." + base + ".tmp.";
        for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof(kLetters) - 1)];
        const int fd = open_file(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;  // errno is EEXIST
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    if (path.empty()) throw os_error(ENOENT, path);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw os_error(EISDIR, path);
    const RenameTarget target = resolve_target(path);
    if (target.descriptor || (exists && (!S_ISREG(st.st_mode) || !names_file(target.name, st)))) {
        open_in_place();
    } else {
        if (exists && ::access(path.c_str(), W_OK) != 0) throw os_error(errno, path);
        open_temporary(target.name, exists, st.st_mode & 07777);
    }
    buffer_.reserve(kBlock);
}

void OutputFile::open_in_place() {
    // Opening a FIFO waits for its reader.
    fd_ = open_file(path_, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw os_error(errno, path_);
}

void OutputFile::open_temporary(const std::string& target, bool exists, unsigned old_mode) {
    // A new file takes its mode from the kernel as open() would; a replaced one keeps its bits,
    // set before anything is written.
    const int fd = create_beside(target, exists ? 0600 : 0666, temp_);
    if (fd < 0) {
        const int err = errno;
        temp_.clear();
        throw os_error(err, path_);
    }
    if (exists && ::fchmod(fd, old_mode) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        throw os_error(err, path_);
    }
    fd_ = fd;
    target_ = target;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void OutputFile::write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kBlock) flush();
    if (bytes.size() >= kBlock) {
        write_all(fd_, bytes.data(), bytes.size(), path_);
        return;
    }
    buffer_.append(bytes);
}

void OutputFile::flush() {
    // A block at a time: a place where a long write may be interrupted.
    interruption_point();
    write_all(fd_, buffer_.data(), buffer_.size(), path_);
    buffer_.clear();
}

void OutputFile::commit() {
    flush();
    // Only a replacement must be on disk before it takes the old file's name.
    if (!temp_.empty() && sync_file(fd_) != 0 && errno != EINVAL) throw os_error(errno, path_);
    // A close that fails has still released the descriptor: it is not retried.
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) throw os_error(errno, path_);
    if (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) throw os_error(errno, path_);
    committed_ = true;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace vombrelle
