// Building a record's peak map: m/z (as parsed) -> intensity (rounded to 5 decimals), in first
// insertion order, a repeated m/z keeping its place and taking the later intensity. Keys compare
// as the interpreter's dict keys of fresh float objects do: 0.0 and -0.0 are one key; a NaN is
// never equal to anything, so every NaN peak is an entry of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/host_text.hpp"
#include "common/plain_decimal.hpp"
#include "common/scan_table.hpp"

namespace vombrelle {

class PeakMapBuilder {
public:
    // Starts appending to `peaks` (which may already hold entries, as when DTA members merge).
    void attach(std::vector<Peak>* peaks);
    void detach() { attach(nullptr); }

    // Stores the intensity under the m/z.
    void store(double mz, double intensity) {
        if (ascending_ && (peaks_->empty() || mz > peaks_->back().mz)) {
            peaks_->push_back({mz, intensity});
            return;
        }
        store_out_of_order(mz, intensity);
    }

private:
    void store_out_of_order(double mz, double intensity);
    void build_index();
    std::size_t find_or_insert_slot(double mz, std::size_t position);

    std::vector<Peak>* peaks_ = nullptr;
    // While the m/z values arrived strictly increasing (the usual case) a new one larger than the
    // last is known to be new and no index is needed.
    bool ascending_ = true;
    // Open-addressing index (position + 1; 0 is empty), built the first time order breaks.
    std::vector<std::uint32_t> slots_;
    std::size_t indexed_ = 0;  // peaks covered by the index
};

// round(x, 5): a fast exact path, falling back to round_to when the product is too close to a
// rounding boundary to be sure.
double round5(double x);

// The usual peak line, "<m/z><blanks or tabs><intensity>" in plain decimals and nothing to strip
// before them (what instruments write), read inline by the readers' loops. False for any other
// line, which the general path then reads.
inline bool read_usual_peak_line(std::string_view line, double& mz, double& intensity, int& decimals) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const char* const end = line.data() + line.size();
    int mz_decimals;
    const char* q = read_plain_decimal(line.data(), end, mz, mz_decimals);
    if (q == nullptr || q == end || !blank(*q)) return false;
    do ++q;
    while (q < end && blank(*q));
    q = read_plain_decimal(q, end, intensity, decimals);
    return q != nullptr && (q == end || is_ascii_space(static_cast<unsigned char>(*q)));
}

// Any other peak line; see parse_peak_line.
Peak parse_unusual_peak_line(std::string_view line);
void check_unusual_peak_line(std::string_view line);

// The two leading fields of a peak line, parsed as float() does: m/z first, then the intensity
// rounded to 5 decimals. Throws HostError: IndexError "list index out of range" when a field is
// missing, ValueError for a field that is not a number.
inline Peak parse_peak_line(std::string_view line) {
    double mz, intensity;
    int decimals;
    if (read_usual_peak_line(line, mz, intensity, decimals)) {
        // With five decimals or fewer the text is its own rounding, and the nearest double to it
        // is the value already parsed.
        return {mz, decimals <= 5 ? intensity : round5(intensity)};
    }
    return parse_unusual_peak_line(line);
}

// The same checks and errors without the values (for tables whose peaks are never read).
inline void check_peak_line(std::string_view line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const char* const end = line.data() + line.size();
    const char* q = scan_plain_decimal(line.data(), end);
    if (q != nullptr && q < end && blank(*q)) {
        do ++q;
        while (q < end && blank(*q));
        q = scan_plain_decimal(q, end);
        if (q != nullptr && (q == end || is_ascii_space(static_cast<unsigned char>(*q)))) return;
    }
    check_unusual_peak_line(line);
}

} // namespace vombrelle
