// The entry of the MS2-search rescue (Rescue_PrecMismatch_XLs): hands an MS3 group whose masses miss
// their precursor to the rescued cross-link builder, once per assignment of its scans to the two
// searches, and collects the builder's (record, score) pairs.
//
// By the group's size (`spec_mode`, compared with 4, then 2, then 3 by the host's numeric equality):
//   4: (a1, a2, b1, b2), then the sides exchanged (b1, b2, a1, a2);
//   2: (a1, a2, b1, b2) once;
//   3: (a1, a2, b1', b2'), then (b1, b2, a1', a2'), where x' is the label under which a
//      three-scan group's rescue spectra carry scan x (common/rescue_scan_labels.hpp): the scans
//      in the builder's third and fourth places are the ones looked up in the rescue search's
//      tables. The label is the host's addition, so a float scan stays a float.
// Any other mode makes no call and returns no map (the host's null value).
//
// Every builder result is stored, the ("", 0) of a call that built no record too; a key met again
// keeps its place and takes the later score. The mass lists and linker_deficit take no part.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/named_calls.hpp"
#include "common/psm.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"

namespace vombrelle {

// One builder call of a mode: which of the request's scans (0 = a1 ... 3 = b2) go to the builder's
// four places, and whether the two in its rescue-search places carry the three-scan label.
struct BuilderCall {
    std::array<std::size_t, 4> positions;
    bool shifted;
};

// The modes a spec_mode is compared with, in the order compared.
std::span<const std::int64_t> spec_modes();

// The builder calls of `spec_mode`, in order; none for a spec_mode equal to none of the modes.
// A caller that converts tables for the dispatcher learns from these which scans it can read.
std::span<const BuilderCall> builder_calls(HostNumber spec_mode);

// The builder's four scans for one call (the shift is the host's addition: a float stays a float;
// an int past 64 bits raises OverflowError).
std::array<HostNumber, 4> builder_scans(const std::array<HostNumber, 4>& scans, const BuilderCall& call);

// The table keys the dispatcher's builder calls can read (none past a shift the dispatcher
// refuses).
PsmReads dispatcher_reads(const MismatchRescueRequest& request);

// Rescue_PrecMismatch_XLs. The builder is called through `calls` by name.
std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& request, SearchPsmTables& tables,
                                                      NamedCalls& calls);

} // namespace vombrelle
