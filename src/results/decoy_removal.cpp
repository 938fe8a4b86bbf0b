#include "results/decoy_removal.hpp"

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "results/fdr.hpp"

namespace vombrelle {

namespace {

using namespace scored_line_field;

std::vector<std::string_view> stripped_items(std::string_view field) {
    std::vector<std::string_view> items = split(field, ";");
    for (auto& item : items) item = strip(item);
    return items;
}

// Appends the side's kept identifiers, a tab and their descriptions.
void append_side(std::string& out, std::string_view ids_field, std::string_view desc_field) {
    const std::vector<std::string_view> ids = stripped_items(ids_field);
    const std::vector<std::string_view> descriptions = stripped_items(desc_field);
    std::vector<std::string_view> kept_ids, kept_descriptions;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (is_decoy_identifier(ids[i])) continue;
        kept_ids.push_back(ids[i]);
        if (i < descriptions.size()) kept_descriptions.push_back(descriptions[i]);
    }
    append_joined(out, kept_ids, ';');
    out.push_back('\t');
    append_joined(out, kept_descriptions, ';');
}

} // namespace

std::string remove_random_line(std::string_view line) {
    std::vector<std::string_view> fields = split(strip_except_tab(line), "\t");
    for (auto& f : fields) f = strip(f);
    if (fields.size() <= kDescriptionsB) throw index_error("list index out of range");

    std::string out;
    out.reserve(line.size() + 2);
    append_joined(out, std::span(fields).first(kAccessionsA), '\t');
    out.push_back('\t');
    append_side(out, fields[kAccessionsA], fields[kDescriptionsA]);
    out.push_back('\t');
    out.append(fields[kPeptideB]);
    out.push_back('\t');
    append_side(out, fields[kAccessionsB], fields[kDescriptionsB]);
    out.push_back('\t');
    append_joined(out, std::span(fields).subspan(kRemarks), '\t');
    out.push_back('\n');
    return out;
}

std::vector<std::string> remove_random(std::span<const std::string_view> lines) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (std::string_view line : lines) out.push_back(remove_random_line(line));
    return out;
}

} // namespace vombrelle
