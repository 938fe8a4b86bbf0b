#include "common/cross_link_record.hpp"

#include "common/errors.hpp"
#include "common/named_calls.hpp"
#include "common/psm.hpp"
#include "common/uniq.hpp"

namespace vombrelle {

void append_confidence_letter(std::string& out, std::string_view confidence) {
    if (confidence.empty()) throw index_error("string index out of range");
    out.append(confidence.substr(0, utf8_length(static_cast<unsigned char>(confidence[0]))));
}

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

bool one_stripped_sequence(const std::vector<std::string_view>& sequences, DistinctBy by, NamedCalls& calls,
                           std::vector<std::string_view>& scratch) {
    scratch.clear();
    for (const std::string_view s : sequences) scratch.push_back(strip(s));
    if (by == DistinctBy::UniqByName) calls.uniq(scratch);
    else scratch = uniq(scratch);
    return scratch.size() == 1;
}

void append_scan_text(std::string& out, std::span<const HostNumber> ms3_scans, HostNumber parent) {
    for (std::size_t i = 0; i < ms3_scans.size(); ++i) {
        if (i != 0) out += ':';
        ms3_scans[i].append_text(out);
    }
    out += ',';
    parent.append_text(out);
}

std::string record_text(const CrossLinkRecord& r) {
    std::string out;
    out.reserve(160);
    out.append(r.cross_link_class);
    out += '\t';
    out.append(r.letters);
    out += '\t';
    out.append(r.scans);
    out += '\t';
    r.mh.append_text(out);
    out += '\t';
    r.charge.append_text(out);
    out += '\t';
    r.mz.append_text(out);
    const PeptideFields& p = r.peptides;
    for (const auto* list : {&p.a_seq, &p.a_id, &p.a_desc, &p.b_seq, &p.b_id, &p.b_desc}) {
        out += '\t';
        append_joined(out, *list, ';');
    }
    out += '\t';
    append_joined(out, r.remarks, ';');
    return out;
}

} // namespace vombrelle
