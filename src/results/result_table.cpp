#include "results/result_table.hpp"

#include "common/cross_link_record.hpp"
#include "common/host_text.hpp"
#include "common/output_file.hpp"

#include <vector>

namespace vombrelle {

const std::string_view kResultTableHeader =
    "Score\t#CSMs\tScan_no(MS3a1:MS3a2:MS3b1:MS3b2,MS2)\tXL MH+\tz\tXL m/z\tPeptide A\tProtein_A id\t"
    "Protein_a description\tPeptide_B\tProtein_B id\tProtein_b description\tRemarks\tFraction";

void append_result_row(std::string& out, std::string_view line) {
    using namespace scored_line_field;
    const std::vector<std::string_view> fields = split(strip_except_tab(line), "\t");
    // The score and the count (only the score when there is no other), a tab, then the scans to
    // the last field.
    for (std::size_t i = kScore; i < fields.size() && i <= kCsmCount; ++i) {
        if (i > kScore) out.push_back('\t');
        out.append(fields[i]);
    }
    out.push_back('\t');
    for (std::size_t i = kScans; i < fields.size(); ++i) {
        if (i > kScans) out.push_back('\t');
        out.append(fields[i]);
    }
    out.push_back('\n');
}

void write_XL(std::span<const std::string_view> lines, const std::string& path) {
    OutputFile file(path);
    std::string buffer;
    buffer.reserve(1 << 16);
    buffer.append(kResultTableHeader).push_back('\n');
    for (std::string_view line : lines) {
        append_result_row(buffer, line);
        if (buffer.size() >= (1 << 16)) {
            file.write(buffer);
            buffer.clear();
        }
    }
    file.write(buffer);
    file.commit();
}

} // namespace vombrelle
