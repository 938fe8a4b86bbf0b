// Binding of: find_XL_from_mgf.
//
// The six inputs are read first, each through its reader's name (named_reads.hpp), at once where
// that reads what one after the other reads. Then the search runs: while every function it can
// call is the module's own, natively on the native tables without the interpreter lock; otherwise
// with the lock held on NamespaceCalls, which looks each callee up as the call comes. Reads and
// the native search run on worker threads while the caller waits (released()). A rebound
// callee is handed the tables as host objects: what a rebound reader returned, where one made the
// table.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/parallel_reads.hpp"

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/named_calls.hpp"
#include "module/named_reads.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "readers/mgf.hpp"
#include "readers/psm_table.hpp"
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

// The five reads after the archive's (both PSM exports, the MS3, msn-1 and MS2 files) together
// with the archive's members, all at once without the lock, when that gives what reading them one
// after the other gives: every reader the module's own, plain paths, and PSM questions that are
// pure (named_reads.hpp). Nothing of the driver's runs here before the reads; false when they
// cannot go at once, nothing read.
bool read_at_once(const Arguments& a, const PsmReadArguments& psm, std::optional<DtaZipReading>& ms1,
                  SearchInputs& in) {
    for (const char* reader : {"read_PD_PSM_results_tsv_wrapper", "read_PD_PSM_results", "rescale_qval", "read_ms_Mgf"}) {
        if (!own_function(reader)) return false;
    }
    if (!psm_questions_are_pure(psm)) return false;
    const std::optional<std::vector<std::string>> files = plain_paths({a[5], a[6], a[3], a[4], a[2]});
    if (!files) return false;
    // Options of each read's own, as each read one after the other makes them: an argument the
    // rows cannot use is an error object that its read completes with its file and line.
    ProteinMap proteins(psm.uniprot_dict);  // an exact dict of str to str: taken whole
    auto options = [&] {
        return psm_read_options(psm.linker_long, psm.linker_short, psm.long_name, psm.short_name, proteins.lookup());
    };
    const PsmReadOptions ms3_options = options(), rescue_options = options();
    const auto& f = *files;
    SearchTables& t = in.tables;
    std::vector<ParallelRead> reads;
    // The MGF files, the longest reads, start first (the MS2 file's, with its peaks, before all);
    // the archive, whose members several threads read, and the exports follow.
    std::vector<std::uint64_t> costs;
    if (ms1) {
        reads.emplace_back([&](auto&) { t.ms1 = ms1->read(); });
        costs.push_back(0);
    }
    reads.emplace_back([&](auto&) { t.psm.ms3 = take_psm_tables(read_psm_file(f[0], ms3_options)); });
    reads.emplace_back([&](auto&) { t.psm.rescue = take_psm_tables(read_psm_file(f[1], rescue_options)); });
    costs.insert(costs.end(), {0, 0});
    const MgfInput mgf[] = {{f[2], kSearchPeaks.ms3}, {f[3], kSearchPeaks.msn1_ms3}, {f[4], kSearchPeaks.ms2}};
    SpectrumTable* const into[] = {&t.ms3, &t.msn1_ms3, &t.ms2};
    for (std::size_t i = 0; i < 3; ++i) {
        reads.emplace_back([&, i](auto&) { *into[i] = read_mgf(mgf[i].path, mgf[i].peaks); });
        costs.push_back(mgf_read_cost(mgf[i]));
    }
    released([&] { run_reads(reads, {}, 0, costs); });
    return true;
}

// The six reads in the order the search makes them, each reader looked up when its turn comes,
// the first failure the one raised: at once where that gives the same (read_at_once), else one
// after the other. The archive's skipped members are printed before anything else is read.
void read_inputs(const Arguments& a, SearchInputs& in) {
    std::optional<DtaZipReading> ms1 = open_dta_zip_by_name(a[1], in.tables.ms1, in.ms1_object);
    const PsmReadArguments psm{a[7], a[9], a[10], a[13], a[14]};
    if (read_at_once(a, psm, ms1, in)) return;
    if (ms1) in.tables.ms1 = released([&] { return ms1->read(); });
    read_psm_by_name(a[5], psm, {in.tables.psm.ms3, in.ms3_links, {true, true, true}}, in.rows);
    // The rescue search's table of all confidences is passed to the MS2-search rescue and read by
    // nothing the module has.
    read_psm_by_name(a[6], psm, {in.tables.psm.rescue, in.rescue_links, {true, true, false}}, in.rows);
    in.tables.ms3 = read_mgf_by_name(a[3], kSearchPeaks.ms3);
    in.tables.msn1_ms3 = read_mgf_by_name(a[4], kSearchPeaks.msn1_ms3);
    in.tables.ms2 = read_mgf_by_name(a[2], kSearchPeaks.ms2);
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
    const CrossLinkScoreMap map = run_with_callees(reachable(kSearchCalls), NativeWork::Long, calls, [&](NamedCalls& c) {
        return find_cross_links(in.tables, args, c);
    });
    SearchTables& t = in.tables;
    released([&] { free_at_once(t.ms1, t.psm, t.ms3, t.msn1_ms3, t.ms2); });
    return score_map_to_python(map);
}

} // namespace

void register_search(py::module_& m) { define_function(m, signature(kName), search); }

} // namespace vombrelle::module
