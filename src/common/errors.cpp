#include "common/errors.hpp"

#include <cstring>

namespace vombrelle {

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
