#include <gtest/gtest.h>

#include <string>

#include "common/errors.hpp"

namespace vombrelle {
namespace {

// The words HostOperand's own test does not reach: a refused value named, and the sequences that
// answer + with concatenation (a tuple only for +).
TEST(Errors, NumberRefusalsInTheHostsWords) {
    struct Case {
        HostError error;
        const char* message;
    };
    for (const Case& c : {
             Case{int_operand_beyond_64_bits("'99999999999999999999'"),
                  "int too large to convert to a 64-bit integer: '99999999999999999999'"},
             Case{unsupported_operands("+", "list", "int"), "can only concatenate list (not \"int\") to list"},
             Case{unsupported_operands("+", "tuple", "int"), "can only concatenate tuple (not \"int\") to tuple"},
             Case{unsupported_operands("-", "tuple", "int"), "unsupported operand type(s) for -: 'tuple' and 'int'"},
         }) {
        EXPECT_EQ(std::string(c.error.what()), c.message);
    }
}

} // namespace
} // namespace vombrelle
