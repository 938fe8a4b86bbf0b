// Small fractions built by hand for the search tests, and calls by name that record what they are
// asked and answer from a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/host_text.hpp"
#include "common/mass_constants.hpp"
#include "common/uniq.hpp"
#include "search/cross_link_search.hpp"

namespace vombrelle::search_test {

inline SpectrumRecord spectrum(std::vector<std::string> headers, std::vector<double> peaks = {}) {
    SpectrumRecord r{RecordKeys::IonMassTitleHeader, {"t"}, std::move(headers), {}};
    for (double mz : peaks) r.peaks.push_back(Peak{mz, 100.0});
    return r;
}

// "<m/z> <charge>" of a precursor whose MH+ at charge 1 is `mh` (to the last bit or so).
inline std::string header_of(double mh) { return float_repr(mh) + " 1"; }
inline double mh_of(const std::string& header) { return mh_from_mz(parse_float(split_whitespace(header)[0]), 1); }

struct Psm {
    std::string seq;
    double mass = 0.0;
    HostNumber qval = 1.0;
    std::string confidence = "High";
    bool selectable = true;  // not "Rejected"
    std::string accessions = "P1";
    std::string descriptions = "d1";
};

struct Fraction {
    SearchTables tables;
    std::shared_ptr<PsmRowStore> rows = std::make_shared<PsmRowStore>();
    SearchArguments args{false, HostNumber(100.0), HostNumber(30.0), HostNumber(2.0)};

    Fraction() {
        for (PsmTables* t : {&tables.psm.ms3, &tables.psm.rescue}) {
            for (std::size_t i = 0; i < 3; ++i) (*t)[i] = PsmMatchTable(rows);
        }
    }

    // An MS3 scan labelled with its parent's precursor `label`, with its own precursors `own`.
    Fraction& ms3(std::int64_t scan, const std::string& label, std::vector<std::string> own) {
        tables.ms3.insert_or_assign(scan, spectrum({label}));
        tables.msn1_ms3.insert_or_assign(scan, spectrum(std::move(own)));
        return *this;
    }
    Fraction& ms2(std::int64_t scan, const std::string& header, std::vector<double> peaks) {
        tables.ms2.insert_or_assign(scan, spectrum({header}, std::move(peaks)));
        return *this;
    }
    // A PSM of the MS3 search in the tables its confidence enters.
    Fraction& psm(std::int64_t scan, const Psm& p) {
        PsmTables& t = tables.psm.ms3;
        if (p.confidence == "High") add(t.high, scan, p);
        if (p.confidence != "Low") add(t.med_high, scan, p);
        add(t.all, scan, p);
        return *this;
    }
    void add(PsmMatchTable& table, std::int64_t scan, const Psm& p) {
        PsmScanEntry& e = table.scans[scan];
        const std::uint32_t row = rows->add(p.seq, p.accessions, p.descriptions, p.confidence);
        e.pep_seq.push_back(row);
        bool replaced = false;
        for (PsmRecord& r : e.records) {
            if (table.sequence(r.row) == p.seq) {
                r = PsmRecord{row, r.id, p.mass, p.qval};
                replaced = true;
            }
        }
        if (!replaced) e.records.push_back(PsmRecord{row, 0, p.mass, p.qval});
        if (p.selectable && !e.selected) e.selected = row;
    }
};

// A four-scan group: peptide A seen with the long (a1) and the short (a2) arm, B likewise; both
// crossed pairs explain the precursor, and its peaks hold the four MS3 m/z values.
struct FourScanGroup {
    std::int64_t first;
    std::int64_t parent;
    double a_long = 600.25, b_long = 800.5;
    std::string label = {};  // the parent's precursor header

    std::array<std::string, 4> own(const Fraction& f) const {
        const double dm = f.args.linker_dm.as_double();
        return {header_of(a_long), header_of(a_long - dm), header_of(b_long), header_of(b_long - dm)};
    }
    // The precursor MH+ the crossed arms explain.
    double precursor(const Fraction& f) const {
        const auto o = own(f);
        return mh_of(o[0]) + mh_of(o[3]) + f.args.linker_deficit.as_double() - kProtonMass;
    }
    void add_to(Fraction& f) {
        const auto o = own(f);
        label = header_of(precursor(f));
        std::vector<double> peaks;
        for (std::int64_t i = 0; i < 4; ++i) {
            f.ms3(first + i, label, {o[i]});
            peaks.push_back(parse_float(split_whitespace(o[i])[0]));
        }
        f.ms2(parent, label, peaks);
    }
    // A peptide mass for B that pairs with `a_mass` under the linker.
    double b_mass(const Fraction& f, double a_mass) const {
        return mh_of(label) - a_mass - f.args.linker_mass.as_double() + kProtonMass;
    }
};

// Calls by name that log each call and answer from a script.
class RecordingCalls : public NamedCalls {
public:
    struct Mismatch {
        MismatchRescueRequest request;
        std::array<Ms3MassList, 4> lists;
    };
    std::vector<std::vector<std::string>> uniq_calls;
    std::vector<Mismatch> mismatch_calls;
    std::vector<PrecursorRescueRequest> mass_calls;
    std::vector<std::array<Ms3MassList, 4>> mass_call_lists;
    std::vector<std::string> order;  // "uniq", "mismatch", "mass"

    std::deque<CrossLinkScoreMap> mismatch_answers;  // empty maps once these run out
    bool mismatch_returns = true;
    std::deque<PrecursorRescueResult> mass_answers;  // not found once these run out

    void uniq(std::vector<std::string_view>& items) override {
        order.push_back("uniq");
        uniq_calls.emplace_back(items.begin(), items.end());
        uniq_in_place(items);
    }
    CrossLinkScoreMap rescue_prec_mismatch(const MismatchRescueRequest& request, SearchPsmTables&,
                                           bool& returned) override {
        order.push_back("mismatch");
        Mismatch m{request, {}};
        for (std::size_t i = 0; i < 4; ++i) m.lists[i] = *request.mass_lists[i];
        mismatch_calls.push_back(m);
        returned = mismatch_returns;
        if (mismatch_answers.empty()) return {};
        CrossLinkScoreMap out = std::move(mismatch_answers.front());
        mismatch_answers.pop_front();
        return out;
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest&, SearchPsmTables&) override {
        ADD_FAILURE() << "the search never calls the record builder itself";
        return {};
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable&,
                                           const PsmMatchTable&) override {
        order.push_back("mass");
        mass_calls.push_back(request);
        std::array<Ms3MassList, 4> lists;
        for (std::size_t i = 0; i < 4; ++i) lists[i] = *request.mass_lists[i];
        mass_call_lists.push_back(lists);
        if (mass_answers.empty()) return {};
        PrecursorRescueResult out = mass_answers.front();
        mass_answers.pop_front();
        return out;
    }
};

// The map as (record, score text) pairs, in order.
inline std::vector<std::pair<std::string, std::string>> entries(const CrossLinkScoreMap& map) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [k, v] : map) out.emplace_back(k, v.to_text());
    return out;
}

} // namespace vombrelle::search_test
