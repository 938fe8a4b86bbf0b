#include "rescue_mgf/rescue_run.hpp"

#include <array>
#include <optional>

#include "common/cross_link_mass.hpp"
#include "common/output_file.hpp"
#include "common/errors.hpp"
#include "common/number.hpp"
#include "common/parent_lookup.hpp"
#include "common/rescue_scan_labels.hpp"
#include "readers/mgf.hpp"
#include "rescue_mgf/partner_derivation.hpp"
#include "common/scan_grouping.hpp"

namespace vombrelle::rescue_mgf {

namespace {

const std::vector<Peak> kNoPeaks;

class RescueRun {
public:
    RescueRun(const RescueTables& tables, const RescueArguments& args, const PairSource& pairs, RescueMgfWriter& out)
        : tables_(tables), args_(args), pairs_(pairs), out_(out), ms3_(tables.ms3, classes_),
          parents_(tables.ms2, classes_) {}

    void run() {
        walk_scan_groups(ms3_, [this](const Ms3ScanGroup& g) { return process(g); });
    }

private:
    // Returns whether the group used up its scans: a three- or two-scan group always does, a
    // four-scan group when its parent MS2 scan was found.
    bool process(const Ms3ScanGroup& group) {
        const std::optional<std::int64_t> parent = parents_.find(group.header_class, group.first());
        if (!parent) return group.size != GroupSize::Four;
        parent_ = *parent;
        if (take_own_precursors(group) && measure(group) && !explained_by_a_pair()) rescue(group);
        return true;
    }

    // Every scan must be in the own-precursor table with a precursor and a title: a scan that
    // has none can be neither measured nor written, and is no reason to give up on the run.
    bool take_own_precursors(const Ms3ScanGroup& group) {
        for (std::size_t i = 0; i < group.count(); ++i) {
            const SpectrumRecord* r = tables_.own_precursor.find(group.scans[i]);
            if (r == nullptr) return false;
            records_[i] = r;
        }
        for (std::size_t i = 0; i < group.count(); ++i) {
            if (records_[i]->headers.empty() || records_[i]->titles.empty()) return false;
        }
        return true;
    }

    // The MH+ of every precursor of the group and of its parent. The two-scan case reads its
    // parent's precursor first: which malformed header raises depends on that order.
    bool measure(const Ms3ScanGroup& group) {
        if (group.size == GroupSize::Two && !take_parent_precursor()) return false;
        masses_.clear();
        for (std::size_t i = 0; i < group.count(); ++i) {
            scans_[i] = parse_scan_masses(*records_[i]);
            masses_.insert(masses_.end(), scans_[i].masses.begin(), scans_[i].masses.end());
        }
        return group.size == GroupSize::Two || take_parent_precursor();
    }

    // A parent whose block never completed has no precursor to take.
    bool take_parent_precursor() {
        const SpectrumRecord& record = *tables_.ms2.find(parent_);
        if (record.headers.empty()) return false;
        ms2_ = parse_precursor(record.headers[0], PrecursorReading::BothThenMz);
        return true;
    }

    // True when two of the group's MS3 masses, joined by the linker, explain the precursor (or
    // when the precursor's MH+ is 0, which leaves nothing to measure a pair against).
    bool explained_by_a_pair() {
        if (pairs_) pairs_(masses_, pair_list_);
        else all_mass_pairs(masses_, pair_list_);
        if (pair_list_.empty()) return false;
        const double deficit = args_.linker_deficit.float_right_of("+");  // a deficit that is no number fails at the first pair
        if (ms2_.mh == 0.0) return true;
        for (const auto& [mi, mj] : pair_list_) {
            if (pair_explains(ms2_.mh, mi, mj, deficit)) return true;
        }
        return false;
    }

    void rescue(const Ms3ScanGroup& group) {
        const std::vector<Peak>& ms2_peaks = peaks_of(tables_.ms2, parent_);
        switch (group.size) {
            case GroupSize::Four:
                // Peptide B's fragments from peptide A's pair, written on B's scans; then the
                // reverse.
                try_pair(group, ms2_peaks, 0, 1, 2, 3);
                try_pair(group, ms2_peaks, 2, 3, 0, 1);
                break;
            case GroupSize::Three:
                try_pair(group, ms2_peaks, 0, 1, 0, 1);
                try_pair(group, ms2_peaks, 1, 2, 1, 2);
                break;
            case GroupSize::Two: {
                const auto first_lighter =
                    two_scan_arm_order(scans_[0].masses[0], scans_[1].masses[0], args_.linker_dm);
                if (!first_lighter) break;
                const ArmScan a = arm(0), b = arm(1);
                const ArmPartners partners = *first_lighter ? derive_partners(ms2_, a, b, args_.linker_deficit)
                                                            : derive_partners(ms2_, b, a, args_.linker_deficit);
                if (partners_confirmed(ms2_peaks, partners)) write_pair(group, 0, 1, partners);
                break;
            }
        }
    }

    ArmScan arm(std::size_t i) const { return ArmScan{scans_[i].masses[0], scans_[i].charge}; }

    // Derives the partners from the scans at positions (from1, from2) and, when both are found
    // among the MS2 peaks, writes them on the scans at positions (to1, to2).
    void try_pair(const Ms3ScanGroup& group, const std::vector<Peak>& ms2_peaks, std::size_t from1, std::size_t from2,
                  std::size_t to1, std::size_t to2) {
        const ArmPartners partners = derive_partners_in_order(ms2_, arm(from1), arm(from2), args_.linker_deficit);
        if (partners_confirmed(ms2_peaks, partners)) write_pair(group, to1, to2, partners);
    }

    // The first scan of a pair carries the short partner, the second the long one. A partner
    // whose charge came out below 1 is no precursor a search can use: its block is left out.
    void write_pair(const Ms3ScanGroup& group, std::size_t first, std::size_t second, const ArmPartners& partners) {
        write_block(group, first, partners.short_partner);
        write_block(group, second, partners.long_partner);
    }

    void write_block(const Ms3ScanGroup& group, std::size_t position, const Partner& partner) {
        if (partner.charge < 1) return;
        const std::int64_t scan = group.scans[position];
        out_.write_block(records_[position]->titles[0],
                         group.size == GroupSize::Four ? TitleForm::Quoted : TitleForm::Plain, partner,
                         rescue_spectrum_label(group.size, scan), parent_, peaks_of(tables_.ms2_deconv, parent_));
    }

    static const std::vector<Peak>& peaks_of(const SpectrumTable& table, std::int64_t scan) {
        const SpectrumRecord* r = table.find(scan);
        return r == nullptr ? kNoPeaks : r->peaks;
    }

    const RescueTables& tables_;
    const RescueArguments& args_;
    const PairSource& pairs_;
    RescueMgfWriter& out_;
    HeaderClasses classes_;
    Ms3HeaderTable ms3_;
    ParentLookup parents_;

    // Per group.
    std::int64_t parent_ = 0;
    Precursor ms2_{};
    std::array<const SpectrumRecord*, 4> records_{};
    std::array<ScanMasses, 4> scans_;
    std::vector<double> masses_;
    MassPairs pair_list_;
};

} // namespace

void generate_rescue_spectra(const RescueTables& tables, const RescueArguments& args, const PairSource& pairs,
                             RescueMgfWriter& out) {
    RescueRun(tables, args, pairs, out).run();
    out.finish();
}

RescueTables read_rescue_tables(const RescueInputs& files, unsigned threads) {
    std::vector<SpectrumTable> read = read_mgf_files({{files.ms2, kRescuePeaks.ms2},
                                                      {files.ms3, kRescuePeaks.ms3},
                                                      {files.ms2_deconv, kRescuePeaks.ms2_deconv},
                                                      {files.own_precursor, kRescuePeaks.own_precursor}},
                                                     threads);
    return RescueTables{std::move(read[0]), std::move(read[1]), std::move(read[2]), std::move(read[3])};
}

void refuse_overwriting_inputs(const NamedPath& spec_file, const std::vector<NamedPath>& inputs) {
    for (const NamedPath& input : inputs) {
        if (same_file(spec_file.path, input.path)) {
            throw value_error(std::string(spec_file.argument) + " " + spec_file.shown + " is the same file as " +
                              input.argument + " " + input.shown + "; refusing to overwrite an input");
        }
    }
}

void write_rescue_mgf(const std::string& spec_file, const RescueTables& tables, const RescueArguments& args,
                      const PairSource& pairs) {
    OutputFile file(spec_file);
    RescueMgfWriter out([&file](std::string_view bytes) { file.write(bytes); });
    generate_rescue_spectra(tables, args, pairs, out);
    file.commit();
}

} // namespace vombrelle::rescue_mgf
