#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/plain_decimal.hpp"

namespace vombrelle {
namespace {

// The readers' fast path meets only the vector form; both forms are checked here against strtod
// of their texts: 1 to 16 digits, the point before, among or after them, or none, around 2^53, at
// every offset of a buffer whose other bytes are digits and points that must not count.
TEST(PlainDecimal, DigitSpansReadTheirDigitsOnly) {
    std::mt19937_64 rng(1616);
    const auto digits = [&](unsigned n) {
        std::string s;
        for (unsigned i = 0; i < n; ++i) s += static_cast<char>('0' + (rng() % 3 == 0 ? 9 : rng() % 10));
        return s;
    };
    struct Placed {
        DigitSpan span;
        std::string text;
        double want() const { return std::strtod(text.c_str(), nullptr); }
        bool accepted() const {
            std::string d = text;
            std::erase(d, '.');
            return std::stoull(d) < (1ULL << 53);
        }
    };
    // Writes the decimal ending at `end` into the buffer.
    const auto place = [&](std::string& buffer, unsigned end, std::string d, int point) {
        const auto n = static_cast<unsigned>(d.size());
        if (point >= 0) d.insert(static_cast<std::size_t>(point), ".");
        buffer.replace(end - d.size(), d.size(), d);
        return Placed{{end, n, point >= 0 ? n - static_cast<unsigned>(point) : 0, point >= 0}, d};
    };
    const std::string limits[] = {"9007199254740991", "9007199254740992", "9007199254740993", "9999999999999999",
                                  "0000000000000000", "1"};
    using Form = bool (*)(const char*, DigitSpan, DigitSpan, double&, double&);
    std::vector<Form> forms = {digit_span_decimals_portable};
#if defined(__SSE2__)
    forms.push_back(digit_span_decimals_sse2);
#endif
    for (int round = 0; round < 40000; ++round) {
        std::string buffer(96, '0');
        for (char& c : buffer) c = "0123456789.. -"[rng() % 14];
        const std::string da = round % 5 == 0 ? limits[rng() % std::size(limits)] : digits(1 + round % 16);
        const std::string db = digits(1 + static_cast<unsigned>(rng() % 16));
        const int pa = static_cast<int>(rng() % (da.size() + 2)) - 1, pb = static_cast<int>(rng() % (db.size() + 2)) - 1;
        const unsigned end_a = 18 + static_cast<unsigned>(rng() % 20);
        const Placed a = place(buffer, end_a, da, pa);
        const Placed b = place(buffer, end_a + 18 + static_cast<unsigned>(rng() % 30), db, pb);
        const bool ok = a.accepted() && b.accepted();
        for (const Form form : forms) {
            double va = 0, vb = 0;
            ASSERT_EQ(form(buffer.data(), a.span, b.span, va, vb), ok) << buffer;
            if (!ok) continue;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(va), std::bit_cast<std::uint64_t>(a.want())) << a.text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(vb), std::bit_cast<std::uint64_t>(b.want())) << b.text;
        }
    }
}

} // namespace
} // namespace vombrelle
