// Calls between the module's functions as the binding makes them. The host looks a callee up in
// the module namespace by name at the moment of each call and calls whatever is bound there; so
// does NamespaceCalls. A name still bound to the module's own function runs its native algorithm
// with this same object as its NamedCalls, so that the calls it makes in turn (dispatcher ->
// builder -> uniq) are looked up too. Anything else the driver bound there is called with the
// host's objects and its result converted back.
//
// How a function whose core makes such calls uses this (the rescues here; the search likewise):
//
//     NamespaceCalls calls;           // one per call of the module function, made with the lock held
//     calls.adopt(driver_tables);     // tables the driver handed in, if any (DriverPsmTables)
//     calls.adopt(table, link);       // the search: a PSM table a rebound wrapper returned
//     calls.set_ms1_object(ms1, obj); // the search: the host object of its MS1 table, when it has
//                                     // one (a rebound read_ms_DtaZip's result)
//     auto result = run_with_callees(reachable(kSearchCalls), NativeWork::Long, calls,
//                                    [&](NamedCalls& c) { return core(..., c); });
//
// The search's own tables (its readers' results) need no registration: they are linked when a
// rebound callee first needs them. run_with_callees asks once, at the start, whether every
// function the core can reach is still the module's own. Then nothing the core calls can run
// Python code, so no binding can change while it runs: the whole core runs on NativeCalls, the
// search's with the interpreter lock released (released(): the core must then touch no Python
// object), a rescue's, a few scans' worth, with the lock held. Otherwise the core runs with the
// lock held on `calls`, which looks every callee up as it comes.
//
// Tables cross to a rebound callee as host objects: the driver's own objects for tables the driver
// handed in, and for the module's own tables (the search's readers' results) objects made from
// them when first needed and reused for the rest of the call, the MS1 table's included. Before
// each such call the inserts native reads made are replayed into those objects; after it, the
// inserts the callee's reads made are taken back (LinkedPsmTable). A rebound uniq is handed only
// its list: the tables are not carried across for it.
#pragma once

#include <pybind11/pybind11.h>

#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/named_calls.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "module/convert_psm.hpp"
#include "module/py_support.hpp"
#include "search/native_calls.hpp"

namespace vombrelle::module {

namespace py = pybind11;

class NamespaceCalls final : public NamedCalls {
public:
    // Whether every function in `calls` is bound under its name to the module's own at this
    // moment. A name the driver deleted is not: the call that needs it raises NameError when it
    // comes.
    static bool own_functions(CallSet calls);

    // Tables the driver handed in: a rebound callee gets the driver's objects.
    void adopt(DriverPsmTables& tables);
    // One table whose host object is `link`'s (the driver's, or what a rebound reader returned).
    void adopt(const PsmMatchTable& table, LinkedPsmTable& link);
    // The MS1 table a rebound RescuePrecMass gets for `ms1`: `object` (the driver's, or a rebound
    // reader's result). Without it, one is made from `ms1` at the first such call and reused.
    void set_ms1_object(const SpectrumTable& ms1, py::handle object);

    void uniq(std::vector<std::string_view>& items) override;
    std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& request,
                                                          SearchPsmTables& tables) override;
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& request, SearchPsmTables& tables) override;
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable& ms1,
                                           const PsmMatchTable& med_high) override;

private:
    LinkedPsmTable& link(const PsmMatchTable& table);
    // The six tables as host objects, every native insert replayed into them.
    std::array<py::handle, 6> hand_over(SearchPsmTables& tables);
    // After a rebound callee: its reads' inserts, at the scans it can read, taken back.
    void take_back(SearchPsmTables& tables, const PsmReads& reads, const char* callee);
    py::handle ms1_object(const SpectrumTable& ms1);

    NativeCalls native_;  // keeps the MS1 index between the module's own precursor rescues
    std::unordered_map<const PsmMatchTable*, LinkedPsmTable*> links_;
    std::deque<LinkedPsmTable> own_links_;
    std::unordered_map<const SpectrumTable*, py::object> ms1_objects_;
    // The texts a rebound uniq returned, which the core holds as views.
    std::vector<py::object> kept_texts_;
    std::vector<py::object> kept_bytes_;
};

// A score map as a module function returns it: a defaultdict(str) of record texts -> scores, in
// the map's order.
py::object score_map_to_python(const CrossLinkScoreMap& map);

// How much work a core does natively: Short keeps the interpreter lock (giving it up would cost
// more than the work, call_interruptions.hpp), Long runs released().
enum class NativeWork { Short, Long };

// Runs `core(calls)` for a module function whose core can reach the functions `callees`: on
// NativeCalls when all of them are the module's own, else on `slow` with the lock held.
template <class Core>
auto run_with_callees(CallSet callees, NativeWork work, NamespaceCalls& slow, Core&& core) {
    if (NamespaceCalls::own_functions(callees)) {
        NativeCalls fast;
        auto native = [&]() -> decltype(auto) { return core(static_cast<NamedCalls&>(fast)); };
        if (work == NativeWork::Long) return released(native);
        return native();
    }
    return core(static_cast<NamedCalls&>(slow));
}

} // namespace vombrelle::module
