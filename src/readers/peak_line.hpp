// Reading a peak line, "<m/z> <intensity> ...": its two leading fields as float() reads them, the
// intensity rounded to 5 decimals. Two paths, the second taking what the first leaves:
//   - the plain path: the plain form of any length, byte by byte (plain_decimal.hpp);
//   - the general path: field splitting at Unicode whitespace and float() of each field, which
//     also raises the errors.
// Both give the general path's values, bit for bit; the check-only forms raise what reading
// raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

} // namespace vombrelle
