#include "search/cross_link_scores.hpp"

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/uniq.hpp"

namespace vombrelle::search {

namespace {

const HostNumber kHighQ = 0.99;
const HostNumber kMediumQ = 0.95;

// The better of two q-values: the second only when it is greater.
HostNumber better(HostNumber first, HostNumber second) { return second > first ? second : first; }

// Points of one peptide's two q-values: 18 high, 8 medium, 3 low, nothing at 0 or below.
int peptide_points(const std::array<HostNumber, 2>& qvals) {
    int points = 0;
    for (const HostNumber q : qvals) {
        if (q > kHighQ) points += 18;
        else if (q > kMediumQ && q <= kHighQ) points += 8;
        else if (q > HostNumber(0) && q <= kMediumQ) points += 3;
    }
    return points;
}

// Multiplier of the triplet and pair scores from each peptide's q-value: both above a band for the
// top two, either one for the next two; 1 when no rule applies.
std::int64_t multiplier(HostNumber best_a, HostNumber best_b) {
    const bool a_high = best_a > kHighQ, b_high = best_b > kHighQ;
    const bool a_med = best_a > kMediumQ, b_med = best_b > kMediumQ;
    if (a_high && b_high) return 20;
    if (a_med && b_med) return 10;
    if (a_high || b_high) return 8;
    if (a_med || b_med) return 4;
    return 1;
}

void append_joined(std::string& out, const std::vector<std::string_view>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += ';';
        out.append(items[i]);
    }
}

} // namespace

ClassAndScore cross_link_score(const std::array<HostNumber, 2>& a_qvals, const std::array<HostNumber, 2>& b_qvals) {
    // sum() of each list starts from the integer 0.
    const HostNumber q = (HostNumber(0) + a_qvals[0] + a_qvals[1]) + (HostNumber(0) + b_qvals[0] + b_qvals[1]);
    const int a = peptide_points(a_qvals), b = peptide_points(b_qvals);
    const bool one_high = a >= 18 || b >= 18;
    if (a >= 18 && b >= 18) return {"High", q * HostNumber(20)};
    if (a >= 8 && b >= 8) return {"Medium", q * HostNumber(one_high ? 10 : 8)};
    if (a >= 6 && b >= 6) {
        if (one_high) return {"Low", q * HostNumber(4)};
        if (a >= 8 || b >= 8) return {"Low", q * HostNumber(2)};
        return {"Low", q};
    }
    return {"MS2_MedLow", HostNumber(0)};
}

HostNumber triplet_score(HostNumber a1, HostNumber a2, HostNumber b1, HostNumber b2) {
    const HostNumber sum = a1 + a2 + b1 + b2;
    const std::int64_t m = multiplier(better(a1, a2), better(b1, b2));
    return m == 1 ? sum : sum * HostNumber(m);
}

HostNumber pair_score(HostNumber a, HostNumber b, bool same_sequences) {
    const HostNumber sum = a + b;
    const std::int64_t m = multiplier(a, b);
    const HostNumber score = m == 1 ? sum : sum * HostNumber(m);
    return same_sequences ? score * HostNumber(2) : score;
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
