#include "readers/zip_archive.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unistd.h>
#include <zlib.h>

#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "common/host_text.hpp"
#include "common/text_file.hpp"

namespace vombrelle {

namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kEndRecord64Size = 56;
constexpr std::size_t kDirectoryEntrySize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
// How far back from the end the end record is looked for: its comment may take 64 KiB.
constexpr std::uint64_t kCommentRoom = std::uint64_t(1) << 16;
// Read with a member's local header: room for a local extra field, and the first compressed
// bytes (all of them for the members of a spectrum archive), so that one read does.
constexpr std::size_t kLocalExtraRoom = 64;
constexpr std::uint64_t kDataPrefetch = std::uint64_t(1) << 20;

constexpr std::uint16_t kFlagEncrypted = 1 << 0;
constexpr std::uint16_t kFlagPatchedData = 1 << 5;
constexpr std::uint16_t kFlagStrongEncryption = 1 << 6;
constexpr std::uint16_t kFlagUtf8Name = 1 << 11;
constexpr unsigned kMaxExtractVersion = 63;

std::uint16_t u16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}
std::uint32_t u32(const char* p) { return u16(p) | std::uint32_t(u16(p + 2)) << 16; }
std::uint64_t u64(const char* p) { return u32(p) | std::uint64_t(u32(p + 4)) << 32; }

// Code page 437, bytes 0x80-0xFF (the lower half is ASCII).
constexpr char32_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A stored name as text: UTF-8 when flagged so (strictly: a bad byte is UnicodeDecodeError),
// else code page 437, which decodes every byte.
std::string decode_name(std::string_view raw, bool utf8) {
    if (is_ascii(raw)) return std::string(raw);
    if (utf8) {
        std::size_t start, end;
        const char* reason;
        if (!check_utf8(raw, start, end, reason)) throw unicode_decode_error("utf-8", std::string(raw), start, end, reason);
        return std::string(raw);
    }
    std::string out;
    out.reserve(raw.size() * 3);
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        append_utf8(out, b < 0x80 ? char32_t(b) : kCp437High[b - 0x80]);
    }
    return out;
}

HostError not_a_zip() { return bad_zip_error("File is not a zip file"); }

std::uint32_t crc32_of(std::string_view bytes) {
    uLong crc = ::crc32(0L, Z_NULL, 0);
    // zlib takes at most 4 GiB at a time.
    for (std::size_t at = 0; at < bytes.size();) {
        const uInt n = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, UINT32_MAX));
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + at), n);
        at += n;
    }
    return static_cast<std::uint32_t>(crc);
}

struct EndRecord {
    std::uint64_t location = 0;   // offset of the end-of-central-directory record
    std::uint64_t dir_size = 0;   // bytes, as declared
    std::uint64_t dir_offset = 0; // as declared
    bool zip64 = false;
};

// The zip64 end record's fields replace the record's when its locator sits right before the
// record and it sits right before the locator.
void read_zip64_end(int fd, EndRecord& rec) {
    if (rec.location < kLocatorSize) return;
    char loc[kLocatorSize];
    if (read_file_at(fd, rec.location - kLocatorSize, loc, kLocatorSize) != kLocatorSize) return;
    if (std::memcmp(loc, "PK\x06\x07", 4) != 0) return;
    if (u32(loc + 4) != 0 || u32(loc + 16) > 1) throw bad_zip_error("zipfiles that span multiple disks are not supported");
    if (rec.location < kLocatorSize + kEndRecord64Size) throw not_a_zip();
    char end[kEndRecord64Size];
    if (read_file_at(fd, rec.location - kLocatorSize - kEndRecord64Size, end, kEndRecord64Size) != kEndRecord64Size) return;
    if (std::memcmp(end, "PK\x06\x06", 4) != 0) return;
    rec.zip64 = true;
    rec.dir_size = u64(end + 40);
    rec.dir_offset = u64(end + 48);
}

EndRecord read_end_record(int fd, std::uint64_t file_size) {
    if (file_size < kEndRecordSize) throw not_a_zip();
    EndRecord rec;
    char last[kEndRecordSize];
    if (read_file_at(fd, file_size - kEndRecordSize, last, kEndRecordSize) != kEndRecordSize) throw not_a_zip();
    if (std::memcmp(last, "PK\x05\x06", 4) == 0 && u16(last + 20) == 0) {
        rec.location = file_size - kEndRecordSize;
    } else {
        // A comment follows the record (its declared length is not trusted).
        const std::uint64_t from = file_size > kCommentRoom + kEndRecordSize ? file_size - kCommentRoom - kEndRecordSize : 0;
        std::string tail(static_cast<std::size_t>(file_size - from), '\0');
        tail.resize(read_file_at(fd, from, tail.data(), tail.size()));
        const std::size_t at = tail.rfind(std::string_view("PK\x05\x06", 4));
        if (at == std::string::npos || tail.size() - at < kEndRecordSize) throw not_a_zip();
        std::memcpy(last, tail.data() + at, kEndRecordSize);
        rec.location = from + at;
    }
    rec.dir_size = u32(last + 12);
    rec.dir_offset = u32(last + 16);
    read_zip64_end(fd, rec);
    return rec;
}

// A directory entry's zip64 extra field replaces the sizes and offset that are saturated.
void read_extra(std::string_view extra, ZipEntry& e, std::uint64_t& header_offset) {
    while (extra.size() >= 4) {
        const std::uint16_t id = u16(extra.data());
        const std::size_t len = u16(extra.data() + 2);
        if (len + 4 > extra.size()) {
            char message[64];
            std::snprintf(message, sizeof message, "Corrupt extra field %04x (size=%zu)", id, len);
            throw bad_zip_error(message);
        }
        if (id == 1) {
            std::string_view data = extra.substr(4, len);
            auto next = [&](const char* field) {
                if (data.size() < 8) throw bad_zip_error(std::string("Corrupt zip64 extra field. ") + field + " not found.");
                const std::uint64_t v = u64(data.data());
                data.remove_prefix(8);
                return v;
            };
            if (e.size == UINT64_MAX || e.size == UINT32_MAX) e.size = next("File size");
            if (e.compressed_size == UINT32_MAX) e.compressed_size = next("Compress size");
            if (header_offset == UINT32_MAX) header_offset = next("Header offset");
        }
        extra.remove_prefix(len + 4);
    }
}

std::string_view take(std::string_view& from, std::size_t n) {
    const std::string_view part = from.substr(0, std::min(n, from.size()));
    from.remove_prefix(part.size());
    return part;
}

} // namespace

ZipArchive::ZipArchive(const std::string& path) : path_(path) {
    fd_ = open_readable(path);
    try {
        try {
            const off_t end = ::lseek(fd_, 0, SEEK_END);
            if (end < 0) throw not_a_zip();  // a pipe or a terminal: no end to look at
            size_ = static_cast<std::uint64_t>(end);
            read_directory();
        } catch (HostError& e) {
            e.with_context("in file '" + path_ + "'");
            throw;
        }
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

ZipArchive::~ZipArchive() { ::close(fd_); }

void ZipArchive::read_directory() {
    const EndRecord rec = read_end_record(fd_, size_);
    // Whatever lies between the directory's declared offset and where it is found is data
    // before the archive: every offset shifts by it.
    const ZipOffset shift = ZipOffset(rec.location) - rec.dir_size - rec.dir_offset -
                            (rec.zip64 ? ZipOffset(kLocatorSize + kEndRecord64Size) : 0);
    const ZipOffset dir_start = rec.dir_offset + shift;
    if (dir_start < 0) throw bad_zip_error("Bad offset for central directory");
    // The directory lies before its end record, so what is read is bounded by the file.
    std::string dir(static_cast<std::size_t>(std::min<std::uint64_t>(rec.dir_size, size_ - std::uint64_t(dir_start))), '\0');
    dir.resize(read_file_at(fd_, static_cast<std::uint64_t>(dir_start), dir.data(), dir.size()));

    std::string_view rest = dir;
    for (std::uint64_t total = 0; total < rec.dir_size;) {
        if (rest.size() < kDirectoryEntrySize) throw bad_zip_error("Truncated central directory");
        const char* c = rest.data();
        if (std::memcmp(c, "PK\x01\x02", 4) != 0) throw bad_zip_error("Bad magic number for central directory");
        rest.remove_prefix(kDirectoryEntrySize);
        ZipEntry e;
        e.flags = u16(c + 8);
        const std::uint16_t name_len = u16(c + 28), extra_len = u16(c + 30), comment_len = u16(c + 32);
        e.full_name = decode_name(take(rest, name_len), e.flags & kFlagUtf8Name);
        const std::string_view extra = take(rest, extra_len);
        take(rest, comment_len);
        const unsigned extract_version = static_cast<unsigned char>(c[6]);
        if (extract_version > kMaxExtractVersion) {
            throw HostError(ErrorKind::NotImplemented, "zip file version " + std::to_string(extract_version / 10) + "." +
                                                           std::to_string(extract_version % 10));
        }
        e.method = u16(c + 10);
        e.crc = u32(c + 16);
        e.compressed_size = u32(c + 20);
        e.size = u32(c + 24);
        std::uint64_t header_offset = u32(c + 42);
        read_extra(extra, e, header_offset);
        e.header_offset = header_offset + shift;
        e.name = e.full_name.substr(0, e.full_name.find('\0'));
        entries_.push_back(std::move(e));
        total += kDirectoryEntrySize + name_len + extra_len + comment_len;
    }

    // Each member's data must end before the next local header up (by offset; of entries at one
    // offset, the first in the directory comes last) or, for the last, the directory.
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries_[a].header_offset > entries_[b].header_offset;
    });
    ZipOffset end = dir_start;
    for (std::size_t i : order) {
        entries_[i].end_offset = end;
        end = entries_[i].header_offset;
    }
}

void ZipArchive::read(const ZipEntry& entry, std::string& out, ZipReadBuffers& buffers) const {
    try {
        const ZipOffset at = entry.header_offset;
        // The interpreter seeks there first: an offset beyond 64 bits cannot be sought, a
        // negative one, or one past what the file system allows, is refused by the system.
        if (at < ZipOffset(INT64_MIN) || at > ZipOffset(INT64_MAX)) {
            throw value_error("cannot fit 'int' into an offset-sized integer");
        }
        if (at < 0) throw os_error_unnamed(EINVAL);
        const auto header_at = static_cast<std::uint64_t>(at);
        if (header_at > size_ && ::lseek(fd_, static_cast<off_t>(header_at), SEEK_SET) < 0) throw os_error_unnamed(errno);

        std::string& head = buffers.header;
        head.resize(kLocalHeaderSize + entry.full_name.size() + kLocalExtraRoom +
                    static_cast<std::size_t>(std::min(entry.compressed_size, kDataPrefetch)));
        head.resize(read_file_at(fd_, header_at, head.data(), head.size()));
        if (head.size() < kLocalHeaderSize) throw bad_zip_error("Truncated file header");
        if (std::memcmp(head.data(), "PK\x03\x04", 4) != 0) throw bad_zip_error("Bad magic number for file header");
        const std::uint16_t local_flags = u16(head.data() + 6);
        const std::uint16_t name_len = u16(head.data() + 26), extra_len = u16(head.data() + 28);

        std::string name_bytes;
        std::string_view local_name;
        if (kLocalHeaderSize + name_len <= head.size()) {
            local_name = std::string_view(head).substr(kLocalHeaderSize, name_len);
        } else {
            name_bytes.resize(name_len);
            name_bytes.resize(read_file_at(fd_, header_at + kLocalHeaderSize, name_bytes.data(), name_len));
            local_name = name_bytes;
        }
        std::uint64_t data_at = header_at + kLocalHeaderSize + local_name.size();
        if (extra_len != 0) data_at = std::min(data_at + extra_len, size_);

        if (entry.flags & kFlagPatchedData) {
            throw HostError(ErrorKind::NotImplemented, "compressed patched data (flag bit 5)");
        }
        if (entry.flags & kFlagStrongEncryption) throw HostError(ErrorKind::NotImplemented, "strong encryption (flag bit 6)");
        const bool same_name = is_ascii(local_name) ? local_name == entry.full_name
                                                    : decode_name(local_name, local_flags & kFlagUtf8Name) == entry.full_name;
        if (!same_name) {
            throw bad_zip_error("File name in directory " + py_repr(entry.full_name) + " and header " +
                                py_bytes_repr(local_name) + " differ.");
        }
        if (ZipOffset(data_at) + entry.compressed_size > entry.end_offset) {
            throw bad_zip_error("Overlapped entries: " + py_repr(entry.full_name) + " (possible zip bomb)");
        }
        if (entry.flags & kFlagEncrypted) {
            // No password is ever given.
            throw HostError(ErrorKind::Runtime,
                            "File " + py_repr(entry.name) + " is encrypted, password required for extraction");
        }

        ZipMemberData data;
        data.fd = fd_;
        data.file_size = size_;
        data.start = data_at;
        data.compressed_size = entry.compressed_size;
        data.size = entry.size;
        data.method = entry.method;
        if (data_at - header_at <= head.size()) data.prefetched = std::string_view(head).substr(data_at - header_at);
        read_zip_member_data(data, out, buffers);
        if (crc32_of(out) != entry.crc) throw bad_zip_error("Bad CRC-32 for file " + py_repr(entry.name));
    } catch (HostError& e) {
        e.with_context("in file '" + path_ + "'");
        throw;
    }
}

} // namespace vombrelle
