// The one place where the core's errors become the interpreter's exceptions.
#include <pybind11/pybind11.h>

#include "common/errors.hpp"
#include "common/interruption.hpp"
#include "module/binding.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"

namespace vombrelle::module {

namespace {

PyObject* exception_type(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Value: return PyExc_ValueError;
        case ErrorKind::Index: return PyExc_IndexError;
        case ErrorKind::Key: return PyExc_KeyError;
        case ErrorKind::Type: return PyExc_TypeError;
        case ErrorKind::ZeroDivision: return PyExc_ZeroDivisionError;
        case ErrorKind::Overflow: return PyExc_OverflowError;
        case ErrorKind::OS: return PyExc_OSError;
        case ErrorKind::UnicodeDecode: return PyExc_UnicodeDecodeError;
        case ErrorKind::NotImplemented: return PyExc_NotImplementedError;
        case ErrorKind::Runtime: return PyExc_RuntimeError;
        case ErrorKind::EndOfFile: return PyExc_EOFError;
        case ErrorKind::Memory: return PyExc_MemoryError;
        case ErrorKind::BadZip:
        case ErrorKind::Zlib:
        case ErrorKind::Lzma: break;
    }
    return nullptr;
}

// File names are the file system's bytes, which need not be UTF-8: they decode as the interpreter
// decodes the names it gets from the system (undecodable bytes as lone surrogates), so that an
// unusual name can never turn the error into a decoding error of its own.
py::object file_system_text(const std::string& bytes) {
    return own(PyUnicode_DecodeFSDefaultAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
}

py::object make_exception(const HostError& e) {
    switch (e.kind()) {
        case ErrorKind::Key: {
            py::object key = std::visit(
                [](const auto& k) -> py::object {
                    using T = std::decay_t<decltype(k)>;
                    if constexpr (std::is_same_v<T, std::monostate>) return py::none();
                    else if constexpr (std::is_same_v<T, std::string>) return text_object(k);
                    else return py::cast(k);
                },
                e.key);
            return py::reinterpret_borrow<py::object>(PyExc_KeyError)(key);
        }
        case ErrorKind::OS: {
            // OSError(errno, strerror, filename) picks the subclass for the errno itself.
            py::object os_error = py::reinterpret_borrow<py::object>(PyExc_OSError);
            if (e.names_file) return os_error(e.os_errno, text_object(e.what()), file_system_text(e.filename));
            if (e.os_errno != 0) return os_error(e.os_errno, text_object(e.what()));
            return os_error(text_object(e.what()));
        }
        case ErrorKind::UnicodeDecode: {
            return own(PyUnicodeDecodeError_Create(e.encoding.c_str(), e.object.data(),
                                                   static_cast<Py_ssize_t>(e.object.size()),
                                                   static_cast<Py_ssize_t>(e.start),
                                                   static_cast<Py_ssize_t>(e.end), e.reason.c_str()));
        }
        case ErrorKind::BadZip:
            return py::module_::import("zipfile").attr("BadZipFile")(text_object(e.what()));
        case ErrorKind::Zlib:
            return py::module_::import("zlib").attr("error")(text_object(e.what()));
        case ErrorKind::Lzma:
            return py::module_::import("lzma").attr("LZMAError")(text_object(e.what()));
        case ErrorKind::EndOfFile:
        case ErrorKind::Memory:
            // Raised bare by the interpreter's readers: no argument when there is no message.
            if (*e.what() == '\0') return py::reinterpret_borrow<py::object>(exception_type(e.kind()))();
            return py::reinterpret_borrow<py::object>(exception_type(e.kind()))(text_object(e.what()));
        default:
            // Messages quote the input with the interpreter's repr, which escapes lone surrogates;
            // the texts they quote come back as they went in.
            return py::reinterpret_borrow<py::object>(exception_type(e.kind()))(text_object(e.what()));
    }
}

} // namespace

void register_error_translation() {
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Interruption& e) {
            // What a signal handler raised, in its place. A worker's own stop never gets here:
            // the call that stopped it raises its own cause.
            if (e.cause()) std::rethrow_exception(e.cause());
            PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (const HostError& e) {
            try {
                py::object exc = make_exception(e);
                if (!e.context().empty() && py::hasattr(exc, "add_note")) {
                    exc.attr("add_note")(file_system_text(e.context()));  // it names the file
                }
                PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.ptr())), exc.ptr());
            } catch (py::error_already_set& inner) {
                inner.restore();
            }
        }
    });
}

} // namespace vombrelle::module
