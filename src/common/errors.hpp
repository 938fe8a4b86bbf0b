// The core's one error type. Every failure the core raises is a HostError whose kind names the
// interpreter exception the binding raises for it; the mapping happens in one place, in the binding.
// Errors are thrown where they arise. Two keep an error as a value for a while: a value a caller
// passed that cannot serve fails, as the host's does, only where it is first used (which may be
// never), and its error waits in a DeferredFailure (in a HostOperand, for a number) until then; a
// read that hands back what it read before its first error carries that error beside it
// (readers/psm_table.hpp).
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace vombrelle {

enum class ErrorKind {
    Value,          // ValueError
    Index,          // IndexError
    Key,            // KeyError (the key is in HostError::key)
    Type,           // TypeError
    ZeroDivision,   // ZeroDivisionError
    Overflow,       // OverflowError
    OS,             // OSError subclass chosen by errno, with the file name
    UnicodeDecode,  // UnicodeDecodeError
    BadZip,         // zipfile.BadZipFile
    NotImplemented, // NotImplementedError
    Runtime,        // RuntimeError
    EndOfFile,      // EOFError (its message may be empty: no argument then)
    Memory,         // MemoryError, without argument
    Zlib,           // zlib.error
    Lzma,           // lzma.LZMAError
};

// A key as the interpreter would hold it: an integer or a text.
using ErrorKey = std::variant<std::monostate, std::int64_t, double, std::string>;

class HostError : public std::runtime_error {
public:
    HostError(ErrorKind kind, std::string message)
        : std::runtime_error(message), kind_(kind) {}

    ErrorKind kind() const { return kind_; }

    // Where in the input the error arose, e.g. "in file 'x.mgf', line 12". The binding attaches
    // it as a note so that the exception's own message stays the interpreter's, byte for byte.
    const std::string& context() const { return context_; }
    HostError& with_context(std::string context) {
        if (context_.empty()) context_ = std::move(context);
        return *this;
    }

    // KeyError: the missing key.
    ErrorKey key;
    // OS errors: errno and the file name. Without a file name (`names_file` false) the error is
    // OSError(errno, strerror), or OSError(message) when errno is 0.
    int os_errno = 0;
    std::string filename;
    bool names_file = true;
    // UnicodeDecodeError: the offending bytes' span within `object` and the reason.
    std::string encoding;
    std::string object;
    std::size_t start = 0;
    std::size_t end = 0;
    std::string reason;

private:
    ErrorKind kind_;
    std::string context_;
};

// An error that belongs to a caller's argument, raised only where the argument is first used.
class DeferredFailure {
public:
    DeferredFailure() = default;
    explicit DeferredFailure(std::exception_ptr error) : error_(std::move(error)) {}

    explicit operator bool() const { return error_ != nullptr; }
    const std::exception_ptr& error() const { return error_; }
    // Raises the held error; nothing when none is held.
    void raise() const {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::exception_ptr error_;
};

inline HostError value_error(std::string message) { return {ErrorKind::Value, std::move(message)}; }
inline HostError index_error(std::string message) { return {ErrorKind::Index, std::move(message)}; }
inline HostError type_error(std::string message) { return {ErrorKind::Type, std::move(message)}; }
inline HostError overflow_error(std::string message) { return {ErrorKind::Overflow, std::move(message)}; }
inline HostError zero_division_error(std::string message) {
    return {ErrorKind::ZeroDivision, std::move(message)};
}
inline HostError bad_zip_error(std::string message) { return {ErrorKind::BadZip, std::move(message)}; }

inline HostError key_error(ErrorKey key) {
    HostError e(ErrorKind::Key, "");
    e.key = std::move(key);
    return e;
}

// The host's words where its numbers and the core's part ways. An int result beyond 64 bits, which
// the host would hold as a big int, is refused: "integer result does not fit in 64 bits".
HostError int_result_beyond_64_bits();
// An int operand beyond 64 bits: "int too large to convert to a 64-bit integer", and ": <detail>"
// when the caller names the value.
HostError int_operand_beyond_64_bits(std::string_view detail = {});
// An int beyond the double range meeting a float: the host's "int too large to convert to float".
HostError int_too_large_for_float();
// The host's TypeError for `left <op> right` on types it cannot compute with: for a comparison
// "'<=' not supported between instances of 'L' and 'R'"; for + with a str, list or tuple on the
// left "can only concatenate L (not "R") to L"; otherwise "unsupported operand type(s) for <op>:
// 'L' and 'R'".
HostError unsupported_operands(std::string_view op, std::string_view left_type, std::string_view right_type);

// An OS error for `filename` with the given errno (FileNotFoundError, PermissionError, ...).
HostError os_error(int err, std::string filename);

// An OS error that names no file: OSError(err, strerror) as a refused seek raises it.
HostError os_error_unnamed(int err);

// OSError(message), with neither errno nor file name (a decompressor's "Invalid data stream").
HostError os_message_error(std::string message);

// A UnicodeDecodeError for invalid UTF-8 in `filename` (context names the file and line).
HostError unicode_decode_error(std::string encoding, std::string object, std::size_t start,
                               std::size_t end, std::string reason);

// "in file 'name', line N": the context every reader attaches, to errors that line caused only.
std::string file_line_context(const std::string& filename, std::size_t line);

// "in what name() returned": the context of an error that a module function bound in place of one
// of the module's own caused by what it returned.
std::string callee_result_context(const std::string& callee);

// "in argument 'name'": the context of the module's own refusal of an argument's value, whose
// message cannot name it (an int beyond 64 bits).
std::string argument_context(const std::string& argument);

} // namespace vombrelle
