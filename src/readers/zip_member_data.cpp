#include "readers/zip_member_data.hpp"

#include <algorithm>
#include <bzlib.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <lzma.h>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

#include "common/errors.hpp"
#include "common/interruptible_io.hpp"

namespace vombrelle {

namespace {

// The compressed bytes read at once, and the most one deflate call puts out (ZipExtFile.MAX_N).
constexpr std::uint64_t kPiece = std::uint64_t(1) << 30;
// The fewest compressed bytes asked for at once (ZipExtFile.MIN_READ_SIZE).
constexpr std::uint64_t kMinRead = 4096;
// What a member's content is first given room for, short of its declared size.
constexpr std::uint64_t kFirstOutput = std::uint64_t(1) << 16;
// Room for output that is dropped, a piece at a time.
constexpr std::size_t kDropRoom = std::size_t(1) << 16;
// Output past the declared size that the bzip2 and LZMA decoders may drop before giving up. It
// is decoded only to find the errors the interpreter would find in it; no honest archive has any.
constexpr std::uint64_t kDropBudget = std::uint64_t(64) << 20;

// The blocks the interpreter's decompression output grows by. Its bzip2 decompression returns as
// soon as the input is used up, whether or not output is held back: for a stream cut short right
// after a block, how much of that block comes out depends on where these blocks end.
constexpr std::uint64_t kKiB = 1024, kMiB = 1024 * 1024;
constexpr std::uint64_t kOutputBlocks[] = {32 * kKiB,  64 * kKiB,  256 * kKiB, 1 * kMiB,   4 * kMiB,  8 * kMiB,
                                           16 * kMiB,  16 * kMiB,  32 * kMiB,  32 * kMiB,  32 * kMiB, 32 * kMiB,
                                           64 * kMiB,  64 * kMiB,  128 * kMiB, 128 * kMiB, 256 * kMiB};

std::uint64_t output_block(std::size_t k) {
    return kOutputBlocks[std::min(k, std::size(kOutputBlocks) - 1)];
}

HostError memory_error() { return HostError(ErrorKind::Memory, ""); }

// The member's compressed data, handed out as ZipExtFile._read2 hands it out.
class CompressedData {
public:
    CompressedData(const ZipMemberData& m, ZipReadBuffers& buffers)
        : m_(m), buffers_(buffers), pos_(m.start), left_(m.compressed_size) {}

    // Declared compressed bytes not handed out yet.
    std::uint64_t left() const { return left_; }

    // The next piece: at least 4096 bytes asked for, no more than are declared, fewer where
    // the file ends; empty once the declared bytes are used up; EOFError when the file has
    // ended though more are declared. `at` receives the piece's offset in the file.
    std::uint64_t skip(std::uint64_t n, std::uint64_t& at) {
        if (left_ == 0) return 0;
        const std::uint64_t wanted = std::min(std::max(n, kMinRead), left_);
        const std::uint64_t got = std::min(wanted, pos_ < m_.file_size ? m_.file_size - pos_ : 0);
        if (got == 0) throw HostError(ErrorKind::EndOfFile, "");
        at = pos_;
        pos_ += got;
        left_ -= got;
        return got;
    }

    // The same, with its bytes.
    std::string_view next(std::uint64_t n) {
        std::uint64_t at = 0;
        const std::uint64_t got = skip(n, at);
        if (got == 0) return {};
        if (at - m_.start + got <= m_.prefetched.size()) return m_.prefetched.substr(at - m_.start, got);
        std::string& chunk = buffers_.chunk;
        chunk.resize(got);
        chunk.resize(read_file_at(m_.fd, at, chunk.data(), got));
        return chunk;
    }

    // Up to `n` bytes at `at` into `dest`; the number copied.
    std::size_t copy(std::uint64_t at, std::size_t n, char* dest) const {
        if (at - m_.start + n <= m_.prefetched.size()) {
            std::memcpy(dest, m_.prefetched.data() + (at - m_.start), n);
            return n;
        }
        return read_file_at(m_.fd, at, dest, n);
    }

private:
    const ZipMemberData& m_;
    ZipReadBuffers& buffers_;
    std::uint64_t pos_;
    std::uint64_t left_;
};

// The member's content: what the decoder puts out up to the declared size. Room is handed out
// in `out` while the declared size is not reached, then in a buffer whose bytes are dropped.
class Output {
public:
    Output(std::string& out, std::uint64_t declared, std::string& drop) : out_(out), left_(declared), drop_(drop) {
        out_.clear();
    }
    ~Output() { out_.resize(have_); }

    // Declared bytes still to come.
    std::uint64_t left() const { return left_; }
    std::uint64_t dropped() const { return dropped_; }

    // Room for at most `most` bytes (at least one when `most` is not 0), to be committed.
    std::pair<char*, std::size_t> room(std::uint64_t most) {
        most = std::min(most, kPiece);
        if (left_ == 0) {
            if (drop_.size() < kDropRoom) drop_.resize(kDropRoom);
            dropping_ = true;
            return {drop_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(most, kDropRoom))};
        }
        if (have_ == out_.size()) {
            // Grows with what has come, never by more than is declared: a declared size is no
            // promise, so memory follows the data.
            const std::uint64_t grow = std::min(left_, std::max<std::uint64_t>(kFirstOutput, have_));
            out_.resize(have_ + static_cast<std::size_t>(grow));
        }
        dropping_ = false;
        return {out_.data() + have_, static_cast<std::size_t>(std::min<std::uint64_t>(most, out_.size() - have_))};
    }

    void commit(std::size_t n) {
        if (dropping_) {
            dropped_ += n;
        } else {
            have_ += n;
            left_ -= n;
        }
    }

private:
    std::string& out_;
    std::size_t have_ = 0;
    std::uint64_t left_;
    std::string& drop_;
    bool dropping_ = false;
    std::uint64_t dropped_ = 0;
};

void read_stored(CompressedData& in, Output& out) {
    for (bool eof = false; !eof;) {
        std::uint64_t at = 0;
        const std::uint64_t got = in.skip(kPiece, at);
        eof = in.left() == 0;
        // Only the bytes kept are read: the rest would be dropped unseen.
        for (std::uint64_t keep = std::min(got, out.left()); keep > 0;) {
            auto [p, n] = out.room(keep);
            const std::size_t copied = in.copy(at, n, p);
            out.commit(copied);
            if (copied < n) return;  // the file shrank meanwhile
            at += n;
            keep -= n;
        }
        if (out.left() == 0) eof = true;
    }
}

// zlib.error as the interpreter words it.
HostError zlib_error(int err, const char* zmsg, const char* while_doing) {
    if (err == Z_VERSION_ERROR) zmsg = "library version mismatch";
    if (zmsg == nullptr) {
        switch (err) {
            case Z_BUF_ERROR: zmsg = "incomplete or truncated stream"; break;
            case Z_STREAM_ERROR: zmsg = "inconsistent stream state"; break;
            case Z_DATA_ERROR: zmsg = "invalid input data"; break;
            default: break;
        }
    }
    std::string message = "Error " + std::to_string(err) + " " + while_doing;
    if (zmsg != nullptr) message += ": " + std::string(zmsg).substr(0, 200);
    return HostError(ErrorKind::Zlib, std::move(message));
}

class Inflater {
public:
    Inflater() {
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) throw memory_error();
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream* operator->() { return &z_; }
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
};

// A raw deflate stream, read as a decompressobj(-15) is fed by the zip reader: each piece is
// decompressed to at most a gigabyte of output, what that leaves of it is carried into the next
// call, and once the stream has ended or no data is left the decompressor is flushed.
void read_deflated(CompressedData& in, Output& out, ZipReadBuffers& buffers) {
    Inflater z;
    std::string& carried = buffers.carried;
    carried.clear();
    for (bool eof = false; !eof;) {
        std::string_view data = carried;
        if (kPiece > carried.size()) {
            const std::string_view fresh = in.next(kPiece - carried.size());
            if (carried.empty()) {
                data = fresh;
            } else {
                carried.append(fresh);
                data = carried;
            }
        }
        z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z->avail_in = static_cast<uInt>(data.size());
        bool ended = false;
        for (std::uint64_t produced = 0; produced < kPiece;) {
            auto [p, n] = out.room(kPiece - produced);
            z->next_out = reinterpret_cast<Bytef*>(p);
            z->avail_out = static_cast<uInt>(n);
            const int err = inflate(z.get(), Z_SYNC_FLUSH);
            const std::size_t made = n - z->avail_out;
            out.commit(made);
            produced += made;
            if (err == Z_STREAM_END) {
                ended = true;
                break;
            }
            if (err != Z_OK && err != Z_BUF_ERROR) throw zlib_error(err, z->msg, "while decompressing data");
            if (z->avail_out != 0) break;  // the input is used up
        }
        // What the output limit left of the piece (data may be `carried` itself).
        const std::size_t rest = ended ? 0 : z->avail_in;
        carried = std::string(data.substr(data.size() - rest));
        eof = ended || (in.left() == 0 && carried.empty());
        if (eof && !ended) {
            // flush(): whatever the decompressor still holds; its errors go unreported.
            for (;;) {
                auto [p, n] = out.room(UINT64_MAX);
                z->next_out = reinterpret_cast<Bytef*>(p);
                z->avail_out = static_cast<uInt>(n);
                const int err = inflate(z.get(), Z_FINISH);
                out.commit(n - z->avail_out);
                if ((err != Z_OK && err != Z_BUF_ERROR) || z->avail_out != 0) break;
            }
        }
        if (out.left() == 0) eof = true;
    }
}

void check_bzip2(int ret) {
    switch (ret) {
        case BZ_OK:
        case BZ_STREAM_END: return;
        case BZ_MEM_ERROR: throw memory_error();
        case BZ_DATA_ERROR:
        case BZ_DATA_ERROR_MAGIC: throw os_message_error("Invalid data stream");
        case BZ_UNEXPECTED_EOF:
            throw HostError(ErrorKind::EndOfFile, "Compressed file ended before the logical end-of-stream was detected");
        default: throw HostError(ErrorKind::Runtime, "Unrecognized error from libbzip2: " + std::to_string(ret));
    }
}

class Bunzipper {
public:
    Bunzipper() { check_bzip2(BZ2_bzDecompressInit(&s_, 0, 0)); }
    ~Bunzipper() { BZ2_bzDecompressEnd(&s_); }
    Bunzipper(const Bunzipper&) = delete;
    Bunzipper& operator=(const Bunzipper&) = delete;
    bz_stream* operator->() { return &s_; }
    bz_stream* get() { return &s_; }

private:
    bz_stream s_{};
};

// A bzip2 stream, each piece decompressed whole by one BZ2Decompressor.decompress call.
void read_bzip2(CompressedData& in, Output& out) {
    Bunzipper s;
    for (bool eof = false, ended = false; !eof;) {
        const std::string_view data = in.next(kPiece);
        s->next_in = const_cast<char*>(data.data());
        s->avail_in = static_cast<unsigned>(data.size());
        std::size_t block = 0;
        std::uint64_t block_room = output_block(0);
        for (;;) {
            // One call of the interpreter's, given the rest of its current output block.
            int ret = BZ_OK;
            for (;;) {
                auto [p, n] = out.room(block_room);
                s->next_out = p;
                s->avail_out = static_cast<unsigned>(n);
                ret = BZ2_bzDecompress(s.get());
                const std::size_t made = n - s->avail_out;
                out.commit(made);
                block_room -= made;
                if (ret != BZ_OK || s->avail_out != 0 || block_room == 0) break;
            }
            check_bzip2(ret);
            if (out.dropped() > kDropBudget) throw memory_error();
            if (ret == BZ_STREAM_END) {
                ended = true;
                break;
            }
            if (s->avail_in == 0) break;
            if (block_room == 0) block_room = output_block(++block);
        }
        eof = ended || in.left() == 0 || out.left() == 0;
    }
}

void check_lzma(lzma_ret ret) {
    const char* message = nullptr;
    switch (ret) {
        case LZMA_OK:
        case LZMA_GET_CHECK:
        case LZMA_NO_CHECK:
        case LZMA_STREAM_END: return;
        case LZMA_MEM_ERROR: throw memory_error();
        case LZMA_UNSUPPORTED_CHECK: message = "Unsupported integrity check"; break;
        case LZMA_MEMLIMIT_ERROR: message = "Memory usage limit exceeded"; break;
        case LZMA_FORMAT_ERROR: message = "Input format not supported by decoder"; break;
        case LZMA_OPTIONS_ERROR: message = "Invalid or unsupported options"; break;
        case LZMA_DATA_ERROR: message = "Corrupt input data"; break;
        case LZMA_BUF_ERROR: message = "Insufficient buffer space"; break;
        case LZMA_PROG_ERROR: message = "Internal error"; break;
        default: break;
    }
    throw HostError(ErrorKind::Lzma, message ? std::string(message)
                                             : "Unrecognized error from liblzma: " + std::to_string(int(ret)));
}

// An LZMA decoder whose large blocks are mapped, not allocated: its dictionary is allocated
// whole when it is set up, at the size the stream declares (up to 4 GiB), and a mapping only
// takes memory as the dictionary fills, so memory follows the output, not the declaration.
class Unlzma {
public:
    Unlzma() {
        allocator_ = {&Unlzma::allocate, &Unlzma::release, this};
        s_.allocator = &allocator_;
    }
    ~Unlzma() { lzma_end(&s_); }
    Unlzma(const Unlzma&) = delete;
    Unlzma& operator=(const Unlzma&) = delete;
    lzma_stream* operator->() { return &s_; }
    lzma_stream* get() { return &s_; }

private:
    static constexpr std::size_t kMappedFrom = std::size_t(1) << 20;

    static void* allocate(void* self, std::size_t count, std::size_t size) {
        if (size != 0 && count > SIZE_MAX / size) return nullptr;
        const std::size_t bytes = count * size;
        if (bytes < kMappedFrom) return std::malloc(bytes);
        void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        try {
            static_cast<Unlzma*>(self)->mapped_.emplace_back(p, bytes);
        } catch (...) {
            ::munmap(p, bytes);
            return nullptr;
        }
        return p;
    }

    static void release(void* self, void* p) {
        auto& mapped = static_cast<Unlzma*>(self)->mapped_;
        for (auto it = mapped.begin(); it != mapped.end(); ++it) {
            if (it->first == p) {
                ::munmap(p, it->second);
                mapped.erase(it);
                return;
            }
        }
        std::free(p);
    }

    lzma_stream s_ = LZMA_STREAM_INIT;
    lzma_allocator allocator_{};
    std::vector<std::pair<void*, std::size_t>> mapped_;
};

// An LZMA member: a 4-byte header (version, then the length of the properties), the LZMA1
// properties, then a raw LZMA1 stream. The decoder is set up once the header, the properties
// and at least one byte more have come; until then nothing comes out.
void read_lzma(CompressedData& in, Output& out, ZipReadBuffers& buffers) {
    // The declared size, the output dropped past it, and one room's worth the last call may add.
    const std::uint64_t most_output = out.left() > UINT64_MAX - kDropBudget - 2 * kDropRoom
                                          ? UINT64_MAX
                                          : out.left() + kDropBudget + 2 * kDropRoom;
    Unlzma s;
    bool started = false;
    std::string& head = buffers.carried;
    head.clear();
    for (bool eof = false, ended = false; !eof;) {
        std::string_view data = in.next(kPiece);
        if (!started) {
            head.append(data);
            data = {};
            if (head.size() > 4) {
                const std::size_t props = static_cast<unsigned char>(head[2]) | static_cast<unsigned char>(head[3]) << 8;
                if (head.size() > 4 + props) {
                    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
                    check_lzma(lzma_properties_decode(&filters[0], nullptr,
                                                      reinterpret_cast<const std::uint8_t*>(head.data()) + 4, props));
                    // The dictionary need not exceed what can come out before the reading stops:
                    // a stream whose output stays within the dictionary decodes the same whatever
                    // the dictionary's size. So a small member reserves no gigabytes either.
                    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
                    options->dict_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(options->dict_size, most_output));
                    const lzma_ret ret = lzma_raw_decoder(s.get(), filters);
                    std::free(filters[0].options);
                    check_lzma(ret);
                    started = true;
                    data = std::string_view(head).substr(4 + props);
                }
            }
        }
        if (started) {
            s->next_in = reinterpret_cast<const std::uint8_t*>(data.data());
            s->avail_in = data.size();
            for (;;) {
                auto [p, n] = out.room(UINT64_MAX);
                s->next_out = reinterpret_cast<std::uint8_t*>(p);
                s->avail_out = n;
                lzma_ret ret = lzma_code(s.get(), LZMA_RUN);
                out.commit(n - s->avail_out);
                if (ret == LZMA_BUF_ERROR && s->avail_in == 0 && s->avail_out > 0) ret = LZMA_OK;
                check_lzma(ret);
                if (out.dropped() > kDropBudget) throw memory_error();
                if (ret == LZMA_STREAM_END) {
                    ended = true;
                    break;
                }
                if (s->avail_out != 0 && s->avail_in == 0) break;
            }
        }
        eof = ended || in.left() == 0 || out.left() == 0;
    }
}

} // namespace

std::size_t read_file_at(int fd, std::uint64_t pos, char* buf, std::size_t n) {
    std::size_t have = 0;
    while (have < n) {
        const ssize_t got = pread_some(fd, buf + have, n - have, static_cast<off_t>(pos + have));
        if (got < 0) throw os_error_unnamed(errno);
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

void read_zip_member_data(const ZipMemberData& member, std::string& out, ZipReadBuffers& buffers) {
    CompressedData in(member, buffers);
    Output content(out, member.size, buffers.dropped);
    switch (member.method) {
        case kZipStored: read_stored(in, content); break;
        case kZipDeflated: read_deflated(in, content, buffers); break;
        case kZipBzip2: read_bzip2(in, content); break;
        case kZipLzma: read_lzma(in, content, buffers); break;
        default: throw HostError(ErrorKind::NotImplemented, "That compression method is not supported");
    }
}

} // namespace vombrelle
