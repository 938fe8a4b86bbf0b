// The PSM table reader on any valid UTF-8 text, split into lines at LF, CRLF and CR.
//   - The lines read alike with and without their line ends (the driver hands them with "\n").
//   - Without an error the tables nest: every scan, and every sequence of a scan, of the High
//     table is in the High-and-Medium table, and every one of that in the table of all.
//   - Every logged q-value belongs to a record of its table.
//   - Some inputs are read from a file as well (the quotes removed), which must give what the
//     file's unquoted lines give (the whole-file reading costs a 1 MiB block, so not every time).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/text_file.hpp"
#include "fuzz_support.hpp"
#include "readers/psm_table.hpp"

using namespace vombrelle;
using namespace vombrelle::fuzz;

namespace {

const std::unordered_map<std::string, std::string> kProteins = {
    {"P1", "MMMLVTDLTK"}, {"P2", "GGKGGK"}, {"P3", "MMÄLK"}, {"P4", "AKDEFK"}, {"", "K"}};

PsmReadOptions options(MapProteinLookup& proteins) {
    PsmReadOptions o;
    o.linkers.long_mass = HostOperand::of(100.5);
    o.linkers.short_mass = HostOperand::of(std::int64_t{50});
    o.linkers.long_tag = "(DSSO_long)";
    o.linkers.short_tag = "(DSSO_short)";
    o.proteins = &proteins;
    o.log_rescale_calls = true;
    return o;
}

std::string number(const HostNumber& n) { return n.is_int() ? std::to_string(n.as_int()) : bits(n.as_double()); }

// Everything a caller sees of the tables and the rescale log.
std::string dump(const PsmReadOutcome& out) {
    std::string s;
    for (std::size_t t = 0; t < 3; ++t) {
        const PsmMatchTable& table = out.tables[t];
        s += "table " + std::to_string(t) + " records " + std::to_string(table.record_count()) + "\n";
        for (const auto& [scan, entry] : table.scans) {
            s += " scan " + std::to_string(scan) + "\n  pep_seq";
            for (std::uint32_t row : entry.pep_seq) s += " [" + std::string(table.sequence(row)) + "]";
            s += "\n";
            for (const PsmRecord& r : entry.records) {
                const PsmRowTexts& x = table.texts(r.row);
                s += "  [" + std::string(x.sequence) + "] [" + std::string(x.accessions) + "] [" +
                     std::string(x.descriptions) + "] [" + std::string(x.confidence) + "] " + bits(r.pep_mass) + " " +
                     number(r.qval) + " id " + std::to_string(r.id) + "\n";
            }
            if (entry.selected) {
                s += "  selected [" + std::string(table.sequence(*entry.selected)) + "] after " +
                     std::to_string(entry.selected_after) + "\n";
            }
        }
        for (const PsmRescaleCall& c : out.rescale_calls[t]) {
            check(c.record < table.record_count(), "a logged q-value for a record the table does not have");
            s += " rescale " + bits(c.q_value) + " -> " + std::to_string(c.record) + "\n";
        }
    }
    return s;
}

// The error's kind, message and line; the source's name differs between a file and lines.
std::string error_text(const std::exception_ptr& error) {
    if (!error) return "none";
    try {
        std::rethrow_exception(error);
    } catch (const HostError& e) {
        const std::size_t line = e.context().rfind(", line ");
        return "kind " + std::to_string(static_cast<int>(e.kind())) + " [" + e.what() + "]" +
               (line == std::string::npos ? "" : e.context().substr(line));
    }
}

void check_nesting(const PsmTables& tables) {
    for (std::size_t t = 0; t + 1 < 3; ++t) {
        const PsmMatchTable& narrow = tables[t];
        const PsmMatchTable& wide = tables[t + 1];
        for (const auto& [scan, entry] : narrow.scans) {
            const PsmScanEntry* outer = wide.find(scan);
            check(outer != nullptr && outer->pep_seq.size() >= entry.pep_seq.size(),
                  "scan " + std::to_string(scan) + " of a narrower table missing or larger");
            for (const PsmRecord& r : entry.records) {
                check(wide.find_record(*outer, narrow.sequence(r.row)) != nullptr, "a sequence of a narrower table is missing");
            }
        }
    }
}

std::vector<std::string> split_lines(std::string_view text, bool keep_ends) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(pos, end - pos));
        if (end < text.size() && keep_ends) lines.back() += '\n';
        pos = end + (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

PsmReadOutcome read_lines(const std::vector<std::string>& lines, const PsmReadOptions& opts) {
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    return read_psm_lines(views, opts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t bad_start, bad_end;
    const char* reason;
    if (!check_utf8(text, bad_start, bad_end, reason)) return 0;
    MapProteinLookup proteins(kProteins);
    const PsmReadOptions opts = options(proteins);

    const PsmReadOutcome bare = read_lines(split_lines(text, false), opts);
    const PsmReadOutcome ended = read_lines(split_lines(text, true), opts);
    const std::string bare_dump = dump(bare);
    check(error_text(bare.error) == error_text(ended.error) && bare_dump == dump(ended),
          "lines read differently with their line ends: " + error_text(bare.error) + " / " + error_text(ended.error));
    if (!bare.error) check_nesting(bare.tables);

    if (size % 128 == 0) {
        const std::string path = write_scratch(text, "psms.txt");
        const PsmReadOutcome from_file = read_psm_file(path, opts);
        const std::vector<std::string> unquoted = read_unquoted_lines(path);
        const PsmReadOutcome from_lines = read_lines(unquoted, opts);
        check(error_text(from_file.error) == error_text(from_lines.error) && dump(from_file) == dump(from_lines),
              "a file reads differently from its unquoted lines: " + error_text(from_file.error) + " / " +
                  error_text(from_lines.error));
    }
    return 0;
}
