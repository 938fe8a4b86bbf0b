#include "module/named_reads.hpp"

#include <cstdint>
#include <optional>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_scan_tables.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"
#include "readers/dta_zip.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle::module {

namespace {

constexpr const char* kWrapper = "read_PD_PSM_results_tsv_wrapper";

// The scan numbers of a table a rebound reader returned, in its own order. Keys that name no scan
// number (a text, an int beyond 64 bits) are never looked up by the search.
std::vector<std::int64_t> scans_of(py::handle table) {
    std::vector<std::int64_t> scans;
    for (py::handle key : py::iter(table)) {
        if (const std::optional<std::int64_t> scan = scan_from_key(key, /*refuse_too_large=*/false)) {
            scans.push_back(*scan);
        }
    }
    return scans;
}

} // namespace

bool own_function(const char* name) {
    // A name the driver deleted is not: the call that needs it raises NameError when it comes.
    try {
        return lookup_callee(name).native;
    } catch (py::error_already_set&) {
        return false;
    }
}

std::optional<std::vector<std::string>> plain_paths(std::initializer_list<py::handle> args) {
    std::vector<std::string> files;
    for (py::handle arg : args) {
        if (!PyUnicode_Check(arg.ptr()) && !PyBytes_Check(arg.ptr())) return std::nullopt;
        try {
            files.push_back(fs_path(arg));
        } catch (py::error_already_set&) {
            return std::nullopt;  // raised again, in its place, by the reads one after the other
        } catch (py::builtin_exception&) {
            return std::nullopt;
        }
    }
    return files;
}

bool psm_questions_are_pure(const PsmReadArguments& args) {
    PyObject* proteins = args.uniprot_dict.ptr();
    if (!PyDict_CheckExact(proteins)) return false;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t pos = 0;
    while (PyDict_Next(proteins, &pos, &key, &value)) {
        if (!PyUnicode_CheckExact(key) || !PyUnicode_CheckExact(value)) return false;
    }
    auto number = [](py::handle v) { return PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr()); };
    return number(args.linker_long) && number(args.linker_short) && PyUnicode_CheckExact(args.long_name.ptr()) &&
           PyUnicode_CheckExact(args.short_name.ptr());
}

void print_names(const std::vector<std::string>& names) {
    if (names.empty()) return;
    py::object print = py::module_::import("builtins").attr("print");
    py::object mod = py::module_::import("Vombrelle1pt0_Submission");
    if (py::hasattr(mod, "print")) print = mod.attr("print");
    for (const auto& n : names) print(text_object(n));
}

SpectrumTable read_mgf_by_name(const py::object& path, PeakStorage peaks) {
    Callee reader = lookup_callee("read_ms_Mgf");
    if (reader.native) {
        const std::string file = fs_path(path);
        return released([&] { return read_mgf(file, peaks); });
    }
    const py::object result = reader.object(path);
    return callee_result("read_ms_Mgf", [&] { return spectrum_table_from_py(result, "read_ms_Mgf"); });
}

std::optional<DtaZipReading> open_dta_zip_by_name(const py::object& path, SpectrumTable& table, py::object& result) {
    Callee reader = lookup_callee("read_ms_DtaZip");
    if (reader.native) {
        const std::string file = zip_path_from_py(path);
        std::vector<std::string> skipped;
        std::optional<DtaZipReading> reading;
        released([&] { reading.emplace(file, skipped); });
        print_names(skipped);
        return reading;
    }
    py::object object = reader.object(path);
    table = callee_result("read_ms_DtaZip", [&] { return spectrum_table_from_py(object, "read_ms_DtaZip"); });
    result = std::move(object);
    return std::nullopt;
}

void read_psm_by_name(const py::object& path, const PsmReadArguments& args, NamedPsmRead into,
                      const std::shared_ptr<PsmRowStore>& rows) {
    Callee wrapper = lookup_callee(kWrapper);
    if (wrapper.native && own_function("read_PD_PSM_results") && own_function("rescale_qval")) {
        const std::string file = fs_path(path);
        ProteinMap proteins(args.uniprot_dict);
        const PsmReadOptions options =
            psm_read_options(args.linker_long, args.linker_short, args.long_name, args.short_name, proteins.lookup());
        auto read = [&] { return read_psm_file(file, options); };
        into.tables = take_psm_tables(proteins.asks_python() ? unlocked(read) : released(read));
        return;
    }
    const py::object result =
        wrapper.object(path, args.uniprot_dict, args.linker_long, args.linker_short, args.long_name, args.short_name);
    callee_result(kWrapper, [&] {
        const std::vector<py::object> objects = unpack(result, 3);
        const Blame blame = Blame::result_of(kWrapper);
        for (std::size_t i = 0; i < 3; ++i) {
            PsmMatchTable& table = into.tables[i];
            table = PsmMatchTable(rows);
            if (!into.read[i]) {
                into.links[i] = std::make_unique<LinkedPsmTable>(table, objects[i]);
                continue;
            }
            if (!is_mapping(objects[i])) blame.refuse(type_name(objects[i]) + ", not a PSM table");
            const std::vector<std::int64_t> scans = scans_of(objects[i]);
            into.links[i] = std::make_unique<LinkedPsmTable>(table, objects[i], scans, *rows, blame);
        }
    });
}

} // namespace vombrelle::module
