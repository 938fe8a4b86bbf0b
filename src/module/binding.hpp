// Calling the module's functions: argument binding by each function's signature, with the exact
// calling rules and messages of the module's functions; registration in the module namespace; and
// calls between module functions by name.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vombrelle::module {

namespace py = pybind11;

enum class CallForm {
    OnePositional,        // exactly one positional argument, no keywords
    PositionalOrKeyword,  // every argument by position or by name
};

// What a caller of a module function may pass, and how.
struct Signature {
    const char* name;
    std::vector<const char*> params;  // in order
    std::size_t required;             // the first `required` params are required; the rest default to None
    CallForm form;
    const char* doc;                  // nullptr: no documentation text
};

// The bound arguments in parameter order; an optional argument not passed is None.
using Arguments = std::vector<py::object>;
using Body = std::function<py::object(Arguments&)>;

// Binds a call's arguments by the function's calling rules. Raises TypeError with the module's
// own messages; the body never runs after a binding error.
Arguments bind_arguments(const Signature& sig, const py::args& args, const py::kwargs& kwargs);

// Defines `sig.name` on the module and remembers it as the module's own function.
void define_function(py::module_& m, const Signature& sig, Body body);

// Calls between module functions go through the module namespace by name, at the moment of the
// call. `native` is true while the name is still bound to the module's own function: the caller
// then runs the native code directly with native data. Otherwise `object` is whatever the driver
// bound there; an unbound name raises NameError.
struct Callee {
    py::object object;
    bool native;
};
Callee lookup_callee(const char* name);

// Raised when a rebound callee's result does not convert back: TypeError naming the callee.
[[noreturn]] void bad_callee_result(const char* name, const std::string& what);

// The module's own TypeError for a value it cannot take (bad_callee_result, Blame): its message
// already names who answers for the value.
class RefusedValue : public py::type_error {
public:
    using py::type_error::type_error;
};

// Called in a catch block while what the rebound callee `name` returned is being taken back: the
// error in flight gets the note "in what <name>() returned" and is raised again. An error whose
// message names the callee already (RefusedValue) and an interrupt (an exception that is no
// Exception, such as KeyboardInterrupt) go on unchanged.
[[noreturn]] void raise_noting_callee_result(const char* name);

// Takes back what the rebound callee `name` returned by running `convert`; an error in it is
// raised with a note naming the callee (raise_noting_callee_result). The callee's own errors are
// raised before this runs, unchanged.
template <class Convert>
decltype(auto) callee_result(const char* name, Convert&& convert) {
    try {
        return std::forward<Convert>(convert)();
    } catch (...) {
        raise_noting_callee_result(name);
    }
}

// Who answers for a value the native tables cannot hold, for the TypeError that refuses it: an
// argument of a module function, a rebound callee's result (through bad_callee_result), or the
// tables a rebound callee left behind. `what` describes the value: "int, not a table of scans".
class Blame {
public:
    static Blame argument(const char* function, const char* argument) { return {function, argument, Kind::Argument}; }
    static Blame result_of(const char* callee) { return {callee, nullptr, Kind::Result}; }
    static Blame left_by(const char* callee) { return {callee, nullptr, Kind::LeftBy}; }

    [[noreturn]] void refuse(const std::string& what) const;
    // The note of an error whose message cannot name who answers (OverflowError for an int beyond
    // 64 bits): the argument, or the callee's result; empty for the tables a callee left.
    std::string note() const;

private:
    enum class Kind { Argument, Result, LeftBy };
    Blame(const char* function, const char* argument, Kind kind) : function_(function), argument_(argument), kind_(kind) {}

    const char* function_;
    const char* argument_;
    Kind kind_;
};

// Area registrations, one per stage; each defines its functions in the module's table order
// through define_function (module.cpp calls them in that order).
void register_readers(py::module_& m);       // read_ms_Mgf, read_ms_DtaZip
void register_psm(py::module_& m);           // rescale_qval, read_PD_PSM_results_tsv_wrapper, read_PD_PSM_results
void register_search(py::module_& m);        // find_XL_from_mgf
void register_ms2_rescue(py::module_& m);    // Rescue_PrecMismatch_XLs, Vombrelle_FindXLs_MS2Rescue
void register_rescue_mgf(py::module_& m);    // Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf
void register_precursor_rescue(py::module_& m); // RescuePrecMass
void register_uniq(py::module_& m);          // uniq
void register_results(py::module_& m);       // FDR_XL_list, remove_random, filter_XL_FDR, filter_pep_pair,
                                             // XL_recurrence_score, write_XL

// Maps the core's HostError onto the interpreter's exceptions (one place for the whole module).
void register_error_translation();

} // namespace vombrelle::module
