#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/errors.hpp"
#include "common/host_operand.hpp"

namespace vombrelle {
namespace {

void expect_error(const std::function<void()>& use, ErrorKind kind, const std::string& message) {
    try {
        use();
        FAIL() << message;
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), kind) << message;
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(HostOperand, NativeNumbersComputeInTheHostsArithmetic) {
    const HostNumber four = HostOperand::of(2).left_of("*", 2);
    EXPECT_TRUE(four.is_int() && four.as_int() == 4);
    EXPECT_EQ(HostOperand::of(1.0).right_of("-", 3).as_double(), 2.0);
    EXPECT_EQ(HostOperand::of(5).float_right_of("+"), 5.0);
    EXPECT_EQ(HostOperand::of(HostNumber::boolean(true)).float_left_of("-"), 1.0);
    // Compared with a float exactly: 2**53 + 3 is below 2**53 + 4, the double it would round to.
    EXPECT_TRUE(HostOperand::of(20).at_least(20.0));
    EXPECT_FALSE(HostOperand::of(20).at_least(20.000000000000004));
    EXPECT_FALSE(HostOperand::of(std::int64_t{9007199254740995}).at_least(9007199254740996.0));
}

TEST(HostOperand, AnotherTypeFailsWhereTheArithmeticMeetsIt) {
    const HostOperand text = HostOperand::foreign("str");
    EXPECT_FALSE(text.native());
    expect_error([&] { text.right_of("+", 0); }, ErrorKind::Type, "unsupported operand type(s) for +: 'int' and 'str'");
    expect_error([&] { text.right_of("-", 0.5); }, ErrorKind::Type,
                 "unsupported operand type(s) for -: 'float' and 'str'");
    expect_error([&] { text.left_of("*", 2); }, ErrorKind::Type, "unsupported operand type(s) for *: 'str' and 'int'");
    expect_error([&] { text.left_of("+", 2); }, ErrorKind::Type, "can only concatenate str (not \"int\") to str");
    expect_error([&] { text.float_right_of("+"); }, ErrorKind::Type,
                 "unsupported operand type(s) for +: 'float' and 'str'");
    expect_error([&] { text.float_left_of("-"); }, ErrorKind::Type,
                 "unsupported operand type(s) for -: 'str' and 'float'");
    expect_error([&] { text.at_least(1.0); }, ErrorKind::Type,
                 "'<=' not supported between instances of 'float' and 'str'");
}

// 2**64 has a float value; 2**1100 has none.
TEST(HostOperand, AnIntBeyond64BitsMeetsFloatsButNotInts) {
    const HostOperand big = HostOperand::beyond_64_bits(18446744073709551616.0);
    const HostOperand huge = HostOperand::beyond_64_bits(std::nullopt);
    EXPECT_TRUE(big.is_beyond_64_bits() && !big.native());
    EXPECT_EQ(big.float_right_of("+"), 18446744073709551616.0);
    EXPECT_EQ(big.float_left_of("-"), 18446744073709551616.0);
    expect_error([&] { huge.float_right_of("+"); }, ErrorKind::Overflow, "int too large to convert to float");
    for (const HostOperand* n : {&big, &huge}) {
        expect_error([&] { n->right_of("+", 0); }, ErrorKind::Overflow, "int too large to convert to a 64-bit integer");
        expect_error([&] { n->at_least(1.0); }, ErrorKind::Overflow, "int too large to convert to a 64-bit integer");
    }
}

// What the host's own arithmetic refused comes out at the first use, whichever it is.
TEST(HostOperand, AFailingValueRaisesItsFailureAtEveryUse) {
    const HostOperand failed = HostOperand::failing(DeferredFailure(std::make_exception_ptr(type_error("refused"))));
    EXPECT_FALSE(failed.native());
    constexpr OperandUse times_one[] = {{"*", HostNumber(1), true}};
    const std::function<void()> uses[] = {[&] { failed.right_of("*", 1); }, [&] { failed.left_of("-", 0.5); },
                                          [&] { failed.float_right_of("+"); }, [&] { failed.float_left_of("-"); },
                                          [&] { failed.at_least(1.0); }, [&] { failed.meet(times_one); }};
    for (const auto& use : uses) expect_error(use, ErrorKind::Type, "refused");
}

// A formula's operations met in order, before it computes: a native number meets them all; any
// other operand raises what the first raises, on whichever side the formula puts it.
TEST(HostOperand, MeetRaisesWhatTheFirstOperationRaises) {
    static constexpr OperandUse count_times[] = {{"*", HostNumber(1), true}, {"-", HostNumber(0.5), true}};
    static constexpr OperandUse plus_one[] = {{"+", HostNumber(1), false}};
    EXPECT_NO_THROW(HostOperand::of(2).meet(count_times));
    EXPECT_NO_THROW(HostOperand::of(2.5).meet(plus_one));
    expect_error([] { HostOperand::foreign("str").meet(count_times); }, ErrorKind::Type,
                 "unsupported operand type(s) for *: 'int' and 'str'");
    expect_error([] { HostOperand::foreign("list").meet(plus_one); }, ErrorKind::Type,
                 "can only concatenate list (not \"int\") to list");
    expect_error([] { HostOperand::beyond_64_bits(18446744073709551616.0).meet(count_times); }, ErrorKind::Overflow,
                 "int too large to convert to a 64-bit integer");
}

} // namespace
} // namespace vombrelle
