#include "search/native_calls.hpp"


#include "common/uniq.hpp"
#include "ms2_rescue/rescue_dispatch.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"

namespace vombrelle {

void NativeCalls::uniq(std::vector<std::string_view>& items) { uniq_in_place(items); }

std::optional<CrossLinkScoreMap> NativeCalls::rescue_prec_mismatch(const MismatchRescueRequest& request,
                                                                   SearchPsmTables& tables) {
    return vombrelle::rescue_prec_mismatch(request, tables, *this);
}

RescueBuilderResult NativeCalls::find_xls_ms2_rescue(const RescueBuilderRequest& request, SearchPsmTables& tables) {
    return vombrelle::find_xls_ms2_rescue(request, tables, *this);
}

PrecursorRescueResult NativeCalls::rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable& ms1,
                                                    const PsmMatchTable& med_high) {
    if (!ms1_index_ || indexed_table_ != &ms1 || indexed_size_ != ms1.size()) {
        ms1_index_.emplace(ms1);
        indexed_table_ = &ms1;
        indexed_size_ = ms1.size();
    }
    return vombrelle::rescue_prec_mass(request, ms1, *ms1_index_, med_high);
}

} // namespace vombrelle
