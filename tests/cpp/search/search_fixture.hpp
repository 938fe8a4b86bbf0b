// Small fractions built by hand for the search tests, and calls by name that record what they are
// asked and answer from a script.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
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
        if (!e.selected) e.selected = row;
    }
};

// MS3 scans of one precursor, each with one own precursor of the given MH+ (NaN: its block never
// completed), labelled with the parent precursor that the pair `explained` of them explains
// (shifted by `shift` Da); the parent's peaks hold every MS3 m/z.
struct Group {
    std::vector<std::int64_t> scans;
    std::int64_t parent;
    std::vector<double> own;
    std::pair<std::size_t, std::size_t> explained;
    double shift = 0.0;
    std::string label = {};

    std::string own_header(std::size_t i) const { return header_of(own[i]); }
    double explained_mh(const Fraction& f) const {
        return mh_of(own_header(explained.first)) + mh_of(own_header(explained.second)) +
               f.args.linker_deficit.as_double() - kProtonMass;
    }
    Group& add_to(Fraction& f) {
        label = header_of(explained_mh(f) + shift);
        std::vector<double> peaks;
        for (std::size_t i = 0; i < scans.size(); ++i) {
            if (std::isnan(own[i])) {
                f.ms3(scans[i], label, {});
                continue;
            }
            f.ms3(scans[i], label, {own_header(i)});
            peaks.push_back(parse_float(split_whitespace(own_header(i))[0]));
        }
        f.ms2(parent, label, peaks);
        return *this;
    }
    // The peptide mass that pairs with `a_mass` under the linker, against `precursor_mh`.
    double partner(const Fraction& f, double a_mass, double precursor_mh = NAN) const {
        return (std::isnan(precursor_mh) ? mh_of(label) : precursor_mh) - a_mass - f.args.linker_mass.as_double() +
               kProtonMass;
    }
    // The group's record: `scan_text` defaults to its scans and parent, the precursor to its label.
    std::string record(const std::string& cls, const std::string& letters, const std::string& peptides,
                       const std::string& remarks = "", std::string scan_text = "", std::string precursor = "") const {
        if (scan_text.empty()) {
            for (std::size_t i = 0; i < scans.size(); ++i) scan_text += (i ? ":" : "") + std::to_string(scans[i]);
            scan_text += "," + std::to_string(parent);
        }
        if (precursor.empty()) {
            precursor = float_repr(mh_of(label)) + "\t1\t" + float_repr(parse_float(split_whitespace(label)[0]));
        }
        return cls + "\t" + letters + "\t" + scan_text + "\t" + precursor + "\t" + peptides + "\t" + remarks;
    }
};

// A four-scan group on the default linker_dm (30): A's arms a_long and a_long - 30, B's likewise;
// both crossed pairs explain the precursor.
inline Group four_scans(std::int64_t first, std::int64_t parent, double a_long = 600.25, double b_long = 800.5) {
    return Group{{first, first + 1, first + 2, first + 3}, parent, {a_long, a_long - 30, b_long, b_long - 30}, {0, 3}};
}

inline Psm psm(std::string seq, double mass, HostNumber q = 1.0, std::string confidence = "High",
               std::string protein = "1") {
    return Psm{std::move(seq), mass, q, std::move(confidence), "P" + protein, "d" + protein};
}

// Peptide fields of a record whose A and B have proteins P1/d1 and P2/d2.
inline std::string peptides(const std::string& a, const std::string& b) {
    return a + "\tP1\td1\t" + b + "\tP2\td2";
}

using Entries = std::vector<std::pair<std::string, std::string>>;

inline std::string masses_text(const Ms3MassList* list) {
    std::string out = "[";
    for (double m : *list) out += (out.size() > 1 ? "," : "") + float_repr(m);
    return out + "]";
}

// Calls by name that log each call, arguments included, as one line and answer from a script.
class RecordingCalls : public NamedCalls {
public:
    std::vector<std::string> log;
    std::deque<CrossLinkScoreMap> mismatch_answers;  // empty maps once these run out
    bool mismatch_returns = true;
    std::deque<PrecursorRescueResult> mass_answers;  // not found once these run out

    // "uniq a,b"
    void uniq(std::vector<std::string_view>& items) override {
        std::string line = "uniq ";
        for (std::size_t i = 0; i < items.size(); ++i) line += (i ? "," : "") + std::string(items[i]);
        log.push_back(line);
        uniq_in_place(items);
    }
    // "mismatch <spec_mode> <scans a1:a2:b1:b2> <MS2 scan> <MH+> <charge> <linker_mass> <deficit> <lists>"
    CrossLinkScoreMap rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables&, bool& returned) override {
        std::string line = "mismatch " + r.spec_mode.to_text() + " " + scans_text(r.scans) + " " + r.ms2_scan.to_text() +
                           " " + r.ms2_mass.to_text() + " " + r.ms2_charge.to_text() + " " + r.linker_mass.to_text() +
                           " " + r.linker_deficit.to_text() + " ";
        for (const Ms3MassList* l : r.mass_lists) line += masses_text(l);
        // Two places holding the very same list (the middle scan of a three-scan group).
        if (r.mass_lists[1] == r.mass_lists[2]) line += " same";
        log.push_back(line);
        returned = mismatch_returns;
        return next(mismatch_answers);
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest&, SearchPsmTables&) override {
        ADD_FAILURE() << "the search never calls the record builder itself";
        return {};
    }
    // "mass <scans> <MS2 scan> <m/z> <MH+> <charge> <deficit> <lists>"
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable&,
                                           const PsmMatchTable&) override {
        std::string line = "mass " + scans_text(r.scans) + " " + r.ms2_match_scan.to_text() + " " +
                           r.ms2_conv_mass.to_text() + " " + r.ms2_mass.to_text() + " " + r.ms2_charge.to_text() + " " +
                           r.linker_deficit.to_text() + " ";
        for (const Ms3MassList* l : r.mass_lists) line += masses_text(l);
        log.push_back(line);
        return next(mass_answers);
    }
    // The lines starting with `kind`.
    std::vector<std::string> calls(const std::string& kind) const {
        std::vector<std::string> out;
        for (const auto& line : log) {
            if (line.rfind(kind + " ", 0) == 0) out.push_back(line);
        }
        return out;
    }

private:
    static std::string scans_text(const std::array<HostNumber, 4>& scans) {
        return scans[0].to_text() + ":" + scans[1].to_text() + ":" + scans[2].to_text() + ":" + scans[3].to_text();
    }
    template <class T>
    static T next(std::deque<T>& answers) {
        if (answers.empty()) return T{};
        T out = std::move(answers.front());
        answers.pop_front();
        return out;
    }
};

// The map as (record, score text) pairs, in order.
inline Entries entries(const CrossLinkScoreMap& map) {
    Entries out;
    for (const auto& [k, v] : map) out.emplace_back(k, v.to_text());
    return out;
}

} // namespace vombrelle::search_test
