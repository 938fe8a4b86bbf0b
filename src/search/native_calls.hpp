// The module's own algorithms behind the calls-by-name interface: each call runs the native
// implementation directly, with this object as the callee's own NamedCalls, so that calls a callee
// makes in turn (the rescue dispatcher's builder, the builder's uniq) stay native too.
//
// The precursor-mass rescue finds MS1 scans through an index of the MS1 table, built at the first
// call and kept while later calls pass the same table object with the same number of scans. A
// table changed in place between calls through one NativeCalls object must keep its size for that
// to be noticed: build a new NativeCalls for a new or changed table.
#pragma once

#include <cstddef>
#include <optional>

#include "common/named_calls.hpp"
#include "search/precursor_rescue.hpp"

namespace vombrelle {

// Not final: a caller may stand in for one of the calls and leave the others native.
class NativeCalls : public NamedCalls {
public:
    void uniq(std::vector<std::string_view>& items) override;
    std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& request,
                                                          SearchPsmTables& tables) override;
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& request, SearchPsmTables& tables) override;
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable& ms1,
                                           const PsmMatchTable& med_high) override;

private:
    const SpectrumTable* indexed_table_ = nullptr;
    std::size_t indexed_size_ = 0;
    std::optional<Ms1ScanIndex> ms1_index_;
};

} // namespace vombrelle
