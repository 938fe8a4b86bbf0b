// Binding of: find_XL_from_mgf.
//
// The six inputs are read first, each through its reader's name (named_reads.hpp). Then the
// search runs: while every function it can call is the module's own, natively on the native
// tables without the interpreter lock; otherwise with the lock held on NamespaceCalls, which looks
// each callee up as the call comes. A rebound callee is handed the tables as host objects: what a
// rebound reader returned, where one made the table.
#include <array>
#include <memory>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/named_calls.hpp"
#include "module/named_reads.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "search/cross_link_search.hpp"

namespace vombrelle::module {

namespace {

constexpr const char* kName = "find_XL_from_mgf";

// The search's ten tables, and the host objects of those a rebound reader returned. The tables
// stay where they are made: the links and NamespaceCalls know them by address.
struct SearchInputs {
    SearchTables tables;
    py::object ms1_object;  // a rebound read_ms_DtaZip's result
    std::array<std::unique_ptr<LinkedPsmTable>, 3> ms3_links;
    std::array<std::unique_ptr<LinkedPsmTable>, 3> rescue_links;
    std::shared_ptr<PsmRowStore> rows = std::make_shared<PsmRowStore>();  // of tables taken from host objects

    // Hands the host objects to `calls`, for the rebound callees.
    void adopt_into(NamespaceCalls& calls) {
        if (ms1_object) calls.set_ms1_object(tables.ms1, ms1_object);
        for (std::size_t i = 0; i < 3; ++i) {
            if (ms3_links[i]) calls.adopt(tables.psm.ms3[i], *ms3_links[i]);
            if (rescue_links[i]) calls.adopt(tables.psm.rescue[i], *rescue_links[i]);
        }
    }
};

// The six reads, one after the other in the order the search makes them: each reader is looked up
// when its turn comes, and the first failure is the one raised. While the three readers are the
// module's own, the reads are independent of one another; a reader of several inputs at once would
// take the place of this sequence for that case.
void read_inputs(const Arguments& a, SearchInputs& in) {
    in.tables.ms1 = read_dta_zip_by_name(a[1], in.ms1_object);
    const PsmReadArguments psm{a[7], a[9], a[10], a[13], a[14]};
    read_psm_by_name(a[5], psm, {in.tables.psm.ms3, in.ms3_links, {true, true, true}}, in.rows);
    // The rescue search's table of all confidences is passed to the MS2-search rescue and read by
    // nothing the module has.
    read_psm_by_name(a[6], psm, {in.tables.psm.rescue, in.rescue_links, {true, true, false}}, in.rows);
    // Nothing reads the peaks of the MS3 scans.
    in.tables.ms3 = read_mgf_by_name(a[3], PeakStorage::CheckOnly);
    in.tables.msn1_ms3 = read_mgf_by_name(a[4], PeakStorage::CheckOnly);
    in.tables.ms2 = read_mgf_by_name(a[2], PeakStorage::Keep);
}

HostNumber number(const Arguments& a, std::size_t i) {
    return number_from_py(a[i], Blame::argument(kName, signature(kName).params[i]));
}

py::object search(Arguments& a) {
    SearchInputs in;
    read_inputs(a, in);

    SearchArguments args;
    args.ms2_rescue = checked(PyObject_RichCompareBool(a[0].ptr(), py::str("YES").ptr(), Py_EQ)) == 1;
    args.linker_mass = number(a, 8);
    args.linker_dm = number(a, 11);
    args.linker_deficit = number(a, 12);

    NamespaceCalls calls;
    in.adopt_into(calls);
    const CrossLinkScoreMap map = run_with_callees(kSearchCallees, calls, [&](NamedCalls& c) {
        return find_cross_links(in.tables, args, c);
    });
    return score_map_to_python(map);
}

} // namespace

void register_search(py::module_& m) { define_function(m, signature(kName), search); }

} // namespace vombrelle::module
