// Writing an output file as the interpreter's open(path, "w") does, without leaving a
// half-written file where a whole one was expected.
//
// A regular file, or a missing one, is replaced as a whole: the content goes to a temporary file
// in the target's folder, which is renamed over the target only once everything is written. A
// failure leaves the old file untouched and no temporary behind. A symbolic link at the target
// keeps pointing at the new file; the old file's permission bits carry over, and a new file gets
// the mode open() gives it (0666 less the umask, which the kernel applies when it creates it).
//
// Writes are buffered and go out a block at a time; a write or open that a signal interrupts is
// retried as interruptible_io.hpp says, so a call interrupted while it writes (its handler raised)
// leaves the old file as it was.
//
// Anything else at the path is opened and written in place, as open() does: a FIFO, a device,
// a socket (which fails as it does for open()), and an open descriptor named through /proc, as
// /dev/stdout and /dev/fd/N are, whatever file it holds. Replacing those would put a regular file
// in place of a device or pipe, or cut the file away from the descriptor. A folder fails with
// IsADirectoryError.
#pragma once

#include <string>
#include <string_view>

namespace vombrelle {

class OutputFile {
public:
    // Opens the target, or creates the temporary; raises the OS error the interpreter's
    // open(path, "w") would, with `path` as the file name. Opening a FIFO waits for a reader.
    explicit OutputFile(const std::string& path);
    ~OutputFile();  // discards the temporary unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Flushes and closes, then renames the temporary over the target. Raises an OS error on failure.
    void commit();

private:
    void open_in_place();
    void open_temporary(const std::string& target, bool exists, unsigned old_mode);
    void flush();

    std::string path_;    // as the caller named it
    std::string target_;  // the file replaced (a link resolved); empty when written in place
    std::string temp_;
    int fd_ = -1;
    std::string buffer_;  // written out once it holds kBlock bytes
    bool committed_ = false;
};

// True when both paths exist and name the same file (also through links or other spellings).
bool same_file(const std::string& a, const std::string& b);

} // namespace vombrelle
