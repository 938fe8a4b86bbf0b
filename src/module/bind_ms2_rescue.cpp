// Binding of: Rescue_PrecMismatch_XLs Vombrelle_FindXLs_MS2Rescue.
//
// Both work on the PSM tables the driver hands them. The entries of the scans a call can read are
// taken into native tables; after the call (also one that fails), what the call's reads inserted
// is replayed into the driver's own objects. The dispatcher calls the builder, and the builder
// uniq, by name (NamespaceCalls): while those are the module's own, the whole call runs natively,
// keeping the interpreter lock for its few scans' worth of work.
#include <optional>
#include <vector>

#include "ms2_rescue/rescue_dispatch.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_psm.hpp"
#include "module/convert_text.hpp"
#include "module/named_calls.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"

namespace vombrelle::module {

namespace {

constexpr const char* kDispatcher = call_name(ModuleCall::RescuePrecMismatch);
constexpr const char* kBuilder = call_name(ModuleCall::FindXlsMs2Rescue);

// Argument `i` of `function` as a number.
HostNumber number(const Arguments& a, const char* function, std::size_t i) {
    return number_from_py(a[i], Blame::argument(function, signature(function).params[i]));
}

// The six table arguments from position `first` on, with the scans each search's tables can be
// read at.
DriverPsmTables driver_tables(const Arguments& a, const char* function, std::size_t first, const PsmReads& reads) {
    std::array<py::handle, 6> objects;
    std::array<const char*, 6> names;
    for (std::size_t i = 0; i < 6; ++i) {
        objects[i] = a[first + i];
        names[i] = signature(function).params[first + i];
    }
    return DriverPsmTables(function, objects, names, reads);
}

// Runs the core on the driver's tables; what its reads inserted is replayed into the driver's
// objects whether it returns or fails, as the host's reads would have left them either way.
template <class Core>
auto run_on_driver_tables(DriverPsmTables& tables, CallSet callees, Core&& core) {
    NamespaceCalls calls;
    calls.adopt(tables);
    try {
        auto result = run_with_callees(callees, NativeWork::Short, calls, core);
        tables.flush();
        return result;
    } catch (...) {
        try {
            tables.flush();
        } catch (py::error_already_set&) {
            // The call's own error is the one to raise.
        }
        throw;
    }
}

// spec_mode as the core compares it. A value the core holds no number for (a text, another kind
// of number) is compared by the host's == with each mode: the mode it equals, or nothing.
std::optional<HostNumber> spec_mode(py::handle value) {
    const HostOperand operand = to_operand(value);
    if (operand.native()) return operand.number();
    for (std::int64_t mode : spec_modes()) {
        if (checked(PyObject_RichCompareBool(value.ptr(), py::int_(mode).ptr(), Py_EQ)) == 1) return mode;
    }
    return std::nullopt;
}

py::object dispatcher(Arguments& a) {
    const std::optional<HostNumber> mode = spec_mode(a[0]);
    // No mode: no call, and no other argument is looked at.
    if (!mode || builder_calls(*mode).empty()) return py::none();
    MismatchRescueRequest r;
    r.spec_mode = *mode;
    // The mass lists and linker_deficit take no part: they are never read.
    static const Ms3MassList unread;
    r.mass_lists = {&unread, &unread, &unread, &unread};
    for (std::size_t i = 0; i < 4; ++i) r.scans[i] = number(a, kDispatcher, 5 + i);
    r.ms2_scan = number(a, kDispatcher, 9);
    r.ms2_mass = number(a, kDispatcher, 10);
    r.ms2_charge = number(a, kDispatcher, 11);
    r.linker_mass = number(a, kDispatcher, 18);

    DriverPsmTables tables = driver_tables(a, kDispatcher, 12, dispatcher_reads(r));
    const CallSet callees = reachable(calls_made_by(ModuleCall::RescuePrecMismatch));
    const std::optional<CrossLinkScoreMap> map = run_on_driver_tables(tables, callees, [&](NamedCalls& c) {
        return rescue_prec_mismatch(r, tables.native, c);
    });
    if (!map) return py::none();
    return score_map_to_python(*map);
}

py::object builder(Arguments& a) {
    RescueBuilderRequest r;
    for (std::size_t i = 0; i < 4; ++i) r.scans[i] = number(a, kBuilder, i);
    r.ms2_scan = number(a, kBuilder, 4);
    r.ms2_mass = number(a, kBuilder, 5);
    r.ms2_charge = number(a, kBuilder, 6);
    r.linker_mass = number(a, kBuilder, 13);

    PsmReads reads;
    add_builder_reads(r.scans, reads);
    DriverPsmTables tables = driver_tables(a, kBuilder, 7, reads);
    const CallSet callees = reachable(calls_made_by(ModuleCall::FindXlsMs2Rescue));
    const RescueBuilderResult built = run_on_driver_tables(tables, callees, [&](NamedCalls& c) {
        return find_xls_ms2_rescue(r, tables.native, c);
    });
    return py::make_tuple(text_object(built.record), to_python(built.score));
}

} // namespace

void register_ms2_rescue(py::module_& m) {
    define_function(m, signature(kDispatcher), dispatcher);
    define_function(m, signature(kBuilder), builder);
}

} // namespace vombrelle::module
