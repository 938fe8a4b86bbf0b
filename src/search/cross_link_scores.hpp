// The search's cross-link record: its peptide fields and its text. Its scores and classes are
// common/cross_link_scoring.hpp's.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/cross_link_scoring.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"
#include "search/precursor_checks.hpp"

namespace vombrelle::search {

// The record's peptide fields: sequences, protein accessions and descriptions of A and of B.
struct PeptideFields {
    std::vector<std::string_view> a_seq, b_seq, a_id, b_id, a_desc, b_desc;

    void clear();
    // One accepted pair: both sequences, and the proteins of each side's PSM where one was read.
    void add_pair(std::string_view a, std::string_view b, const PsmRowTexts* a_psm, const PsmRowTexts* b_psm);
    // Each list reduced to its distinct entries through uniq, in the order the records' fields are
    // de-duplicated.
    void make_distinct(NamedCalls& calls);
};

// Appends the first character of a PSM confidence ("_" for a scan without one); the empty text
// has none and raises IndexError, as the interpreter's indexing does.
void append_confidence_letter(std::string& out, std::string_view confidence);

// Whether the sequences, each stripped, come down to exactly one distinct text: through uniq when
// `calls` is given, else directly.
bool one_stripped_sequence(const std::vector<std::string_view>& sequences, NamedCalls* calls,
                           std::vector<std::string_view>& scratch);

// The record's scan text: the MS3 scans joined by ":", then "," and the parent MS2 scan.
void set_scan_text(std::string& out, std::span<const std::int64_t> ms3_scans, std::int64_t parent);

// The 13 tab-separated fields of a cross-link record.
std::string record_text(std::string_view cross_link_class, std::string_view letters, std::string_view scan_text,
                        const Precursor& precursor, const PeptideFields& peptides,
                        const std::vector<std::string_view>& remarks);

} // namespace vombrelle::search
