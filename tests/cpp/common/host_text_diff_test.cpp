// The core's text and number semantics against the interpreter itself: well over 100,000 random
// and boundary inputs (fixed seeds) go through both, and every answer must be identical.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/number.hpp"
#include "interpreter_oracle.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

using test::hex_bits;
using test::hex_encode;

// Each request line is an opcode and hex fields; each answer line mirrors what the C++ side
// formats below, item by item, separated by '|'.
const char* const kOracle = R"PY(
import struct, sys

LO, HI = -2**63, 2**63 - 1
def hx(s): return s.encode('utf-8').hex()
def text(h): return bytes.fromhex(h).decode('utf-8')
def dbl(h): return struct.unpack('>d', bytes.fromhex(h))[0]
def num(v):
    if isinstance(v, bool): return 'B1' if v else 'B0'
    if isinstance(v, int): return 'I%d' % v if LO <= v <= HI else 'O'
    return 'N' if v != v else 'F' + struct.pack('>d', v).hex()
def run(f, *a):
    try: return num(f(*a))
    except (ValueError, OverflowError, ZeroDivisionError) as e:
        return 'E%s:%s' % (type(e).__name__, hx(str(e)))
def pieces(l): return '[' + ','.join(hx(p) for p in l) + ']'
def strip_except_tab(s): return s.strip(' \n\v\f\r\x1c\x1d\x1e\x1f\x85\xa0\u1680\u2000\u2001\u2002\u2003'
                                        '\u2004\u2005\u2006\u2007\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000')
def operand(f): return int(f[1:]) if f[0] == 'i' else dbl(f[1:])

out = []
for line in open(sys.argv[1], encoding='ascii'):
    op, *f = line.rstrip('\n').split(' ')
    if op == 'S':
        s = text(f[0])
        out.append('|'.join([hx(s.strip()), hx(s.lstrip()), hx(s.rstrip()), hx(strip_except_tab(s)),
                             pieces(s.split())] + [pieces(s.split(text(sep))) for sep in f[1:]]))
    elif op == 'I': out.append(run(int, text(f[0])))
    elif op == 'F': out.append(run(float, text(f[0])))
    elif op == 'R': out.append(hx(repr(dbl(f[0]))))
    elif op == 'D': out.append(run(round, dbl(f[0]), int(f[1])))
    elif op == 'P': out.append(hx(repr(text(f[0]))))
    elif op == 'N':
        a, b = operand(f[0]), operand(f[1])
        out.append('|'.join([run(lambda: a + b), run(lambda: a - b), run(lambda: a * b), run(lambda: a / b),
                             num(a < b), num(a <= b), num(a == b), num(a > b), num(a >= b),
                             hx(str(a)), hx(str(b))]))
with open(sys.argv[2], 'w', encoding='ascii') as w:
    w.write('\n'.join(out) + '\n')
)PY";

std::string kind_name(ErrorKind k) {
    switch (k) {
        case ErrorKind::Value: return "ValueError";
        case ErrorKind::Overflow: return "OverflowError";
        case ErrorKind::ZeroDivision: return "ZeroDivisionError";
        default: return "Other";
    }
}

std::string num(double d) { return std::isnan(d) ? "N" : "F" + hex_bits(d); }
std::string num(std::int64_t i) { return "I" + std::to_string(i); }
std::string num(bool b) { return b ? "B1" : "B0"; }
std::string num(HostNumber n) { return n.is_int() ? num(n.as_int()) : num(n.as_double()); }

template <class F>
std::string run(F f) {
    try {
        return num(f());
    } catch (const HostError& e) {
        // An int beyond 64 bits is the one place where the core stops short of the interpreter
        // on purpose (its messages start "int"); the oracle reports such values as "O".
        if (e.kind() == ErrorKind::Overflow && std::string(e.what()).rfind("int", 0) == 0) return "O";
        return "E" + kind_name(e.kind()) + ":" + hex_encode(e.what());
    }
}

std::string pieces(const std::vector<std::string_view>& v) {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        out += hex_encode(v[i]);
    }
    return out + "]";
}

// Separators tried on every text by str.split(sep).
const std::vector<std::string> kSeparators = {",", "\t", ";", "  ", "\xC2\xA0", "ab"};

// A differential batch: requests for the interpreter and, for each, the core's own answer.
struct Batch {
    std::vector<std::string> requests;
    std::vector<std::string> answers;
    std::vector<std::string> labels;  // readable input, for failure messages

    void add(std::string request, std::string answer, std::string label) {
        requests.push_back(std::move(request));
        answers.push_back(std::move(answer));
        labels.push_back(std::move(label));
    }

    void text_case(const std::string& s) {
        std::string req = "S " + hex_encode(s);
        std::string ans = hex_encode(strip(s)) + "|" + hex_encode(lstrip(s)) + "|" + hex_encode(rstrip(s)) + "|" +
                          hex_encode(strip_except_tab(s)) + "|";
        std::vector<std::string_view> out;
        split_whitespace(s, out);
        ans += pieces(out);
        std::string_view firsts[2];
        const std::size_t got = split_whitespace_first(s, firsts, 2);
        if (got != std::min<std::size_t>(2, out.size()) || (got > 0 && firsts[0] != out[0]) ||
            (got > 1 && firsts[1] != out[1])) {
            ans += "<split_whitespace_first disagrees>";
        }
        for (const auto& sep : kSeparators) {
            req += " " + hex_encode(sep);
            ans += "|" + pieces(split(s, sep));
        }
        add(req, ans, py_repr(s));
    }
    void int_case(const std::string& s) {
        add("I " + hex_encode(s), run([&] { return parse_int(s); }), "int(" + py_repr(s).substr(0, 80) + ")");
    }
    void float_case(const std::string& s) {
        std::string ans = run([&] { return parse_float(s); });
        double v;
        if (try_parse_float(s, v) != (ans[0] != 'E')) ans += "<try_parse_float disagrees>";
        add("F " + hex_encode(s), ans, "float(" + py_repr(s).substr(0, 80) + ")");
    }
    void repr_case(double x) {
        std::string s;
        s = "<";  // append_float_repr must append, not overwrite
        append_float_repr(s, x);
        add("R " + hex_bits(x), hex_encode(s.substr(1)), "repr(" + hex_bits(x) + ")");
    }
    void round_case(double x, int n) {
        add("D " + hex_bits(x) + " " + std::to_string(n), run([&] { return round_to(x, n); }),
            "round(" + float_repr(x) + ", " + std::to_string(n) + ")");
    }
    void py_repr_case(const std::string& s) { add("P " + hex_encode(s), hex_encode(py_repr(s)), hex_encode(s)); }
    void number_case(HostNumber a, HostNumber b) {
        auto operand = [](HostNumber n) { return n.is_int() ? "i" + std::to_string(n.as_int()) : "f" + hex_bits(n.as_double()); };
        std::string ans = run([&] { return a + b; }) + "|" + run([&] { return a - b; }) + "|" + run([&] { return a * b; }) +
                          "|" + run([&] { return a / b; }) + "|" + num(a < b) + "|" + num(a <= b) + "|" + num(a == b) +
                          "|" + num(a > b) + "|" + num(a >= b) + "|" + hex_encode(a.to_text()) + "|" +
                          hex_encode(b.to_text());
        add("N " + operand(a) + " " + operand(b), ans, a.to_text() + " ? " + b.to_text());
    }

    void check() {
        const auto expected = test::ask_interpreter(kOracle, requests);
        ASSERT_EQ(expected.size(), requests.size());
        int shown = 0, failures = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (expected[i] == answers[i]) continue;
            ++failures;
            if (shown++ < 25) {
                ADD_FAILURE() << labels[i] << "\n  interpreter: " << expected[i].substr(0, 400)
                              << "\n  core:        " << answers[i].substr(0, 400);
            }
        }
        EXPECT_EQ(failures, 0) << "of " << requests.size() << " cases";
    }
};

// Random texts over an alphabet of number syntax, the interpreter's whitespace (and near misses
// such as U+200B, U+FEFF, 0x1C), decimal digits beyond ASCII and the letters of inf and nan.
std::string random_text(std::mt19937_64& rng, std::size_t max_len) {
    static const std::vector<std::string> alphabet = {
        "0", "1", "2", "5", "7", "9", "0", "1", "+", "-", ".", ".", "e", "E", "_", "_", " ", " ", "\t", "\n", "\r",
        "\v", "\f", "\x1c", "\x1f", "\xC2\x85", "\xC2\xA0", "\xE2\x80\x83", "\xE3\x80\x80", "\xE2\x80\x8B",
        "\xEF\xBB\xBF", "\xE1\x9A\x80", "\xE2\x80\xA8", "\xE2\x80\xAF", "i", "n", "f", "a", "t", "y", "I", "N", "F",
        "A", "x", ",", ";", "\xD9\xA3", "\xEF\xBC\x97", "\xF0\x9D\x9F\x8E", "\xC3\xA9", "'", "\"", "\\",
        std::string(1, '\0'), "\x7f", "\xC2\xAD", "ab"};
    std::uniform_int_distribution<std::size_t> len(0, max_len), pick(0, alphabet.size() - 1);
    std::string s;
    for (std::size_t n = len(rng); n > 0; --n) s += alphabet[pick(rng)];
    return s;
}

// A well-formed number text (sometimes with underscores, exponent, blanks), then perhaps one
// random edit, so that both sides of the grammar's edges are hit.
std::string random_number_text(std::mt19937_64& rng, bool allow_float) {
    std::uniform_int_distribution<int> coin(0, 99);
    auto digits = [&](int max) {
        std::string d;
        std::uniform_int_distribution<int> n(1, max), dig(0, 9);
        for (int k = n(rng); k > 0; --k) {
            d += static_cast<char>('0' + dig(rng));
            if (coin(rng) < 8 && k > 1) d += '_';
        }
        return d;
    };
    std::string s;
    static const char* blanks[] = {" ", "\t", "\n", "\xC2\xA0", "\xE3\x80\x80", "\x1c", "\xE2\x80\x8B", "  \r\n"};
    if (coin(rng) < 15) s += blanks[coin(rng) % 8];
    if (coin(rng) < 30) s += coin(rng) < 50 ? "-" : "+";
    if (allow_float && coin(rng) < 5) {
        static const char* words[] = {"inf", "Infinity", "NaN", "iNF", "nan", "infinit", "infinityy"};
        s += words[coin(rng) % 7];
    } else {
        const int shape = allow_float ? coin(rng) % 4 : 0;
        s += shape == 2 ? "" : digits(coin(rng) < 90 ? 8 : 30);
        if (shape >= 1) s += "." + (shape == 3 ? std::string() : digits(coin(rng) < 90 ? 8 : 40));
        if (allow_float && coin(rng) < 35) {
            s += coin(rng) < 50 ? "e" : "E";
            if (coin(rng) < 50) s += coin(rng) < 50 ? "-" : "+";
            s += digits(coin(rng) < 90 ? 3 : 6);
        }
    }
    if (coin(rng) < 15) s += blanks[coin(rng) % 8];
    if (coin(rng) < 25 && !s.empty()) {
        static const char* edits[] = {"_", ".", "e", "-", "x", " ", "0", "\xD9\xA5", "\xEF\xBC\x91", "__"};
        std::uniform_int_distribution<std::size_t> pos(0, s.size() - 1);
        std::size_t p = pos(rng);
        while (p > 0 && (static_cast<unsigned char>(s[p]) & 0xC0) == 0x80) --p;  // keep characters whole
        switch (coin(rng) % 3) {
            case 0: s.insert(p, edits[coin(rng) % 10]); break;
            case 1: if ((static_cast<unsigned char>(s[p]) & 0x80) == 0) s.erase(p, 1); break;
            default: if ((static_cast<unsigned char>(s[p]) & 0x80) == 0) s[p] = *edits[coin(rng) % 7]; break;
        }
    }
    return s;
}

double random_double(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> kind(0, 5);
    std::uniform_int_distribution<std::uint64_t> bits;
    switch (kind(rng)) {
        case 0: {  // any bit pattern
            const std::uint64_t b = bits(rng);
            double d;
            std::memcpy(&d, &b, sizeof d);
            return d;
        }
        case 1: {  // decimal-ish: k / 10^j
            std::uniform_int_distribution<std::int64_t> k(-100000000, 100000000);
            std::uniform_int_distribution<int> j(0, 9);
            return static_cast<double>(k(rng)) / std::pow(10.0, j(rng));
        }
        case 2: {  // subnormal
            const std::uint64_t b = bits(rng) & ((std::uint64_t{1} << 52) - 1);
            double d;
            std::memcpy(&d, &b, sizeof d);
            return (bits(rng) & 1) ? -d : d;
        }
        case 3: {  // a power of ten or its neighbours, around the notation switches
            std::uniform_int_distribution<int> e(-30, 30), step(-2, 2);
            double d = std::pow(10.0, e(rng));
            for (int s = step(rng); s != 0; s += s > 0 ? -1 : 1) d = std::nextafter(d, s > 0 ? INFINITY : 0.0);
            return d;
        }
        case 4: {  // a mass-like value with few digits
            std::uniform_int_distribution<std::int64_t> k(0, 400000000);
            return static_cast<double>(k(rng)) / 100000.0;
        }
        default: {  // near 2^53 and large integers
            std::uniform_int_distribution<int> e(50, 70), off(-3, 3);
            return std::ldexp(1.0, e(rng)) + off(rng);
        }
    }
}

std::int64_t random_int(std::mt19937_64& rng) {
    static const std::int64_t edges[] = {0, 1, -1, 2, 10, -7, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1,
                                         (std::int64_t{1} << 53), (std::int64_t{1} << 53) + 1, -(std::int64_t{1} << 53) - 1,
                                         (std::int64_t{1} << 62), 3037000499, 3037000500, 4294967296};
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<std::size_t> edge(0, std::size(edges) - 1);
    switch (kind(rng)) {
        case 0: return edges[edge(rng)];
        case 1: return std::uniform_int_distribution<std::int64_t>(-100, 100)(rng);
        case 2: return std::uniform_int_distribution<std::int64_t>()(rng) >> std::uniform_int_distribution<int>(0, 62)(rng);
        default: return std::uniform_int_distribution<std::int64_t>()(rng);
    }
}

TEST(HostTextAgainstInterpreter, StripAndSplit) {
    Batch batch;
    std::mt19937_64 rng(20240601);
    for (const char* s : {"", " ", "a", " a b ", "\t\ta\t", "\xC2\xA0x\xC2\xA0", "\xE2\x80\x8Bx\xE2\x80\x8B",
                          "\xEF\xBB\xBFx", "\x1c x \x1f", "a,,b,", ",", "\xE3\x80\x80\xE3\x80\x80", "ab ab"}) {
        batch.text_case(s);
    }
    for (int i = 0; i < 30000; ++i) batch.text_case(random_text(rng, 14));
    batch.check();
}

TEST(HostTextAgainstInterpreter, TextToInt) {
    Batch batch;
    std::mt19937_64 rng(777);
    for (const char* s : {"9223372036854775807", "-9223372036854775808", "9223372036854775808", "-9223372036854775809",
                          "18446744073709551616", "100000000000000000000", "0", "-0", "+0", "007", "1_000", "1__0",
                          "_1", "1_", "", " ", "-", "+-1", "1 1", "0x10", "1e3", "1.0", "\xD9\xA3\xD9\xA4",
                          "\xEF\xBC\x91\xEF\xBC\x90", "\xC2\xA0" "5\xE3\x80\x80", "\x1c" "5", "5\x1c", "\xE2\x80\x8B" "5",
                          "  -00000000000000000000000000012  "}) {
        batch.int_case(s);
    }
    // Around the interpreter's 4300-digit limit: the count is taken before anything else is checked.
    for (std::size_t n : {4299, 4300, 4301, 5000}) {
        batch.int_case(std::string(n, '7'));
        batch.int_case("-" + std::string(n, '0') + " ");
        batch.int_case(std::string(n, '1') + "x");
        batch.int_case(std::string(n, '1') + "__1");
        batch.int_case("x" + std::string(n, '1'));
        batch.int_case(std::string(n / 2, '1') + "\xD9\xA1" + std::string(n / 2, '1'));
        batch.int_case(std::string(n - 1, '2') + "\xC3\xA9");
    }
    for (int i = 0; i < 8000; ++i) batch.int_case(std::to_string(random_int(rng)));
    for (int i = 0; i < 25000; ++i) batch.int_case(random_number_text(rng, false));
    for (int i = 0; i < 10000; ++i) batch.int_case(random_text(rng, 10));
    batch.check();
}

TEST(HostTextAgainstInterpreter, TextToFloat) {
    Batch batch;
    std::mt19937_64 rng(4242);
    for (const char* s : {"1e999", "-1e999", "1e-999", "-1e-999", "2.4703282292062327e-324", "2.4703282292062328e-324",
                          "4.9406564584124654e-324", "1.7976931348623157e308", "1.7976931348623158e308",
                          "1.7976931348623159e308", "2.2250738585072011e-308", "2.2250738585072014e-308", "5.",
                          ".5", ".", "e5", "1e", "1e+", "1_0.5_5e1_0", "1_.5", "1._5", "1e_5", "0x1p3", "infinity",
                          "-INF", "+nan", "-nan", "nan(1)", "in f", " 1.5 ", "\xC2\xA0" "1.5\xE2\x80\x83", "\x1c" "1",
                          "1\xEF\xBB\xBF", "\xD9\xA1.\xD9\xA5", "\xEF\xBC\x91" "e\xEF\xBC\x92", "1e0000000000000000000005",
                          "0e99999999999999999999", "1e-99999999999999999999", "-0", "-0.0e-5",
                          "0.000000000000000000000000000000000000000000000000000000000000000000000000001e-300"}) {
        batch.float_case(s);
    }
    // Long digit strings right at the halfway point between two doubles.
    batch.float_case("9007199254740993" + std::string(600, '0'));
    batch.float_case("9007199254740993" + std::string(600, '0') + "1e-600");
    batch.float_case("0." + std::string(400, '0') + "1");
    for (int i = 0; i < 15000; ++i) {
        const double d = random_double(rng);
        char buf[64];
        std::snprintf(buf, sizeof buf, i % 3 == 0 ? "%.17g" : (i % 3 == 1 ? "%.25e" : "%.6g"), d);
        batch.float_case(buf);
        batch.float_case(float_repr(d));
    }
    // Exact midpoints between neighbouring doubles (long double holds them exactly), which must
    // round to the even neighbour, and texts a hair above them.
    if (std::numeric_limits<long double>::digits >= 64) {
        for (int i = 0; i < 2000; ++i) {
            double d = std::fabs(random_double(rng));
            if (i == 0) d = std::numeric_limits<double>::max();
            if (i == 1) d = 0.0;
            if (!std::isfinite(d)) continue;
            const long double up = d == std::numeric_limits<double>::max()
                                       ? std::ldexp(1.0L, 1024)
                                       : static_cast<long double>(std::nextafter(d, INFINITY));
            const long double mid = (static_cast<long double>(d) + up) / 2;
            std::vector<char> buf(1200);
            std::snprintf(buf.data(), buf.size(), "%.1100Le", mid);
            std::string text(buf.data());
            batch.float_case(text);
            if (i % 2 == 0) batch.float_case(text.insert(text.find('e'), "1"));
        }
    }
    for (int i = 0; i < 25000; ++i) batch.float_case(random_number_text(rng, true));
    for (int i = 0; i < 10000; ++i) batch.float_case(random_text(rng, 10));
    batch.check();
}

TEST(HostTextAgainstInterpreter, FloatRepr) {
    Batch batch;
    std::mt19937_64 rng(99);
    for (double d : std::initializer_list<double>{0.0, -0.0, 1.0, -1.5, 0.1, 1e16, 9999999999999998.0, 1e-4, 9.999999999999999e-05, 1e-5, 1.5e16,
                     123456789012345680.0, 5e-324, 1.7976931348623157e308, INFINITY, -INFINITY, NAN, 0.95, 12.0}) {
        batch.repr_case(d);
    }
    for (int i = 0; i < 30000; ++i) batch.repr_case(random_double(rng));
    batch.check();
}

TEST(HostTextAgainstInterpreter, Round) {
    Batch batch;
    std::mt19937_64 rng(31337);
    const std::pair<double, int> ties[] = {{2.675, 2},  {0.125, 2}, {21742.947275, 5}, {-1e-7, 5}, {0.5, 0},
                                           {1.5, 0},    {2.5, 0},   {-2.5, 0},         {-0.4, 0},  {25.0, -1},
                                           {35.0, -1},  {15.0, -1}, {150.0, -2},       {250.0, -2}, {250.0000001, -2},
                                           {5e15, -16}, {1.7976931348623157e308, -308}, {1.7976931348623157e308, -307},
                                           {9007199254740993.0, -1}, {4503599627370497.5, 0}, {1e300, 323}, {1e-300, 323},
                                           {5e-324, 323}, {5e-324, 324}, {123.0, -309}, {-123.0, -400}, {0.0, -3},
                                           {-0.0, 2}, {NAN, 2}, {-INFINITY, -2}, {0.285, 2}, {1.005, 2}};
    for (auto [x, n] : ties) batch.round_case(x, n);
    const int ndigits[] = {0, 1, 2, 3, 4, 5, 6, -1, -2, -3, -5, -10, -20, 10, 15, 17, 20};
    for (int i = 0; i < 20000; ++i) {
        double x = random_double(rng);
        // Exact decimal ties at the digit being rounded: k + 0.5 at some scale.
        if (i % 4 == 0) x = (std::uniform_int_distribution<int>(-2000, 2000)(rng) + 0.5) / std::pow(10.0, i % 7);
        batch.round_case(x, ndigits[std::uniform_int_distribution<std::size_t>(0, std::size(ndigits) - 1)(rng)]);
    }
    batch.check();
}

TEST(HostTextAgainstInterpreter, ReprOfText) {
    Batch batch;
    std::mt19937_64 rng(5);
    auto utf8 = [](char32_t cp) {
        std::string s;
        if (cp < 0x80) s += static_cast<char>(cp);
        else if (cp < 0x800) { s += static_cast<char>(0xC0 | (cp >> 6)); s += static_cast<char>(0x80 | (cp & 0x3F)); }
        else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
        return s;
    };
    for (const char* s : {"", "'", "\"", "'\"", "\\", "a'b", "\x7f", "\t\n\r\x0b"}) batch.py_repr_case(s);
    std::uniform_int_distribution<int> len(0, 6), kind(0, 3);
    std::uniform_int_distribution<std::uint32_t> any(0, 0x10FFFF), bmp(0, 0xFFFF), low(0, 0x3FF);
    for (int i = 0; i < 15000; ++i) {
        std::string s;
        for (int n = len(rng); n > 0; --n) {
            char32_t cp;
            switch (kind(rng)) {
                case 0: cp = any(rng); break;
                case 1: cp = bmp(rng); break;
                case 2: cp = low(rng); break;
                default: cp = "'\"\\ a\t"[low(rng) % 6]; break;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // a str read from UTF-8 holds no surrogates
            s += utf8(cp);
        }
        batch.py_repr_case(s);
    }
    // Every code point once, in blocks.
    for (char32_t base = 0; base < 0x110000; base += 64) {
        std::string s;
        for (char32_t cp = base; cp < base + 64; ++cp) {
            if (cp < 0xD800 || cp > 0xDFFF) s += utf8(cp);
        }
        batch.py_repr_case(s);
    }
    batch.check();
}

TEST(HostTextAgainstInterpreter, NumberArithmetic) {
    Batch batch;
    std::mt19937_64 rng(2718);
    std::uniform_int_distribution<int> coin(0, 2);
    auto operand = [&]() -> HostNumber {
        if (coin(rng) == 0) return HostNumber(random_double(rng));
        return HostNumber(random_int(rng));
    };
    const HostNumber edges[] = {HostNumber(0), HostNumber(0.0), HostNumber(-0.0), HostNumber(INT64_MAX),
                                HostNumber(INT64_MIN), HostNumber(9.223372036854775807e18), HostNumber(NAN),
                                HostNumber(INFINITY), HostNumber(std::int64_t{1} << 53), HostNumber(9007199254740993),
                                HostNumber(9007199254740992.0), HostNumber(-5), HostNumber(3), HostNumber(0.1)};
    for (HostNumber a : edges) {
        for (HostNumber b : edges) batch.number_case(a, b);
    }
    for (int i = 0; i < 20000; ++i) batch.number_case(operand(), operand());
    batch.check();
}

TEST(HostText, SplitOnAnEmptySeparatorRaisesLikeTheInterpreter) {
    try {
        split("abc", "");
        ADD_FAILURE() << "no error";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Value);
        EXPECT_STREQ(e.what(), "empty separator");
    }
}

// The committed Unicode tables (printable characters, decimal digits) are the interpreter's own.
TEST(HostTextAgainstInterpreter, UnicodeTablesAreCurrent) {
    test::TempDir dir;
    const std::string source = VOMBRELLE_SOURCE_DIR;
    const std::string cmd = std::string(VOMBRELLE_PYTHON) + " -I " + source + "/tools/gen_unicode_tables.py > " +
                            dir.file("tables.hpp");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_TRUE(test::read_all(dir.file("tables.hpp")) == test::read_all(source + "/src/common/unicode_tables.hpp"))
        << "rerun tools/gen_unicode_tables.py";
}

} // namespace
} // namespace vombrelle
