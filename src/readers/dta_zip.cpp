#include "readers/dta_zip.hpp"

#include <algorithm>
#include <fcntl.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <span>
#include <unistd.h>
#include <unordered_map>
#include <zip.h>
#include <zlib.h>

#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "common/host_text.hpp"
#include "common/parallel_reads.hpp"
#include "common/text_file.hpp"
#include "readers/peak_line.hpp"

namespace vombrelle {

namespace {

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

std::string zip_context(const std::string& path) { return "in file '" + path + "'"; }

HostError not_a_zip(const std::string& path) {
    return std::move(bad_zip_error("File is not a zip file").with_context(zip_context(path)));
}

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// A descriptor closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens the archive as the interpreter does: OS errors first (the file itself), then the zip
// structure. `file` keeps a descriptor of the file for reopen_archive (libzip takes its own).
ZipHandle open_archive(const std::string& path, std::unique_ptr<Descriptor>& file) {
    const int fd = open_readable(path);
    file = std::make_unique<Descriptor>(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    int err = 0;
    zip_t* z = zip_fdopen(fd, ZIP_RDONLY, &err);
    if (z == nullptr) {
        ::close(fd);  // zip_fdopen takes the descriptor only on success
        throw not_a_zip(path);
    }
    return ZipHandle(z);
}

// A second, independent handle on the archive (the same file, also if it has been renamed
// since), for a worker thread: a libzip archive may be used by one thread at a time only. Null
// when none can be had; the other workers then do the work.
ZipHandle reopen_archive(const Descriptor& file) {
    if (file.get() < 0) return nullptr;
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    const int again = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
    if (again < 0) return nullptr;
    int err = 0;
    zip_t* z = zip_fdopen(again, ZIP_RDONLY, &err);
    if (z == nullptr) ::close(again);
    return ZipHandle(z);
}

// The name of entry `index` as the interpreter decodes it: UTF-8 when the entry is flagged so,
// else code page 437. libzip's strict reading returns a flagged name unchanged and converts an
// unflagged one, which tells the two apart for names with bytes beyond ASCII.
std::string entry_name(zip_t* z, zip_uint64_t index, const std::string& path) {
    const char* raw = zip_get_name(z, index, ZIP_FL_ENC_RAW);
    if (raw == nullptr) throw not_a_zip(path);
    std::string_view bytes(raw);
    if (is_ascii(bytes)) return std::string(bytes);
    const char* strict = zip_get_name(z, index, ZIP_FL_ENC_STRICT);
    const bool utf8_flag = strict != nullptr && bytes == std::string_view(strict);
    if (utf8_flag) {
        std::size_t start, end;
        const char* reason;
        if (!check_utf8(bytes, start, end, reason)) {
            throw unicode_decode_error("utf-8", std::string(bytes), start, end, reason)
                .with_context(zip_context(path));
        }
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        append_utf8(out, b < 0x80 ? char32_t(b) : kCp437High[b - 0x80]);
    }
    return out;
}

constexpr std::size_t kFirstReadBytes = std::size_t(1) << 16;

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

// A member's content: the first `size` bytes of `out`.
std::size_t read_entry(zip_t* z, zip_uint64_t index, const std::string& name, const std::string& path,
                       std::string& out) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, index, 0, &st) != 0) throw not_a_zip(path);
    // No password is ever given: an encrypted member cannot be read.
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
        throw std::move(HostError(ErrorKind::Runtime, "File " + py_repr(name) +
                                                          " is encrypted, password required for extraction")
                            .with_context(zip_context(path)));
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> f(zip_fopen_index(z, index, 0));
    if (!f) {
        const int ze = zip_error_code_zip(zip_get_error(z));
        if (ze == ZIP_ER_COMPNOTSUPP) {
            throw std::move(HostError(ErrorKind::NotImplemented, "That compression method is not supported")
                                .with_context(zip_context(path)));
        }
        throw std::move(bad_zip_error(ze == ZIP_ER_CRC ? "Bad CRC-32 for file " + py_repr(name)
                                                       : "Bad magic number for file header")
                            .with_context(zip_context(path)));
    }
    // The data is read to its end (the stored bytes, or the end of the compressed stream) but no
    // further than the declared size, and the CRC-32 is checked on what was read, as the
    // interpreter's zip reader does. The declared size only caps the result: it may lie either
    // way (a 130-byte archive may declare 2^64-1 bytes), so memory grows with the data alone.
    const std::uint64_t declared = (st.valid & ZIP_STAT_SIZE) ? st.size : UINT64_MAX;
    std::size_t have = 0;
    out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(declared, kFirstReadBytes)));
    while (have < declared) {
        if (have == out.size()) out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(declared, 2 * have)));
        zip_int64_t got = zip_fread(f.get(), out.data() + have, out.size() - have);
        if (got < 0) {
            // libzip checks the whole data against the declared CRC and size at its end; the
            // check below, on the data up to the declared size, is the one that decides.
            const int ze = zip_error_code_zip(zip_file_get_error(f.get()));
            if (ze == ZIP_ER_CRC || ze == ZIP_ER_INCONS) break;
            throw std::move(bad_zip_error("Error while decompressing data").with_context(zip_context(path)));
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    out.resize(have);
    if ((st.valid & ZIP_STAT_CRC) && crc32_of(out) != st.crc) {
        throw std::move(bad_zip_error("Bad CRC-32 for file " + py_repr(name)).with_context(zip_context(path)));
    }
    return have;
}

// Index of the first byte beyond ASCII, or npos.
std::size_t first_non_ascii(std::string_view bytes) {
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        if (w & 0x8080808080808080ULL) break;
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) return i;
    }
    return std::string_view::npos;
}

struct Selected {
    std::string name;
    std::int64_t scan;
    zip_uint64_t index;  // the last entry of that name
};

// The members of one scan: consecutive once sorted, merged into one record.
struct ScanGroup {
    std::size_t first, end;  // positions in the sorted selection
};

// Below this much compressed data a thread costs more than it saves.
constexpr std::uint64_t kParallelBytes = std::uint64_t(4) << 20;

// One worker's reading state: its archive handle, member buffer and peak index.
struct MemberReader {
    zip_t* zip;
    std::string bytes;
    PeakMapBuilder peaks;

    // Reads the group's members in order into `record`.
    void read_group(const std::vector<Selected>& selected, const ScanGroup& group, const std::string& path,
                    SpectrumRecord& record) {
        // The peak index carries over between the members of one scan.
        peaks.attach(&record.peaks);
        for (std::size_t i = group.first; i < group.end; ++i) {
            const Selected& s = selected[i];
            const std::size_t size = read_entry(zip, s.index, s.name, path, bytes);
            merge_dta_member(std::string_view(bytes.data(), size), s.name, path + "/" + s.name, record, peaks);
        }
        peaks.detach();
        auto& v = record.peaks;
        if (v.capacity() - v.size() > v.size() / 8 + 4) v.shrink_to_fit();
    }
};

} // namespace

std::optional<std::int64_t> dta_scan_number(std::string_view name) {
    // "$" also matches before one final line feed.
    if (!name.empty() && name.back() == '\n') name.remove_suffix(1);
    constexpr std::string_view kEnd = ".0.dta";
    if (name.size() < kEnd.size() || name.substr(name.size() - kEnd.size()) != kEnd) return std::nullopt;
    std::size_t i = name.size() - kEnd.size();
    auto digit = [&](std::size_t k) { return name[k] >= '0' && name[k] <= '9'; };
    // Group 2: the run of digits before ".0.dta", preceded by ".".
    const std::size_t g2_end = i;
    while (i > 0 && digit(i - 1)) --i;
    if (i == g2_end || i == 0 || name[i - 1] != '.') return std::nullopt;
    // Group 1: the whole run of digits before that ".", preceded by a non-digit character, which
    // "." (any character but a line feed) may be preceded by.
    const std::size_t g1_end = --i;
    while (i > 0 && digit(i - 1)) --i;
    if (i == g1_end || i == 0) return std::nullopt;
    if (name.substr(0, i - 1).find('\n') != std::string_view::npos) return std::nullopt;
    return parse_int(name.substr(i, g1_end - i));
}

void merge_dta_member(std::string_view bytes, const std::string& name, const std::string& source,
                      SpectrumRecord& record, PeakMapBuilder& peaks) {
    std::size_t line_no = 1;
    try {
        if (const std::size_t i = first_non_ascii(bytes); i != std::string_view::npos) {
            // The context line is that of the byte.
            line_no = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.begin() + i, '\n'));
            throw unicode_decode_error("ascii", std::string(bytes), i, i + 1, "ordinal not in range(128)");
        }
        if (bytes.empty()) throw index_error("list index out of range");  // no first line
        std::size_t pos = bytes.find('\n');
        std::size_t end = pos == std::string_view::npos ? bytes.size() : pos + 1;
        std::string header(strip(bytes.substr(0, end)));
        if (std::find(record.titles.begin(), record.titles.end(), name) == record.titles.end()) {
            record.titles.push_back(name);
        }
        if (std::find(record.headers.begin(), record.headers.end(), header) == record.headers.end()) {
            record.headers.push_back(std::move(header));
        }
        pos = end;
        while (pos < bytes.size()) {
            ++line_no;
            std::size_t lf = bytes.find('\n', pos);
            end = lf == std::string_view::npos ? bytes.size() : lf + 1;
            std::string_view line = bytes.substr(pos, end - pos);
            pos = end;
            // Blank lines (a trailing one is common) carry no peak.
            std::size_t k = 0;
            while (k < line.size() && is_ascii_space(static_cast<unsigned char>(line[k]))) ++k;
            if (k == line.size()) continue;
            const Peak p = parse_peak_line(line);
            peaks.store(p.mz, p.intensity);
        }
    } catch (HostError& e) {
        e.with_context(file_line_context(source, line_no));
        throw;
    }
}

struct DtaZipReading::Archive {
    std::string path;
    std::unique_ptr<Descriptor> file;
    ZipHandle zip;
    std::vector<Selected> selected;  // in ascending scan order
    std::vector<ScanGroup> groups;   // the members of each scan, in scan order
    std::vector<std::uint64_t> group_bytes;  // compressed bytes of each group's members
    std::uint64_t compressed = 0;            // of all groups
    std::size_t next_group = 0;              // the first group not read yet
    // Per worker, kept from one batch to the next: an archive handle (worker 0 uses `zip`) and
    // the reading state.
    std::vector<ZipHandle> handles;
    std::vector<MemberReader> readers;

    unsigned threads_for(unsigned threads, std::size_t group_count) const {
        if (threads != 0) return threads;
        return compressed < kParallelBytes ? 1 : parallel_thread_count(group_count);
    }

    // Reads groups [first, first + records.size()) into `records`, one each. Several workers
    // take whole groups at a time; the first failed group in scan order is the error the
    // sequential reading raises.
    void read_groups(std::size_t first, std::span<SpectrumRecord* const> records, unsigned threads) {
        if (readers.size() < std::max(threads, 1u)) {
            handles.resize(std::max(threads, 1u));
            readers.resize(std::max(threads, 1u), MemberReader{zip.get(), {}, {}});
        }
        auto read = [&](std::size_t i, unsigned worker) {
            readers[worker].read_group(selected, groups[first + i], path, *records[i]);
        };
        if (threads <= 1) {
            for (std::size_t i = 0; i < records.size(); ++i) read(i, 0);
            return;
        }
        for_each_at_once(
            records.size(), threads,
            [&](unsigned worker) {
                if (!handles[worker]) handles[worker] = reopen_archive(*file);
                readers[worker].zip = handles[worker].get();
                return handles[worker] != nullptr;
            },
            read);
    }
};

DtaZipReading::DtaZipReading(const std::string& path, std::vector<std::string>& skipped)
    : archive_(std::make_unique<Archive>()) {
    Archive& a = *archive_;
    a.path = path;
    a.zip = open_archive(path, a.file);
    const zip_int64_t count = zip_get_num_entries(a.zip.get(), 0);
    if (count < 0) throw not_a_zip(path);

    skipped.clear();
    std::unordered_map<std::string, zip_uint64_t> last_index;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        std::string name = entry_name(a.zip.get(), i, path);
        last_index[name] = i;
        if (auto scan = dta_scan_number(name)) {
            a.selected.push_back({std::move(name), *scan, i});
        } else {
            skipped.push_back(std::move(name));
        }
    }
    for (auto& s : a.selected) s.index = last_index[s.name];
    std::stable_sort(a.selected.begin(), a.selected.end(),
                     [](const Selected& x, const Selected& y) { return x.scan < y.scan; });

    for (std::size_t i = 0; i < a.selected.size(); ++i) {
        if (i == 0 || a.selected[i].scan != a.selected[i - 1].scan) {
            a.groups.push_back({i, i + 1});
            a.group_bytes.push_back(0);
        } else {
            a.groups.back().end = i + 1;
        }
        zip_stat_t st;
        if (zip_stat_index(a.zip.get(), a.selected[i].index, 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_SIZE)) {
            a.group_bytes.back() += st.comp_size;
            a.compressed += st.comp_size;
        }
    }
}

DtaZipReading::~DtaZipReading() = default;
DtaZipReading::DtaZipReading(DtaZipReading&&) noexcept = default;
DtaZipReading& DtaZipReading::operator=(DtaZipReading&&) noexcept = default;

SpectrumTable DtaZipReading::read(unsigned threads) {
    SpectrumTable table;
    read_batch(table, UINT64_MAX, threads);
    return table;
}

bool DtaZipReading::read_batch(SpectrumTable& records, std::uint64_t batch_bytes, unsigned threads) {
    Archive& a = *archive_;
    const std::size_t first = a.next_group;
    if (first == a.groups.size()) return false;
    std::size_t end = first;
    for (std::uint64_t bytes = 0; end < a.groups.size() && bytes < batch_bytes; ++end) bytes += a.group_bytes[end];
    // One record per scan, created up front in table order; the groups then fill them. The table
    // does not grow meanwhile, so its records stay put.
    std::vector<SpectrumRecord*> targets;
    targets.reserve(end - first);
    records.reserve(records.size() + (end - first));
    for (std::size_t g = first; g < end; ++g) {
        const std::int64_t scan = a.selected[a.groups[g].first].scan;
        records.insert_or_assign(scan, SpectrumRecord{RecordKeys::TitleHeaderIonMass, {}, {}, {}});
    }
    for (std::size_t g = first; g < end; ++g) targets.push_back(records.find(a.selected[a.groups[g].first].scan));
    a.next_group = end;
    try {
        a.read_groups(first, targets, a.threads_for(threads, end - first));
    } catch (...) {
        a.next_group = a.groups.size();
        throw;
    }
    return true;
}

SpectrumTable read_dta_zip(const std::string& path, const SkippedNamesSink& on_skipped, unsigned threads) {
    std::vector<std::string> skipped;
    DtaZipReading reading(path, skipped);
    if (on_skipped) on_skipped(skipped);
    return reading.read(threads);
}

SpectrumTable read_dta_zip(const std::string& path, std::vector<std::string>& skipped_names, unsigned threads) {
    return read_dta_zip(path, [&](const std::vector<std::string>& names) { skipped_names = names; }, threads);
}

} // namespace vombrelle
