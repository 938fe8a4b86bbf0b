// PSM tables built by hand the way the PSM reader fills them, for the tests of what reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/psm.hpp"

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

// Owns the row texts of the tables it fills.
class PsmRows {
public:
    // A table whose rows live here.
    PsmMatchTable table() const { return PsmMatchTable(rows_); }

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

private:
    std::shared_ptr<PsmRowStore> rows_ = std::make_shared<PsmRowStore>();
};

} // namespace vombrelle::test
