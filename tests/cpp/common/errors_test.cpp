#include <gtest/gtest.h>

#include <string>

#include "common/errors.hpp"

namespace vombrelle {
namespace {

TEST(Errors, NumberRefusalsInTheHostsWords) {
    struct Case {
        HostError error;
        ErrorKind kind;
        const char* message;
    };
    for (const Case& c : {
             Case{int_result_beyond_64_bits(), ErrorKind::Overflow, "integer result does not fit in 64 bits"},
             Case{int_operand_beyond_64_bits(), ErrorKind::Overflow, "int too large to convert to a 64-bit integer"},
             Case{int_operand_beyond_64_bits("'99999999999999999999'"), ErrorKind::Overflow,
                  "int too large to convert to a 64-bit integer: '99999999999999999999'"},
             Case{int_too_large_for_float(), ErrorKind::Overflow, "int too large to convert to float"},
             Case{unsupported_operands("+", "float", "str"), ErrorKind::Type,
                  "unsupported operand type(s) for +: 'float' and 'str'"},
             Case{unsupported_operands("*", "str", "int"), ErrorKind::Type,
                  "unsupported operand type(s) for *: 'str' and 'int'"},
             Case{unsupported_operands("+", "list", "int"), ErrorKind::Type,
                  "can only concatenate list (not \"int\") to list"},
             Case{unsupported_operands("+", "tuple", "int"), ErrorKind::Type,
                  "can only concatenate tuple (not \"int\") to tuple"},
             Case{unsupported_operands("-", "tuple", "int"), ErrorKind::Type,
                  "unsupported operand type(s) for -: 'tuple' and 'int'"},
             Case{unsupported_operands("<=", "float", "str"), ErrorKind::Type,
                  "'<=' not supported between instances of 'float' and 'str'"},
         }) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.message;
        EXPECT_EQ(std::string(c.error.what()), c.message);
    }
}

} // namespace
} // namespace vombrelle
