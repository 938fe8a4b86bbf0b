// Binding of: FDR_XL_list remove_random filter_XL_FDR filter_pep_pair XL_recurrence_score write_XL.
#include <algorithm>

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
    const std::string label = text_string(py::str(a[5]));
    for (std::size_t i : kept) {
        checked(PyDict_SetItem(kept_map.ptr(), text_object(fraction_key(map.texts[i], label)).ptr(), map.values[i].ptr()));
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
    return text_list(XL_recurrence_score(map.texts, map.scores, python_sort(map.values), python_number_sort(),
                                         python_raise(map.values)));
}

py::object FDR_XL_list_body(Arguments& a) {
    const TextList list = read_texts(a[0], "strip", Iteration::Lazy);
    const FdrEstimate estimate = FDR_XL_list(list.texts);
    list.raise_pending();
    py::object fdr = estimate.fdr ? py::object(py::float_(*estimate.fdr)) : py::object(py::str("NA"));
    return py::make_tuple(fdr, text_list(estimate.targets));
}

py::object remove_random_native(py::handle lines) {
    const TextList list = read_texts(lines, "strip", Iteration::Lazy);
    std::vector<std::string> rebuilt = remove_random(list.texts);
    list.raise_pending();
    return text_list(rebuilt);
}

// The cut's estimates by whatever FDR_XL_list is bound to at each step, on the sorted lines as the
// host's objects.
class NamedEstimator final : public CutEstimator {
public:
    NamedEstimator(py::list sorted, const Cutoff& cutoff) : sorted_(std::move(sorted)), cutoff_(cutoff) {}

    bool native() override {
        estimator_ = lookup_callee("FDR_XL_list");
        return estimator_.native;
    }

    bool passes(std::size_t m) override {
        py::object shortened = sorted_[py::slice(0, static_cast<py::ssize_t>(m), 1)];
        const py::object result = estimator_.object(shortened);
        return callee_result("FDR_XL_list", [&] {
            auto [fdr, targets] = unpack_two(result);
            if (checked(PyObject_RichCompareBool(fdr.ptr(), cutoff_.object().ptr(), Py_LE)) == 0) return false;
            targets_ = std::move(targets);
            return true;
        });
    }

    const py::object& targets() const { return targets_; }

private:
    py::list sorted_;
    const Cutoff& cutoff_;
    Callee estimator_;
    py::object targets_;
};

py::object filter_XL_FDR_body(Arguments& a) {
    const TextList list = read_texts(a[0], "split", Iteration::Materialized);
    const std::vector<HostNumber> keys = line_scores(list.texts);
    list.raise_pending();
    const std::vector<std::size_t> order = descending_order(keys, false, python_number_sort());
    const Cutoff cutoff(a[1]);
    if (order.empty()) return py::list();  // nothing to estimate: no callee is looked up

    std::vector<std::string_view> sorted;
    py::list sorted_objects(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(list.texts[order[i]]);
        sorted_objects[i] = list.objects[order[i]];
    }
    NamedEstimator estimator(std::move(sorted_objects), cutoff);
    const FdrCut cut = fdr_cut(sorted, [&cutoff](double fdr) { return cutoff.passes(fdr); }, &estimator);
    if (cut.prefix == 0) return py::list();

    // The passing targets go to whatever remove_random is bound to now.
    const Callee remover = lookup_callee("remove_random");
    if (cut.foreign_targets) {
        return remover.native ? remove_random_native(estimator.targets()) : remover.object(estimator.targets());
    }
    return remover.native ? text_list(remove_random(cut.targets)) : remover.object(text_list(cut.targets));
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
