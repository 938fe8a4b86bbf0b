// Binding of: RescuePrecMass. It calls no other function of the module and only reads its tables:
// the scans it can examine are taken into native tables, only once the group's masses call for
// a look at them, and the rescue runs natively on them.
#include <array>

#include "common/scan_key.hpp"
#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_scan_tables.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "search/native_calls.hpp"
#include "search/precursor_rescue.hpp"

namespace vombrelle::module {

namespace {

constexpr const char* kName = "RescuePrecMass";

Blame blame(std::size_t argument) { return Blame::argument(kName, signature(kName).params[argument]); }

// The element 0 the rescue reads of a mass list, read by the host's own indexing (so an empty
// list raises its IndexError), as a one-element list.
Ms3MassList first_mass(py::handle list, std::size_t argument) {
    const py::object first = own(PyObject_GetItem(list.ptr(), py::int_(0).ptr()));
    const std::optional<double> mass = to_double(first);
    if (!mass) blame(argument).refuse("a mass list holding " + type_name(first) + ", not a number");
    return {*mass};
}

py::object rescue(Arguments& a) {
    // The mass lists first: the rescue starts by reading them.
    std::array<Ms3MassList, 4> lists;
    PrecursorRescueRequest r;
    for (std::size_t i = 0; i < 4; ++i) {
        lists[i] = first_mass(a[4 + i], 4 + i);
        r.mass_lists[i] = &lists[i];
    }
    for (std::size_t i = 0; i < 4; ++i) r.scans[i] = number_from_py(a[i], blame(i));
    r.ms2_match_scan = number_from_py(a[9], blame(9));
    r.ms2_conv_mass = number_from_py(a[10], blame(10));
    r.ms2_mass = number_from_py(a[11], blame(11));
    r.ms2_charge = number_from_py(a[12], blame(12));
    r.linker_deficit = number_from_py(a[14], blame(14));

    // A group whose masses miss by no whole 1-5 Da looks at neither table.
    if (!isotope_error(r)) return py::make_tuple(false, "", "");

    const SpectrumTable ms1 = ms1_scans_below(a[8], walk_parent(r.ms2_match_scan), blame(8));
    // The High and Medium table is only asked for membership.
    PsmMatchTable med_high;
    for (HostNumber scan : r.scans) {
        const std::optional<std::int64_t> key = scan_key(scan);
        if (key && checked(PySequence_Contains(a[13].ptr(), py::int_(*key).ptr())) == 1) med_high.scans[*key];
    }
    // A few scans' worth of work: giving the lock up would cost more than it (call_interruptions.hpp).
    const PrecursorRescueResult result = NativeCalls().rescue_prec_mass(r, ms1, med_high);
    return py::make_tuple(result.found, text_object(result.derived), text_object(result.remarks));
}

} // namespace

void register_precursor_rescue(py::module_& m) { define_function(m, signature(kName), rescue); }

} // namespace vombrelle::module
