// Reading text files the way the interpreter's open() in text mode does: strict UTF-8 whatever
// the locale, universal newlines (LF, CRLF and CR each end a line), read in large blocks so
// that a file is never held in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vombrelle {

class TextLineReader {
public:
    // Opens `path`; raises the OS error the interpreter's open() would (FileNotFoundError,
    // PermissionError, IsADirectoryError) with the file name.
    explicit TextLineReader(const std::string& path, std::size_t block_size = 1 << 20);
    ~TextLineReader();
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // The next line without its line end; false at the end of the file. The view stays valid
    // until the next call. Invalid UTF-8 raises UnicodeDecodeError naming the file and line.
    bool next(std::string_view& line);

    // Whether the line last returned ended in a line break (only the file's last line may not).
    bool line_ended() const { return line_ended_; }
    // 1-based number of the line last returned.
    std::size_t line_number() const { return line_no_; }

private:
    bool fill();
    void validate_utf8(std::string_view line) const;
    void check_host_blocks(std::uint64_t terminator, bool cr, std::uint64_t line_start);
    void check_ahead(std::uint64_t need_end, std::uint64_t line_start);

    std::string path_;
    std::FILE* file_ = nullptr;
    std::string buf_;
    std::size_t pos_ = 0;   // start of the unread part of buf_
    std::size_t end_ = 0;   // end of valid data in buf_
    std::size_t block_size_;
    bool eof_ = false;
    std::size_t line_no_ = 0;
    bool line_ended_ = false;
    std::size_t total_read_ = 0;
    // File bytes [0, checked_) hold nothing the interpreter's decoder rejects; an incomplete
    // sequence at a block's end stays beyond it until the next block decides.
    std::uint64_t checked_ = 0;
    bool ahead_ok_ = true;  // false when the file cannot be read at an offset (a pipe)
};

// Checks that `bytes` is valid UTF-8 as the interpreter's strict decoder sees it. On failure
// sets the span of the offending bytes and the decoder's reason and returns false.
bool check_utf8(std::string_view bytes, std::size_t& bad_start, std::size_t& bad_end, const char*& reason);

} // namespace vombrelle
