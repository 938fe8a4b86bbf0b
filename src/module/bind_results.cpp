// Binding of: FDR_XL_list remove_random filter_XL_FDR filter_pep_pair XL_recurrence_score write_XL.
#include <span>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_results.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "results/decoy_removal.hpp"
#include "results/fdr.hpp"
#include "results/fdr_cut.hpp"
#include "results/pair_consolidation.hpp"
#include "results/precursor_recheck.hpp"
#include "results/result_table.hpp"

namespace vombrelle::module {

namespace {

py::object filter_pep_pair_body(Arguments& a) {
    const ScoreMap map = read_score_map(a[0]);
    py::dict kept_map;
    PyMassLookup masses(a[1], a[2]);
    const PrecursorCheck check{to_operand(a[3]), upper_limit(a[4])};
    const std::vector<std::size_t> kept =
        filter_pep_pair(map.texts, map.faults(), map.scores, masses, check, python_sort(map.values));
    if (kept.empty()) return kept_map;
    const std::string label = text_string(py::str(a[5]));
    for (std::size_t i : kept) {
        checked(PyDict_SetItem(kept_map.ptr(), text_object(fraction_key(map.texts[i], label)).ptr(), map.values[i].ptr()));
    }
    return kept_map;
}

py::object XL_recurrence_score_body(Arguments& a) {
    const ScoreMap map = read_score_map(a[0]);
    return text_list(XL_recurrence_score(map.texts, map.faults(), map.scores, python_sort(map.values),
                                         python_number_sort(), python_raise(map.values)));
}

py::object FDR_XL_list_body(Arguments& a) {
    const TextList list = read_texts(a[0], "strip", Iteration::Lazy);
    const FdrEstimate estimate = FDR_XL_list(list.texts);
    list.raise_pending();
    py::object fdr = estimate.fdr ? py::object(py::float_(*estimate.fdr)) : py::object(text_object(kNoEstimate));
    return py::make_tuple(fdr, text_list(estimate.targets));
}

py::object remove_random_native(py::handle lines) {
    const TextList list = read_texts(lines, "strip", Iteration::Lazy);
    std::vector<std::string> rebuilt = remove_random(list.texts);
    list.raise_pending();
    return text_list(rebuilt);
}

// The cut's calls by name, each to whatever the name is bound to at that moment: FDR_XL_list on
// the sorted lines as the host's objects, and remove_random on the passing targets.
class NamedFdrCutCalls final : public FdrCutCalls {
public:
    NamedFdrCutCalls(const std::vector<py::object>& lines, py::handle cutoff) : lines_(lines), cutoff_(cutoff) {}

    bool native_estimate() override {
        estimator_ = lookup_callee("FDR_XL_list");
        return estimator_.native;
    }

    bool estimate_passes(std::span<const std::size_t> sorted_lines) override {
        py::list shortened(sorted_lines.size());
        for (std::size_t i = 0; i < sorted_lines.size(); ++i) shortened[i] = lines_[sorted_lines[i]];
        const py::object result = estimator_.object(shortened);
        return callee_result("FDR_XL_list", [&] {
            auto [fdr, targets] = unpack_two(result);
            if (checked(PyObject_RichCompareBool(fdr.ptr(), cutoff_.ptr(), Py_LE)) == 0) return false;
            targets_ = std::move(targets);
            return true;
        });
    }

    void remove_random(const FdrCut& cut) override {
        const Callee remover = lookup_callee("remove_random");
        if (cut.foreign_targets) {
            result_ = remover.native ? remove_random_native(targets_) : remover.object(targets_);
        } else {
            result_ = remover.native ? text_list(vombrelle::remove_random(cut.targets)) : remover.object(text_list(cut.targets));
        }
    }

    // What remove_random returned, unchanged; a new empty list when no part of the list passed.
    py::object result() const { return result_ ? result_ : py::list(); }

private:
    const std::vector<py::object>& lines_;
    py::handle cutoff_;
    Callee estimator_;
    py::object targets_;
    py::object result_;
};

py::object filter_XL_FDR_body(Arguments& a) {
    const TextList list = read_texts(a[0], "split", Iteration::Materialized);
    NamedFdrCutCalls calls(list.objects, a[1]);
    filter_XL_FDR(list.texts, list.faults(), upper_limit(a[1]), calls, python_number_sort());
    return calls.result();
}

py::object write_XL_body(Arguments& a) {
    // Every line is checked before the file is touched, so a bad list leaves an old table intact.
    const TextList list = read_texts(a[0], "strip", Iteration::Lazy);
    // A line the UTF-8 table cannot hold is refused in its turn, as the interpreter's file refuses
    // it, but before anything is written.
    for (const py::object& line : list.objects) file_text_bytes(line);
    list.raise_pending();
    const std::string path = fs_path(a[1]);
    released([&] { write_XL(list.texts, path); });
    return py::none();
}

} // namespace

void register_results(py::module_& m) {
    define_function(m, signature("FDR_XL_list"), FDR_XL_list_body);
    define_function(m, signature("remove_random"), [](Arguments& a) { return remove_random_native(a[0]); });
    define_function(m, signature("filter_XL_FDR"), filter_XL_FDR_body);
    define_function(m, signature("filter_pep_pair"), filter_pep_pair_body);
    define_function(m, signature("XL_recurrence_score"), XL_recurrence_score_body);
    define_function(m, signature("write_XL"), write_XL_body);
}

} // namespace vombrelle::module
