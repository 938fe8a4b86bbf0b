#include "ms2_rescue/rescued_xl_builder.hpp"

#include "common/cross_link_scoring.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/mass_constants.hpp"
#include "common/scan_key.hpp"
#include "ms2_rescue/rescue_tier.hpp"

namespace vombrelle {

namespace {

using namespace ms2_rescue;

// The matched sequences name one peptide, surrounding white space aside.
bool one_sequence(const std::vector<std::string_view>& sequences, NamedCalls& calls) {
    std::vector<std::string_view> stripped;
    stripped.reserve(sequences.size());
    for (std::string_view s : sequences) stripped.push_back(strip(s));
    calls.uniq(stripped);
    return stripped.size() == 1;
}

void append_joined(std::string& out, const std::vector<std::string_view>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ';';
        out += items[i];
    }
}

// The first character of a confidence text (one code point).
std::string_view first_character(std::string_view text) {
    if (text.empty()) throw index_error("string index out of range");
    return text.substr(0, std::min(utf8_length(static_cast<unsigned char>(text[0])), text.size()));
}

} // namespace

void add_builder_reads(const std::array<HostNumber, 4>& scans, PsmReads& reads) {
    for (std::size_t i = kA1; i <= kB2; ++i) {
        if (const std::optional<std::int64_t> key = scan_key(scans[i])) (i <= kA2 ? reads.ms3 : reads.rescue).push_back(*key);
    }
}

RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& tables, NamedCalls& calls) {
    RescueCallState state;
    for (std::size_t i = kA1; i <= kB2; ++i) state.keys[i] = scan_key(r.scans[i]);
    TierPairs pairs;
    run_rescue_tier(r, tables.ms3.high, tables.rescue.high, state, pairs, calls);
    if (!state.matched) run_rescue_tier(r, tables.ms3.med_high, tables.rescue.med_high, state, pairs, calls);
    if (!state.matched || !one_sequence(pairs.sequences[0], calls) || !one_sequence(pairs.sequences[1], calls)) {
        return {"", HostNumber(0)};
    }

    state.remarks.push_back("MS2_Rescued_XL");
    calls.uniq(state.remarks);
    const ClassAndScore scored = class_by_points(state.pair_qvals, kRescueBelowLow);
    const HostNumber ms2_mz = mz_from_mh(r.ms2_mass, r.ms2_charge);

    std::string record;
    record.reserve(256);
    record += scored.cross_link_class;
    record += '\t';
    for (const ArmScanState& scan : state.scans) record += first_character(scan.confidence);
    record += '\t';
    // The side-B scans are printed as the rescue spectra were labelled: scan + 0.1.
    r.scans[kA1].append_text(record);
    record += ':';
    r.scans[kA2].append_text(record);
    record += ':';
    (r.scans[kB1] + HostNumber(0.1)).append_text(record);
    record += ':';
    (r.scans[kB2] + HostNumber(0.1)).append_text(record);
    record += ',';
    r.ms2_scan.append_text(record);
    record += '\t';
    r.ms2_mass.append_text(record);
    record += '\t';
    r.ms2_charge.append_text(record);
    record += '\t';
    ms2_mz.append_text(record);
    for (std::size_t side = 0; side < 2; ++side) {
        for (const auto* list : {&pairs.sequences[side], &pairs.accessions[side], &pairs.descriptions[side]}) {
            record += '\t';
            append_joined(record, *list);
        }
    }
    record += '\t';
    append_joined(record, state.remarks);
    return {std::move(record), scored.score};
}

} // namespace vombrelle
