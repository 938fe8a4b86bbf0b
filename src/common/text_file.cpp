#include "common/text_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "common/byte_scan.hpp"
#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "common/host_text.hpp"
#include "common/interruptible_io.hpp"
#include "common/interruption.hpp"

namespace vombrelle {

namespace {

inline bool is_cont(unsigned char c) { return (c & 0xC0) == 0x80; }

// The interpreter decodes a text file in blocks of kHostBlock bytes, carrying a character cut by
// a block's end over to the next block, and reports a decoding error by its position in the
// block it was decoding (with the carried bytes in front), or, for a character cut by the end
// of the file, in the carried bytes alone.
constexpr std::uint64_t kHostBlock = TextLineReader::kHostBlock;

// Re-reads the block in which the interpreter meets the invalid bytes at file offset `bad`
// (`span` bytes, the first one a bad start byte or followed by a bad continuation byte) into
// `object` and sets `start` within it. False when the file cannot be re-read (not a regular
// file); the caller then keeps the line as the object.
bool host_decode_block(int fd, std::uint64_t bad, std::size_t span, bool truncated, bool bad_start_byte,
                       std::string& object, std::size_t& start) {
    auto read_at = [fd](std::string& into, std::size_t size, std::uint64_t offset) {
        into.resize(size);
        const ssize_t got = pread_some(fd, into.data(), size, static_cast<off_t>(offset));
        into.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return got >= 0;
    };
    std::string data;
    if (truncated) {
        if (!read_at(data, span, bad) || data.size() != span) return false;
        object = std::move(data);
        start = 0;
        return true;
    }
    // The byte that makes the sequence invalid decides the block.
    const std::uint64_t trigger = bad_start_byte ? bad : bad + span;
    const std::uint64_t block = trigger / kHostBlock * kHostBlock;
    std::uint64_t data_start = block;
    if (bad < block) {
        data_start = bad;  // the bad sequence itself was carried over
    } else if (block > 0) {
        // A valid character cut by the block's start was carried over in front of it.
        std::string tail;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(3, block));
        if (!read_at(tail, want, block - want) || tail.size() != want) return false;
        for (std::size_t back = 1; back <= want; ++back) {
            const auto c = static_cast<unsigned char>(tail[want - back]);
            if (is_cont(c)) continue;
            const std::size_t len = c < 0x80 ? 1 : (c < 0xE0 ? 2 : (c < 0xF0 ? 3 : 4));
            if (len > back) data_start = block - back;
            break;
        }
    }
    const auto size = static_cast<std::size_t>(block + kHostBlock - data_start);
    if (!read_at(data, size, data_start) || data_start + data.size() < bad + span) return false;
    object = std::move(data);
    start = static_cast<std::size_t>(bad - data_start);
    return true;
}

// True when `bytes` is the first part of one character and nothing more.
bool only_a_cut_character(std::string_view bytes) {
    std::size_t start, end;
    const char* reason;
    return !bytes.empty() && bytes.size() < 4 && !check_utf8(bytes, start, end, reason) && start == 0 &&
           std::strcmp(reason, "unexpected end of data") == 0;
}

} // namespace

bool check_utf8(std::string_view bytes, std::size_t& bad_start, std::size_t& bad_end, const char*& reason) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        i += ascii_prefix(bytes.data() + i, n - i);
        if (i >= n) break;
        unsigned char c = s[i];
        std::size_t need;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
        if (c >= 0xC2 && c <= 0xDF) need = 1;
        else if (c == 0xE0) { need = 2; lo = 0xA0; }
        else if (c >= 0xE1 && c <= 0xEC) need = 2;
        else if (c == 0xED) { need = 2; hi = 0x9F; }  // no surrogates
        else if (c >= 0xEE && c <= 0xEF) need = 2;
        else if (c == 0xF0) { need = 3; lo = 0x90; }
        else if (c >= 0xF1 && c <= 0xF3) need = 3;
        else if (c == 0xF4) { need = 3; hi = 0x8F; }
        else {
            bad_start = i;
            bad_end = i + 1;
            reason = "invalid start byte";
            return false;
        }
        std::size_t k = 1;
        for (; k <= need; ++k) {
            if (i + k >= n) {
                bad_start = i;
                bad_end = n;
                reason = "unexpected end of data";
                return false;
            }
            unsigned char d = s[i + k];
            bool ok = k == 1 ? (d >= lo && d <= hi) : is_cont(d);
            if (!ok) {
                bad_start = i;
                bad_end = i + k;
                reason = "invalid continuation byte";
                return false;
            }
        }
        i += need + 1;
    }
    return true;
}

TextLineReader::TextLineReader(const std::string& path, std::size_t block_size)
    : path_(path), block_size_(std::max<std::size_t>(block_size, 1)) {
    fd_ = open_readable(path);
    // Padding before the buffer and after its end, for the scans of its lines.
    storage_.resize(kLinePadding + block_size_ + kLinePadding);
}

TextLineReader::~TextLineReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool TextLineReader::fill() {
    if (eof_) return false;
    // A block is read at a time: a place where a long read may be interrupted.
    interruption_point();
    // Keep the unread tail, then read a block behind it.
    if (pos_ > 0) {
        std::memmove(buf(), buf() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    // A line longer than the free space grows the buffer (also for the tiniest block size).
    std::size_t size = storage_.size() - 2 * kLinePadding;
    if (size - end_ < std::max<std::size_t>(block_size_ / 2, 1)) {
        size *= 2;
        storage_.resize(size + 2 * kLinePadding);
    }
    const std::size_t got = read_some(fd_, buf() + end_, size - end_, path_);
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += got;
    total_read_ += got;
    validate_ahead();
    return true;
}

// Moves checked_ over the valid bytes just read, up to the first byte the decoder rejects or a
// character the block's end cuts; nothing is raised here. Lines wholly below checked_ then need
// no check of their own, and an error is still raised where the interpreter meets it: when the
// lines reach it (check_host_blocks).
void TextLineReader::validate_ahead() {
    const std::uint64_t buf_offset = total_read_ - end_;
    if (!ahead_ok_ || checked_ < buf_offset || checked_ >= total_read_) return;
    const std::string_view bytes(buf() + (checked_ - buf_offset), total_read_ - checked_);
    std::size_t start, end;
    const char* reason;
    checked_ += check_utf8(bytes, start, end, reason) ? bytes.size() : start;
}

// Where next_usual may go: line ends below a multiple of kHostBlock that checked_ has reached
// need no check, and 8 bytes after each keep a CR's next character and a cut character at the
// file's end within sight.
void TextLineReader::find_usual_end() {
    const std::uint64_t buf_offset = total_read_ - end_;
    const std::uint64_t checked_blocks = checked_ / kHostBlock * kHostBlock;
    const std::size_t checked_end =
        checked_blocks > buf_offset ? static_cast<std::size_t>(checked_blocks - buf_offset) : 0;
    usual_end_ = std::min(checked_end, end_ >= 8 ? end_ - 8 : 0);
}

bool TextLineReader::next_checked(std::string_view& line) {
    breaks_ = 0;  // pos_ moves below; next_usual starts afresh from there
    const bool got = next_line_checked(line);
    find_usual_end();
    return got;
}

bool TextLineReader::next_line_checked(std::string_view& line) {
    std::size_t scanned = 0;  // bytes after pos_ already known to hold no line end
    for (;;) {
        const char* base = buf();
        const std::size_t len_scanned = find_line_break(base + pos_ + scanned, end_ - pos_ - scanned);
        const char* hit = pos_ + scanned + len_scanned < end_ ? base + pos_ + scanned + len_scanned : nullptr;
        if (hit != nullptr) {
            const std::size_t len = static_cast<std::size_t>(hit - (base + pos_));
            std::size_t advance = len + 1;
            if (*hit == '\r') {
                const std::string_view after(base + pos_ + advance, end_ - pos_ - advance);
                if (!eof_ && (after.empty() || only_a_cut_character(after))) {
                    // A CR at the end of the buffer may be the first half of a CRLF, and one
                    // followed by part of a character is not known to be complete either.
                    scanned = len;
                    fill();
                    continue;
                }
                if (!after.empty() && after[0] == '\n') ++advance;
            }
            line = std::string_view(base + pos_, len);
            const std::uint64_t buf_offset = total_read_ - end_;
            const std::uint64_t line_start = buf_offset + pos_;
            pos_ += advance;
            ++line_no_;
            line_ended_ = true;
            // A CR whose block holds nothing decodable after it: it ends the block or the file,
            // or the next character is cut by the block's end.
            const std::uint64_t after_cr = line_start + len + 1;
            const std::uint64_t block_end = (after_cr - 1) / kHostBlock * kHostBlock + kHostBlock;
            const bool cr_ends_block_text =
                *hit == '\r' && (after_cr == block_end || hit + 1 == base + end_ ||
                                 (static_cast<unsigned char>(hit[1]) >= 0x80 &&
                                  after_cr + utf8_length(static_cast<unsigned char>(hit[1])) > block_end));
            check_host_blocks(line_start + len, cr_ends_block_text, line_start);
            if (line_start + len >= checked_) validate_utf8(line);
            if (*hit == '\r' && eof_ && only_a_cut_character(std::string_view(base + pos_, end_ - pos_))) {
                // The interpreter holds a CR back until it knows the character after it; when
                // the end of the file cuts that character, decoding fails before this line is read.
                ++line_no_;
                validate_utf8(std::string_view(base + pos_, end_ - pos_));
            }
            return true;
        }
        scanned = end_ - pos_;
        if (!fill()) {
            if (pos_ >= end_) return false;
            line = std::string_view(buf() + pos_, end_ - pos_);
            const std::uint64_t line_start = total_read_ - end_ + pos_;
            pos_ = end_;
            ++line_no_;
            line_ended_ = false;
            check_ahead(total_read_, line_start);
            validate_utf8(line);
            return true;
        }
    }
}

// The interpreter decodes whole blocks of kHostBlock bytes before it looks for a line's end in
// them, so invalid bytes anywhere in the block that completes a line fail before that line is
// read, also when the line itself would fail first. A line ended by CR is complete only once
// the next character is known: when nothing decodable follows the CR in its block, the next
// block is decoded too.
void TextLineReader::check_host_blocks(std::uint64_t terminator, bool cr_ends_block_text, std::uint64_t line_start) {
    const std::uint64_t block_end = (terminator / kHostBlock + 1) * kHostBlock;
    check_ahead(block_end, line_start);
    if (cr_ends_block_text) check_ahead(block_end + kHostBlock, line_start);
}

void TextLineReader::check_ahead(std::uint64_t need_end, std::uint64_t line_start) {
    if (!ahead_ok_ || need_end <= checked_) return;
    const std::uint64_t buf_offset = total_read_ - end_;
    std::string_view bytes;
    std::string scratch;
    if (checked_ >= buf_offset && need_end <= total_read_) {
        bytes = std::string_view(buf() + (checked_ - buf_offset), need_end - checked_);
    } else {
        scratch.resize(static_cast<std::size_t>(need_end - checked_));
        const ssize_t got = pread_some(fd_, scratch.data(), scratch.size(), static_cast<off_t>(checked_));
        if (got < 0) {
            ahead_ok_ = false;  // lines are then checked one by one
            return;
        }
        scratch.resize(static_cast<std::size_t>(got));
        bytes = scratch;
    }
    std::size_t start, end;
    const char* reason;
    if (check_utf8(bytes, start, end, reason)) {
        checked_ += bytes.size();
        return;
    }
    if (std::strcmp(reason, "unexpected end of data") == 0) {
        checked_ += start;  // cut by the block's end (or the file's, which the last line decides)
        return;
    }
    const std::uint64_t bad = checked_ + start;
    const std::size_t span = end - start;
    std::string object(bytes.substr(start, span));
    std::size_t object_start = 0;
    if (host_decode_block(fd_, bad, span, false, std::strcmp(reason, "invalid start byte") == 0, object,
                          object_start)) {
        end = object_start + span;
    } else {
        end = span;
    }
    // The note names the line that holds the bytes.
    std::size_t line = line_no_;
    std::string before(static_cast<std::size_t>(bad - line_start), '\0');
    const ssize_t got = pread_some(fd_, before.data(), before.size(), static_cast<off_t>(line_start));
    if (got >= 0) {
        before.resize(static_cast<std::size_t>(got));
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] == '\n' || (before[i] == '\r' && (i + 1 == before.size() || before[i + 1] != '\n'))) ++line;
        }
    }
    throw unicode_decode_error("utf-8", std::move(object), object_start, end, reason)
        .with_context(file_line_context(path_, line));
}

void TextLineReader::validate_utf8(std::string_view line) const {
    std::size_t start, end;
    const char* reason;
    if (check_utf8(line, start, end, reason)) return;
    // A sequence cut short by a line end is an invalid continuation, as the interpreter sees the
    // line end that follows it; only at the very end of the file is the data unexpectedly over.
    const bool unterminated_last_line = eof_ && line.data() + line.size() == buf() + end_;
    bool truncated = std::strcmp(reason, "unexpected end of data") == 0;
    if (truncated && !unterminated_last_line) {
        reason = "invalid continuation byte";
        truncated = false;
    }
    std::string object(line);
    const std::size_t span = end - start;
    const std::uint64_t line_offset = total_read_ - end_ + static_cast<std::size_t>(line.data() - buf());
    if (host_decode_block(fd_, line_offset + start, span, truncated,
                          std::strcmp(reason, "invalid start byte") == 0, object, start)) {
        end = start + span;
    }
    throw unicode_decode_error("utf-8", std::move(object), start, end, reason)
        .with_context(file_line_context(path_, line_no_));
}

} // namespace vombrelle
