#include "common/host_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include "common/errors.hpp"
#include "common/unicode_tables.hpp"

namespace vombrelle {

namespace {

// Decodes the code point starting at text[i] (valid UTF-8 assumed; a stray byte decodes as
// itself) and returns its length.
std::size_t decode_at(std::string_view text, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    auto cont = [&](std::size_t k) -> char32_t { return static_cast<unsigned char>(text[i + k]) & 0x3F; };
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

// The interpreter's whitespace among single bytes: \t..\r, 0x1C..0x1F and blank.
constexpr bool kAsciiSpace[128] = {
    false, false, false, false, false, false, false, false, false, true,  true,  true,  true,  true,  false, false,
    false, false, false, false, false, false, false, false, false, false, false, false, true,  true,  true,  true,
    true};

// Per byte: 0 never starts whitespace, 1 is ASCII whitespace, 2 may lead a non-ASCII one.
constexpr std::array<std::uint8_t, 256> kByteClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 128; ++b) t[b] = kAsciiSpace[b] ? 1 : 0;
    t[0xC2] = t[0xE1] = t[0xE2] = t[0xE3] = 2;
    return t;
}();

// Length of the whitespace character that starts at text[i], or 0. Every non-ASCII whitespace
// character starts with one of the lead bytes C2, E1, E2, E3, so other bytes need no decoding.
inline std::size_t space_at(std::string_view text, std::size_t i, bool tab_is_space) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) return (kAsciiSpace[b] && (tab_is_space || b != '\t')) ? 1 : 0;
    if (b != 0xC2 && b != 0xE1 && b != 0xE2 && b != 0xE3) return 0;
    char32_t cp;
    std::size_t len = decode_at(text, i, cp);
    return is_host_space(cp) ? len : 0;
}

// Length of the whitespace character that ends just before text[end], or 0.
inline std::size_t space_before(std::string_view text, std::size_t end, bool tab_is_space) {
    const auto b = static_cast<unsigned char>(text[end - 1]);
    if (b < 0x80) return (kAsciiSpace[b] && (tab_is_space || b != '\t')) ? 1 : 0;
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    char32_t cp;
    std::size_t len = decode_at(text, start, cp);
    return (start + len == end && is_host_space(cp)) ? len : 0;
}

std::string_view strip_impl(std::string_view text, bool tab_is_space) {
    std::size_t b = 0, e = text.size();
    while (b < e) {
        std::size_t n = space_at(text, b, tab_is_space);
        if (n == 0) break;
        b += n;
    }
    while (e > b) {
        std::size_t n = space_before(text, e, tab_is_space);
        if (n == 0) break;
        e -= n;
    }
    return text.substr(b, e - b);
}

// repr(text) cut to its first `max_chars` characters, as the interpreter's "%.200R" does.
std::string truncated_repr(std::string_view text, std::size_t max_chars) {
    std::string r = py_repr(text);
    std::size_t chars = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if ((static_cast<unsigned char>(r[i]) & 0xC0) != 0x80) {
            if (chars == max_chars) return r.substr(0, i);
            ++chars;
        }
    }
    return r;
}

[[noreturn]] void invalid_int(std::string_view text) {
    throw value_error("invalid literal for int() with base 10: " + truncated_repr(text, 200));
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
// The whitespace int() and float() skip around the number once the text is ASCII: only
// these six; the separator controls 0x1C..0x1F are not skipped.
inline bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool has_non_ascii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// The digit value of a decimal digit beyond ASCII, or -1.
int unicode_decimal(char32_t cp) {
    const auto& zeros = unicode_tables::kDecimalZeros;
    const char32_t* it = std::upper_bound(std::begin(zeros), std::end(zeros), cp);
    if (it == std::begin(zeros)) return -1;
    char32_t zero = *(it - 1);
    return cp - zero < 10 ? static_cast<int>(cp - zero) : -1;
}

// Before int() and float() parse a text that is not pure ASCII, the interpreter maps every
// whitespace character to a blank and every decimal digit to its ASCII digit; the first other
// character beyond ASCII becomes '?' and ends the text (the parse then fails on it).
std::string to_ascii_number_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        std::size_t len = decode_at(text, i, cp);
        i += len;
        if (cp < 0x7F) {
            out += static_cast<char>(cp);
        } else if (is_host_space(cp)) {
            out += ' ';
        } else if (int d = unicode_decimal(cp); d >= 0) {
            out += static_cast<char>('0' + d);
        } else {
            out += '?';
            break;
        }
    }
    return out;
}

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

std::string_view strip(std::string_view text) { return strip_impl(text, true); }
std::string_view strip_except_tab(std::string_view text) { return strip_impl(text, false); }

namespace {

// Finds the next piece of str.split() at or after `i`; false when only whitespace is left.
// Inside a piece, ASCII bytes are checked by table and only the rare lead bytes of non-ASCII
// whitespace are decoded.
inline bool next_piece(std::string_view text, std::size_t& i, std::string_view& piece) {
    const std::size_t n = text.size();
    for (;;) {
        if (i >= n) return false;
        std::size_t s = space_at(text, i, true);
        if (s == 0) break;
        i += s;
    }
    const std::size_t start = i;
    ++i;
    while (i < n) {
        const std::uint8_t c = kByteClass[static_cast<unsigned char>(text[i])];
        if (c != 0 && (c == 1 || space_at(text, i, true) != 0)) break;
        ++i;
    }
    piece = text.substr(start, i - start);
    return true;
}

} // namespace

std::size_t split_whitespace_first(std::string_view text, std::string_view* out, std::size_t max_pieces) {
    std::size_t count = 0, i = 0;
    while (count < max_pieces && next_piece(text, i, out[count])) ++count;
    return count;
}

void split(std::string_view text, std::string_view sep, std::vector<std::string_view>& out) {
    if (sep.empty()) throw value_error("empty separator");  // as str.split(""); it would never end
    out.clear();
    std::size_t start = 0;
    if (sep.size() == 1) {
        const char c = sep[0];
        const char* base = text.data();
        const std::size_t n = text.size();
        // start < n: memchr must not see the null data() of an empty view, even for 0 bytes.
        while (start < n) {
            const void* hit = std::memchr(base + start, c, n - start);
            if (hit == nullptr) break;
            const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
            out.push_back(text.substr(start, pos - start));
            start = pos + 1;
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

void append_joined(std::string& out, std::span<const std::string_view> items, char sep) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out.push_back(sep);
        out.append(items[i]);
    }
}

std::vector<std::string_view> split(std::string_view text, std::string_view sep) {
    std::vector<std::string_view> out;
    split(text, sep, out);
    return out;
}

std::int64_t parse_int(std::string_view text) {
    // The interpreter refuses to convert texts of more digits than this (a guard against
    // quadratic conversion time), before it looks at what follows the digits.
    constexpr std::size_t kMaxDigits = 4300;
    std::string ascii;
    std::string_view s = text;
    if (has_non_ascii(text)) {
        ascii = to_ascii_number_text(text);
        s = ascii;
    }
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n && is_c_space(s[i])) ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i < n && s[i] == '_') invalid_int(text);
    std::uint64_t magnitude = 0;
    bool overflow = false;
    std::size_t digits = 0;
    char prev = '\0';
    for (; i < n && (is_digit(s[i]) || s[i] == '_'); ++i) {
        if (s[i] == '_') {
            if (prev == '_') invalid_int(text);
        } else {
            ++digits;
            overflow = overflow || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
                       __builtin_add_overflow(magnitude, static_cast<unsigned>(s[i] - '0'), &magnitude);
        }
        prev = s[i];
    }
    if (prev == '_') invalid_int(text);
    if (digits > kMaxDigits) {
        throw value_error("Exceeds the limit (4300 digits) for integer string conversion: value has " +
                          std::to_string(digits) + " digits; use sys.set_int_max_str_digits() to increase the limit");
    }
    if (digits == 0) invalid_int(text);
    while (i < n && is_c_space(s[i])) ++i;
    if (i != n) invalid_int(text);
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    if (overflow || magnitude > kLimit || (!negative && magnitude == kLimit)) {
        throw int_operand_beyond_64_bits(truncated_repr(text, 200));
    }
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

namespace {

// float() on an ASCII text.
bool parse_float_ascii(std::string_view s, double& out) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_c_space(s[b])) ++b;
    while (e > b && is_c_space(s[e - 1])) --e;
    if (b == e) return false;
    std::size_t i = b;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
    std::string_view body = s.substr(i, e - i);
    if (body.empty()) return false;
    if (!is_digit(body[0]) && body[0] != '.') {
        if (ieq(body, "inf") || ieq(body, "infinity")) {
            out = negative ? -HUGE_VAL : HUGE_VAL;
            return true;
        }
        if (ieq(body, "nan")) {
            out = std::nan("");
            return true;
        }
        return false;
    }
    // Fast path: a plain decimal text that from_chars reads whole and within range. It accepts
    // the same decimal grammar (its sign is already taken off, inf and nan are handled above).
    {
        auto res = std::from_chars(body.data(), body.data() + body.size(), out, std::chars_format::general);
        if (res.ec == std::errc() && res.ptr == body.data() + body.size()) {
            if (negative) out = -out;
            return true;
        }
    }
    // Rare path: digits [. digits] [e [sign] digits] with single underscores between two digits,
    // copied without the underscores; out-of-range values.
    char small[128];
    std::string large;
    char* dst = small;
    if (body.size() >= sizeof(small)) {
        large.resize(body.size() + 1);
        dst = large.data();
    }
    std::size_t n = 0, j = 0;
    auto digits = [&]() {
        bool any = false;
        while (j < body.size()) {
            const char c = body[j];
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
        return any;
    };
    const bool int_digits = digits();
    bool frac_digits = false;
    if (j < body.size() && body[j] == '.') {
        dst[n++] = '.';
        ++j;
        frac_digits = digits();
    }
    if (!int_digits && !frac_digits) return false;
    if (j < body.size() && (body[j] == 'e' || body[j] == 'E')) {
        dst[n++] = 'e';
        ++j;
        if (j < body.size() && (body[j] == '+' || body[j] == '-')) dst[n++] = body[j++];
        if (!digits()) return false;
    }
    if (j != body.size()) return false;
    double value = 0.0;
    // Common case: from_chars is exact and fast. It refuses results that overflow or underflow,
    // which the interpreter turns into infinity or a (signed) zero; strtod, correctly rounded
    // as well, yields exactly those.
    auto res = std::from_chars(dst, dst + n, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != dst + n) {
        dst[n] = '\0';
        value = strtod_l(dst, nullptr, c_locale());
    }
    out = negative ? -value : value;
    return true;
}

} // namespace

bool try_parse_float(std::string_view text, double& out) {
    if (parse_float_ascii(text, out)) return true;
    // Rare path: digits and whitespace from beyond ASCII.
    return has_non_ascii(text) && parse_float_ascii(to_ascii_number_text(text), out);
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
    // The shortest round-tripping digits, then laid out as the interpreter does.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::scientific);
    // buf: [-]d[.ddd]e(+|-)XX
    const char* p = buf;
    const char* end = res.ptr;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    char digits[24];
    std::size_t nd = 0;
    while (*p != 'e') {
        if (*p != '.') digits[nd++] = *p;
        ++p;
    }
    ++p;  // 'e'
    const bool exp_negative = *p == '-';
    ++p;
    int exp = 0;
    for (; p < end; ++p) exp = exp * 10 + (*p - '0');
    if (exp_negative) exp = -exp;
    if (exp >= -4 && exp < 16) {
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
    const int a = exp < 0 ? -exp : exp;
    if (a >= 100) out += static_cast<char>('0' + a / 100);
    out += static_cast<char>('0' + a / 10 % 10);
    out += static_cast<char>('0' + a % 10);
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
    // Beyond these bounds no digit of any double is left to round (the interpreter's own limits).
    constexpr int kMaxDigits = 323;
    constexpr int kMinDigits = -308;
    if (!std::isfinite(x)) return x;
    if (ndigits > kMaxDigits) return x;
    if (ndigits < kMinDigits) return 0.0 * x;
    if (x == 0.0) return x;
    const double ax = std::fabs(x);
    if (ndigits >= 0) {
        // From 2^52 up every double is a whole number, unchanged by rounding to decimals.
        if (ax >= 4503599627370496.0) return x;
        // to_chars with a precision prints the exact binary value correctly rounded, ties to
        // even. Below 2^52 at most 16 integer digits and 323 decimals: the buffer suffices.
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof(buf), ax, std::chars_format::fixed, ndigits);
        double out = 0.0;
        std::from_chars(buf, res.ptr, out);
        return std::copysign(out, x);
    }
    // A negative ndigits rounds to a multiple of 10^k. The whole part's exact digits decide,
    // with the fraction only breaking what would otherwise be an exact tie.
    const std::size_t k = static_cast<std::size_t>(-ndigits);
    const double whole = std::trunc(ax);
    const bool has_fraction = whole != ax;
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof(buf), whole, std::chars_format::fixed, 0);
    std::string digits(buf, res.ptr);
    if (digits.size() < k + 1) digits.insert(0, k + 1 - digits.size(), '0');
    const std::size_t keep = digits.size() - k;
    const std::string_view tail(digits.data() + keep, k);
    int cmp = tail[0] > '5' ? 1 : (tail[0] < '5' ? -1 : 0);
    if (cmp == 0) {
        cmp = tail.find_first_not_of('0', 1) != std::string_view::npos || has_fraction ? 1 : 0;
    }
    const bool up = cmp > 0 || (cmp == 0 && (digits[keep - 1] - '0') % 2 == 1);
    digits.resize(keep);
    if (up) {
        std::size_t p = keep;
        while (p > 0 && digits[p - 1] == '9') digits[--p] = '0';
        if (p == 0) digits.insert(0, 1, '1');
        else ++digits[p - 1];
    }
    digits += 'e';
    digits += std::to_string(k);
    digits += '\0';
    const double out = strtod_l(digits.c_str(), nullptr, c_locale());
    if (std::isinf(out)) throw overflow_error("rounded value too large to represent");
    return std::copysign(out, x);
}

namespace {

bool is_printable(char32_t cp) {
    if (cp < 0x80) return cp >= 0x20 && cp < 0x7F;
    const auto& table = unicode_tables::kNonPrintable;
    const auto* it = std::upper_bound(std::begin(table), std::end(table), cp,
                                      [](char32_t c, const unicode_tables::CodePointRange& r) { return c < r.first; });
    return it == std::begin(table) || cp > (it - 1)->last;
}

} // namespace

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string py_repr(std::string_view text) {
    const bool has_single = text.find('\'') != std::string_view::npos;
    const bool has_double = text.find('"') != std::string_view::npos;
    const char quote = (has_single && !has_double) ? '"' : '\'';
    std::string out;
    out.reserve(text.size() + 2);
    out += quote;
    static const char* hex = "0123456789abcdef";
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        const std::size_t len = decode_at(text, i, cp);
        if (cp == static_cast<char32_t>(quote) || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (is_printable(cp)) {
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
        i += len;
    }
    out += quote;
    return out;
}

std::string py_bytes_repr(std::string_view bytes) {
    const bool has_single = bytes.find('\'') != std::string_view::npos;
    const bool has_double = bytes.find('"') != std::string_view::npos;
    const char quote = (has_single && !has_double) ? '"' : '\'';
    std::string out = "b";
    out.reserve(bytes.size() + 3);
    out += quote;
    static const char* hex = "0123456789abcdef";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == static_cast<unsigned char>(quote) || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += ch;
        }
    }
    out += quote;
    return out;
}

} // namespace vombrelle

namespace vombrelle {

namespace {

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    }
    const int tail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>((0xFF00 >> (tail + 1)) | (cp >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
}

inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

std::string upper(std::string_view text) {
    using unicode_tables::kUpperCase;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        const std::size_t len = decode_at(text, i, cp);
        const auto* it = std::lower_bound(std::begin(kUpperCase), std::end(kUpperCase), cp,
                                          [](const unicode_tables::UpperCase& e, char32_t c) { return e.from < c; });
        if (it != std::end(kUpperCase) && it->from == cp) {
            for (char32_t to : it->to) {
                if (to != 0) append_utf8(out, to);
            }
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

bool same_upper(std::string_view a, std::string_view b) {
    if (is_ascii(a) && is_ascii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
        }
        return true;
    }
    return upper(a) == upper(b);
}

} // namespace vombrelle
