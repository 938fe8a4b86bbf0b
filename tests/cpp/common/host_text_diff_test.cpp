// The core's text and number semantics against the interpreter itself: well over 100,000 random
// and boundary inputs (fixed seeds) go through both, and every answer must be identical.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/number.hpp"
#include "interpreter_oracle.hpp"

namespace vombrelle {
namespace {

using namespace test;

// A request is an operation and its arguments, each tagged t (text), d (double) or i (int); the
// answer mirrors what the C++ side formats below, item by item, separated by '|'.
const char* const kOracle = R"PY(
import struct, sys
from operator import add, sub, mul, truediv, lt, le, eq, gt, ge

SEPARATORS = [',', '\t', ';', '  ', '\xa0', 'ab', '']
SPACE_BUT_TAB = ''.join(c for c in map(chr, range(0x3001)) if c.isspace() and c != '\t')
ARG = {'t': lambda h: bytes.fromhex(h).decode('utf-8'), 'd': lambda h: struct.unpack('>d', bytes.fromhex(h))[0], 'i': int}
def hx(s): return s.encode('utf-8').hex()
def num(v):
    if isinstance(v, list): return '[' + ','.join(map(hx, v)) + ']'
    if isinstance(v, bool): return 'B%d' % v
    if isinstance(v, int): return 'I%d' % v if -2**63 <= v < 2**63 else 'O'
    return 'N' if v != v else 'F' + struct.pack('>d', v).hex()
def run(f, *a):
    try: return num(f(*a))
    except (ValueError, OverflowError, ZeroDivisionError) as e: return 'E%s:%s' % (type(e).__name__, hx(str(e)))
OPS = {
    'split': lambda s: '|'.join([hx(s.strip()), hx(s.strip(SPACE_BUT_TAB)),
                                  num(s.split())] + [run(s.split, p) for p in SEPARATORS]),
    'number': lambda s: run(int, s) + '|' + run(float, s),
    'repr': lambda s: hx(repr(s)),
    'upper': lambda s: hx(s.upper()),
    'double': lambda x, n: hx(repr(x)) + '|' + run(round, x, n),
    'numbers': lambda a, b: '|'.join([run(f, a, b) for f in (add, sub, mul, truediv)] +
                                     [num(f(a, b)) for f in (lt, le, eq, gt, ge)] + [hx(str(a)), hx(str(b))]),
}
requests = [line.rstrip('\n').split(' ') for line in open(sys.argv[1], encoding='ascii')]
out = [OPS[op](*(ARG[x[0]](x[1:]) for x in f)) for op, *f in requests]
open(sys.argv[2], 'w', encoding='ascii').write('\n'.join(out) + '\n')
)PY";
const std::vector<std::string> kSeparators = {",", "\t", ";", "  ", "\xC2\xA0", "ab", ""};

std::string field(const std::string& s) { return "t" + hex_encode(s); }
std::string field(double x) { return "d" + hex_bits(x); }
std::string field(int n) { return "i" + std::to_string(n); }
std::string field(HostNumber n) { return n.is_int() ? "i" + std::to_string(n.as_int()) : field(n.as_double()); }
template <class A, class B>
std::string field(const std::pair<A, B>& p) { return field(p.first) + " " + field(p.second); }

std::string num(double d) { return std::isnan(d) ? "N" : "F" + hex_bits(d); }
std::string num(std::int64_t i) { return "I" + std::to_string(i); }
std::string num(bool b) { return b ? "B1" : "B0"; }
std::string num(HostNumber n) { return n.is_int() ? num(n.as_int()) : num(n.as_double()); }
std::string num(const std::vector<std::string_view>& pieces) {
    std::string out;
    for (const auto& p : pieces) out += "," + hex_encode(p);
    return "[" + (out.empty() ? out : out.substr(1)) + "]";
}

template <class F>
std::string run(F f) {
    try {
        return num(f());
    } catch (const HostError& e) {
        // An int beyond 64 bits is the one place where the core stops short of the interpreter
        // on purpose (its messages start "int"); the oracle reports such values as "O".
        if (e.kind() == ErrorKind::Overflow && std::string(e.what()).rfind("int", 0) == 0) return "O";
        const char* kind = e.kind() == ErrorKind::Value      ? "ValueError"
                           : e.kind() == ErrorKind::Overflow ? "OverflowError"
                           : e.kind() == ErrorKind::ZeroDivision ? "ZeroDivisionError" : "Other";
        return "E" + std::string(kind) + ":" + hex_encode(e.what());
    }
}

// Every input goes through `core` and through the interpreter's `op`: the answers must be identical.
template <class In, class Core>
void agree(const char* op, const std::vector<In>& inputs, Core core) {
    std::vector<std::string> requests;
    for (const auto& in : inputs) requests.push_back(op + (" " + field(in)));
    const auto expected = ask_interpreter(kOracle, requests);
    ASSERT_EQ(expected.size(), inputs.size());
    int failures = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string answer = core(inputs[i]);
        if (answer != expected[i] && failures++ < 25) {
            ADD_FAILURE() << requests[i].substr(0, 200) << "\n  interpreter: " << expected[i].substr(0, 400)
                          << "\n  core:        " << answer.substr(0, 400);
        }
    }
    EXPECT_EQ(failures, 0) << "of " << inputs.size() << " cases";
}

// Random texts over an alphabet of number syntax, the interpreter's whitespace (and near misses
// such as U+200B, U+FEFF, 0x1C), decimal digits beyond ASCII and the letters of inf and nan.
std::string random_text(std::mt19937_64& rng, std::size_t max_len) {
    static const std::vector<std::string> alphabet = {
        "0", "1", "2", "5", "7", "9", "0", "1", "+", "-", ".", ".", "e", "E", "_", "_", " ", " ", "\t", "\n", "\r",
        "\v", "\f", "\x1c", "\x1f", "\xC2\x85", "\xC2\xA0", "\xE2\x80\x83", "\xE3\x80\x80", "\xE2\x80\x8B",
        "\xEF\xBB\xBF", "\xE1\x9A\x80", "\xE2\x80\xA8", "\xE2\x80\xAF", "i", "n", "f", "a", "t", "y", "I", "N", "F",
        "A", "x", ",", ";", "\xD9\xA3", "\xEF\xBC\x97", "\xF0\x9D\x9F\x8E", "\xC3\xA9", "'", "\"", "\\",
        std::string(1, '\0'), "\x7f", "\xC2\xAD", "ab"};
    std::string s;
    for (auto n = rng() % (max_len + 1); n > 0; --n) s += alphabet[rng() % alphabet.size()];
    return s;
}

// A number text made harder: underscores between some digits, blanks around it, then perhaps one
// random edit, so that both sides of the grammar's edges are hit.
std::string mangle(std::string s, std::mt19937_64& rng) {
    static const char* const blanks[] = {" ", "\t", "\n", "\xC2\xA0", "\xE3\x80\x80", "\x1c", "\xE2\x80\x8B", "  \r\n"};
    static const char* const edits[] = {"_", ".", "e", "-", "x", " ", "0", "\xD9\xA5", "\xEF\xBC\x91", "__"};
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] >= '0' && s[i - 1] <= '9' && s[i] >= '0' && s[i] <= '9' && rng() % 100 < 8) s.insert(i++, "_");
    }
    if (rng() % 100 < 15) s = blanks[rng() % 8] + s;
    if (rng() % 100 < 15) s += blanks[rng() % 8];
    if (rng() % 100 < 25 && !s.empty()) {
        std::size_t p = rng() % s.size();
        while (p > 0 && (static_cast<unsigned char>(s[p]) & 0xC0) == 0x80) --p;  // keep characters whole
        if (rng() % 3 == 0) {
            s.insert(p, edits[rng() % 10]);
        } else if ((static_cast<unsigned char>(s[p]) & 0x80) == 0) {
            s.replace(p, 1, rng() % 2 ? "" : edits[rng() % 10]);
        }
    }
    return s;
}

double random_double(std::mt19937_64& rng) {
    const std::uint64_t bits = rng();
    switch (rng() % 6) {
        case 0: return std::bit_cast<double>(bits);  // any bit pattern
        case 1: return (static_cast<double>(bits % 200000001) - 100000000) / std::pow(10.0, rng() % 10);  // k / 10^j
        case 2: return std::bit_cast<double>(bits & 0x800FFFFFFFFFFFFF);  // subnormal
        case 3: {  // a power of ten or its neighbours, around the notation switches
            double d = std::pow(10.0, static_cast<int>(bits % 61) - 30);
            for (int s = static_cast<int>(rng() % 5) - 2; s != 0; s += s > 0 ? -1 : 1) {
                d = std::nextafter(d, s > 0 ? INFINITY : 0.0);
            }
            return d;
        }
        case 4: return static_cast<double>(bits % 400000001) / 100000.0;  // a mass-like value with few digits
        default: return std::ldexp(1.0, 50 + static_cast<int>(bits % 21)) + (static_cast<double>(rng() % 7) - 3);
    }
}

std::int64_t random_int(std::mt19937_64& rng) {
    const auto any = static_cast<std::int64_t>(rng());
    return rng() % 3 ? any >> (rng() % 64) : static_cast<std::int64_t>(rng() % 201) - 100;
}

std::string utf8(char32_t cp) {
    if (cp < 0x80) return std::string(1, static_cast<char>(cp));
    const int tail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    std::string s(1, static_cast<char>((0xFF00 >> (tail + 1)) | (cp >> (6 * tail))));
    for (int i = tail - 1; i >= 0; --i) s += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
    return s;
}

// str.split() whole: split_whitespace_first with room for every piece a text can hold.
std::vector<std::string_view> split_whitespace(std::string_view s) {
    std::vector<std::string_view> pieces(s.size() / 2 + 1);
    pieces.resize(split_whitespace_first(s, pieces.data(), pieces.size()));
    return pieces;
}

std::string split_answers(const std::string& s) {
    const auto words = split_whitespace(s);
    std::string ans = hex_encode(strip(s)) + "|" + hex_encode(strip_except_tab(s)) + "|" + num(words);
    for (const auto& sep : kSeparators) ans += "|" + run([&] { return split(s, sep); });
    std::string_view firsts[2];  // stopping at two pieces must find the first two
    const std::size_t got = split_whitespace_first(s, firsts, 2);
    if (got != std::min<std::size_t>(2, words.size()) || !std::equal(firsts, firsts + got, words.begin())) {
        ans += "<split_whitespace_first disagrees>";
    }
    return ans;
}

std::string number_answers(const std::string& s) {
    const std::string as_float = run([&] { return parse_float(s); });
    double v;  // the shortcut must agree with the full parse
    const bool parsed = try_parse_float(s, v);
    const bool agrees = parsed == (as_float[0] != 'E') && (!parsed || num(v) == as_float);
    return run([&] { return parse_int(s); }) + "|" + as_float + (agrees ? "" : "<try_parse_float disagrees>");
}

TEST(HostTextAgainstInterpreter, TextFunctions) {
    std::vector<std::string> in = {  // what random texts rarely hit
        "\xC2\xA0x\xC2\xA0", "\xE2\x80\x8Bx\xE2\x80\x8B", "\xEF\xBB\xBFx", "\x1c x \x1f", "a,,b,", ",", "'\"", "a'b",
        "\xE3\x80\x80\xE3\x80\x80", "9223372036854775807", "-9223372036854775808", "9223372036854775808",
        "-9223372036854775809", "007", "1_000", "1__0", "_1", "1_", "+-1", "0x10", "\xD9\xA3\xD9\xA4",
        "\xEF\xBC\x91\xEF\xBC\x90", "\xC2\xA0" "5\xE3\x80\x80", "\x1c" "5", "5\x1c", "\xE2\x80\x8B" "5",
        "  -00000000000000000000000000012  ", "1e999", "-1e-999", "2.4703282292062327e-324", "2.4703282292062328e-324",
        "4.9406564584124654e-324", "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
        "2.2250738585072011e-308", "1_0.5_5e1_0", "1_.5", "1._5", "1e_5", "0x1p3", "infinity", "-INF", "+nan", "-nan",
        "nan(1)", "in f", "\xC2\xA0" "1.5\xE2\x80\x83", "1\xEF\xBB\xBF", "\xD9\xA1.\xD9\xA5",
        "\xEF\xBC\x91" "e\xEF\xBC\x92", "1e0000000000000000000005", "0e99999999999999999999", "1e-99999999999999999999",
        "-0.0e-5", "Infinity", "iNF", "NaN", "infinit", "infinityy",
        "0." + std::string(400, '0') + "1",
        // Long digit strings right at the halfway point between two doubles.
        "9007199254740993" + std::string(600, '0'), "9007199254740993" + std::string(600, '0') + "1e-600"};
    std::mt19937_64 rng(20240601);
    for (int i = 0; i < 25000; ++i) in.push_back(random_text(rng, 14));
    // Every code point below U+3100 (the interpreter's whitespace all lies there) at both ends of a
    // text and between its pieces.
    for (char32_t cp = 0; cp < 0x3100; ++cp) in.push_back(utf8(cp) + "a" + utf8(cp) + "b" + utf8(cp));
    agree("split", in, split_answers);
    std::vector<std::string> texts(in.begin(), in.begin() + 10000);
    // Around the interpreter's 4300-digit limit for int(): the count is taken before anything else is checked.
    for (std::size_t n : {4299, 4300, 4301, 5000}) {
        in.insert(in.end(), {std::string(n, '7'), "-" + std::string(n, '0') + " ", std::string(n, '1') + "x",
                             std::string(n, '1') + "__1", "x" + std::string(n, '1'), std::string(n - 1, '2') + "\xC3\xA9",
                             std::string(n / 2, '1') + "\xD9\xA1" + std::string(n / 2, '1')});
    }
    for (int i = 0; i < 5000; ++i) {
        const double d = random_double(rng);
        char buf[64];
        std::snprintf(buf, sizeof buf, i % 3 == 0 ? "%.17g" : (i % 3 == 1 ? "%.25e" : "%.6g"), d);
        const std::string integer = std::to_string(random_int(rng)), repr = float_repr(d);
        const std::string long_digits = std::to_string(rng()) + (i % 2 ? "." : "") + std::to_string(rng()) +
                                        (i % 4 ? "e" : "E+") + std::to_string(static_cast<int>(rng() % 800) - 400);
        in.insert(in.end(), {buf, repr, integer, mangle(buf, rng), mangle(repr, rng), mangle(integer, rng),
                             mangle(long_digits, rng)});
    }
    // Exact midpoints between neighbouring doubles (long double holds them exactly), which must
    // round to the even neighbour, and texts a hair above them.
    for (int i = 0; i < 2000 && std::numeric_limits<long double>::digits >= 64; ++i) {
        const double d = i == 0 ? std::numeric_limits<double>::max() : std::fabs(random_double(rng));
        if (!std::isfinite(d)) continue;
        const long double up = i == 0 ? std::ldexp(1.0L, 1024) : std::nextafter(d, INFINITY);
        std::vector<char> buf(1200);
        std::snprintf(buf.data(), buf.size(), "%.1100Le", (static_cast<long double>(d) + up) / 2);
        std::string text(buf.data());
        in.push_back(text);
        if (i % 2 == 0) in.push_back(text.insert(text.find('e'), "1"));
    }
    agree("number", in, number_answers);
    for (char32_t base = 0; base < 0x110000; base += 64) {  // every code point once, in blocks
        std::string s;
        for (char32_t cp = base; cp < base + 64; ++cp) s += cp < 0xD800 || cp > 0xDFFF ? utf8(cp) : "";
        texts.push_back(s);
    }
    agree("repr", texts, [](const std::string& s) { return hex_encode(py_repr(s)); });
}

TEST(HostTextAgainstInterpreter, ReprAndRoundOfDoubles) {
    std::vector<std::pair<double, int>> in = {
        {2.675, 2}, {0.125, 2}, {21742.947275, 5}, {-1e-7, 5}, {0.5, 0}, {1.5, 0}, {2.5, 0}, {-2.5, 0}, {-0.4, 0},
        {25.0, -1}, {35.0, -1}, {150.0, -2}, {250.0, -2}, {250.0000001, -2}, {5e15, -16},
        {1.7976931348623157e308, -308}, {1.7976931348623157e308, -307}, {9007199254740993.0, -1},
        {4503599627370497.5, 0}, {1e300, 323}, {1e-300, 323}, {5e-324, 323}, {5e-324, 324}, {123.0, -309},
        {-123.0, -400}, {0.0, -3}, {-0.0, 2}, {NAN, 2}, {-INFINITY, -2}, {INFINITY, 0}, {0.285, 2}, {1.005, 2},
        {0.1, 1}, {1.5e16, 0}, {123456789012345680.0, 0}};  // the notation switches at 1e16 and 1e-4 come at random
    const int ndigits[] = {0, 1, 2, 3, 4, 5, 6, -1, -2, -3, -5, -10, -20, 10, 15, 17, 20};
    std::mt19937_64 rng(31337);
    for (int i = 0; i < 30000; ++i) {
        // Every fourth value an exact decimal tie at the digit being rounded: k + 0.5 at some scale.
        const double x = i % 4 ? random_double(rng)
                               : (std::uniform_int_distribution<int>(-2000, 2000)(rng) + 0.5) / std::pow(10.0, i % 7);
        in.emplace_back(x, ndigits[std::uniform_int_distribution<std::size_t>(0, std::size(ndigits) - 1)(rng)]);
    }
    agree("double", in, [](const std::pair<double, int>& a) {
        std::string s = "<";  // append_float_repr must append, not overwrite
        append_float_repr(s, a.first);
        return hex_encode(s.substr(1)) + "|" + run([&] { return round_to(a.first, a.second); });
    });
}

TEST(HostTextAgainstInterpreter, NumberArithmetic) {
    const HostNumber edges[] = {0, 0.0, -0.0, INT64_MAX, INT64_MIN, INT64_MIN + 1, 9.223372036854775807e18, NAN, INFINITY,
                                std::int64_t{1} << 53, std::int64_t{9007199254740993}, 9007199254740992.0, -5, 3, 0.1,
                                std::int64_t{3037000499}, std::int64_t{3037000500}, std::int64_t{4294967296}};
    std::vector<std::pair<HostNumber, HostNumber>> in;
    for (HostNumber a : edges) {
        for (HostNumber b : edges) in.emplace_back(a, b);
    }
    std::mt19937_64 rng(2718);
    auto operand = [&]() -> HostNumber { return rng() % 3 == 0 ? HostNumber(random_double(rng)) : random_int(rng); };
    for (int i = 0; i < 20000; ++i) in.emplace_back(operand(), operand());
    agree("numbers", in, [](const std::pair<HostNumber, HostNumber>& p) {
        const auto [a, b] = p;
        return run([&] { return a + b; }) + "|" + run([&] { return a - b; }) + "|" + run([&] { return a * b; }) + "|" +
               run([&] { return a / b; }) + "|" + num(a < b) + "|" + num(a <= b) + "|" + num(a == b) + "|" +
               num(a > b) + "|" + num(a >= b) + "|" + hex_encode(a.to_text()) + "|" + hex_encode(b.to_text());
    });
}

TEST(HostTextAgainstInterpreter, UpperCase) {
    std::vector<std::string> texts = {"", "AkAKR", "pep\xC3\x9F", "\xC5\x89n", "\xCE\xB1\xCF\x83\xCF\x82", "k\xEF\xAC\x83"};
    for (char32_t base = 0; base < 0x110000; base += 64) {  // every code point once, in blocks
        std::string s;
        for (char32_t cp = base; cp < base + 64; ++cp) s += cp < 0xD800 || cp > 0xDFFF ? utf8(cp) : "";
        texts.push_back(s);
    }
    agree("upper", texts, [](const std::string& s) { return hex_encode(upper(s)); });
    // The in-place ASCII comparison and the general one agree.
    EXPECT_TRUE(same_upper("AkAKR", "AKAkR"));
    EXPECT_FALSE(same_upper("a{", "A["));
    EXPECT_TRUE(same_upper("stra\xC3\x9F" "e", "STRASSE"));
}

} // namespace
} // namespace vombrelle
