// The data of one zip member, read and decompressed as the interpreter's zip reader reads it
// (ZipExtFile.read() to the end): stored, deflate, bzip2 and LZMA members.
//
// The compressed data is taken a gigabyte at a time, never past what the directory declares nor
// past the end of the file (the file ending first is EOFError). Each piece is decompressed whole;
// the member ends when the stream ends, when the declared compressed size is used up, or when the
// declared size has come out. What comes out past the declared size is dropped. The codecs'
// errors are the interpreter's: zlib.error for deflate, OSError("Invalid data stream") for
// bzip2, lzma.LZMAError for LZMA.
//
// Where the interpreter would decompress and hold all it then drops, this reader stays bounded: a
// bzip2 or LZMA member that decompresses to more than 64 MiB past its declared size raises
// MemoryError. (A deflate member needs no such bound: the interpreter's own deflate reading
// stops a gigabyte past it.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vombrelle {

// Compression methods the interpreter's zip reader reads.
enum ZipMethod : std::uint16_t { kZipStored = 0, kZipDeflated = 8, kZipBzip2 = 12, kZipLzma = 14 };

// Up to `n` bytes of the file at `pos` into `buf` (fewer only where the file ends). Safe from
// several threads at once: it moves no file position. Raises OSError on a failed read.
std::size_t read_file_at(int fd, std::uint64_t pos, char* buf, std::size_t n);

// One member's data as the directory declares it.
struct ZipMemberData {
    int fd = -1;
    std::uint64_t file_size = 0;        // bytes of the archive file
    std::uint64_t start = 0;            // offset of the member's first data byte (after its local header)
    std::uint64_t compressed_size = 0;  // bytes, as declared
    std::uint64_t size = 0;             // bytes, as declared
    std::uint16_t method = kZipStored;  // one of ZipMethod
    std::string_view prefetched;        // bytes of the file from `start` on, already read (any number)
};

// Buffers a reading thread keeps from one member to the next.
struct ZipReadBuffers {
    std::string header;   // the local header and what follows it, read at once
    std::string chunk;    // a piece of compressed data
    std::string carried;  // compressed data left over from a piece
    std::string dropped;  // where output past the declared size goes
};

// Fills `out` with the member's content, as read() returns it before its CRC-32 is checked.
void read_zip_member_data(const ZipMemberData& member, std::string& out, ZipReadBuffers& buffers);

} // namespace vombrelle
