// Binding of: Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf. The native reads (at once,
// while the reader is the module's own) and the writing of the rescue MGF run with the
// interpreter lock released, on worker threads while `combinations` is the standard one.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/parallel_reads.hpp"
#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/named_reads.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "rescue_mgf/rescue_run.hpp"

namespace vombrelle::module {

namespace {

using rescue_mgf::MassPairs;

// The file an input argument names, as open() would take it (str, bytes or os.PathLike, in the
// file system's encoding); nothing for any other object, which only a reader bound in
// read_ms_Mgf's place knows what to do with.
std::optional<std::string> input_file(const py::handle& obj) {
    try {
        return fs_path(obj);
    } catch (const py::error_already_set&) {
        return std::nullopt;
    }
}

double pair_value(const py::handle& v) {
    if (const std::optional<double> d = to_double(v)) return *d;
    bad_callee_result("combinations", "a pair holding a '" + type_name(v) + "' object");
}

// The pairs of the pair test come from whatever the module namespace binds to `combinations`
// when the test comes, as the interpreter would look it up. The namespace is read when the run
// starts and again after every call into Python code: nothing else can rebind the name meanwhile.
// While it is the standard generator, the run computes the pairs natively and needs nothing of the
// interpreter; anything else is called, with the lock taken for the call, and its pairs unpacked.
class NamedCombinations {
public:
    NamedCombinations() { look_up(); }

    // Whether the run needs the interpreter for its pairs (the pair source must then be used).
    bool calls_python() const { return !standard_; }

    void operator()(const std::vector<double>& masses, MassPairs& out) {
        if (standard_) {
            rescue_mgf::all_mass_pairs(masses, out);
            return;
        }
        py::gil_scoped_acquire locked;
        Callee combinations = lookup_callee("combinations");  // NameError when unbound
        if (combinations.object.ptr() == standard()) {
            standard_ = true;
            rescue_mgf::all_mass_pairs(masses, out);
            return;
        }
        py::list values;
        for (double m : masses) values.append(py::float_(m));
        // A list of the call's own, as list() makes it: the items are then held by nothing the
        // callee (or a pair being unpacked) can change.
        py::object result = combinations.object(values, 2);
        out.clear();
        callee_result("combinations", [&] {
            const py::object pairs = own(PySequence_List(result.ptr()));
            for (py::handle item : pairs) {
                auto [first, second] = unpack_two(item);
                out.emplace_back(pair_value(first), pair_value(second));
            }
        });
        look_up();
    }

private:
    static PyObject* standard() {
        static PyObject* const combinations =
            py::object(py::module_::import("itertools").attr("combinations")).release().ptr();
        return combinations;
    }

    // A name the driver deleted is not the standard one: the test that needs it raises NameError.
    void look_up() {
        try {
            standard_ = lookup_callee("combinations").object.ptr() == standard();
        } catch (py::error_already_set&) {
            standard_ = false;
        }
    }

    bool standard_ = false;
};

// The four tables, read through read_ms_Mgf's name in the run's order (MS2, MS3, deconvoluted MS2,
// own precursors). While the name is the module's own the four files are read at once, without
// the lock: it is looked up once, as no code of the driver's runs between native reads to rebind
// it, provided the four arguments are plain paths (plain_paths).
rescue_mgf::RescueTables read_tables(const py::object& deconv_path, const py::object& ms2_path,
                                     const py::object& ms3_path, const py::object& own_path) {
    if (own_function("read_ms_Mgf")) {
        if (auto files = plain_paths({ms2_path, ms3_path, deconv_path, own_path})) {
            const rescue_mgf::RescueInputs inputs{(*files)[0], (*files)[1], (*files)[2], (*files)[3]};
            return released([&] { return rescue_mgf::read_rescue_tables(inputs); });
        }
    }
    rescue_mgf::RescueTables tables;
    using rescue_mgf::kRescuePeaks;
    tables.ms2 = read_mgf_by_name(ms2_path, kRescuePeaks.ms2);
    tables.ms3 = read_mgf_by_name(ms3_path, kRescuePeaks.ms3);
    tables.ms2_deconv = read_mgf_by_name(deconv_path, kRescuePeaks.ms2_deconv);
    tables.own_precursor = read_mgf_by_name(own_path, kRescuePeaks.own_precursor);
    return tables;
}

py::object generate(Arguments& a) {
    const py::object& deconv_path = a[0];
    const py::object& ms2_path = a[1];
    const py::object& ms3_path = a[2];
    const py::object& own_path = a[3];

    rescue_mgf::RescueTables tables = read_tables(deconv_path, ms2_path, ms3_path, own_path);

    // open(spec_file, "w") takes the same objects and raises the same TypeError for others.
    const rescue_mgf::NamedPath spec_file{"spec_file", fs_path(a[4]), py::repr(a[4])};
    std::vector<rescue_mgf::NamedPath> inputs;
    const std::pair<const char*, const py::object*> named[] = {{"MS2_DeisoDeconv_file_path", &deconv_path},
                                                               {"MS2_file_path", &ms2_path},
                                                               {"MS3_file_path", &ms3_path},
                                                               {"msn_1_MS3_path", &own_path}};
    for (const auto& [name, obj] : named) {
        if (auto p = input_file(*obj)) inputs.push_back({name, *p, py::repr(*obj)});
    }
    rescue_mgf::refuse_overwriting_inputs(spec_file, inputs);

    // What the run cannot use fails where it first uses it (HostOperand).
    const rescue_mgf::RescueArguments args{to_operand(a[5]), to_operand(a[6])};
    NamedCombinations combinations;
    auto write_and_free = [&](const rescue_mgf::PairSource& pairs) {
        rescue_mgf::write_rescue_mgf(spec_file.path, tables, args, pairs);
        free_at_once(tables.ms2, tables.ms3, tables.ms2_deconv, tables.own_precursor);
    };
    if (combinations.calls_python()) {
        // Python code runs once per group: the caller's thread runs the groups, taking the lock
        // for each such call.
        unlocked([&] { write_and_free(std::ref(combinations)); });
    } else {
        released([&] { write_and_free({}); });
    }
    return py::none();
}

} // namespace

void register_rescue_mgf(py::module_& m) {
    define_function(m, signature("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"), generate);
}

} // namespace vombrelle::module
