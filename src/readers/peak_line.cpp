#include "readers/peak_line.hpp"

#include <charconv>
#include <cmath>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/plain_decimal.hpp"

namespace vombrelle {

namespace {

// The first two whitespace-separated fields of an ASCII line. False when a non-ASCII byte is met
// before the answer is known (such lines take the general path, whose whitespace is Unicode's).
bool split_two_ascii(std::string_view line, std::string_view* out, std::size_t& count) {
    const auto* s = reinterpret_cast<const unsigned char*>(line.data());
    const std::size_t n = line.size();
    std::size_t i = 0;
    count = 0;
    while (count < 2) {
        while (i < n && is_ascii_space(s[i])) ++i;
        if (i >= n) return true;
        if (s[i] >= 0x80) return false;
        const std::size_t start = i;
        while (i < n && s[i] < 0x80 && !is_ascii_space(s[i])) ++i;
        if (i < n && s[i] >= 0x80) return false;
        out[count++] = line.substr(start, i - start);
    }
    return true;
}

// float(text) for one field: plain decimal texts go straight to from_chars; anything else (a
// sign "+", underscores, "inf", overflow, a bad text) takes the general path, which also raises.
double parse_field(std::string_view text) {
    bool plain = !text.empty() && text[0] != '+';
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) {
            plain = false;
            break;
        }
    }
    if (plain) {
        double v;
        auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
        if (res.ec == std::errc() && res.ptr == text.data() + text.size()) return v;
    }
    return parse_float(text);
}

[[noreturn]] void missing_field() { throw index_error("list index out of range"); }

inline bool ascii_space_at(const char* p) { return is_ascii_space(static_cast<unsigned char>(*p)); }

inline const char* skip_ascii_space(const char* p, const char* end) {
    while (p < end && ascii_space_at(p)) ++p;
    return p;
}

// q when the plain decimal read up to q ends its field (at the line's end or at ASCII
// whitespace), else nullptr.
inline const char* plain_field_end(const char* q, const char* end) {
    return q != nullptr && (q == end || ascii_space_at(q)) ? q : nullptr;
}

} // namespace

double round5(double x) {
    // x * 1e5 carries at most half an ulp of error; when that product is clearly away from a
    // half-integer the nearest integer r is the exact decimal rounding, and r / 1e5 (both exact,
    // division correctly rounded) is the double nearest to that decimal. Near a half-integer, for
    // large magnitudes and for non-finite values the exact decimal expansion decides.
    if (!(std::fabs(x) < 9.0e10)) return round_to(x, 5);
    const double p = x * 1e5;
    const double r = std::nearbyint(p);
    const double d = std::fabs(p - r);  // exact: p and r are within a factor of two or r is 0
    if (std::fabs(d - 0.5) <= std::fabs(p) * 0x1p-50 + 0x1p-60) return round_to(x, 5);
    return r / 1e5;
}

Peak parse_unusual_peak_line(std::string_view line) {
    const char* const floor = line.data();
    const char* const end = floor + line.size();
    double mz, intensity;
    int decimals;
    // Plain decimals of any length, field by field.
    {
        const char* p = skip_ascii_space(floor, end);
        if (const char* q = plain_field_end(read_plain_decimal(p, end, mz, decimals), end)) {
            p = skip_ascii_space(q, end);
            if (plain_field_end(read_plain_decimal(p, end, intensity, decimals), end) != nullptr) {
                return {mz, round_intensity(intensity, decimals)};
            }
        }
    }
    std::string_view fields[2];
    std::size_t count = 0;
    if (!split_two_ascii(line, fields, count)) count = split_whitespace_first(line, fields, 2);
    if (count < 1) missing_field();
    mz = parse_field(fields[0]);
    if (count < 2) missing_field();
    return {mz, round5(parse_field(fields[1]))};
}

void check_unusual_peak_line(std::string_view line) {
    const char* const floor = line.data();
    const char* const end = floor + line.size();
    const auto field = [&](const char* p) { return plain_field_end(scan_plain_decimal(p, end), end); };
    if (const char* q = field(skip_ascii_space(floor, end))) {
        const char* p = skip_ascii_space(q, end);
        if (p < end && field(p) != nullptr) return;
    }
    parse_unusual_peak_line(line);
}

} // namespace vombrelle
