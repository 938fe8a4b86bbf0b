// One run of the rescue spectrum generation: from the four spectrum tables to the rescue MGF.
//
// The MS3 scans are grouped per MS2 precursor; a group whose MS3 masses do not pair up with its
// parent's precursor (a precursor mismatch) has its partner fragments derived from arm pairs of
// its scans, and every arm pair whose two partners are both found among the parent MS2 peaks
// yields one block per scan: the parent's deconvoluted spectrum relabelled with the partner.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/host_operand.hpp"
#include "common/scan_table.hpp"
#include "rescue_mgf/group_masses.hpp"
#include "rescue_mgf/rescue_mgf_writer.hpp"

namespace vombrelle::rescue_mgf {

struct RescueTables {
    SpectrumTable ms2;             // MS2 scans as acquired (peaks confirm the partners)
    SpectrumTable ms3;             // MS3 scans labelled with their parent MS2 precursor (peaks unused)
    SpectrumTable ms2_deconv;      // deisotoped, charge-deconvoluted MS2 scans (peaks written)
    SpectrumTable own_precursor;   // the same MS3 scans labelled with their own precursor (peaks unused)
};

// The peaks the run reads: the MS2 scans' (they confirm the partners) and the deconvoluted ones'
// (they are written). Those of the two MS3 tables it never reads.
struct RescuePeaks {
    PeakStorage ms2, ms3, ms2_deconv, own_precursor;
};
inline constexpr RescuePeaks kRescuePeaks{PeakStorage::Keep, PeakStorage::CheckOnly, PeakStorage::Keep,
                                          PeakStorage::CheckOnly};

// The four MGF files of a run, when the module's own reader reads them.
struct RescueInputs {
    std::string ms2;
    std::string ms3;
    std::string ms2_deconv;
    std::string own_precursor;
};

// Reads the four files at once. What is returned or raised is what reading them one by one in the
// run's order gives (MS2, MS3, deconvoluted MS2, own precursors: the first failure in that order
// is the one raised); the peaks of the two MS3 tables are checked, not kept.
RescueTables read_rescue_tables(const RescueInputs& files, unsigned threads = 0);

struct RescueArguments {
    // As the caller passed them: what is no number fails where the run first uses it.
    HostOperand linker_dm;       // Da, arm-form difference; only the two-scan arm-pair test uses it
    HostOperand linker_deficit;  // Da, added to two fragment MH+ to reach the precursor MH+
};

// Fills `pairs` with the unordered pairs of a group's masses for the pair test. Empty: every
// pair in position order, computed here.
using PairSource = std::function<void(const std::vector<double>& masses, MassPairs& pairs)>;

// Writes the blocks of every group, in ascending order of the groups' first scans.
void generate_rescue_spectra(const RescueTables& tables, const RescueArguments& args, const PairSource& pairs,
                             RescueMgfWriter& out);

// A file argument of the run: its name, the file it names (bytes as the file system takes them)
// and the argument as the caller wrote it, for messages (a name need not be valid text).
struct NamedPath {
    const char* argument;
    std::string path;
    std::string shown;
};

// Raises ValueError when `spec_file` is one of the inputs (the same file, by any path): writing
// it would destroy that input.
void refuse_overwriting_inputs(const NamedPath& spec_file, const std::vector<NamedPath>& inputs);

// The whole output step: the rescue MGF replaces `spec_file` only once it is complete, so a
// failed run leaves the old file (or none) in place.
void write_rescue_mgf(const std::string& spec_file, const RescueTables& tables, const RescueArguments& args,
                      const PairSource& pairs);

} // namespace vombrelle::rescue_mgf
