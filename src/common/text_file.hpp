// Reading text files the way the interpreter's open() in text mode does: strict UTF-8 whatever
// the locale, universal newlines (LF, CRLF and CR each end a line), read in large blocks so
// that a file is never held in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_scan.hpp"

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
    // until the next call and has kLinePadding readable bytes before and after it (byte_scan.hpp).
    // Invalid UTF-8 raises UnicodeDecodeError naming the file and line.
    bool next(std::string_view& line) { return next_usual(line) || next_checked(line); }

    // Hands take(line) the next lines that next() would return without a further check, while it
    // takes them (returns true: the line counts as read, as if next() had returned it). Stops at
    // the first line take refuses, which next() then returns, or where next() must check more.
    // For the readers' inner loops: the usual lines of a run cost a call of take each.
    // line_number() counts the lines taken once this returns.
    template <class Take>
    [[gnu::always_inline]] void take_usual_lines(Take&& take) {
        // The state in locals, out of reach of what take writes.
        std::size_t pos = pos_, breaks_at = breaks_at_, taken = 0;
        std::uint64_t breaks = breaks_;
        for (;;) {
            std::size_t end, next_pos;
            std::uint64_t rest;
            if (!usual_line_end(pos, breaks, breaks_at, end, next_pos, rest) ||
                !take(std::string_view(buf() + pos, end - pos))) {
                break;
            }
            pos = next_pos;
            breaks = rest;
            ++taken;
        }
        pos_ = pos;
        breaks_ = breaks;
        breaks_at_ = breaks_at;
        if (taken != 0) {
            line_no_ += taken;
            line_ended_ = true;
        }
    }

    // Whether the line last returned ended in a line break (only the file's last line may not).
    bool line_ended() const { return line_ended_; }
    // 1-based number of the line last returned.
    std::size_t line_number() const { return line_no_; }

    // The interpreter decodes a text file in blocks of this many bytes (see check_host_blocks).
    static constexpr std::uint64_t kHostBlock = 8192;

private:

    // The usual line, at most one call deep: its line end found through a mask of the line breaks
    // of 64 bytes, in a part of the buffer already checked (below usual_end_), and, after a CR, an
    // ASCII byte that is not the first of a decoding block (a CR that ends its block, or one before
    // a character yet to be read, needs next_checked). False when next_checked must decide.
    // From the line start `pos` and the mask (refilled here when spent): the line's end, where the
    // next line starts and the mask left after this line's end.
    [[gnu::always_inline]] bool usual_line_end(std::size_t pos, std::uint64_t& breaks, std::size_t& breaks_at,
                                               std::size_t& end, std::size_t& next_pos, std::uint64_t& rest) const {
        const char* const base = buf();
        if (breaks == 0) {
            std::size_t at = pos;
            do {
                if (usual_end_ < 64 || at > usual_end_ - 64) return false;
                breaks = line_break_mask64(base + at);
                breaks_at = at;
                at += 64;
            } while (breaks == 0);
        }
        end = breaks_at + static_cast<std::size_t>(__builtin_ctzll(breaks));
        next_pos = end + 1;
        rest = breaks & (breaks - 1);
        if (base[end] == '\r') {
            const auto after = static_cast<unsigned char>(base[end + 1]);
            if (after >= 0x80 || (total_read_ - end_ + next_pos) % kHostBlock == 0) return false;
            // The LF of a CRLF is the next bit when it lies in the same 64 bytes (when not, no
            // bit is left).
            if (after == '\n') {
                ++next_pos;
                rest &= rest - 1;
            }
        }
        return true;
    }
    bool next_usual(std::string_view& line) {
        std::size_t end, next_pos;
        std::uint64_t rest;
        if (!usual_line_end(pos_, breaks_, breaks_at_, end, next_pos, rest)) return false;
        line = std::string_view(buf() + pos_, end - pos_);
        pos_ = next_pos;
        breaks_ = rest;
        ++line_no_;
        line_ended_ = true;
        return true;
    }
    bool next_checked(std::string_view& line);
    bool next_line_checked(std::string_view& line);
    void find_usual_end();
    bool fill();
    void validate_utf8(std::string_view line) const;
    void validate_ahead();
    void check_host_blocks(std::uint64_t terminator, bool cr_ends_block_text, std::uint64_t line_start);
    void check_ahead(std::uint64_t need_end, std::uint64_t line_start);

    std::string path_;
    int fd_ = -1;
    // The buffer: kLinePadding bytes, the buffer proper (offsets from buf()), kLinePadding bytes.
    std::string storage_;
    char* buf() { return storage_.data() + kLinePadding; }
    const char* buf() const { return storage_.data() + kLinePadding; }
    std::size_t pos_ = 0;   // start of the unread part of the buffer
    std::size_t end_ = 0;   // end of valid data in the buffer
    std::size_t block_size_;
    bool eof_ = false;
    std::size_t line_no_ = 0;
    bool line_ended_ = false;
    std::size_t total_read_ = 0;
    // File bytes [0, checked_) hold nothing the interpreter's decoder rejects; an incomplete
    // sequence at a block's end stays beyond it until the next block decides.
    std::uint64_t checked_ = 0;
    bool ahead_ok_ = true;  // false when the file cannot be read at an offset (a pipe)
    // Line breaks at buffer offsets breaks_at_ + i not yet consumed, bit i each.
    std::uint64_t breaks_ = 0;
    std::size_t breaks_at_ = 0;
    // Buffer offset below which next_usual may return lines: a line end below it lies in a
    // decoding block that is wholly checked, and at least 8 bytes of the buffer follow it.
    std::size_t usual_end_ = 0;
};

// Checks that `bytes` is valid UTF-8 as the interpreter's strict decoder sees it. On failure
// sets the span of the offending bytes and the decoder's reason and returns false.
bool check_utf8(std::string_view bytes, std::size_t& bad_start, std::size_t& bad_end, const char*& reason);

} // namespace vombrelle
