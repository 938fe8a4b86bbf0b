#include "common/text_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.hpp"

namespace vombrelle {

namespace {

inline bool is_cont(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

bool check_utf8(std::string_view bytes, std::size_t& bad_start, std::size_t& bad_end, const char*& reason) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII runs, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, s + i, 8);
            if (w & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        unsigned char c = s[i];
        if (c < 0x80) { ++i; continue; }
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
    : path_(path), block_size_(block_size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw os_error(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw os_error(EISDIR, path);
    }
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) {
        int err = errno;
        ::close(fd);
        throw os_error(err, path);
    }
    buf_.resize(block_size_);
}

TextLineReader::~TextLineReader() {
    if (file_ != nullptr) std::fclose(file_);
}

bool TextLineReader::fill() {
    if (eof_) return false;
    // Keep the unread tail, then read a block behind it.
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (buf_.size() - end_ < block_size_ / 2) buf_.resize(buf_.size() * 2);
    std::size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
    if (got == 0) {
        if (std::ferror(file_)) throw os_error(errno ? errno : EIO, path_);
        eof_ = true;
        return false;
    }
    end_ += got;
    total_read_ += got;
    return true;
}

bool TextLineReader::next(std::string_view& line) {
    std::size_t scanned = 0;  // bytes after pos_ already known to hold no line end
    for (;;) {
        const char* base = buf_.data();
        const char* p = base + pos_ + scanned;
        const std::size_t rem = end_ - pos_ - scanned;
        const void* lf = std::memchr(p, '\n', rem);
        const std::size_t before_lf = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) : rem;
        const void* cr = std::memchr(p, '\r', before_lf);
        const char* hit = cr ? static_cast<const char*>(cr) : static_cast<const char*>(lf);
        if (hit != nullptr) {
            const std::size_t len = static_cast<std::size_t>(hit - (base + pos_));
            std::size_t advance = len + 1;
            if (*hit == '\r') {
                if (pos_ + advance == end_ && !eof_) {
                    // A CR at the end of the buffer may be the first half of a CRLF.
                    scanned = len;
                    fill();
                    continue;
                }
                if (pos_ + advance < end_ && base[pos_ + advance] == '\n') ++advance;
            }
            line = std::string_view(base + pos_, len);
            pos_ += advance;
            ++line_no_;
            line_ended_ = true;
            validate_utf8(line);
            return true;
        }
        scanned = end_ - pos_;
        if (!fill()) {
            if (pos_ >= end_) return false;
            line = std::string_view(buf_.data() + pos_, end_ - pos_);
            pos_ = end_;
            ++line_no_;
            line_ended_ = false;
            validate_utf8(line);
            return true;
        }
    }
}

void TextLineReader::validate_utf8(std::string_view line) const {
    std::size_t start, end;
    const char* reason;
    if (check_utf8(line, start, end, reason)) return;
    // Mid-file, a sequence cut short by the line end is an invalid continuation, as the
    // interpreter sees the line feed that follows it.
    bool at_eof = eof_ && pos_ >= end_;
    if (!at_eof && std::strcmp(reason, "unexpected end of data") == 0) {
        reason = "invalid continuation byte";
    }
    throw unicode_decode_error("utf-8", std::string(line), start, end, reason)
        .with_context(file_line_context(path_, line_no_));
}

} // namespace vombrelle
