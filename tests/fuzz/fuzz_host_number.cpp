// int() and float() of any valid UTF-8 text, repr() and round() of any double, each against a
// second path:
//   - parse_float and try_parse_float agree; an int() that reads n makes float() read n exactly;
//   - on plain ASCII decimals, float() is the C library's strtod and int() its strtoll, and a
//     text of only digits, signs, points and exponents reads exactly when it is such a decimal;
//   - repr() reads back to the same double; round5 (the peak readers' fast path) is round(x, 5).
// Errors are ValueError and OverflowError only.
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <locale.h>
#include <string>
#include <string_view>

#include "common/host_text.hpp"
#include "common/text_file.hpp"
#include "fuzz_support.hpp"
#include "readers/peak_line.hpp"

using namespace vombrelle;
using namespace vombrelle::fuzz;

namespace {

locale_t c_locale() {
    static const locale_t loc = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

bool same(double a, double b) { return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b)); }

bool digit(char c) { return c >= '0' && c <= '9'; }

// [+-] digits [. [digits]] | [+-] . digits, then [(e|E) [+-] digits]: the decimals strtod and
// float() both read.
bool plain_decimal(std::string_view s) {
    std::size_t i = 0, n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < n && digit(s[i])) ++i, ++int_digits;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && digit(s[i])) ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < n && digit(s[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == n;
}

// The text less the ASCII whitespace int() and float() skip at both ends.
std::string_view c_trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

void check_error_kind(const HostError& e, bool overflow_allowed, const std::string& what) {
    check(e.kind() == ErrorKind::Value || (overflow_allowed && e.kind() == ErrorKind::Overflow),
          what + " raised " + describe(e));
}

void check_double(double x) {
    const std::string repr = float_repr(x);
    double back = 0.0;
    check(try_parse_float(repr, back) && same(back, x), "repr " + repr + " does not read back to " + bits(x));
    if (std::isfinite(x)) {
        check(same(std::strtod(repr.c_str(), nullptr), x), "strtod reads repr " + repr + " differently");
    }
    check(same(round5(x), round_to(x, 5)), "round5 and round(x, 5) differ for " + bits(x));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 8) {
        double x;
        std::memcpy(&x, data, sizeof x);
        check_double(x);
        try {
            (void)round_to(x, static_cast<std::int8_t>(size > 8 ? data[8] : 0) * 3);
        } catch (const HostError& e) {
            check(e.kind() == ErrorKind::Overflow, "round() raised " + describe(e));
        }
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t bad_start, bad_end;
    const char* reason;
    if (!check_utf8(text, bad_start, bad_end, reason)) return 0;

    std::optional<std::int64_t> as_int;
    try {
        as_int = parse_int(text);
    } catch (const HostError& e) {
        check_error_kind(e, true, "int()");
    }
    std::optional<double> as_float;
    try {
        as_float = parse_float(text);
    } catch (const HostError& e) {
        check_error_kind(e, false, "float()");
    }
    double tried = 0.0;
    const bool ok = try_parse_float(text, tried);
    check(ok == as_float.has_value() && (!ok || same(tried, *as_float)), "parse_float and try_parse_float differ");

    if (as_int) {
        // "-0" is the integer 0 but the float -0.0: the values compare equal, the bits do not.
        check(as_float && *as_float == static_cast<double>(*as_int), "int() reads a number float() does not");
        std::string back;
        append_int(back, *as_int);
        check(parse_int(back) == *as_int, "str(n) does not read back");
    }
    if (as_float) check_double(*as_float);

    if (!is_ascii(text) || text.find('\0') != std::string_view::npos) return 0;
    const std::string core(c_trim(text));
    const bool decimal = plain_decimal(core);
    if (decimal) {
        check(as_float && same(*as_float, ::strtod_l(core.c_str(), nullptr, c_locale())),
              "float() differs from strtod on " + core);
    }
    if (core.find_first_not_of("0123456789+-.eE") == std::string::npos) {
        check(as_float.has_value() == decimal, "float() reads what is no decimal, or misses one: " + core);
    }
    const bool small_integer = core.find_first_not_of("0123456789+-") == std::string::npos &&
                               core.find_first_of("0123456789") != std::string::npos &&
                               core.find_first_of("+-", 1) == std::string::npos && core.size() <= 18;
    if (small_integer) {
        errno = 0;
        const long long expected = std::strtoll(core.c_str(), nullptr, 10);
        check(errno == 0 && as_int == expected, "int() differs from strtoll on " + core);
    }
    return 0;
}
