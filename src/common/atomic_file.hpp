// Replacing an output file as a whole: the content goes to a temporary file in the target's
// folder, which is renamed over the target only once everything is written. A failure leaves
// the old file untouched and no temporary behind. A symbolic link at the target keeps pointing
// at the new file; the old file's permission bits carry over (a new file gets 0666 less umask).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vombrelle {

class AtomicFileWriter {
public:
    // Creates the temporary file; raises the OS error the interpreter's open(path, "w") would.
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();  // discards the temporary unless commit() succeeded
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void write(std::string_view bytes);
    // Flushes, closes and renames over the target. Raises an OS error on failure.
    void commit();

private:
    std::string path_;    // as the caller named it
    std::string target_;  // the file actually replaced (a link resolved)
    std::string temp_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// True when both paths exist and name the same file (also through links or other spellings).
bool same_file(const std::string& a, const std::string& b);

} // namespace vombrelle
