#include "module/named_calls.hpp"

#include "common/errors.hpp"
#include "ms2_rescue/rescue_dispatch.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_scan_tables.hpp"
#include "module/convert_text.hpp"

namespace vombrelle::module {

namespace {

constexpr const char* kUniq = call_name(ModuleCall::Uniq);
constexpr const char* kDispatcher = call_name(ModuleCall::RescuePrecMismatch);
constexpr const char* kBuilder = call_name(ModuleCall::FindXlsMs2Rescue);
constexpr const char* kPrecursorRescue = call_name(ModuleCall::RescuePrecMass);

py::list mass_list(const Ms3MassList* list) {
    py::list out(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
        PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), own(PyFloat_FromDouble((*list)[i])).release().ptr());
    }
    return out;
}

HostNumber score_from_py(py::handle score, const char* callee) {
    const HostOperand n = to_operand(score);
    n.refuse_beyond_64_bits();
    if (!n.native()) bad_callee_result(callee, "a score of type " + type_name(score) + ", not a number");
    return n.number();
}

std::string record_from_py(py::handle record, const char* callee) {
    if (!PyUnicode_Check(record.ptr())) {
        bad_callee_result(callee, "a cross-link record of type " + type_name(record) + ", not str");
    }
    return text_string(record);
}

} // namespace

bool NamespaceCalls::own_functions(CallSet calls) {
    for (std::size_t c = 0; c < kModuleCalls; ++c) {
        if (!calls.contains(static_cast<ModuleCall>(c))) continue;
        try {
            if (!lookup_callee(call_name(static_cast<ModuleCall>(c))).native) return false;
        } catch (py::error_already_set&) {
            return false;
        }
    }
    return true;
}

void NamespaceCalls::adopt(DriverPsmTables& tables) {
    for (std::size_t i = 0; i < 6; ++i) {
        adopt(i < 3 ? tables.native.ms3[i] : tables.native.rescue[i - 3], *tables.links[i]);
    }
}

void NamespaceCalls::adopt(const PsmMatchTable& table, LinkedPsmTable& link) { links_[&table] = &link; }

void NamespaceCalls::set_ms1_object(const SpectrumTable& ms1, py::handle object) {
    ms1_objects_[&ms1] = py::reinterpret_borrow<py::object>(object);
}

LinkedPsmTable& NamespaceCalls::link(const PsmMatchTable& table) {
    LinkedPsmTable*& found = links_[&table];
    // The precursor rescue is handed its table as const, since it only asks for membership; the
    // table itself is the search's, and what a rebound rescue's reads insert is taken into it.
    if (found == nullptr) found = &own_links_.emplace_back(const_cast<PsmMatchTable&>(table));
    return *found;
}

std::array<py::handle, 6> NamespaceCalls::hand_over(SearchPsmTables& tables) {
    std::array<py::handle, 6> objects;
    for (std::size_t i = 0; i < 6; ++i) objects[i] = link(i < 3 ? tables.ms3[i] : tables.rescue[i - 3]).object();
    return objects;
}

void NamespaceCalls::take_back(SearchPsmTables& tables, const PsmReads& reads, const char* callee) {
    const Blame blame = Blame::left_by(callee);
    for (std::size_t i = 0; i < 6; ++i) {
        link(i < 3 ? tables.ms3[i] : tables.rescue[i - 3]).pull(i < 3 ? reads.ms3 : reads.rescue, blame);
    }
}

py::handle NamespaceCalls::ms1_object(const SpectrumTable& ms1) {
    py::object& object = ms1_objects_[&ms1];
    if (!object) object = spectrum_table_to_py(ms1);
    return object;
}

void NamespaceCalls::uniq(std::vector<std::string_view>& items) {
    const Callee callee = lookup_callee(kUniq);
    if (callee.native) {
        native_.uniq(items);
        return;
    }
    const py::object result = callee.object(text_list(items));
    items.clear();
    callee_result(kUniq, [&] {
        for (py::handle item : py::iter(result)) {
            if (!PyUnicode_Check(item.ptr())) bad_callee_result(kUniq, "a list holding " + type_name(item) + ", not str");
            kept_texts_.push_back(py::reinterpret_borrow<py::object>(item));
            items.push_back(text_bytes(item, kept_bytes_));
        }
    });
}

std::optional<CrossLinkScoreMap> NamespaceCalls::rescue_prec_mismatch(const MismatchRescueRequest& r,
                                                                      SearchPsmTables& tables) {
    const Callee callee = lookup_callee(kDispatcher);
    if (callee.native) return vombrelle::rescue_prec_mismatch(r, tables, *this);
    const std::array<py::handle, 6> t = hand_over(tables);
    const py::object result =
        callee.object(to_python(r.spec_mode), mass_list(r.mass_lists[0]), mass_list(r.mass_lists[1]),
                      mass_list(r.mass_lists[2]), mass_list(r.mass_lists[3]), to_python(r.scans[0]),
                      to_python(r.scans[1]), to_python(r.scans[2]), to_python(r.scans[3]), to_python(r.ms2_scan),
                      to_python(r.ms2_mass), to_python(r.ms2_charge), t[0], t[1], t[2], t[3], t[4], t[5],
                      to_python(r.linker_mass), to_python(r.linker_deficit));
    // What the module's own dispatcher could have read; of other scans only new ones are followed.
    take_back(tables, dispatcher_reads(r), kDispatcher);
    if (result.is_none()) return std::nullopt;
    CrossLinkScoreMap map;
    // As the search reads it: each key, then the map's value under it.
    callee_result(kDispatcher, [&] {
        for (py::handle key : py::iter(result)) {
            const py::object score = own(PyObject_GetItem(result.ptr(), key.ptr()));
            map.insert_or_assign(record_from_py(key, kDispatcher), score_from_py(score, kDispatcher));
        }
    });
    return map;
}

RescueBuilderResult NamespaceCalls::find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& tables) {
    const Callee callee = lookup_callee(kBuilder);
    if (callee.native) return vombrelle::find_xls_ms2_rescue(r, tables, *this);
    const std::array<py::handle, 6> t = hand_over(tables);
    const py::object result =
        callee.object(to_python(r.scans[0]), to_python(r.scans[1]), to_python(r.scans[2]), to_python(r.scans[3]),
                      to_python(r.ms2_scan), to_python(r.ms2_mass), to_python(r.ms2_charge), t[0], t[1], t[2], t[3],
                      t[4], t[5], to_python(r.linker_mass));
    PsmReads reads;
    add_builder_reads(r.scans, reads);
    take_back(tables, reads, kBuilder);
    return callee_result(kBuilder, [&]() -> RescueBuilderResult {
        auto [record, score] = unpack_two(result);
        return {record_from_py(record, kBuilder), score_from_py(score, kBuilder)};
    });
}

PrecursorRescueResult NamespaceCalls::rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable& ms1,
                                                       const PsmMatchTable& med_high) {
    const Callee callee = lookup_callee(kPrecursorRescue);
    if (callee.native) return native_.rescue_prec_mass(r, ms1, med_high);
    LinkedPsmTable& identified = link(med_high);
    const py::object result =
        callee.object(to_python(r.scans[0]), to_python(r.scans[1]), to_python(r.scans[2]), to_python(r.scans[3]),
                      mass_list(r.mass_lists[0]), mass_list(r.mass_lists[1]), mass_list(r.mass_lists[2]),
                      mass_list(r.mass_lists[3]), ms1_object(ms1), to_python(r.ms2_match_scan),
                      to_python(r.ms2_conv_mass), to_python(r.ms2_mass), to_python(r.ms2_charge), identified.object(),
                      to_python(r.linker_deficit));
    identified.pull({}, Blame::left_by(kPrecursorRescue));
    return callee_result(kPrecursorRescue, [&] {
        const std::vector<py::object> items = unpack(result, 3);
        PrecursorRescueResult out;
        // The search goes on with the group only when the flag equals True, and then splits the
        // second item at ":"; the remarks it never reads.
        out.found = checked(PyObject_RichCompareBool(items[0].ptr(), Py_True, Py_EQ)) == 1;
        if (out.found) {
            if (!PyUnicode_Check(items[1].ptr())) {
                bad_callee_result(kPrecursorRescue, "a derived precursor of type " + type_name(items[1]) + ", not str");
            }
            out.derived = text_string(items[1]);
        }
        if (PyUnicode_Check(items[2].ptr())) out.remarks = text_string(items[2]);
        return out;
    });
}

py::object score_map_to_python(const CrossLinkScoreMap& map) {
    py::object out = new_text_defaultdict();
    for (const auto& [record, score] : map) {
        checked(PyDict_SetItem(out.ptr(), text_object(record).ptr(), to_python(score).ptr()));
    }
    return out;
}

} // namespace vombrelle::module
