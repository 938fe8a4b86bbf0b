#include "readers/dta_zip.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <unordered_map>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/interruption.hpp"
#include "common/parallel_reads.hpp"
#include "readers/peak_line.hpp"
#include "readers/zip_archive.hpp"

namespace vombrelle {

namespace {

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
    std::size_t index;  // the last entry of that name, which reading the name reads
};

// The members of one scan: consecutive once sorted, merged into one record.
struct ScanGroup {
    std::size_t first, end;  // positions in the sorted selection
};

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// Below this much compressed data a thread costs more than it saves.
constexpr std::uint64_t kParallelBytes = std::uint64_t(4) << 20;

// One worker's reading state: its buffers and peak index.
struct MemberReader {
    std::string bytes;
    ZipReadBuffers buffers;
    PeakMapBuilder peaks;

    // Reads the group's members in order into `record`.
    void read_group(const ZipArchive& zip, const std::vector<Selected>& selected, const ScanGroup& group,
                    SpectrumRecord& record) {
        // The peak index carries over between the members of one scan.
        peaks.attach(&record.peaks);
        for (std::size_t i = group.first; i < group.end; ++i) {
            const Selected& s = selected[i];
            zip.read(zip.entries()[s.index], bytes, buffers);
            merge_dta_member(bytes, s.name, zip.path() + "/" + s.name, record, peaks);
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
    explicit Archive(const std::string& path) : zip(path) {}

    ZipArchive zip;
    std::vector<Selected> selected;  // in ascending scan order
    std::vector<ScanGroup> groups;   // the members of each scan, in scan order
    std::vector<std::uint64_t> group_bytes;  // compressed bytes of each group's members
    std::uint64_t compressed = 0;            // of all groups
    std::size_t next_group = 0;              // the first group not read yet
    // Per worker, kept from one batch to the next.
    std::vector<MemberReader> readers;

    unsigned threads_for(unsigned threads, std::size_t group_count) const {
        if (threads != 0) return threads;
        return compressed < kParallelBytes ? 1 : parallel_thread_count(group_count);
    }

    // Reads groups [first, first + records.size()) into `records`, one each. Several workers
    // take whole groups at a time; the first failed group in scan order is the error the
    // sequential reading raises.
    void read_groups(std::size_t first, std::span<SpectrumRecord* const> records, unsigned threads) {
        if (readers.size() < std::max(threads, 1u)) readers.resize(std::max(threads, 1u));
        auto read = [&](std::size_t i, unsigned worker) {
            readers[worker].read_group(zip, selected, groups[first + i], *records[i]);
        };
        if (threads <= 1) {
            for (std::size_t i = 0; i < records.size(); ++i) {
                interruption_point();
                read(i, 0);
            }
            return;
        }
        for_each_at_once(records.size(), threads, {}, read);
    }
};

DtaZipReading::DtaZipReading(const std::string& path, std::vector<std::string>& skipped)
    : archive_(std::make_unique<Archive>(path)) {
    Archive& a = *archive_;
    const std::vector<ZipEntry>& entries = a.zip.entries();
    skipped.clear();
    std::unordered_map<std::string_view, std::size_t> last_index;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        last_index[name] = i;
        if (auto scan = dta_scan_number(name)) {
            a.selected.push_back({name, *scan, i});
        } else {
            skipped.push_back(name);
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
        // Batches and threads are sized by the declared compressed sizes, which need not be true:
        // a lie changes how the work is split, never what is read.
        const std::uint64_t bytes = entries[a.selected[i].index].compressed_size;
        a.group_bytes.back() = saturating_add(a.group_bytes.back(), bytes);
        a.compressed = saturating_add(a.compressed, bytes);
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
    for (std::uint64_t bytes = 0; end < a.groups.size() && bytes < batch_bytes; ++end) {
        bytes = saturating_add(bytes, a.group_bytes[end]);
    }
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
