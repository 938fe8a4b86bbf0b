// Hand-built PSM tables for the rescue tests, filled the way the PSM reader fills them, and a
// NamedCalls that runs the native algorithms while noting every uniq input.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/psm.hpp"
#include "ms2_rescue/rescue_dispatch.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "search/native_calls.hpp"

namespace vombrelle::test {

struct Psm {
    std::string_view sequence;
    double pep_mass = 0.0;  // Da
    HostNumber qval = 0.995;
    std::string_view confidence = "High";
    std::string_view accessions = "P1";
    std::string_view descriptions = "protein one";
    bool rejected = false;
};

class PsmFixture {
public:
    PsmFixture() {
        for (PsmTables* search : {&tables.ms3, &tables.rescue}) {
            for (std::size_t i = 0; i < 3; ++i) (*search)[i] = PsmMatchTable(rows_);
        }
    }

    // As the reader stores a row: listed in "pep_seq", one record per sequence (the latest row's),
    // the first row that is not rejected selected.
    void add(PsmMatchTable& table, std::int64_t scan, const Psm& p) {
        const std::uint32_t row = rows_->add(p.sequence, p.accessions, p.descriptions, p.confidence);
        PsmScanEntry& entry = table.scans[scan];
        entry.pep_seq.push_back(row);
        PsmRecord* record = const_cast<PsmRecord*>(table.find_record(entry, p.sequence));
        if (record == nullptr) record = &entry.records.emplace_back();
        record->row = row;
        record->pep_mass = p.pep_mass;
        record->qval = p.qval;
        if (!p.rejected && !entry.selected) {
            entry.selected = row;
            entry.selected_after = static_cast<std::uint32_t>(entry.records.size());
        }
    }
    // Into the tables of one search that accept the PSM's confidence.
    void add(PsmTables& search, std::int64_t scan, const Psm& p) {
        if (p.confidence == "High") add(search.high, scan, p);
        if (p.confidence != "Low") add(search.med_high, scan, p);
        add(search.all, scan, p);
    }

    SearchPsmTables tables;

private:
    std::shared_ptr<PsmRowStore> rows_ = std::make_shared<PsmRowStore>();
};

class RecordingCalls : public NamedCalls {
public:
    void uniq(std::vector<std::string_view>& items) override {
        uniq_inputs.emplace_back(items.begin(), items.end());
        native.uniq(items);
    }
    CrossLinkScoreMap rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables& t, bool& returned) override {
        return native.rescue_prec_mismatch(r, t, returned);
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& t) override {
        return vombrelle::find_xls_ms2_rescue(r, t, *this);
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable& ms1,
                                           const PsmMatchTable& med_high) override {
        return native.rescue_prec_mass(r, ms1, med_high);
    }

    NativeCalls native;
    std::vector<std::vector<std::string>> uniq_inputs;
};

} // namespace vombrelle::test
