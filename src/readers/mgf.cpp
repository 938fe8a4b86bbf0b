#include "readers/mgf.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/parallel_reads.hpp"
#include "common/text_file.hpp"

namespace vombrelle {

namespace {

// strip() with a shortcut for the usual line that has no whitespace at either end.
inline std::string_view strip_line(std::string_view line) {
    if (line.empty()) return line;
    const auto first = static_cast<unsigned char>(line.front());
    const auto last = static_cast<unsigned char>(line.back());
    if (first > 0x20 && first < 0x80 && last > 0x20 && last < 0x80) return line;
    return strip(line);
}

inline bool starts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The text between the first and the second "=" of a key line (or to its end).
inline std::string_view second_field(std::string_view line, std::size_t key_len) {
    std::string_view rest = line.substr(key_len + 1);
    return rest.substr(0, rest.find('='));
}

// Length of the UTF-8 sequence that starts with byte b (the text is valid UTF-8).
inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

template <class T>
void add_distinct(std::vector<T>& list, const T& value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

} // namespace

void add_scan_part(SpectrumTable& table, MgfScanPart&& part) {
    SpectrumRecord* rec = table.find(part.scan);
    if (rec == nullptr) {
        table.insert_or_assign(part.scan, SpectrumRecord{RecordKeys::IonMassTitleHeader, std::move(part.titles),
                                                         std::move(part.headers), std::move(part.peaks)});
        return;
    }
    rec->peaks = std::move(part.peaks);
    for (const auto& t : part.titles) add_distinct(rec->titles, t);
    for (const auto& h : part.headers) add_distinct(rec->headers, h);
}

MgfParser::MgfParser(PeakStorage peaks, PartSink sink) : storage_(peaks), sink_(std::move(sink)) {}

void MgfParser::feed_other(std::string_view raw) {
    const std::string_view line = strip_line(raw);
    if (line.empty()) return;  // matches no rule and is no peak line
    const char c0 = line[0];

    if (is_ascii_digit(c0)) {
        // A peak line; no key rule applies to it.
        if (!block_complete()) return;
        if (state_dirty_) note_block_state();
        peak_line(line);
        return;
    }

    if (line == "BEGIN IONS") clear_block();
    // A key rule applies only to a line that starts with its key: the same upper-case word
    // inside a title or in another key (NUM_SCANS=) must not change the block.
    if (c0 == 'T' && starts_with(line, "TITLE=")) {
        title_.assign(second_field(line, 5));
        state_changed();
    } else if (c0 == 'P' && starts_with(line, "PEPMASS=")) {
        std::string_view token;
        if (split_whitespace_first(second_field(line, 7), &token, 1) == 0) {
            throw index_error("list index out of range");
        }
        mz_text_.assign(token);
        state_changed();
    } else if (c0 == 'C' && starts_with(line, "CHARGE=")) {
        const std::string_view value = strip(second_field(line, 6));
        if (value.empty()) throw index_error("string index out of range");
        // "10+" is charge 10: the whole leading run of digits, not its first digit.
        std::size_t n = 0;
        while (n < value.size() && is_ascii_digit(value[n])) ++n;
        if (n == 0) n = std::min(value.size(), utf8_length(static_cast<unsigned char>(value[0])));
        charge_.assign(value.substr(0, n));
        state_changed();
    } else if (c0 == 'S' && starts_with(line, "SCANS=")) {
        on_scans_line(second_field(line, 5));
    }

    if (!block_complete()) return;
    if (state_dirty_) note_block_state();
    if (line == "END IONS") clear_block();
}

void MgfParser::on_scans_line(std::string_view value) {
    const std::int64_t scan = parse_int(value);
    // Every SCANS line starts a new, empty peak map for its scan; titles and headers accumulate.
    hand_over_part();
    scan_no_ = scan;
    state_changed();
    in_part_ = true;
    part_.scan = scan;
    peaks_.attach(&scratch_);
}

void MgfParser::hand_over_part() {
    if (!in_part_) return;
    // The peaks are built in a reused buffer and copied once, at their exact size: no growth by
    // doubling and no slack left in what is kept.
    part_.peaks.assign(scratch_.begin(), scratch_.end());
    scratch_.clear();
    peaks_.detach();
    sink_(std::move(part_));
    part_ = MgfScanPart{};
    in_part_ = false;
}

void MgfParser::note_block_state() {
    // Titles and headers change only with the block state, so they are added once per change.
    add_distinct(part_.titles, title_);
    header_scratch_.assign(mz_text_);
    header_scratch_ += ' ';
    header_scratch_ += charge_;
    add_distinct(part_.headers, header_scratch_);
    state_dirty_ = false;
    usual_peaks_ = true;
}

void MgfParser::clear_block() {
    title_.clear();
    mz_text_.clear();
    charge_.clear();
    scan_no_ = 0;
    state_changed();
}

void MgfParser::finish() { hand_over_part(); }

bool next_line_past_peaks(TextLineReader& reader, MgfParser& parser, std::string_view& line) {
    if (parser.takes_peak_lines()) {
        reader.take_usual_lines([&](std::string_view l) { return parser.take_peak_line(l); });
    }
    return reader.next(line);
}

SpectrumTable read_mgf(const std::string& path, PeakStorage peaks, std::size_t block_size) {
    TextLineReader reader(path, block_size);
    SpectrumTable table;
    MgfParser parser(peaks, [&table](MgfScanPart&& part) { add_scan_part(table, std::move(part)); });
    std::string_view line;
    try {
        while (next_line_past_peaks(reader, parser, line)) parser.feed(line);
    } catch (HostError& e) {
        e.with_context(file_line_context(path, reader.line_number()));
        throw;
    }
    parser.finish();
    return table;
}

MgfPartReader::MgfPartReader(const std::string& path, PeakStorage peaks)
    : path_(path), lines_(path), parser_(peaks, [this](MgfScanPart&& part) {
          weight_ += part.weight();
          out_->push_back(std::move(part));
      }) {}

bool MgfPartReader::read(std::vector<MgfScanPart>& parts, std::size_t batch_weight) {
    if (ended_) return false;
    out_ = &parts;
    weight_ = 0;
    std::string_view line;
    try {
        while (weight_ < batch_weight) {
            if (!next_line_past_peaks(lines_, parser_, line)) {
                parser_.finish();
                ended_ = true;
                break;
            }
            parser_.feed(line);
        }
    } catch (HostError& e) {
        e.with_context(file_line_context(path_, lines_.line_number()));
        throw;
    }
    return !parts.empty() || !ended_;
}

std::uint64_t mgf_read_cost(const MgfInput& input) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(input.path, ec);
    // Storing the peaks costs about as much again as checking them.
    return ec ? 0 : static_cast<std::uint64_t>(size) * (input.peaks == PeakStorage::Keep ? 2 : 1);
}

std::vector<SpectrumTable> read_mgf_files(const std::vector<MgfInput>& inputs, unsigned threads) {
    std::vector<SpectrumTable> tables(inputs.size());
    std::vector<ParallelRead> reads;
    std::vector<std::uint64_t> costs;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        reads.emplace_back([&inputs, &tables, i](std::vector<std::string>&) {
            tables[i] = read_mgf(inputs[i].path, inputs[i].peaks);
        });
        costs.push_back(mgf_read_cost(inputs[i]));
    }
    run_reads(reads, {}, threads, costs);
    return tables;
}

} // namespace vombrelle
