// A NamedCalls that runs the module's own algorithms and notes every call made by name, in order.
#pragma once

#include <vector>

#include "common/named_calls.hpp"
#include "search/native_calls.hpp"

namespace vombrelle {

class CallRecorder : public NativeCalls {
public:
    void uniq(std::vector<std::string_view>& items) override {
        made.push_back(ModuleCall::Uniq);
        NativeCalls::uniq(items);
    }
    std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables& t) override {
        made.push_back(ModuleCall::RescuePrecMismatch);
        return NativeCalls::rescue_prec_mismatch(r, t);
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& t) override {
        made.push_back(ModuleCall::FindXlsMs2Rescue);
        return NativeCalls::find_xls_ms2_rescue(r, t);
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable& ms1,
                                           const PsmMatchTable& med_high) override {
        made.push_back(ModuleCall::RescuePrecMass);
        return NativeCalls::rescue_prec_mass(r, ms1, med_high);
    }

    std::vector<ModuleCall> made;
};

} // namespace vombrelle
