#include "module/binding.hpp"

#include <pybind11/stl.h>

#include "module/call_interruptions.hpp"

#include <cstdio>
#include <string>
#include <unordered_map>

#include "common/errors.hpp"

namespace vombrelle::module {

namespace {

[[noreturn]] void raise_type_error(const std::string& message) {
    throw py::type_error(message);
}

std::string truncated(const char* name) { return std::string(name).substr(0, 200); }

// "%.200s() takes %.8s %zd positional argument%.1s (%zd given)"
[[noreturn]] void raise_arg_count(const Signature& sig, const char* word, std::size_t expected,
                                  std::size_t given) {
    raise_type_error(truncated(sig.name) + "() takes " + word + " " + std::to_string(expected) +
                     " positional argument" + (expected == 1 ? "" : "s") + " (" + std::to_string(given) +
                     " given)");
}

[[noreturn]] void raise_positional_error(const Signature& sig, std::size_t given) {
    const std::size_t n = sig.params.size();
    if (sig.required == n) raise_arg_count(sig, "exactly", n, given);
    if (given < sig.required) raise_arg_count(sig, "at least", sig.required, given);
    raise_arg_count(sig, "at most", n, given);
}

// The module's own function objects, by name, for lookup_callee.
std::unordered_map<std::string, PyObject*>& own_functions() {
    static auto* m = new std::unordered_map<std::string, PyObject*>();
    return *m;
}

PyObject*& module_object() {
    static PyObject* m = nullptr;
    return m;
}

} // namespace

Arguments bind_arguments(const Signature& sig, const py::args& args, const py::kwargs& kwargs) {
    const std::size_t nargs = args.size();
    const std::size_t nkw = kwargs ? static_cast<std::size_t>(PyDict_Size(kwargs.ptr())) : 0;

    if (sig.form == CallForm::OnePositional) {
        if (nkw != 0) raise_type_error(truncated(sig.name) + "() takes no keyword arguments");
        if (nargs != 1) {
            raise_type_error(truncated(sig.name) + "() takes exactly one argument (" + std::to_string(nargs) +
                             " given)");
        }
        return Arguments{py::reinterpret_borrow<py::object>(args[0])};
    }

    const std::size_t n = sig.params.size();
    Arguments values(n);
    if (nargs > n) raise_positional_error(sig, nargs);
    for (std::size_t i = 0; i < nargs; ++i) values[i] = py::reinterpret_borrow<py::object>(args[i]);

    if (nkw == 0) {
        if (nargs < sig.required) raise_positional_error(sig, nargs);
    } else {
        // Parameters after the positional ones are filled by name in order; the first required
        // one left unfilled is reported by its position, before any keyword is judged.
        std::size_t left = nkw;
        for (std::size_t i = nargs; i < n; ++i) {
            PyObject* v = PyDict_GetItemString(kwargs.ptr(), sig.params[i]);
            if (v != nullptr) {
                values[i] = py::reinterpret_borrow<py::object>(v);
                --left;
            } else if (i < sig.required) {
                raise_positional_error(sig, i);
            }
        }
        if (left > 0) {
            // Some keyword named nothing above: judge every keyword in the order given.
            PyObject* key = nullptr;
            PyObject* value = nullptr;
            Py_ssize_t pos = 0;
            while (PyDict_Next(kwargs.ptr(), &pos, &key, &value)) {
                if (!PyUnicode_Check(key)) raise_type_error(truncated(sig.name) + "() keywords must be strings");
                bool found = false;
                for (std::size_t i = 0; i < n; ++i) {
                    if (PyUnicode_CompareWithASCIIString(key, sig.params[i]) != 0) continue;
                    found = true;
                    if (i < nargs) {
                        raise_type_error(std::string(sig.name) + "() got multiple values for keyword argument '" +
                                         sig.params[i] + "'");
                    }
                    values[i] = py::reinterpret_borrow<py::object>(value);
                }
                if (!found) {
                    // Formatted from the key itself, which may hold any code point.
                    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.name, key);
                    throw py::error_already_set();
                }
            }
        }
    }
    for (auto& v : values) {
        if (!v) v = py::none();
    }
    return values;
}

void define_function(py::module_& m, const Signature& sig, Body body) {
    const Signature* s = &sig;
    auto call = [s, body = std::move(body)](py::args args, py::kwargs kwargs) -> py::object {
        Arguments bound = bind_arguments(*s, args, kwargs);
        CallScope interruptions;
        return body(bound);
    };
    py::cpp_function f = sig.doc != nullptr
        ? py::cpp_function(std::move(call), py::name(sig.name), py::scope(m), py::doc(sig.doc))
        : py::cpp_function(std::move(call), py::name(sig.name), py::scope(m));
    m.add_object(sig.name, f, /*overwrite=*/true);
    Py_INCREF(f.ptr());
    own_functions()[sig.name] = f.ptr();
    if (module_object() == nullptr) {
        module_object() = m.ptr();
        Py_INCREF(m.ptr());
    }
}

Callee lookup_callee(const char* name) {
    PyObject* dict = PyModule_GetDict(module_object());
    PyObject* bound = PyDict_GetItemString(dict, name);
    if (bound == nullptr) {
        // A name the driver deleted: what the interpreter raises for an unbound global.
        PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
        throw py::error_already_set();
    }
    auto it = own_functions().find(name);
    bool native = it != own_functions().end() && it->second == bound;
    return Callee{py::reinterpret_borrow<py::object>(bound), native};
}

void bad_callee_result(const char* name, const std::string& what) {
    throw RefusedValue(std::string(name) + "() returned " + what);
}

void raise_noting_callee_result(const char* name) {
    const std::string note = callee_result_context(name);
    auto add_note = [&note](const py::error_already_set& e) {
        if (PyErr_GivenExceptionMatches(e.type().ptr(), PyExc_Exception) && py::hasattr(e.value(), "add_note")) {
            e.value().attr("add_note")(py::str(note));
        }
    };
    try {
        throw;
    } catch (HostError& e) {
        e.with_context(note);
        throw;
    } catch (RefusedValue&) {
        throw;
    } catch (py::error_already_set& e) {
        add_note(e);
        throw;
    } catch (py::builtin_exception& e) {
        // The host's own words, raised as a C++ exception (an unpacking error): made the host's
        // exception here, so that the note can go on it.
        e.set_error();
        py::error_already_set raised;
        add_note(raised);
        throw raised;
    }
}

std::string Blame::note() const {
    switch (kind_) {
        case Kind::Argument: return argument_context(argument_);
        case Kind::Result: return callee_result_context(function_);
        case Kind::LeftBy: break;
    }
    return {};
}

void Blame::refuse(const std::string& what) const {
    switch (kind_) {
        case Kind::Argument:
            throw RefusedValue(std::string(function_) + "() argument '" + argument_ + "' is " + what);
        case Kind::Result:
            bad_callee_result(function_, what);
        case Kind::LeftBy:
            throw RefusedValue(std::string(function_) + "() left " + what);
    }
    raise_type_error(what);
}

} // namespace vombrelle::module
