#include "common/errors.hpp"

#include <cstring>

namespace vombrelle {

HostError int_result_beyond_64_bits() { return overflow_error("integer result does not fit in 64 bits"); }

HostError int_operand_beyond_64_bits(std::string_view detail) {
    std::string message = "int too large to convert to a 64-bit integer";
    if (!detail.empty()) message.append(": ").append(detail);
    return overflow_error(std::move(message));
}

HostError int_too_large_for_float() { return overflow_error("int too large to convert to float"); }

HostError unsupported_operands(std::string_view op, std::string_view left_type, std::string_view right_type) {
    const std::string left(left_type), right(right_type);
    if (op == "<" || op == "<=" || op == ">" || op == ">=") {
        return type_error("'" + std::string(op) + "' not supported between instances of '" + left + "' and '" + right +
                          "'");
    }
    if (op == "+" && (left == "str" || left == "list" || left == "tuple")) {
        return type_error("can only concatenate " + left + " (not \"" + right + "\") to " + left);
    }
    return type_error("unsupported operand type(s) for " + std::string(op) + ": '" + left + "' and '" + right + "'");
}

HostError os_error(int err, std::string filename) {
    HostError e(ErrorKind::OS, std::strerror(err));
    e.os_errno = err;
    e.filename = std::move(filename);
    return e;
}

HostError os_error_unnamed(int err) {
    HostError e = os_error(err, "");
    e.names_file = false;
    return e;
}

HostError os_message_error(std::string message) {
    HostError e(ErrorKind::OS, std::move(message));
    e.names_file = false;
    return e;
}

HostError unicode_decode_error(std::string encoding, std::string object, std::size_t start,
                               std::size_t end, std::string reason) {
    HostError e(ErrorKind::UnicodeDecode, reason);
    e.encoding = std::move(encoding);
    e.object = std::move(object);
    e.start = start;
    e.end = end;
    e.reason = std::move(reason);
    return e;
}

std::string file_line_context(const std::string& filename, std::size_t line) {
    return "in file '" + filename + "', line " + std::to_string(line);
}

std::string callee_result_context(const std::string& callee) { return "in what " + callee + "() returned"; }

std::string argument_context(const std::string& argument) { return "in argument '" + argument + "'"; }

} // namespace vombrelle
