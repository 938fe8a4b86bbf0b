// Conversions between the interpreter's objects and the result-filtering core: texts read from
// any iterable or mapping in its own order (the items that are no text as the core's item faults),
// scores kept as the very objects passed in, the tolerance and cut-off, and the interpreter's own
// sort, comparison and rounding for values the core cannot order or hold natively.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/number.hpp"
#include "results/item_faults.hpp"
#include "results/pair_consolidation.hpp"
#include "results/precursor_recheck.hpp"
#include "results/score_order.hpp"
#include "results/upper_limit.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// The texts of an iterable, as UTF-8 views into the string objects (kept alive here). Reading
// stops at the first item that is not a text; the error the interpreter raises for that item
// (calling `method` on it, then splitting at a tab) waits in `pending`, so that a caller
// processing items in order raises the failures of earlier items first.
struct TextList {
    std::vector<py::object> objects;
    std::vector<std::string_view> texts;
    std::vector<py::object> kept_bytes;  // of the texts that hold lone surrogates
    std::exception_ptr pending;

    void raise_pending() const {
        if (pending) std::rethrow_exception(pending);
    }
    // The item that ended the reading, after the texts (the list must outlive the faults).
    ItemFaults faults() const;
};

enum class Iteration {
    Lazy,          // items are used while iterating: a failing iteration waits like a bad item
    Materialized,  // the whole iterable is taken first (sorted()): a failing iteration raises at once
};

TextList read_texts(py::handle iterable, const char* method, Iteration mode);

// The interpreter's failure for an item that is not a text, found by doing to it what a line
// meets first: `method` ("strip" or "split"), then the split at a tab. Most objects lack the
// method; bytes have both and fail at the text separator instead.
std::exception_ptr not_a_text(py::handle item, const char* method);

// A mapping of record texts to scores, in the mapping's own iteration order. A key that is no
// text has an empty text and its position in `non_texts`: it fails only where it is used.
struct ScoreMap {
    std::vector<py::object> keys;
    std::vector<py::object> values;  // the score objects, passed back unchanged
    std::vector<std::string_view> texts;
    std::vector<HostOperand> scores;
    std::vector<std::size_t> non_texts;  // ascending
    std::vector<py::object> kept_bytes;

    // The keys that are no text, each failing as the interpreter splits it at a tab (the map must
    // outlive the faults).
    ItemFaults faults() const;
};

// The map is read through its keys() and then item by item, as the interpreter's algorithm reads
// it: an object without keys() (a list, None) raises AttributeError naming it.
ScoreMap read_score_map(py::handle mapping);

// The interpreter's sorted(..., reverse=True) over these objects, as positions.
DescendingSort python_sort(const std::vector<py::object>& values);
// The same over the core's numbers (for NaN, which only the interpreter's sort can place).
DescendingSort python_number_sort();

// A tolerance or cut-off: compared natively when it is the host's int or float within 64 bits, by
// the interpreter otherwise (another kind of number, an int beyond 64 bits, or a value it refuses).
UpperLimit upper_limit(py::handle limit);

// The text of round(values[i] + extra, 2), by the interpreter's own arithmetic.
ForeignRaise python_raise(const std::vector<py::object>& values);

// Masses read from the driver's residue and atom maps as the check needs them; each key is read
// from the map once per call.
class PyMassLookup : public MassLookup {
public:
    PyMassLookup(py::handle mass_dict, py::handle mod_dict) : mass_dict_(mass_dict), mod_dict_(mod_dict) {}
    HostOperand residue(std::string_view character) override;
    HostOperand atom(std::string_view key) override;
    // By the interpreter's arithmetic when "mm_H" is no number the core holds.
    HostOperand water_and_proton() override;

private:
    // `object`, when given, receives the value read.
    HostOperand read(py::handle map, std::string_view key, py::object* object = nullptr);
    HostOperand read_cached(std::unordered_map<std::string, HostNumber>& cache, py::handle map, std::string_view key,
                            py::object* object = nullptr);
    HostOperand held(py::handle value);

    py::handle mass_dict_;
    py::handle mod_dict_;
    // Sequences are nearly all ASCII letters: those masses sit in a table by byte.
    std::array<std::optional<HostNumber>, 128> ascii_residues_{};
    std::unordered_map<std::string, HostNumber> residues_;
    std::unordered_map<std::string, HostNumber> atoms_;
    std::deque<std::string> foreign_types_;  // names that foreign operands point into
};

} // namespace vombrelle::module
