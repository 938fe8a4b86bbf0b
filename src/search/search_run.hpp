// What the roads of one search call share: its tables, arguments and calls, the record map it
// returns, and the steps every group takes, named in the order of the contract
// (cross_link_search.hpp). Each road (four_scan_groups.hpp, three_scan_groups.hpp,
// two_scan_groups.hpp) keeps its own lists; a group's measurement is the one thing they read here.
// Internal to the search; find_cross_links is its entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/parent_lookup.hpp"
#include "common/scan_grouping.hpp"
#include "search/cross_link_search.hpp"
#include "search/precursor_checks.hpp"

namespace vombrelle::search {

class SearchRun {
public:
    SearchRun(SearchTables& tables, const SearchArguments& args, NamedCalls& calls);

    // Hands every MS3 scan group whose first scan carries a precursor to `road`, whose answer says
    // whether the group stored its record (and so used up its scans); returns the records.
    CrossLinkScoreMap walk(const GroupHandler& road);

    // A group as measured: its scans' own MH+ lists, its parent's precursor, the pair test.
    struct Measurement {
        GroupMasses masses;
        Precursor precursor;
        PairTest pairs;
    };

    // The parent MS2 scan, when the group has one and all its scans are in the msn-1 table.
    std::optional<std::int64_t> parent_and_msn1(const Ms3ScanGroup& group) const;
    // The group's masses, its parent's precursor and the pair test, in that order.
    const Measurement& measure(std::span<const std::int64_t> scans, std::int64_t parent);
    // The Rescue_PrecMismatch_XLs hand-off of a group no pair explains, the lists and scans given in
    // the callee's roles a1, a2, b1, b2; returns whether records were copied.
    bool rescue_mismatch(std::int64_t spec_mode, const std::array<const Ms3MassList*, 4>& lists,
                         const std::array<std::int64_t, 4>& scans, std::int64_t parent);
    // Whether the measured MS3 precursor m/z values show up among the parent's peaks `needed` times.
    bool signature_peaks(std::int64_t parent, std::size_t needed) const;
    // Stores a record: result[text] = score.
    void store(std::string&& record, HostNumber score) { result_.insert_or_assign(std::move(record), score); }

    SearchTables& tables() const { return tables_; }
    const SearchArguments& args() const { return args_; }
    NamedCalls& calls() const { return calls_; }
    double linker_mass() const { return linker_mass_; }  // Da

private:
    SearchTables& tables_;
    const SearchArguments& args_;
    NamedCalls& calls_;
    double linker_mass_;
    double linker_deficit_;

    HeaderClasses classes_;
    Ms3HeaderTable ms3_;
    ParentLookup parents_;
    CrossLinkScoreMap result_;

    Measurement measured_;
};

} // namespace vombrelle::search
