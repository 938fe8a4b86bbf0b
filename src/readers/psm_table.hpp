// The PSM table reader: the tab-separated export of the database search, read into the three
// PsmMatchTables (High; High and Medium; all confidences) in one walk over the lines.
//
// Contract, per line after the header row (the header names the columns; a name's column is its
// first exact match):
//   - blank lines (empty once stripped) are skipped;
//   - the line loses every whitespace character but the tab at both ends and is split at tabs, so
//     empty first and last cells keep their columns;
//   - a row whose "Confidence" reads "Confidence" (a repeated header) enters no table; otherwise a
//     table accepts it by its confidence, then only if its "Annotated Sequence" holds a marked
//     lysine "k" and, when the only one is the final residue, the peptide first occurs at the
//     C-terminus of one of its proteins;
//   - an accepted row stores its sequence, record and selection in that table.
// The result, and the first error, are those of three walks over the lines made one table after
// the other (High, then High and Medium, then all): an error in the High walk wins over any error
// of the later walks, whatever the lines. Errors from a row carry the source and line.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/host_operand.hpp"
#include "common/host_text.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"

namespace vombrelle {

// The C-terminal lysine test: `peptide`, upper-cased to `residues`, occurs in the protein, and its
// first occurrence ends at the protein's last residue,
//     residues in protein and protein.index(residues) == len(protein) - len(peptide)
// with positions and lengths in characters. `Protein` answers contains(), index() and length():
// TextProtein below for a sequence held as text, the binding's adapter for a sequence of another
// type, which is asked exactly these questions in this order.
template <class Protein>
bool peptide_ends_protein(Protein& protein, std::string_view peptide, std::string_view residues) {
    return protein.contains(residues) && protein.index(residues) == protein.length() - char_count(peptide);
}

// A protein sequence held as UTF-8 text.
struct TextProtein {
    std::string_view text;

    bool contains(std::string_view residues) const;
    std::int64_t index(std::string_view residues) const;  // of the first occurrence; it must occur
    std::int64_t length() const { return char_count(text); }
};

// Where the reader finds protein sequences for the C-terminal lysine test.
class ProteinLookup {
public:
    virtual ~ProteinLookup() = default;
    // nullopt when `accession` is not a key; otherwise the lysine test (peptide_ends_protein) on
    // the stored protein.
    virtual std::optional<bool> ends_protein(std::string_view accession, std::string_view peptide,
                                             std::string_view residues) = 0;
};

// A lookup over a native accession -> sequence map.
class MapProteinLookup : public ProteinLookup {
public:
    explicit MapProteinLookup(const std::unordered_map<std::string, std::string>& proteins) : proteins_(proteins) {}
    std::optional<bool> ends_protein(std::string_view accession, std::string_view peptide,
                                     std::string_view residues) override;

private:
    const std::unordered_map<std::string, std::string>& proteins_;
};

// The cross-linker's two remnants as the rows use them: "pep_mass" = (MH+ - n_long * long_mass)
// - n_short * short_mass, n counting "(name)" in the "Modifications" field. A value the caller
// passed that cannot serve (a mass the arithmetic refuses, a name that does not format into its
// tag) fails where an accepted row first uses it, as the host would, but names no line, since
// nothing on the row is wrong.
struct PsmLinkers {
    HostOperand long_mass;   // Da
    HostOperand short_mass;  // Da
    std::string long_tag;    // "(name)" as the "Modifications" column writes the long remnant
    std::string short_tag;
    DeferredFailure long_tag_failure, short_tag_failure;  // of formatting the name into its tag
};

// How a row's "pep_mass" meets each linker mass: `n * mass` with the int count on the left, then
// `MH+ - that` with the float MH+ on the left.
inline constexpr OperandUse kLinkerMassUse[] = {{"*", HostNumber(1), true}, {"-", HostNumber(0.5), true}};

struct PsmReadOptions {
    PsmLinkers linkers;
    ProteinLookup* proteins = nullptr;  // nullptr: no accession is known
    // Keep, per table, every accepted row's q-value in walk order, so that a caller can rescale
    // them one by one (table by table) with its own function.
    bool log_rescale_calls = false;
};

// One q-value to rescale: the record it ends up in (the last call for a record wins).
struct PsmRescaleCall {
    double q_value;
    std::uint32_t record;  // PsmRecord::id in its table
};

struct PsmReadOutcome {
    PsmTables tables;
    // With log_rescale_calls and a "Percolator q-Value" column: per table, the calls the three
    // walks make up to the first error.
    std::array<std::vector<PsmRescaleCall>, 3> rescale_calls;
    // The first error of the three walks, or null. The tables are then incomplete.
    std::exception_ptr error;
};

// The q-value rescaled so that higher is better: the search's q-values run from 1 (worst) to 0
// (best) and are mapped linearly onto 0 to 1, by these operations in this order. For a double
// this is 1 - q to the last bit. The binding runs the same formula on the interpreter's own
// objects, for a q-value of any type.
template <class Number>
Number rescale_qval(const Number& qval) {
    const Number old_min(1), old_max(0), new_min(0), new_max(1);
    return ((qval - old_min) * (new_max - new_min)) / (old_max - old_min) + new_min;
}

// Reads the export at `path` (strict UTF-8, universal newlines), removing every double quote from
// every line first. Errors of the file itself (opening, decoding) are raised at once; so the whole
// file is read before a row error is reported.
PsmReadOutcome read_psm_file(const std::string& path, const PsmReadOptions& options);

// The export's lines as the host's text-mode readlines() gives them, with the double quotes
// removed as read_psm_file removes them: each line ends in "\n" except an unterminated last one.
// This is what a reader bound in the module's place is handed.
std::vector<std::string> read_unquoted_lines(const std::string& path);

// The same from lines held in memory (the first is the header row); no quote is removed. Line
// numbers in errors count from 1 at the header. `unreadable`, when set, is the 0-based index of a
// line that is not text and `unreadable_error` the error reading it raises; lines from there on
// are never reached.
PsmReadOutcome read_psm_lines(std::span<const std::string_view> lines, const PsmReadOptions& options,
                              std::optional<std::size_t> unreadable = std::nullopt,
                              std::exception_ptr unreadable_error = nullptr);

// The tables, or the outcome's error raised (for callers with nothing to rescale).
PsmTables take_psm_tables(PsmReadOutcome&& outcome);

} // namespace vombrelle
