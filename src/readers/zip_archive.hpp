// A zip archive read as the interpreter's zip reader (zipfile.ZipFile(path) in mode "r", its
// namelist() and read()) reads it: the same members listed, the same bytes read from each, and the
// same archives and members refused, with the same exceptions and messages.
//
// The directory. The end-of-central-directory record is the file's last 22 bytes when they hold
// its signature and no comment, else the last signature within the last 64 KiB + 22 bytes; a zip64
// record is used when its locator sits right before that record and the record right before the
// locator. The directory is taken to end where those records start, so its declared size says
// where it begins; the gap between that and its declared offset is data before the archive, which
// shifts every member's offset alike. Entries are read while the declared size lasts. Entry
// counts, disk numbers (but a zip64 locator's), dates, versions made by, attributes, comments and
// every field of a local header but its signature, name and flag for UTF-8 names are never
// looked at. Names are UTF-8 when flagged so, else code page 437.
//
// A member. Its local header must start with the signature and hold the directory's name; its
// data must end before the next member's local header (or the directory) starts: this refuses the
// archives whose entries share one compressed stream many times over, so what a reading can cost
// stays bounded by the file. Members flagged as patched data, strongly encrypted or encrypted,
// and methods other than stored, deflate, bzip2 and LZMA, are refused. The data is read as
// zip_member_data.hpp says, and its CRC-32 checked against the directory's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "readers/zip_member_data.hpp"

namespace vombrelle {

// A file offset as the interpreter computes it: a directory's 64-bit offset shifted by the data
// before the archive, which may leave the 64-bit range either way.
using ZipOffset = __int128;

struct ZipEntry {
    std::string name;       // as namelist() lists it: decoded, cut at the first NUL
    std::string full_name;  // decoded, uncut: the name its local header must hold
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed_size = 0;  // bytes, as declared
    std::uint64_t size = 0;             // bytes, as declared
    ZipOffset header_offset = 0;        // of its local header
    ZipOffset end_offset = 0;           // of the next local header up, or of the directory
};

class ZipArchive {
public:
    // Opens the archive and reads its directory. Raises what ZipFile(path) raises: OSError from
    // opening the file, then BadZipFile, NotImplementedError or UnicodeDecodeError. Every error
    // of the archive carries "in file '<path>'".
    explicit ZipArchive(const std::string& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::string& path() const { return path_; }

    // In directory order, directories and repeated names included.
    const std::vector<ZipEntry>& entries() const { return entries_; }

    // The content of `entry` into `out`, as ZipFile.read(entry.name) returns it when `entry` is
    // the last entry of that name. Safe from several threads at once.
    void read(const ZipEntry& entry, std::string& out, ZipReadBuffers& buffers) const;

private:
    void read_directory();

    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;  // bytes of the file
    std::vector<ZipEntry> entries_;
};

} // namespace vombrelle
