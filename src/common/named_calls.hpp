// Calls between the module's functions. The functions reach each other through the module's
// namespace by name, at the moment of the call, so a driver may rebind any of them. The core makes
// every such call through NamedCalls: the native implementation (search/native_calls.hpp) runs the
// module's own algorithms directly; the binding's implementation asks the namespace first and calls
// whatever is bound there, converting the tables to the host's objects and the result back.
//
// The requests carry what the caller passes, as the caller holds it; tables travel by reference,
// since the callee's default-inserting reads add entries that later calls and the caller see.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_text.hpp"
#include "common/number.hpp"
#include "common/ordered_map.hpp"
#include "common/psm.hpp"
#include "common/scan_table.hpp"

namespace vombrelle {

// The module functions the core calls by name.
enum class ModuleCall : std::uint8_t { Uniq, RescuePrecMismatch, FindXlsMs2Rescue, RescuePrecMass };
inline constexpr std::size_t kModuleCalls = 4;

// The name the module binds each to.
constexpr const char* call_name(ModuleCall call) {
    switch (call) {
        case ModuleCall::Uniq: return "uniq";
        case ModuleCall::RescuePrecMismatch: return "Rescue_PrecMismatch_XLs";
        case ModuleCall::FindXlsMs2Rescue: return "Vombrelle_FindXLs_MS2Rescue";
        case ModuleCall::RescuePrecMass: return "RescuePrecMass";
    }
    return "";
}

// The call graph, in one table: what each of those functions calls by name in turn (the
// dispatcher the builder, the builder uniq), and what the search calls itself.
inline constexpr ModuleCall kDispatcherCalls[] = {ModuleCall::FindXlsMs2Rescue};
inline constexpr ModuleCall kBuilderCalls[] = {ModuleCall::Uniq};
inline constexpr ModuleCall kSearchCalls[] = {ModuleCall::Uniq, ModuleCall::RescuePrecMismatch,
                                              ModuleCall::RescuePrecMass};
constexpr std::span<const ModuleCall> calls_made_by(ModuleCall call) {
    switch (call) {
        case ModuleCall::RescuePrecMismatch: return kDispatcherCalls;
        case ModuleCall::FindXlsMs2Rescue: return kBuilderCalls;
        case ModuleCall::Uniq:
        case ModuleCall::RescuePrecMass: break;
    }
    return {};
}

// A set of module functions.
class CallSet {
public:
    constexpr bool contains(ModuleCall call) const { return (bits_ & bit(call)) != 0; }
    constexpr void add(ModuleCall call) { bits_ |= bit(call); }

private:
    static constexpr unsigned bit(ModuleCall call) { return 1u << static_cast<unsigned>(call); }
    unsigned bits_ = 0;
};

// Every function a core that calls `direct` can reach: those and, transitively, what they call.
constexpr CallSet reachable(std::span<const ModuleCall> direct) {
    CallSet out;
    for (const ModuleCall call : direct) {
        if (out.contains(call)) continue;
        out.add(call);
        const CallSet further = reachable(calls_made_by(call));
        for (std::size_t c = 0; c < kModuleCalls; ++c) {
            if (further.contains(static_cast<ModuleCall>(c))) out.add(static_cast<ModuleCall>(c));
        }
    }
    return out;
}

// Cross-link record text -> score, in order of first insertion; setting a present key keeps its
// place. Scores are the host's numbers: a float in general, the integer 0 where an algorithm leaves
// its starting value.
using CrossLinkScoreMap = OrderedMap<std::string, HostNumber>;

// A group's MS3 precursor masses, one list per scan: the MH+ (Da) of each entry of the scan's
// header list in the msn-1 MS3 table, in list order.
using Ms3MassList = std::vector<double>;

// Rescue_PrecMismatch_XLs(spec_mode, four mass lists, four scans, MS2_scan, MS2_mass, MS2_charge,
// the six tables, linker_mass, linker_deficit).
struct MismatchRescueRequest {
    HostNumber spec_mode;                            // the group's size: 4, 3 or 2
    std::array<const Ms3MassList*, 4> mass_lists{};  // a1, a2, b1, b2 (never null)
    std::array<HostNumber, 4> scans;                 // a1, a2, b1, b2
    HostNumber ms2_scan;                             // the parent MS2 scan
    HostNumber ms2_mass;                             // precursor MH+ (Da)
    HostNumber ms2_charge;
    HostNumber linker_mass;                          // intact cross-linker (Da)
    HostNumber linker_deficit;                       // Da
};

// Vombrelle_FindXLs_MS2Rescue(four scans, MS2_match_scan, MS2_mass, MS2_charge, the six tables,
// linker_mass). Scans a1, a2 are looked up in the MS3 search's tables, b1, b2 in the rescue
// search's.
struct RescueBuilderRequest {
    std::array<HostNumber, 4> scans;
    HostNumber ms2_scan;
    HostNumber ms2_mass;     // Da
    HostNumber ms2_charge;
    HostNumber linker_mass;  // Da
};

// The builder's pair: a record text and its score, or ("", 0) with the integer 0.
struct RescueBuilderResult {
    std::string record;
    HostNumber score;
};

// RescuePrecMass(four scans, four mass lists, MS1_dict, MS2_match_scan, MS2_conv_mass, MS2_mass,
// MS2_charge, match_dict_med_high, linker_deficit).
struct PrecursorRescueRequest {
    std::array<HostNumber, 4> scans;                 // a1, a2, b1, b2
    std::array<const Ms3MassList*, 4> mass_lists{};  // element 0 of each is read
    HostNumber ms2_match_scan;
    HostNumber ms2_conv_mass;                        // measured precursor m/z
    HostNumber ms2_mass;                             // measured precursor MH+ (Da)
    HostNumber ms2_charge;
    HostNumber linker_deficit;                       // Da
};

// The triple: the found flag, "<m/z>:<MH+>" of the derived precursor (the caller splits it at ":"
// and reads both parts as floats), and the remarks; ("", "") texts when not found.
struct PrecursorRescueResult {
    bool found = false;
    std::string derived;
    std::string remarks;
};

class NamedCalls {
public:
    virtual ~NamedCalls() = default;

    // uniq(items): replaces `items` by the result. Texts a foreign `uniq` makes stay valid as long
    // as this object lives.
    virtual void uniq(std::vector<std::string_view>& items) = 0;

    // Rescue_PrecMismatch_XLs. The map it returns, or nothing for the host's null value (a
    // spec_mode that is none of 4, 2 and 3).
    virtual std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& request,
                                                                  SearchPsmTables& tables) = 0;

    // Vombrelle_FindXLs_MS2Rescue.
    virtual RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& request,
                                                    SearchPsmTables& tables) = 0;

    // RescuePrecMass. It only tests membership in `med_high`; `ms1` is the MS1 table of the
    // DTA-zip reader (a plain map).
    virtual PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable& ms1,
                                                   const PsmMatchTable& med_high) = 0;
};

} // namespace vombrelle
