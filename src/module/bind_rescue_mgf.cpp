// Binding of: Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf.
#include <optional>
#include <string>
#include <vector>

#include "module/binding.hpp"
#include "module/convert_spectra.hpp"
#include "module/function_table.hpp"
#include "readers/mgf.hpp"
#include "rescue_mgf/rescue_run.hpp"

namespace vombrelle::module {

namespace {

using rescue_mgf::LinkerArgument;
using rescue_mgf::MassPairs;

// A path the native code can take: a str (or a path-like object) as UTF-8 text; nothing for
// other objects, which only the interpreter's own open() knows what to do with.
std::optional<std::string> path_text(const py::handle& obj) {
    if (PyUnicode_Check(obj.ptr())) {
        Py_ssize_t n = 0;
        const char* s = PyUnicode_AsUTF8AndSize(obj.ptr(), &n);
        if (s == nullptr) {
            PyErr_Clear();
            return std::nullopt;
        }
        return std::string(s, static_cast<std::size_t>(n));
    }
    if (PyBytes_Check(obj.ptr()) || PyObject_HasAttrString(obj.ptr(), "__fspath__")) {
        py::object os = py::module_::import("os");
        return os.attr("fsdecode")(obj).cast<std::string>();
    }
    return std::nullopt;
}

// The output path as open(spec_file, "w") would take it.
std::string output_path(const py::handle& obj) {
    if (auto p = path_text(obj)) return *p;
    // os.fspath raises the interpreter's TypeError for an object that names no file.
    py::module_::import("os").attr("fspath")(obj);
    throw py::type_error("expected str, bytes or os.PathLike object");
}

// One read through whatever the module namespace binds to read_ms_Mgf at this moment.
SpectrumTable read_table(const py::object& path, PeakStorage peaks) {
    Callee reader = lookup_callee("read_ms_Mgf");
    if (reader.native && PyUnicode_Check(path.ptr())) {
        // A path with a NUL goes to the reader's own argument check.
        if (auto p = path_text(path); p && p->find('\0') == std::string::npos) return read_mgf(*p, peaks);
    }
    return spectrum_table_from_py(reader.object(path), "read_ms_Mgf");
}

LinkerArgument linker_argument(const py::handle& v) {
    LinkerArgument a;
    if (PyFloat_Check(v.ptr())) {
        a.value = PyFloat_AsDouble(v.ptr());
    } else if (PyLong_Check(v.ptr())) {
        a.value = PyLong_AsDouble(v.ptr());
        if (a.value == -1.0 && PyErr_Occurred() != nullptr) {
            PyErr_Clear();
            a.too_large = true;
        }
    } else {
        a.bad_type = Py_TYPE(v.ptr())->tp_name;
    }
    return a;
}

double pair_value(const py::handle& v) {
    if (PyFloat_Check(v.ptr())) return PyFloat_AsDouble(v.ptr());
    if (PyLong_Check(v.ptr())) {
        double d = PyLong_AsDouble(v.ptr());
        if (d == -1.0 && PyErr_Occurred() != nullptr) throw py::error_already_set();
        return d;
    }
    bad_callee_result("combinations", std::string("a pair holding a '") + Py_TYPE(v.ptr())->tp_name + "' object");
}

// The pair test asks the module namespace for `combinations` each time, like the interpreter
// would: the standard generator is computed natively, anything else is called and its pairs
// unpacked.
void mass_pairs(const std::vector<double>& masses, MassPairs& out) {
    static PyObject* standard = py::object(py::module_::import("itertools").attr("combinations")).release().ptr();
    Callee combinations = lookup_callee("combinations");
    if (combinations.object.ptr() == standard) {
        rescue_mgf::all_mass_pairs(masses, out);
        return;
    }
    py::list values;
    for (double m : masses) values.append(py::float_(m));
    py::list pairs(combinations.object(values, 2));
    out.clear();
    for (py::handle item : pairs) {
        PyObject* raw = PySequence_Fast(item.ptr(), "");
        if (raw == nullptr) {
            PyErr_Clear();
            throw py::type_error(std::string("cannot unpack non-iterable ") + Py_TYPE(item.ptr())->tp_name +
                                 " object");
        }
        py::object seq = py::reinterpret_steal<py::object>(raw);
        const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
        if (n > 2) throw py::value_error("too many values to unpack (expected 2)");
        if (n < 2) throw py::value_error("not enough values to unpack (expected 2, got " + std::to_string(n) + ")");
        out.emplace_back(pair_value(PySequence_Fast_GET_ITEM(seq.ptr(), 0)),
                         pair_value(PySequence_Fast_GET_ITEM(seq.ptr(), 1)));
    }
}

py::object generate(Arguments& a) {
    const py::object& deconv_path = a[0];
    const py::object& ms2_path = a[1];
    const py::object& ms3_path = a[2];
    const py::object& own_path = a[3];

    rescue_mgf::RescueTables tables;
    tables.ms2 = read_table(ms2_path, PeakStorage::Keep);
    tables.ms3 = read_table(ms3_path, PeakStorage::CheckOnly);
    tables.ms2_deconv = read_table(deconv_path, PeakStorage::Keep);
    tables.own_precursor = read_table(own_path, PeakStorage::CheckOnly);

    const std::string spec_file = output_path(a[4]);
    std::vector<rescue_mgf::NamedInput> inputs;
    const std::pair<const char*, const py::object*> named[] = {{"MS2_DeisoDeconv_file_path", &deconv_path},
                                                               {"MS2_file_path", &ms2_path},
                                                               {"MS3_file_path", &ms3_path},
                                                               {"msn_1_MS3_path", &own_path}};
    for (const auto& [name, obj] : named) {
        if (auto p = path_text(*obj)) inputs.push_back({name, *p});
    }
    rescue_mgf::refuse_overwriting_inputs(spec_file, inputs);

    const rescue_mgf::RescueArguments args{linker_argument(a[5]), linker_argument(a[6])};
    rescue_mgf::write_rescue_mgf(spec_file, tables, args, mass_pairs);
    return py::none();
}

} // namespace

void register_rescue_mgf(py::module_& m) {
    define_function(m, function_spec("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"), generate);
}

} // namespace vombrelle::module
