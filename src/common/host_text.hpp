// The interpreter's text and number semantics, implemented once for the whole core.
//
// Texts are UTF-8 (a lone surrogate, which the interpreter's str may hold, as its three-byte
// form: no byte of it is ASCII, and it decodes to its own code point). Every function here gives the same answer as the interpreter does for the
// corresponding str method or built-in:
//   strip                      str.strip() with the interpreter's whitespace
//                              (\t \n \v \f \r, blank, 0x1C-0x1F, U+0085, U+00A0, U+1680,
//                              U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000)
//   split_whitespace_first     the first pieces of str.split(), with the same whitespace
//   strip_except_tab           the same whitespace less the tab, so that empty edge cells of a
//                              tab-separated line survive
//   split                      str.split(sep): every piece kept, empty ones included
//   append_joined              sep.join(items)
//   parse_int                  int(text) for base 10; beyond 64 bits it raises OverflowError
//   parse_float                float(text)
//                              (both read decimal digits of any script, as the interpreter does)
//   float_repr                 repr(x) of a float: shortest round-tripping digits
//   round_to                   round(x, n) on the exact stored value, ties to even
//   ascii_upper                str.upper() of an ASCII text
//   py_repr                    repr(text) of a str, as used in the interpreter's messages
//   py_bytes_repr              repr(b) of a bytes object
//   upper / same_upper         str.upper(), and a.upper() == b.upper()
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vombrelle {

// True when the code point is whitespace for the interpreter's str methods.
bool is_host_space(char32_t c);

// The ASCII part of that whitespace: \t \n \v \f \r, blank and 0x1C-0x1F (fast paths of
// parsers that fall back to the full rules on the first non-ASCII byte).
inline bool is_ascii_space(unsigned char b) {
    return b == ' ' || (b >= 0x09 && b <= 0x0D) || (b >= 0x1C && b <= 0x1F);
}

inline bool is_ascii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Length in bytes of the UTF-8 sequence that starts with `lead` (texts are valid UTF-8 here).
inline std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    return 4;
}

// len(text): the number of code points (continuation bytes are not counted).
inline std::int64_t char_count(std::string_view s) {
    std::int64_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string_view strip(std::string_view text);
std::string_view strip_except_tab(std::string_view text);

// str.split() (runs of whitespace separate, edges ignored; an all-blank text gives no piece), up
// to its first `max_pieces` pieces: what a caller indexing [0] and [1] needs. Returns the number of
// pieces found up to that limit.
std::size_t split_whitespace_first(std::string_view text, std::string_view* out, std::size_t max_pieces);

// str.split(sep) with a non-empty separator: keeps empty pieces; "" gives one empty piece.
std::vector<std::string_view> split(std::string_view text, std::string_view sep);
void split(std::string_view text, std::string_view sep, std::vector<std::string_view>& out);

// sep.join(items), appended to `out`.
void append_joined(std::string& out, std::span<const std::string_view> items, char sep);

// int(text) in base 10. Throws HostError: ValueError "invalid literal for int() with base 10: '...'"
// (or the interpreter's limit message for more than 4300 digits), or OverflowError when the
// value does not fit 64 bits.
std::int64_t parse_int(std::string_view text);

// float(text). Throws ValueError "could not convert string to float: '...'".
double parse_float(std::string_view text);
// The same grammar without throwing; false when float() would raise.
bool try_parse_float(std::string_view text, double& out);

// repr(x) / str(x) of a float: "1.0", "0.25", "1e-05", "1.5e+16", "inf", "-inf", "nan", "-0.0".
std::string float_repr(double x);
void append_float_repr(std::string& out, double x);
// str(n) of an int.
void append_int(std::string& out, std::int64_t n);

// round(x, ndigits) for a float x, any ndigits; OverflowError when the result overflows.
double round_to(double x, int ndigits);

// str.upper() of an ASCII text (letters a-z only); other code points are copied unchanged.
std::string ascii_upper(std::string_view text);

// repr(text) of a str: quoted, with the interpreter's escapes.
std::string py_repr(std::string_view text);

// repr(b) of a bytes object: b'...' with \t \n \r, \xhh for other bytes outside 0x20-0x7E.
std::string py_bytes_repr(std::string_view bytes);

// str.upper(): full case mapping, code point by code point (some give two or three).
std::string upper(std::string_view text);
// a.upper() == b.upper(). Sequences are ASCII nearly always: those are compared in place.
bool same_upper(std::string_view a, std::string_view b);

} // namespace vombrelle
