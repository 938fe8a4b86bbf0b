#include "common/host_text.hpp"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include "common/errors.hpp"

namespace vombrelle {

namespace {

// Decodes the code point starting at text[i] (valid UTF-8 assumed; a stray byte decodes as
// itself) and returns its length.
std::size_t decode_at(std::string_view text, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    auto cont = [&](std::size_t k) -> char32_t {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) & 0x3F : 0;
    };
    if (b0 < 0x80) { cp = b0; return 1; }
    if ((b0 & 0xE0) == 0xC0 && i + 1 < text.size()) { cp = ((b0 & 0x1F) << 6) | cont(1); return 2; }
    if ((b0 & 0xF0) == 0xE0 && i + 2 < text.size()) {
        cp = ((b0 & 0x0F) << 12) | (cont(1) << 6) | cont(2);
        return 3;
    }
    if ((b0 & 0xF8) == 0xF0 && i + 3 < text.size()) {
        cp = ((b0 & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
        return 4;
    }
    cp = b0;
    return 1;
}

// Length of the whitespace code point that starts at text[i], or 0.
inline std::size_t space_at(std::string_view text, std::size_t i, bool tab_is_space) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
        if (b == '\t') return tab_is_space ? 1 : 0;
        return (b == ' ' || (b >= 0x0A && b <= 0x0D) || (b >= 0x1C && b <= 0x1F)) ? 1 : 0;
    }
    if (b != 0xC2 && b != 0xE1 && b != 0xE2 && b != 0xE3) return 0;
    char32_t cp;
    std::size_t len = decode_at(text, i, cp);
    return is_host_space(cp) ? len : 0;
}

// Length of the whitespace code point that ends just before text[end], or 0.
inline std::size_t space_before(std::string_view text, std::size_t end, bool tab_is_space) {
    const auto b = static_cast<unsigned char>(text[end - 1]);
    if (b < 0x80) return space_at(text, end - 1, tab_is_space);
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    char32_t cp;
    std::size_t len = decode_at(text, start, cp);
    return (start + len == end && is_host_space(cp)) ? len : 0;
}

std::string_view strip_impl(std::string_view text, bool left, bool right, bool tab_is_space) {
    std::size_t b = 0, e = text.size();
    if (left) {
        while (b < e) {
            std::size_t n = space_at(text, b, tab_is_space);
            if (n == 0) break;
            b += n;
        }
    }
    if (right) {
        while (e > b) {
            std::size_t n = space_before(text, e, tab_is_space);
            if (n == 0) break;
            e -= n;
        }
    }
    return text.substr(b, e - b);
}

[[noreturn]] void invalid_int(std::string_view text) {
    std::string r = py_repr(text);
    // The interpreter shows at most 200 characters of the repr.
    std::size_t chars = 0, cut = r.size();
    for (std::size_t i = 0; i < r.size(); ++i) {
        if ((static_cast<unsigned char>(r[i]) & 0xC0) != 0x80) {
            if (chars == 200) { cut = i; break; }
            ++chars;
        }
    }
    throw value_error("invalid literal for int() with base 10: " + r.substr(0, cut));
}

[[noreturn]] void invalid_float(std::string_view text) {
    throw value_error("could not convert string to float: " + py_repr(text));
}

bool ieq(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

locale_t c_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool is_host_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D:
        case 0x1C: case 0x1D: case 0x1E: case 0x1F: case 0x20:
        case 0x85: case 0xA0: case 0x1680:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view strip(std::string_view text) { return strip_impl(text, true, true, true); }
std::string_view lstrip(std::string_view text) { return strip_impl(text, true, false, true); }
std::string_view rstrip(std::string_view text) { return strip_impl(text, false, true, true); }
std::string_view strip_except_tab(std::string_view text) { return strip_impl(text, true, true, false); }

void split_whitespace(std::string_view text, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t i = 0, n = text.size();
    while (i < n) {
        std::size_t s;
        while (i < n && (s = space_at(text, i, true)) != 0) i += s;
        if (i >= n) break;
        std::size_t start = i;
        while (i < n && space_at(text, i, true) == 0) ++i;
        out.push_back(text.substr(start, i - start));
    }
}

std::vector<std::string_view> split_whitespace(std::string_view text) {
    std::vector<std::string_view> out;
    split_whitespace(text, out);
    return out;
}

std::size_t split_whitespace_first(std::string_view text, std::string_view* out, std::size_t max_pieces) {
    std::size_t count = 0, i = 0, n = text.size();
    while (i < n && count < max_pieces) {
        std::size_t s;
        while (i < n && (s = space_at(text, i, true)) != 0) i += s;
        if (i >= n) break;
        std::size_t start = i;
        while (i < n && space_at(text, i, true) == 0) ++i;
        out[count++] = text.substr(start, i - start);
    }
    return count;
}

void split(std::string_view text, std::string_view sep, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t start = 0;
    if (sep.size() == 1) {
        const char c = sep[0];
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == c) {
                out.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
    } else {
        std::size_t pos;
        while ((pos = text.find(sep, start)) != std::string_view::npos) {
            out.push_back(text.substr(start, pos - start));
            start = pos + sep.size();
        }
    }
    out.push_back(text.substr(start));
}

std::vector<std::string_view> split(std::string_view text, std::string_view sep) {
    std::vector<std::string_view> out;
    split(text, sep, out);
    return out;
}

std::int64_t parse_int(std::string_view text) {
    std::string_view s = strip(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !is_digit(s[i])) invalid_int(text);
    // Accumulate as a negative number so that INT64_MIN fits.
    std::int64_t value = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '_') {
            if (i + 1 >= s.size() || !is_digit(s[i + 1])) invalid_int(text);
            continue;
        }
        if (!is_digit(c)) invalid_int(text);
        if (!overflow) {
            if (__builtin_mul_overflow(value, 10, &value) || __builtin_sub_overflow(value, c - '0', &value)) {
                overflow = true;
            }
        }
    }
    if (!overflow && !negative && value == INT64_MIN) overflow = true;
    if (overflow) {
        throw overflow_error("int too large to convert to a 64-bit integer: " + py_repr(text));
    }
    return negative ? value : -value;
}

bool try_parse_float(std::string_view text, double& out) {
    std::string_view s = strip(text);
    if (s.empty()) return false;
    std::size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        ++i;
    }
    std::string_view body = s.substr(i);
    if (!body.empty() && !is_digit(body[0]) && body[0] != '.') {
        if (ieq(body, "inf") || ieq(body, "infinity")) {
            out = negative ? -HUGE_VAL : HUGE_VAL;
            return true;
        }
        if (ieq(body, "nan")) {
            out = negative ? -std::nan("") : std::nan("");
            return true;
        }
        return false;
    }
    // digits [. digits] [e [sign] digits], with single underscores between digits.
    char buf[128];
    std::string heap;
    char* dst = buf;
    std::size_t cap = sizeof(buf);
    if (body.size() >= cap) {
        heap.resize(body.size() + 1);
        dst = heap.data();
        cap = heap.size();
    }
    std::size_t n = 0;
    std::size_t j = 0;
    auto digits = [&](bool& any) {
        any = false;
        while (j < body.size()) {
            char c = body[j];
            if (is_digit(c)) {
                dst[n++] = c;
                any = true;
                ++j;
            } else if (c == '_' && any && j + 1 < body.size() && is_digit(body[j + 1])) {
                ++j;
            } else {
                break;
            }
        }
    };
    bool int_digits = false, frac_digits = false, exp_digits = false;
    digits(int_digits);
    if (j < body.size() && body[j] == '.') {
        dst[n++] = '.';
        ++j;
        digits(frac_digits);
    }
    if (!int_digits && !frac_digits) return false;
    if (j < body.size() && (body[j] == 'e' || body[j] == 'E')) {
        dst[n++] = 'e';
        ++j;
        if (j < body.size() && (body[j] == '+' || body[j] == '-')) dst[n++] = body[j++];
        digits(exp_digits);
        if (!exp_digits) return false;
    }
    if (j != body.size()) return false;
    double value = 0.0;
    auto res = std::from_chars(dst, dst + n, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range || res.ptr != dst + n) {
        // Overflow to infinity or underflow to zero: strtod rounds these as the interpreter does.
        dst[n] = '\0';
        value = strtod_l(dst, nullptr, c_locale());
    }
    out = negative ? -value : value;
    return true;
}

double parse_float(std::string_view text) {
    double v;
    if (!try_parse_float(text, v)) invalid_float(text);
    return v;
}

void append_float_repr(std::string& out, double x) {
    if (std::isnan(x)) { out += "nan"; return; }
    if (std::isinf(x)) { out += x < 0 ? "-inf" : "inf"; return; }
    if (x == 0.0) { out += std::signbit(x) ? "-0.0" : "0.0"; return; }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::scientific);
    // buf: [-]d[.ddd]e(+|-)XX
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    bool negative = sci[0] == '-';
    if (negative) sci.remove_prefix(1);
    std::size_t epos = sci.find('e');
    std::string_view mant = sci.substr(0, epos);
    int exp = 0;
    std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exp);
    char digits[32];
    std::size_t nd = 0;
    for (char c : mant) {
        if (c != '.') digits[nd++] = c;
    }
    if (negative) out += '-';
    if (exp >= -5 + 1 && exp < 16) {
        // Fixed notation.
        if (exp < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exp - 1), '0');
            out.append(digits, nd);
        } else if (static_cast<std::size_t>(exp) + 1 >= nd) {
            out.append(digits, nd);
            out.append(static_cast<std::size_t>(exp) + 1 - nd, '0');
            out += ".0";
        } else {
            out.append(digits, static_cast<std::size_t>(exp) + 1);
            out += '.';
            out.append(digits + exp + 1, nd - static_cast<std::size_t>(exp) - 1);
        }
        return;
    }
    out += digits[0];
    if (nd > 1) {
        out += '.';
        out.append(digits + 1, nd - 1);
    }
    out += 'e';
    out += exp < 0 ? '-' : '+';
    int a = exp < 0 ? -exp : exp;
    if (a < 10) out += '0';
    out += std::to_string(a);
}

std::string float_repr(double x) {
    std::string s;
    append_float_repr(s, x);
    return s;
}

void append_int(std::string& out, std::int64_t n) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof(buf), n);
    out.append(buf, res.ptr);
}

double round_to(double x, int ndigits) {
    constexpr int kMaxDigits = 323;  // beyond this a double has no digit left to round
    constexpr int kMinDigits = -308;
    if (ndigits > kMaxDigits) return x;
    if (ndigits < kMinDigits) return 0.0 * x;
    if (x == 0.0 || !std::isfinite(x)) return x;
    if (ndigits >= 0) {
        // to_chars with a precision rounds the exact binary value, ties to even, like the
        // interpreter's correctly rounded dtoa.
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::fixed, ndigits);
        double out = 0.0;
        std::from_chars(buf, res.ptr, out);
        if (out == 0.0) out = std::copysign(0.0, x);
        return out;
    }
    // Negative ndigits: round to a multiple of 10^-ndigits through the exact decimal expansion.
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::fixed, 0);
    std::string digits(buf, res.ptr);
    bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.erase(0, 1);
    // Exact value is needed for ties: x is an integer here only when |x| >= 2^52; otherwise
    // compare the remainder against half of the unit exactly with long arithmetic in double.
    const double unit = std::pow(10.0, -ndigits);
    double q = std::floor(std::fabs(x) / unit);
    double rem = std::fabs(x) - q * unit;
    double half = unit / 2;
    if (rem > half || (rem == half && std::fmod(q, 2.0) == 1.0)) q += 1;
    double out = q * unit;
    if (!std::isfinite(out)) throw overflow_error("rounded value too large to represent");
    return negative ? -out : (x < 0 ? -out : out);
}

std::string py_repr(std::string_view text) {
    bool has_single = text.find('\'') != std::string_view::npos;
    bool has_double = text.find('"') != std::string_view::npos;
    char quote = (has_single && !has_double) ? '"' : '\'';
    std::string out;
    out.reserve(text.size() + 2);
    out += quote;
    static const char* hex = "0123456789abcdef";
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        std::size_t len = decode_at(text, i, cp);
        if (cp == static_cast<char32_t>(quote) || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp < 0x20 || cp == 0x7F) {
            out += "\\x";
            out += hex[cp >> 4];
            out += hex[cp & 0xF];
        } else if (cp < 0x7F) {
            out += static_cast<char>(cp);
        } else {
            bool printable = !(cp <= 0xA0 || cp == 0xAD || is_host_space(cp) || (cp >= 0x200B && cp <= 0x200F) ||
                               (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF || (cp >= 0xE000 && cp <= 0xF8FF) ||
                               (cp >= 0xFFF9 && cp <= 0xFFFB) || (cp >= 0xD800 && cp <= 0xDFFF));
            if (printable) {
                out.append(text.substr(i, len));
            } else if (cp < 0x100) {
                out += "\\x";
                out += hex[cp >> 4];
                out += hex[cp & 0xF];
            } else if (cp < 0x10000) {
                out += "\\u";
                for (int s = 12; s >= 0; s -= 4) out += hex[(cp >> s) & 0xF];
            } else {
                out += "\\U";
                for (int s = 28; s >= 0; s -= 4) out += hex[(cp >> s) & 0xF];
            }
        }
        i += len;
    }
    out += quote;
    return out;
}

} // namespace vombrelle
