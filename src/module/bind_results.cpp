// Binding of: FDR_XL_list remove_random filter_XL_FDR filter_pep_pair XL_recurrence_score write_XL.
#include <algorithm>
#include <cmath>
#include <optional>

#include "module/binding.hpp"
#include "module/convert_results.hpp"
#include "module/function_table.hpp"
#include "module/py_support.hpp"
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
    if (map.keys.empty()) return kept_map;
    PyMassLookup masses(a[1], a[2]);
    PrecursorCheck check{to_operand(a[3]), to_operand(a[4]), {}};
    if (!check.tolerance_ppm.native()) check.foreign_tolerance = host_at_or_below(a[4]);
    if (!map.non_texts.empty()) {
        // Such a call can only fail: after the sort, at the first faulty record in score order.
        for (std::size_t i : descending_score_order(map.scores, python_sort(map.values))) {
            if (std::binary_search(map.non_texts.begin(), map.non_texts.end(), i)) {
                std::rethrow_exception(not_a_text(map.keys[i], "split"));
            }
            precursor_matches(map.texts[i], masses, check);
        }
    }
    const std::vector<std::size_t> kept = filter_pep_pair(map.texts, map.scores, masses, check, python_sort(map.values));
    if (kept.empty()) return kept_map;
    const std::string label = utf8_of(py::str(a[5]));
    for (std::size_t i : kept) {
        const std::string key = fraction_key(map.texts[i], label);
        kept_map[py::str(key.data(), key.size())] = map.values[i];
    }
    return kept_map;
}

py::object XL_recurrence_score_body(Arguments& a) {
    const ScoreMap map = read_score_map(a[0]);
    if (!map.non_texts.empty()) {
        // Keys are split in map order: the keys before the first one that is no text may fail first.
        const std::size_t first = map.non_texts.front();
        for (std::size_t i = 0; i < first; ++i) peptide_pair(map.texts[i]);
        std::rethrow_exception(not_a_text(map.keys[first], "split"));
    }
    return to_str_list(XL_recurrence_score(map.texts, map.scores, python_sort(map.values), python_number_sort(),
                                           python_raise(map.values)));
}

py::object estimate_to_python(const FdrEstimate& e) {
    py::object fdr = e.fdr ? py::object(py::float_(*e.fdr)) : py::object(py::str("NA"));
    return py::make_tuple(fdr, to_str_list(e.targets));
}

py::object FDR_XL_list_body(Arguments& a) {
    const TextList list = read_texts(a[0], "strip", Iteration::Lazy);
    const FdrEstimate estimate = FDR_XL_list(list.texts);
    list.raise_pending();
    return estimate_to_python(estimate);
}

py::object remove_random_native(py::handle lines) {
    const TextList list = read_texts(lines, "strip", Iteration::Lazy);
    std::vector<std::string> rebuilt = remove_random(list.texts);
    list.raise_pending();
    return to_str_list(rebuilt);
}

// The cut-off: the host's int and float are compared natively; any other value the host compares
// with the estimate itself (another kind of number), or refuses (a text) at a first comparison
// made before any line is looked at.
class Cutoff {
public:
    explicit Cutoff(py::handle cutoff) : object_(cutoff) {
        if (PyFloat_Check(cutoff.ptr())) {
            native_ = HostNumber(PyFloat_AS_DOUBLE(cutoff.ptr()));
        } else if (PyLong_Check(cutoff.ptr())) {
            const HostOperand op = to_operand(cutoff);
            if (op.native()) {
                native_ = op.number;
            } else {
                // Beyond 64 bits the value lies far outside 0..100; its sign decides every comparison.
                const int positive = PyObject_RichCompareBool(cutoff.ptr(), py::int_(0).ptr(), Py_GT);
                native_ = HostNumber(positive == 1 ? HUGE_VAL : -HUGE_VAL);
            }
        } else {
            passes(100.0);
        }
        if (native_) check_cutoff(*native_);
    }

    bool passes(double fdr) const {
        if (native_) return HostNumber(fdr) <= *native_;
        const int at_or_below = PyObject_RichCompareBool(py::float_(fdr).ptr(), object_.ptr(), Py_LE);
        if (at_or_below < 0) throw py::error_already_set();
        return at_or_below == 1;
    }

private:
    py::handle object_;
    std::optional<HostNumber> native_;
};

// Hands the passing lines' targets to whatever remove_random is bound to now.
py::object remove_decoys(py::object targets) {
    const Callee remover = lookup_callee("remove_random");
    if (remover.native) return remove_random_native(targets);
    return remover.object(targets);
}

py::object filter_XL_FDR_body(Arguments& a) {
    const TextList list = read_texts(a[0], "split", Iteration::Materialized);
    const std::vector<HostNumber> keys = line_scores(list.texts);
    list.raise_pending();
    const std::vector<std::size_t> order = descending_order(keys, false, python_number_sort());
    const Cutoff cutoff(a[1]);

    std::vector<std::string_view> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(list.texts[i]);
    if (sorted.empty()) return py::list();  // nothing to estimate: no callee is looked up

    if (lookup_callee("FDR_XL_list").native) {
        // The module's own estimate: every shortened list is decided in one pass.
        FdrCut cut = fdr_cut(sorted, [&cutoff](double fdr) { return cutoff.passes(fdr); });
        if (cut.prefix == 0) return py::list();
        const Callee remover = lookup_callee("remove_random");
        if (remover.native) return to_str_list(remove_random(cut.targets));
        return remover.object(to_str_list(cut.targets));
    }

    // A rebound estimate: call it by name on each shortened list, longest first.
    py::list sorted_objects(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) sorted_objects[i] = list.objects[order[i]];
    py::object passing_targets;
    const std::size_t prefix = longest_passing_prefix(sorted.size(), [&](std::size_t m) {
        const Callee estimator = lookup_callee("FDR_XL_list");
        if (estimator.native) {
            FdrEstimate e = FDR_XL_list(std::span(sorted).first(m));
            if (!cutoff.passes(*e.fdr)) return false;
            passing_targets = to_str_list(e.targets);
            return true;
        }
        py::object shortened = sorted_objects[py::slice(0, static_cast<py::ssize_t>(m), 1)];
        auto [fdr, targets] = unpack_two(estimator.object(shortened));
        int passes = PyObject_RichCompareBool(fdr.ptr(), a[1].ptr(), Py_LE);
        if (passes < 0) throw py::error_already_set();
        if (passes == 0) return false;
        passing_targets = std::move(targets);
        return true;
    });
    if (prefix == 0) return py::list();
    return remove_decoys(passing_targets);
}

py::object write_XL_body(Arguments& a) {
    // Every line is checked before the file is touched, so a bad list leaves an old table intact.
    const TextList list = read_texts(a[0], "strip", Iteration::Lazy);
    list.raise_pending();
    const std::string path = fs_path(a[1]);
    {
        py::gil_scoped_release unlocked;
        write_XL(list.texts, path);
    }
    return py::none();
}

} // namespace

void register_results(py::module_& m) {
    define_function(m, function_spec("FDR_XL_list"), FDR_XL_list_body);
    define_function(m, function_spec("remove_random"),
                    [](Arguments& a) { return remove_random_native(a[0]); });
    define_function(m, function_spec("filter_XL_FDR"), filter_XL_FDR_body);
    define_function(m, function_spec("filter_pep_pair"), filter_pep_pair_body);
    define_function(m, function_spec("XL_recurrence_score"), XL_recurrence_score_body);
    define_function(m, function_spec("write_XL"), write_XL_body);
}

} // namespace vombrelle::module
