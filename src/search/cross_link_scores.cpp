#include "search/cross_link_scores.hpp"

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/uniq.hpp"

namespace vombrelle::search {

namespace {

void append_joined(std::string& out, const std::vector<std::string_view>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += ';';
        out.append(items[i]);
    }
}

} // namespace

void PeptideFields::clear() {
    for (auto* list : {&a_seq, &b_seq, &a_id, &b_id, &a_desc, &b_desc}) list->clear();
}

void PeptideFields::add_pair(std::string_view a, std::string_view b, const PsmRowTexts* a_psm,
                             const PsmRowTexts* b_psm) {
    a_seq.push_back(a);
    b_seq.push_back(b);
    if (a_psm != nullptr) {
        a_id.push_back(a_psm->accessions);
        a_desc.push_back(a_psm->descriptions);
    }
    if (b_psm != nullptr) {
        b_id.push_back(b_psm->accessions);
        b_desc.push_back(b_psm->descriptions);
    }
}

void PeptideFields::make_distinct(NamedCalls& calls) {
    for (auto* list : {&a_seq, &b_seq, &a_id, &b_id, &a_desc, &b_desc}) calls.uniq(*list);
}

void append_confidence_letter(std::string& out, std::string_view confidence) {
    if (confidence.empty()) throw index_error("string index out of range");
    out.append(confidence.substr(0, utf8_length(static_cast<unsigned char>(confidence[0]))));
}

bool one_stripped_sequence(const std::vector<std::string_view>& sequences, NamedCalls* calls,
                           std::vector<std::string_view>& scratch) {
    scratch.clear();
    for (const std::string_view s : sequences) scratch.push_back(strip(s));
    if (calls != nullptr) calls->uniq(scratch);
    else scratch = uniq(scratch);
    return scratch.size() == 1;
}

void set_scan_text(std::string& out, std::span<const std::int64_t> ms3_scans, std::int64_t parent) {
    out.clear();
    for (std::size_t i = 0; i < ms3_scans.size(); ++i) {
        if (i != 0) out += ':';
        append_int(out, ms3_scans[i]);
    }
    out += ',';
    append_int(out, parent);
}

std::string record_text(std::string_view cross_link_class, std::string_view letters, std::string_view scan_text,
                        const Precursor& precursor, const PeptideFields& peptides,
                        const std::vector<std::string_view>& remarks) {
    std::string out;
    out.reserve(160);
    out.append(cross_link_class);
    out += '\t';
    out.append(letters);
    out += '\t';
    out.append(scan_text);
    out += '\t';
    append_float_repr(out, precursor.mh);
    out += '\t';
    append_int(out, precursor.charge);
    out += '\t';
    append_float_repr(out, precursor.mz);
    for (const auto* list : {&peptides.a_seq, &peptides.a_id, &peptides.a_desc, &peptides.b_seq, &peptides.b_id,
                             &peptides.b_desc, &remarks}) {
        out += '\t';
        append_joined(out, *list);
    }
    return out;
}

} // namespace vombrelle::search
