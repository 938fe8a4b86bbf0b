#include <gtest/gtest.h>

#include "common/host_text.hpp"
#include "common/mass_constants.hpp"
#include "search/cross_link_search.hpp"
#include "search/native_calls.hpp"

namespace vombrelle {
namespace {

// Counts the precursor-mass rescue's calls; everything else runs natively.
struct CountingCalls : NativeCalls {
    int mass_calls = 0;
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest&, const SpectrumTable&,
                                           const PsmMatchTable&) override {
        ++mass_calls;
        return {};
    }
};

SpectrumRecord spectrum(std::string header) { return {RecordKeys::IonMassTitleHeader, {"t"}, {std::move(header)}, {}}; }

// A four-scan group (A's arms 600.25 and 570.25, B's 800.5 and 770.5, all of charge 1) whose
// crossed pairs miss the precursor by 2 Da, an isotope error: the precursor-mass rescue is tried
// once each side has a scan in the High and Medium table, whichever of its two.
TEST(SearchRun, EitherArmScanOfASideQualifiesTheIsotopeRescue) {
    const double own[] = {600.25, 570.25, 800.5, 770.5};
    const std::string label = float_repr(own[0] + own[3] + 2.0 - kProtonMass + 2.0) + " 1";
    for (const auto& [a, b] : {std::pair{10, 12}, {11, 13}, {10, 11}}) {
        SearchTables t;
        t.ms2.insert_or_assign(9, spectrum(label));
        for (int i = 0; i < 4; ++i) {
            t.ms3.insert_or_assign(10 + i, spectrum(label));
            t.msn1_ms3.insert_or_assign(10 + i, spectrum(float_repr(own[i]) + " 1"));
        }
        t.psm.ms3.med_high.scans[a];
        t.psm.ms3.med_high.scans[b];
        CountingCalls calls;
        find_cross_links(t, {false, HostNumber(100.0), HostNumber(30.0), HostNumber(2.0)}, calls);
        EXPECT_EQ(calls.mass_calls, b == 11 ? 0 : 1) << a << " " << b;
    }
}

} // namespace
} // namespace vombrelle
