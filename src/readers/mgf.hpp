// The MGF reader: one streaming pass over an MGF text file into a SpectrumTable.
//
// The dialect, line by line (each line stripped of surrounding whitespace first):
//   - "BEGIN IONS" starts a block: title, precursor m/z text, charge and scan number are cleared.
//   - "TITLE=", "PEPMASS=", "CHARGE=", "SCANS=" at the start of a line set the block's title,
//     precursor m/z text (first token), charge text and scan number. The value is the text up to
//     a second "=" if there is one. A SCANS line creates the scan's record if needed and empties
//     its peaks, so a repeated scan keeps only the peaks of its final block.
//   - Once all four are set (scan number non-zero) the block is complete: every further line adds
//     the current title and "<m/z text> <charge>" header to the record when not yet listed; a line
//     starting with an ASCII digit is a peak line "<m/z> <intensity> ..."; "END IONS" ends it.
//   - In an incomplete block "END IONS" is ignored and the state carries on to "BEGIN IONS".
// The charge text is the leading run of digits of the CHARGE value ("10+" gives "10"), or its
// first character when it does not start with a digit.
//
// Errors are HostErrors carrying "in file '<path>', line N": bad UTF-8, a PEPMASS or CHARGE line
// without a value, a SCANS value that is not an integer, a peak line with fewer than two fields
// or fields that are not numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/scan_table.hpp"
#include "common/text_file.hpp"
#include "readers/peak_line.hpp"
#include "readers/peak_map.hpp"

namespace vombrelle {

// What the lines from one SCANS line up to the next (or the end of the text) leave in the record of
// its scan: the part of the record that no later line can change any more. A scan read again
// (a later SCANS line of the same number) gives another part, whose peaks replace the record's and
// whose titles and headers join the record's where they are new (add_scan_part).
struct MgfScanPart {
    std::int64_t scan = 0;
    std::vector<std::string> titles;   // distinct, in order of first addition
    std::vector<std::string> headers;  // distinct PrecursorHeader texts ("<m/z text> <charge>")
    std::vector<Peak> peaks;           // the record's whole peak map; empty with CheckOnly

    std::size_t weight() const { return peaks.size() + 16; }  // cost of handing it on, in peaks
};

// Merges a part into the table being built, as reading the file whole leaves the record.
void add_scan_part(SpectrumTable& table, MgfScanPart&& part);

// The line-level parser: fed one line at a time (without its line end), it hands each finished
// scan part to its sink, in the order of the SCANS lines. It does no I/O; the readers below feed it.
class MgfParser {
public:
    using PartSink = std::function<void(MgfScanPart&& part)>;
    MgfParser(PeakStorage peaks, PartSink sink);

    // Throws HostError without context; the caller knows the file and line. The line has
    // kLinePadding readable bytes before and after it (as the text reader's lines have).
    void feed(std::string_view line) {
        // The usual line: a peak line of a complete block whose state the record already holds,
        // with no whitespace to strip (it starts with a digit and ends in printable ASCII).
        if (usual_peaks_ && !line.empty() && static_cast<unsigned>(line.front() - '0') < 10 &&
            static_cast<unsigned>(static_cast<unsigned char>(line.back()) - 0x21) < 0x5F) {
            peak_line(line);
            return;
        }
        feed_other(line);
    }

    // Whether take_peak_line may take lines now: in a complete block whose state the part holds.
    bool takes_peak_lines() const { return usual_peaks_; }

    // Takes a usual peak line (see usual_peak_layout) by the fast path, as feed() would; false,
    // and nothing done, for any other line, which feed() then gets. Padded as for feed().
    [[gnu::always_inline]] bool take_peak_line(std::string_view line) {
        if (storage_ == PeakStorage::Keep) {
            Peak p;
            if (!read_usual_peak_line(line, p)) return false;
            peaks_.store(p.mz, p.intensity);
            return true;
        }
        PeakLineLayout layout;
        return usual_peak_layout(line, layout);
    }

    // Hands over the last part at the end of the text; the parser is spent afterwards.
    void finish();

private:
    void feed_other(std::string_view line);
    void peak_line(std::string_view line) {
        if (storage_ == PeakStorage::Keep) {
            const Peak p = parse_padded_peak_line(line);
            peaks_.store(p.mz, p.intensity);
        } else {
            check_padded_peak_line(line);
        }
    }
    void on_scans_line(std::string_view value);
    void state_changed() {
        state_dirty_ = true;
        usual_peaks_ = false;
    }
    // Once title, m/z, charge and scan are all set, every line counts for the record.
    bool block_complete() const {
        return scan_no_ != 0 && !title_.empty() && !mz_text_.empty() && !charge_.empty();
    }
    void note_block_state();
    void hand_over_part();
    // "BEGIN IONS" and the "END IONS" of a complete block both forget title, m/z, charge and scan.
    void clear_block();

    PeakStorage storage_;
    PartSink sink_;
    // Block state.
    std::string title_;
    std::string mz_text_;
    std::string charge_;
    std::int64_t scan_no_ = 0;
    // True when the state changed since titles/headers were last added to the part.
    bool state_dirty_ = true;
    // The block is complete and its state noted: a peak line needs nothing else.
    bool usual_peaks_ = false;
    bool in_part_ = false;       // a SCANS line has started part_
    MgfScanPart part_;           // of the last SCANS line's scan, its peaks in scratch_
    PeakMapBuilder peaks_;       // builds the part's peak map in scratch_
    std::vector<Peak> scratch_;  // reused: the peaks are copied out at their exact size
    std::string header_scratch_;
};

// The readers' line loop: the next line the parser is to be fed, after the usual peak lines before
// it, the bulk of a file, have gone to the parser by the reader's inner loop (take_peak_line).
// False at the end of the file.
bool next_line_past_peaks(TextLineReader& reader, MgfParser& parser, std::string_view& line);

// Reads the MGF file at `path` (strict UTF-8, universal newlines).
// `block_size`: the reader's block (tests vary it to put line ends at block boundaries).
SpectrumTable read_mgf(const std::string& path, PeakStorage peaks = PeakStorage::Keep,
                       std::size_t block_size = 1 << 20);

// Reads an MGF file a batch of scan parts at a time, for a caller that takes the scans over while
// the file is still being read instead of as one table at its end.
class MgfPartReader {
public:
    // Opens the file (the errors of read_mgf).
    MgfPartReader(const std::string& path, PeakStorage peaks);

    // Reads on until the parts handed over in `parts` (appended) weigh at least `batch_weight`
    // (MgfScanPart::weight) or the file ends. False once the file has ended and every part has been
    // handed over. Errors are read_mgf's.
    bool read(std::vector<MgfScanPart>& parts, std::size_t batch_weight);

private:
    std::string path_;
    TextLineReader lines_;
    std::vector<MgfScanPart>* out_ = nullptr;
    std::size_t weight_ = 0;
    MgfParser parser_;
    bool ended_ = false;
};

struct MgfInput {
    std::string path;
    PeakStorage peaks = PeakStorage::Keep;
};

// What reading the input costs, to start the costliest first (run_reads): its size, doubled
// when the peaks are stored; 0 when it cannot be told.
std::uint64_t mgf_read_cost(const MgfInput& input);

// Reads the files at once (see parallel_reads.hpp; `threads` 0 chooses): their tables in the
// inputs' order, or the error that reading them one after the other raises first.
std::vector<SpectrumTable> read_mgf_files(const std::vector<MgfInput>& inputs, unsigned threads = 0);

} // namespace vombrelle
