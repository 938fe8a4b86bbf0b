// The PSM tables: for one export of the database search of the MS3 scans (or of the rescue
// spectra), per scan number the peptide sequences the search accepted, which one is selected, and
// one record per sequence. One export yields three tables that differ only in the confidences they
// accept (High; High and Medium; all); the tables share the row texts.
//
// The tables keep the key order the driver sees at the module boundary: scans in the order of
// their first accepted row; within a scan "pep_seq" first, then the sequence keys in the order of
// their first row, with "selected_pep" after the sequence keys that existed once the row that set
// it was stored (its own key may be older than keys stored since).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/errors.hpp"
#include "common/number.hpp"
#include "common/ordered_map.hpp"

namespace vombrelle {

// The texts of one accepted row, stored once whatever the number of tables that accept it.
struct PsmRowTexts {
    std::string_view sequence;      // "Annotated Sequence": lower-case letters mark modified residues
    std::string_view accessions;    // "Protein Accessions", the whole field ("P1; P2")
    std::string_view descriptions;  // "Protein Descriptions", the whole field
    std::string_view confidence;    // "Confidence" ("High", "Medium", "Low")
};

// Owns the row texts. Texts live in fixed blocks, so the views stay valid as rows are added.
class PsmRowStore {
public:
    std::uint32_t add(std::string_view sequence, std::string_view accessions, std::string_view descriptions,
                      std::string_view confidence);
    const PsmRowTexts& operator[](std::uint32_t row) const { return rows_[row]; }
    std::size_t size() const { return rows_.size(); }

private:
    std::string_view keep(std::string_view text);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t block_used_ = 0;
    std::size_t block_size_ = 0;
    std::vector<PsmRowTexts> rows_;
};

// One PSM: the final accepted row of its scan and sequence.
struct PsmRecord {
    std::uint32_t row = 0;   // its texts in the row store
    std::uint32_t id = 0;    // dense number within its table, in creation order; kept when replaced
    double pep_mass = 0.0;   // Da: MH+ less the cross-linker remnants the peptide carries
    HostNumber qval;         // grows with quality: 1 - q-value, or the confidence's fixed value
                             // (kHighQval, kMediumQval, or the integer 0 for "Low")
};

struct PsmScanEntry {
    std::vector<std::uint32_t> pep_seq;     // rows of every accepted sequence, in file order, repeats kept
    std::vector<PsmRecord> records;         // one per distinct sequence, in key order
    std::optional<std::uint32_t> selected;  // row of "selected_pep": the first accepted row not "Rejected"
    std::uint32_t selected_after = 0;       // number of sequence keys that precede "selected_pep"

    // The driver's tables are default-inserting maps: the search and the rescues read scans and keys
    // without asking first, and every such read of something absent leaves an entry holding the
    // empty text, which later membership tests (and the driver) see. These fields record them.
    bool made_by_read = false;         // made by reading a scan the table lacked: no key of the reader's
    bool pep_seq_text = false;         // made_by_read, and "pep_seq" was read: the key holds ""
    bool selected_text = false;        // "selected_pep" was read while absent: the key holds ""
    bool selected_text_first = false;  // made_by_read: "selected_pep" was added before "pep_seq"
    // The reader's entries, and those a read makes, are defaultdict(str)s. A driver may hand the
    // module plain dicts instead, which raise KeyError where a read would insert.
    bool keys_insert = true;
};

// entry["pep_seq"] as the host reads it: the rows of the entry's sequences. On an entry that a read
// made, the key is added holding the empty text, in which no sequence is found.
inline std::span<const std::uint32_t> read_pep_seq(PsmScanEntry& e) {
    if (e.made_by_read && !e.pep_seq_text) {
        if (!e.keys_insert) throw key_error(std::string("pep_seq"));
        e.pep_seq_text = true;
    }
    return e.pep_seq;
}

// entry["selected_pep"] as the host reads it: the selected row, if any. Reading it on an entry without
// one adds the key holding the empty text (after every key the entry has: "pep_seq" and the records).
inline std::optional<std::uint32_t> read_selected(PsmScanEntry& e) {
    if (!e.selected && !e.selected_text) {
        if (!e.keys_insert) throw key_error(std::string("selected_pep"));
        e.selected_text = true;
        e.selected_text_first = !e.pep_seq_text;
    }
    return e.selected;
}

// Scan number -> scan entry, hashed by scan.
class PsmMatchTable {
public:
    explicit PsmMatchTable(std::shared_ptr<const PsmRowStore> rows = {}) : rows_(std::move(rows)) {}

    const PsmScanEntry* find(std::int64_t scan) const { return scans.find(scan); }
    // `scan in table`: a membership test adds nothing.
    bool contains(std::int64_t scan) const { return scans.contains(scan); }
    // table[scan] as the host reads it: a scan the table lacks gets an empty entry, last in order
    // (a plain map raises KeyError instead).
    PsmScanEntry& read(std::int64_t scan) {
        if (PsmScanEntry* e = scans.find(scan)) return *e;
        if (!reads_insert) throw key_error(scan);
        PsmScanEntry& e = scans[scan];
        e.made_by_read = true;
        return e;
    }
    const PsmRowTexts& texts(std::uint32_t row) const { return (*rows_)[row]; }
    std::string_view sequence(std::uint32_t row) const { return (*rows_)[row].sequence; }
    // The record of `sequence` in `entry`, or nullptr.
    const PsmRecord* find_record(const PsmScanEntry& entry, std::string_view sequence) const {
        for (const auto& r : entry.records) {
            if (texts(r.row).sequence == sequence) return &r;
        }
        return nullptr;
    }
    std::size_t record_count() const { return record_count_; }
    const PsmRowStore& rows() const { return *rows_; }

    OrderedMap<std::int64_t, PsmScanEntry> scans;
    bool reads_insert = true;  // a defaultdict, as the reader makes it; false: a driver's plain dict

private:
    friend class PsmTableBuilder;
    std::shared_ptr<const PsmRowStore> rows_;
    std::size_t record_count_ = 0;
};

// Whether an arm scan of each side is a key of its side's table: a1 or a2 of `side_a`, and b1 or b2
// of `side_b` (keys in the order a1, a2, b1, b2; a scan without a key is in no table). Membership
// only: nothing is inserted.
inline bool each_side_has_a_scan(const PsmMatchTable& side_a, const PsmMatchTable& side_b,
                                 const std::array<std::optional<std::int64_t>, 4>& keys) {
    auto in = [](const PsmMatchTable& table, const std::optional<std::int64_t>& key) {
        return key && table.contains(*key);
    };
    return (in(side_a, keys[0]) || in(side_a, keys[1])) && (in(side_b, keys[2]) || in(side_b, keys[3]));
}

// The three tables of one export, in the order the readers return them.
struct PsmTables {
    PsmMatchTable high;      // confidence "High" only
    PsmMatchTable med_high;  // every confidence but "Low"
    PsmMatchTable all;       // every confidence

    PsmMatchTable& operator[](std::size_t i) { return i == 0 ? high : i == 1 ? med_high : all; }
    const PsmMatchTable& operator[](std::size_t i) const { return i == 0 ? high : i == 1 ? med_high : all; }
};

// The six tables one search call reads: those of the database search of the MS3 spectra and those
// of the search of the rescue spectra. The search and both rescues share them (and what their reads
// insert) for the whole call.
struct SearchPsmTables {
    PsmTables ms3;     // match_dict_high, match_dict_med_high, match_dict_all
    PsmTables rescue;  // MS2_match_dict_high, MS2_match_dict_med_high, MS2_match_dict_all
};

} // namespace vombrelle
