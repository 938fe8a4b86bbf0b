#include "readers/mgf.hpp"

#include <algorithm>

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

MgfParser::MgfParser(PeakStorage peaks) : storage_(peaks) {}

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
    // Insertion may move the records: the cached pointer is renewed below.
    flush_peaks();
    record_ = nullptr;
    scan_no_ = scan;
    state_changed();
    SpectrumRecord* rec = table_.find(scan);
    if (rec == nullptr) {
        table_.insert_or_assign(scan, SpectrumRecord{RecordKeys::IonMassTitleHeader, {}, {}, {}});
        rec = table_.find(scan);
    }
    // A new, empty peak map at every SCANS line; titles and headers accumulate.
    std::vector<Peak>().swap(rec->peaks);
    rec->keys = RecordKeys::IonMassTitleHeader;
    record_ = rec;
    scratch_.clear();
    peaks_.attach(&scratch_);
}

void MgfParser::flush_peaks() {
    // The peaks are built in a reused buffer and copied once, at their exact size, into the
    // record: no growth by doubling and no slack left in the table.
    if (record_ != nullptr && !scratch_.empty()) record_->peaks.assign(scratch_.begin(), scratch_.end());
    scratch_.clear();
    peaks_.detach();
}

void MgfParser::note_block_state() {
    // Titles and headers change only with the block state, so they are added once per change.
    add_distinct(record_->titles, title_);
    header_scratch_.assign(mz_text_);
    header_scratch_ += ' ';
    header_scratch_ += charge_;
    add_distinct(record_->headers, header_scratch_);
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

SpectrumTable MgfParser::finish() {
    flush_peaks();
    record_ = nullptr;
    return std::move(table_);
}

SpectrumTable read_mgf(const std::string& path, PeakStorage peaks) {
    TextLineReader reader(path);
    MgfParser parser(peaks);
    std::string_view line;
    try {
        for (;;) {
            // The peak lines of a block, the bulk of a file, go by the inner loop of the reader.
            if (parser.takes_peak_lines()) {
                reader.take_usual_lines([&](std::string_view l) { return parser.take_peak_line(l); });
            }
            if (!reader.next(line)) break;
            parser.feed(line);
        }
    } catch (HostError& e) {
        e.with_context(file_line_context(path, reader.line_number()));
        throw;
    }
    return parser.finish();
}

std::vector<SpectrumTable> read_mgf_files(const std::vector<MgfInput>& inputs, unsigned threads) {
    std::vector<SpectrumTable> tables(inputs.size());
    std::vector<ParallelRead> reads;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        reads.emplace_back([&inputs, &tables, i](std::vector<std::string>&) {
            tables[i] = read_mgf(inputs[i].path, inputs[i].peaks);
        });
    }
    run_reads(reads, {}, threads);
    return tables;
}

SpectrumTable parse_mgf(std::string_view in, const std::string& name, PeakStorage peaks) {
    // The parser's lines have readable padding around them.
    std::string padded(kLinePadding, '\0');
    padded += in;
    padded.append(kLinePadding, '\0');
    const std::string_view text(padded.data() + kLinePadding, in.size());
    MgfParser parser(peaks);
    std::size_t line_no = 0, pos = 0;
    try {
        while (pos < text.size()) {
            std::size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string_view::npos) end = text.size();
            ++line_no;
            parser.feed(text.substr(pos, end - pos));
            pos = end;
            if (pos < text.size()) pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
        }
    } catch (HostError& e) {
        e.with_context(file_line_context(name, line_no));
        throw;
    }
    return parser.finish();
}

} // namespace vombrelle
