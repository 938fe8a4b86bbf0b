#include "readers/psm_table.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "common/cross_link_scoring.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/interruption.hpp"
#include "common/text_file.hpp"

namespace vombrelle {

namespace {

// The columns the reader needs, in the order their absence is reported.
enum Column : std::size_t { Scan, Confidence, Ambiguity, Sequence, Accessions, Descriptions, Mass, Modifications };
constexpr std::array<std::string_view, 8> kRequiredColumns = {
    "First Scan", "Confidence", "PSM Ambiguity", "Annotated Sequence",
    "Protein Accessions", "Protein Descriptions", "MH+ [Da]", "Modifications"};
constexpr std::string_view kQValueColumn = "Percolator q-Value";

// str.count(tag): non-overlapping occurrences. An empty tag (no formatted name gives one, but a
// caller of the core may) is found between every two characters and would never advance.
std::int64_t count_occurrences(std::string_view text, std::string_view tag) {
    if (tag.empty()) return char_count(text) + 1;
    std::int64_t n = 0;
    for (std::size_t pos = text.find(tag); pos != std::string_view::npos; pos = text.find(tag, pos + tag.size())) {
        ++n;
    }
    return n;
}

// The line without its double quotes; `scratch` holds the copy when it has any.
std::string_view without_quotes(std::string_view line, std::string& scratch) {
    if (line.find('"') == std::string_view::npos) return line;
    scratch.assign(line);
    scratch.erase(std::remove(scratch.begin(), scratch.end(), '"'), scratch.end());
    return scratch;
}

// What a row contributes once it passed the confidence and lysine tests.
struct AcceptedRow {
    std::int64_t scan = 0;
    std::string_view sequence, accessions, descriptions, ambiguity, confidence;
    double pep_mass = 0.0;  // Da
    HostNumber qval;
    double q_value = 0.0;   // as read, before rescaling
};

// A linker argument's error, met at a row that uses the argument: it is the argument's, so it
// leaves without the row's file and line.
struct LinkerArgumentError {
    std::exception_ptr error;
};

void raise_linker_failure(const DeferredFailure& failure) {
    if (failure) throw LinkerArgumentError{failure.error()};
}

void meet_linker_mass(const HostOperand& mass) {
    try {
        mass.meet(kLinkerMassUse);
    } catch (...) {
        throw LinkerArgumentError{std::current_exception()};
    }
}

} // namespace

bool TextProtein::contains(std::string_view residues) const {
    return text.find(residues) != std::string_view::npos;
}

std::int64_t TextProtein::index(std::string_view residues) const {
    return char_count(text.substr(0, text.find(residues)));
}

std::optional<bool> MapProteinLookup::ends_protein(std::string_view accession, std::string_view peptide,
                                                   std::string_view residues) {
    auto it = proteins_.find(std::string(accession));
    if (it == proteins_.end()) return std::nullopt;
    TextProtein protein{it->second};
    return peptide_ends_protein(protein, peptide, residues);
}

// Builds the three tables from lines fed one by one. Walk t (0: High, 1: High and Medium, 2: all)
// stays live until it meets an error: a row error of walk t ends walks t, t+1, t+2 (they would never
// run), while the walks before t go on, since their own later errors come first.
class PsmTableBuilder {
public:
    PsmTableBuilder(const PsmReadOptions& options, std::string source, bool from_file)
        : options_(options), source_(std::move(source)), from_file_(from_file),
          rows_(std::make_shared<PsmRowStore>()),
          tables_{PsmMatchTable(rows_), PsmMatchTable(rows_), PsmMatchTable(rows_)} {}

    // False once nothing later can change the outcome.
    bool wants_more() const { return live_ > 0; }

    void feed(std::string_view line, std::size_t line_no) {
        if (live_ == 0) return;
        if (!have_header_) {
            read_header(line, line_no);
            return;
        }
        // A blank line (often the last one) carries no row.
        if (strip(line).empty()) return;
        split(strip_except_tab(line), "\t", fields_);
        int first = 0;  // the first walk that meets the line's error, if any
        try {
            std::string_view confidence = field(Confidence);
            if (confidence == "Confidence") return;  // the header row, or a repeat of it
            const bool takes[3] = {confidence == "High", confidence != "Low", true};
            while (first < live_ && !takes[first]) ++first;
            if (first == live_) return;
            AcceptedRow row;
            row.confidence = confidence;
            if (!evaluate(row)) return;
            std::uint32_t id = rows_->add(row.sequence, row.accessions, row.descriptions, row.confidence);
            for (int t = first; t < live_; ++t) {
                if (takes[t]) store(t, row, id);
            }
        } catch (const LinkerArgumentError& e) {
            fail(first, e.error);
        } catch (HostError& e) {
            e.with_context(context(line_no));
            fail(first, std::current_exception());
        } catch (const Interruption&) {
            throw;  // no error of the row: the whole read stops
        } catch (...) {
            fail(first, std::current_exception());
        }
    }

    // A line that cannot even be read as text: every walk reaches it first in the High walk.
    void fail_line(std::exception_ptr error) { fail(0, std::move(error)); }

    PsmReadOutcome finish() {
        if (!have_header_ && !error_) error_ = std::make_exception_ptr(index_error("list index out of range"));
        PsmReadOutcome out;
        out.tables = std::move(tables_);
        out.rescale_calls = std::move(calls_);
        out.error = error_;
        return out;
    }

private:
    std::string_view field(std::size_t column) const {
        std::size_t i = columns_[column];
        if (i >= fields_.size()) throw index_error("list index out of range");
        return fields_[i];
    }
    std::string_view qvalue_field() const {
        if (*qvalue_column_ >= fields_.size()) throw index_error("list index out of range");
        return fields_[*qvalue_column_];
    }

    std::string context(std::size_t line_no) const {
        return from_file_ ? file_line_context(source_, line_no)
                          : "in " + source_ + ", line " + std::to_string(line_no);
    }

    void read_header(std::string_view line, std::size_t line_no) {
        have_header_ = true;
        std::vector<std::string_view> headers = split(strip_except_tab(line), "\t");
        auto position = [&](std::string_view name) -> std::optional<std::size_t> {
            auto it = std::find(headers.begin(), headers.end(), name);
            if (it == headers.end()) return std::nullopt;
            return static_cast<std::size_t>(it - headers.begin());
        };
        for (std::size_t c = 0; c < kRequiredColumns.size(); ++c) {
            auto at = position(kRequiredColumns[c]);
            if (!at) {
                fail(0, std::make_exception_ptr(value_error(py_repr(kRequiredColumns[c]) + " is not in list")
                                                    .with_context(context(line_no))));
                return;
            }
            columns_[c] = *at;
        }
        qvalue_column_ = position(kQValueColumn);
    }

    // The lysine test, then the parsing of an accepted row, in the order the fields are used.
    // False when the lysine test drops the row.
    bool evaluate(AcceptedRow& row) {
        row.sequence = field(Sequence);
        const auto marked = std::count(row.sequence.begin(), row.sequence.end(), 'k');
        if (marked == 0) return false;
        if (marked == 1 && row.sequence.back() == 'k' && !ends_a_protein(row.sequence, field(Accessions))) {
            return false;
        }
        row.scan = parse_int(field(Scan));
        row.accessions = field(Accessions);
        row.descriptions = field(Descriptions);
        row.ambiguity = field(Ambiguity);

        const PsmLinkers& linkers = options_.linkers;
        const double mass = parse_float(field(Mass));
        // The field is read before the name is formatted into its tag, as `field.count("(%s)" % name)`
        // evaluates them.
        const std::string_view modifications = field(Modifications);
        raise_linker_failure(linkers.long_tag_failure);
        const std::int64_t long_count = count_occurrences(modifications, linkers.long_tag);
        raise_linker_failure(linkers.short_tag_failure);
        const std::int64_t short_count = count_occurrences(modifications, linkers.short_tag);
        meet_linker_mass(linkers.long_mass);
        meet_linker_mass(linkers.short_mass);
        row.pep_mass = ((HostNumber(mass) - linkers.long_mass.right_of("*", HostNumber(long_count))) -
                        linkers.short_mass.right_of("*", HostNumber(short_count)))
                           .as_double();

        if (qvalue_column_) {
            row.q_value = parse_float(qvalue_field());
            row.qval = rescale_qval(row.q_value);
        } else if (row.confidence == "High") {
            row.qval = kHighQval;
        } else if (row.confidence == "Medium") {
            row.qval = kMediumQval;
        } else if (row.confidence == "Low") {
            row.qval = HostNumber(0);
        } else {
            // Without q-values the score has nothing to go on: refuse here rather than let the
            // search fail far from the cause.
            throw value_error("PSM confidence " + py_repr(row.confidence) +
                              " is none of 'High', 'Medium', 'Low' and the table has no " +
                              py_repr(kQValueColumn) + " column");
        }
        return true;
    }

    // A peptide whose only marked lysine is its last residue is kept only when it ends one of its
    // proteins (a lysine at a protein's C-terminus can carry the linker without a missed cleavage).
    bool ends_a_protein(std::string_view peptide, std::string_view accessions) {
        ProteinLookup* proteins = options_.proteins;
        if (proteins == nullptr) return false;
        std::string residues = is_ascii(peptide) ? ascii_upper(peptide) : upper(peptide);
        bool good = false;
        // Every accession is looked at, as the lookup may be any mapping.
        for (std::string_view piece : split(accessions, ";")) {
            std::optional<bool> ends = proteins->ends_protein(strip(piece), peptide, residues);
            if (ends && *ends) good = true;
        }
        return good;
    }

    void store(int t, const AcceptedRow& row, std::uint32_t id) {
        PsmMatchTable& table = tables_[static_cast<std::size_t>(t)];
        PsmScanEntry& entry = table.scans[row.scan];
        entry.pep_seq.push_back(id);
        PsmRecord* record = find_record(static_cast<std::size_t>(t), row.scan, entry, row.sequence);
        if (record == nullptr) {
            record = &entry.records.emplace_back();
            record->id = static_cast<std::uint32_t>(table.record_count_++);
            index_record(static_cast<std::size_t>(t), row.scan, entry, id);
        }
        record->row = id;
        record->pep_mass = row.pep_mass;
        record->qval = row.qval;
        if (row.ambiguity != "Rejected" && !entry.selected) {
            entry.selected = id;
            entry.selected_after = static_cast<std::uint32_t>(entry.records.size());
        }
        if (options_.log_rescale_calls && qvalue_column_) {
            calls_[static_cast<std::size_t>(t)].push_back({row.q_value, record->id});
        }
    }

    // Scans hold a handful of sequences, searched in place; a scan that holds many gets an index so
    // that a table of one scan and many sequences still reads in linear time.
    static constexpr std::size_t kIndexedFrom = 16;
    struct RecordKey {
        std::int64_t scan;
        std::string_view sequence;
        bool operator==(const RecordKey&) const = default;
    };
    struct RecordKeyHash {
        std::size_t operator()(const RecordKey& k) const {
            return std::hash<std::string_view>()(k.sequence) ^ (static_cast<std::size_t>(k.scan) * 0x9E3779B97F4A7C15ULL);
        }
    };

    PsmRecord* find_record(std::size_t t, std::int64_t scan, PsmScanEntry& entry, std::string_view sequence) {
        if (entry.records.size() < kIndexedFrom) {
            for (auto& r : entry.records) {
                if ((*rows_)[r.row].sequence == sequence) return &r;
            }
            return nullptr;
        }
        auto it = record_index_[t].find({scan, sequence});
        return it == record_index_[t].end() ? nullptr : &entry.records[it->second];
    }

    // Called once the record of row `id` was appended to `entry`.
    void index_record(std::size_t t, std::int64_t scan, const PsmScanEntry& entry, std::uint32_t id) {
        const std::size_t n = entry.records.size();
        if (n < kIndexedFrom) return;
        if (n == kIndexedFrom) {
            for (std::size_t i = 0; i + 1 < n; ++i) {
                record_index_[t].emplace(RecordKey{scan, (*rows_)[entry.records[i].row].sequence}, i);
            }
        }
        record_index_[t].emplace(RecordKey{scan, (*rows_)[id].sequence}, n - 1);
    }

    void fail(int t, std::exception_ptr error) {
        if (t >= live_) return;
        error_ = std::move(error);
        live_ = t;
        for (std::size_t k = static_cast<std::size_t>(t) + 1; k < calls_.size(); ++k) calls_[k].clear();
    }

    const PsmReadOptions& options_;
    std::string source_;
    bool from_file_;
    std::shared_ptr<PsmRowStore> rows_;
    PsmTables tables_;
    std::array<std::vector<PsmRescaleCall>, 3> calls_;
    std::array<std::unordered_map<RecordKey, std::size_t, RecordKeyHash>, 3> record_index_;
    std::exception_ptr error_;
    int live_ = 3;  // walks 0 .. live_-1 are still running

    bool have_header_ = false;
    std::array<std::size_t, kRequiredColumns.size()> columns_{};
    std::optional<std::size_t> qvalue_column_;
    std::vector<std::string_view> fields_;
};

PsmReadOutcome read_psm_file(const std::string& path, const PsmReadOptions& options) {
    TextLineReader reader(path);
    PsmTableBuilder builder(options, path, true);
    std::string unquoted;
    std::string_view line;
    // Once the outcome is settled the rest is still read: a decoding error anywhere in the file
    // comes before any row error.
    while (reader.next(line)) {
        if (!builder.wants_more()) continue;
        builder.feed(without_quotes(line, unquoted), reader.line_number());
    }
    return builder.finish();
}

std::vector<std::string> read_unquoted_lines(const std::string& path) {
    TextLineReader reader(path);
    std::vector<std::string> lines;
    std::string unquoted;
    std::string_view line;
    while (reader.next(line)) {
        std::string& text = lines.emplace_back(without_quotes(line, unquoted));
        if (reader.line_ended()) text.push_back('\n');
    }
    return lines;
}

PsmReadOutcome read_psm_lines(std::span<const std::string_view> lines, const PsmReadOptions& options,
                              std::optional<std::size_t> unreadable, std::exception_ptr unreadable_error) {
    PsmTableBuilder builder(options, "pep_matches", false);
    const std::size_t n = unreadable ? std::min(*unreadable, lines.size()) : lines.size();
    for (std::size_t i = 0; i < n && builder.wants_more(); ++i) {
        interruption_point();
        builder.feed(lines[i], i + 1);
    }
    if (unreadable) builder.fail_line(std::move(unreadable_error));
    return builder.finish();
}

PsmTables take_psm_tables(PsmReadOutcome&& outcome) {
    if (outcome.error) std::rethrow_exception(outcome.error);
    return std::move(outcome.tables);
}

} // namespace vombrelle
