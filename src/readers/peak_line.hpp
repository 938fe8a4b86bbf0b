// Reading a peak line, "<m/z> <intensity> ...": its two leading fields as float() reads them, the
// intensity rounded to 5 decimals. Three paths, each taking what the one before leaves:
//   - the fast path, for lines of at most 32 bytes with padding around them (the text reader's
//     lines): both fields found from masks of the line's bytes by class (byte_scan.hpp), then
//     the digits of both read at once (plain_decimal.hpp);
//   - the plain path: the plain form of any length, byte by byte;
//   - the general path: field splitting at Unicode whitespace and float() of each field, which
//     also raises the errors.
// Every path gives the general path's values, bit for bit; the check-only forms raise what
// reading raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_scan.hpp"
#include "common/host_text.hpp"
#include "common/plain_decimal.hpp"
#include "common/scan_table.hpp"

namespace vombrelle {

// round(x, 5): a fast exact path, falling back to round_to when the product is too close to a
// rounding boundary to be sure.
double round5(double x);

// The plain path: "<m/z><blanks or tabs><intensity>" in plain decimals of any length, nothing to
// strip before them. False for any other line, which the general path then reads.
inline bool read_plain_peak_line(std::string_view line, double& mz, double& intensity, int& decimals) {
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

// The general path (with the plain path tried once more on the stripped line).
Peak parse_unusual_peak_line(std::string_view line);
void check_unusual_peak_line(std::string_view line);

// With five decimals or fewer the text is its own rounding, and the nearest double to it is the
// value already parsed.
inline double round_intensity(double intensity, int decimals) {
    return decimals <= 5 ? intensity : round5(intensity);
}

// The two leading fields of a peak line, parsed as float() does: m/z first, then the intensity
// rounded to 5 decimals. Throws HostError: IndexError "list index out of range" when a field is
// missing, ValueError for a field that is not a number.
inline Peak parse_peak_line(std::string_view line) {
    double mz, intensity;
    int decimals;
    if (read_plain_peak_line(line, mz, intensity, decimals)) return {mz, round_intensity(intensity, decimals)};
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

// Where the two leading fields of a usual peak line lie (byte offsets in the line).
struct PeakLineLayout {
    DigitSpan mz, intensity;
    bool negative;  // the intensity's sign
};

namespace peak_line_detail {

inline unsigned lowest_bit(std::uint64_t x) { return static_cast<unsigned>(__builtin_ctzll(x)); }

// A field from `start`: digits, a point and decimals, as far as they go (the masks hold nothing
// beyond the line). Returns its end.
inline unsigned field_layout(std::uint64_t non_digits, std::uint64_t points, unsigned start, DigitSpan& span) {
    const unsigned whole = lowest_bit(non_digits >> start);
    const unsigned point = static_cast<unsigned>(points >> (start + whole)) & 1;
    span.decimals = lowest_bit(non_digits >> (start + whole + point));
    span.end = start + whole + point + span.decimals;
    span.digits = whole + span.decimals;
    span.point = point != 0;
    return span.end;
}

} // namespace peak_line_detail

// The layout of a usual peak line: at most 32 bytes, kLinePadding readable bytes before and
// after, "<m/z><blanks or tabs><intensity>" with the m/z "digits[.digits]", the intensity
// "[-+]digits[.digits]" or "[-+].digits", each of at most 16 digits, then the line's end or ASCII
// whitespace. False for any other line. The first field starts with a digit, as every peak line
// does; the second may hold more fields after it, which count for nothing.
[[gnu::always_inline]] inline bool usual_peak_layout(std::string_view line, PeakLineLayout& out) {
    using namespace peak_line_detail;
    const std::size_t n = line.size();
    if (n > 32) return false;
    const char* const p = line.data();
    const NumberBytes32 bytes = number_bytes32(p);
    const std::uint64_t in_line = (std::uint64_t{1} << n) - 1;
    const std::uint64_t non_digits = ~(bytes.digits & in_line), points = bytes.points & in_line;
    const std::uint64_t blanks = bytes.blanks & in_line;
    const unsigned mz_end = field_layout(non_digits, points, 0, out.mz);
    if ((non_digits & 1) != 0 || out.mz.digits > 16 || (blanks >> mz_end & 1) == 0) return false;
    const unsigned next = mz_end + lowest_bit(~blanks >> mz_end);
    out.negative = p[next] == '-';
    const unsigned start = next + static_cast<unsigned>(out.negative || p[next] == '+');
    const unsigned end = field_layout(non_digits, points, start, out.intensity);
    return out.intensity.digits - 1 < 16 && (end == n || is_ascii_space(static_cast<unsigned char>(p[end])));
}

// The values of a laid-out line, when both fields' digits are worth less than 2^53; false
// otherwise.
[[gnu::always_inline]] inline bool usual_peak_values(std::string_view line, const PeakLineLayout& layout, Peak& peak) {
    double intensity;
    if (!digit_span_decimals(line.data(), layout.mz, layout.intensity, peak.mz, intensity)) return false;
    const int decimals = static_cast<int>(layout.intensity.decimals);
    peak.intensity = round_intensity(layout.negative ? -intensity : intensity, decimals);
    return true;
}

// A usual peak line read whole by the fast path (peak as parse_peak_line gives it); false, and
// nothing read, for any other line.
[[gnu::always_inline]] inline bool read_usual_peak_line(std::string_view line, Peak& peak) {
    PeakLineLayout layout;
    return usual_peak_layout(line, layout) && usual_peak_values(line, layout, peak);
}

// parse_peak_line and check_peak_line for a line with kLinePadding readable bytes before and after
// it, by the fast path first.
inline Peak parse_padded_peak_line(std::string_view line) {
    Peak peak;
    return read_usual_peak_line(line, peak) ? peak : parse_peak_line(line);
}

inline void check_padded_peak_line(std::string_view line) {
    PeakLineLayout layout;
    if (!usual_peak_layout(line, layout)) check_peak_line(line);
}

} // namespace vombrelle
