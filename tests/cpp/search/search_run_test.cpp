#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "../common/call_recorder.hpp"
#include "common/errors.hpp"
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

// MS3 scans from 10 on under parent 9, with their own precursors (charge 1) and labelled with
// `precursor`; the parent's peaks hold every MS3 m/z.
struct Fraction {
    SearchTables t;
    std::shared_ptr<PsmRowStore> rows = std::make_shared<PsmRowStore>();
    const SearchArguments args{false, HostNumber(100.0), HostNumber(30.0), HostNumber(2.0)};
    double precursor = 0.0;

    Fraction() {
        for (std::size_t i = 0; i < 3; ++i) t.psm.ms3[i] = PsmMatchTable(rows);
    }
    Fraction(const std::vector<double>& own, double mh) : Fraction() { group(10, own, mh); }
    // MS3 scans from `first` on under parent `first` - 1.
    void group(std::int64_t first, const std::vector<double>& own, double mh) {
        precursor = mh;
        t.ms2.insert_or_assign(first - 1, spectrum(float_repr(mh) + " 1"));
        for (std::size_t i = 0; i < own.size(); ++i) {
            t.ms3.insert_or_assign(first + i, spectrum(float_repr(mh) + " 1"));
            t.msn1_ms3.insert_or_assign(first + i, spectrum(float_repr(own[i]) + " 1"));
            t.ms2.find(first - 1)->peaks.push_back({own[i], 1.0});
        }
    }
    // A PSM as the reader stores it, in the tables its confidence enters.
    void psm(std::int64_t scan, std::string_view seq, double mass, double q, std::string_view confidence) {
        for (std::size_t i = confidence == "High" ? 0 : confidence == "Low" ? 2 : 1; i < 3; ++i) {
            PsmScanEntry& e = t.psm.ms3[i].scans[scan];
            const std::uint32_t row = rows->add(seq, "P1", "d1", confidence);
            e.pep_seq.push_back(row);
            e.records.push_back(PsmRecord{row, 0, mass, q});
            if (!e.selected) e.selected = row;
        }
    }
};

// A's arms 600.25 and 570.25, B's 800.5 and 770.5: the crossed pairs miss the precursor by `miss` Da.
Fraction four_scans(double miss) { return Fraction({600.25, 570.25, 800.5, 770.5}, 600.25 + 770.5 + 2.0 - kProtonMass + miss); }

// An isotope error of 2 Da: the precursor-mass rescue is tried once each side has a scan in the
// High and Medium table, whichever of its two.
TEST(SearchRun, EitherArmScanOfASideQualifiesTheIsotopeRescue) {
    for (const auto& [a, b] : {std::pair{10, 12}, {11, 13}, {10, 11}}) {
        Fraction f = four_scans(2.0);
        f.t.psm.ms3.med_high.scans[a];
        f.t.psm.ms3.med_high.scans[b];
        CountingCalls calls;
        find_cross_links(f.t, f.args, calls);
        EXPECT_EQ(calls.mass_calls, b == 11 ? 0 : 1) << a << " " << b;
    }
}

// Every call the search makes by name is one the call table lets it reach: the MS2-search
// rescue (and through it the builder) and the precursor-mass rescue, each tried here.
TEST(SearchRun, CallsOnlyWhatTheCallTableNames) {
    CallRecorder calls;
    Fraction f = four_scans(2.0);
    f.t.psm.ms3.med_high.scans[10];
    f.t.psm.ms3.med_high.scans[12];
    const SearchArguments rescuing{true, f.args.linker_mass, f.args.linker_dm, f.args.linker_deficit};
    find_cross_links(f.t, rescuing, calls);
    const CallSet reached = reachable(kSearchCalls);
    for (const ModuleCall call : {ModuleCall::RescuePrecMismatch, ModuleCall::FindXlsMs2Rescue, ModuleCall::RescuePrecMass}) {
        EXPECT_NE(std::find(calls.made.begin(), calls.made.end(), call), calls.made.end()) << call_name(call);
    }
    for (const ModuleCall made : calls.made) EXPECT_TRUE(reached.contains(made)) << call_name(made);
}

// An empty entry for a1 in the High table (left by an earlier read) flags a1; the third tier
// agrees on a2's Medium PSM alone and pairs, but stores nothing: its read of a1 stays in the
// all-confidence table, and key 11 then regroups 11, 12, 13 as a three-scan group, which stores.
TEST(SearchRun, TheThirdTierStoresNothingButItsReadsStay) {
    Fraction f = four_scans(0.0);
    f.t.psm.ms3.high.read(10);
    const double b = f.precursor - 500.0 - 100.0 + kProtonMass;
    f.psm(11, "PEPkA", 500.0, 0.96, "Medium");
    f.psm(12, "PEPkB", b, 1.0, "High");
    f.psm(13, "PEPkB", b, 1.0, "High");
    NativeCalls calls;
    const CrossLinkScoreMap map = find_cross_links(f.t, f.args, calls);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at_position(0).first.rfind("Medium\tMHH\t11:12:13,9\t", 0), 0u) << map.at_position(0).first;
    EXPECT_TRUE(f.t.psm.ms3.all.contains(10) && f.t.psm.ms3.all.find(10)->made_by_read);
}

// Only a2 with b1 explains each precursor, so a1 and b2 are cleared to 0: neither has a PSM, not
// even where scan 0 has one, nor is one looked up under scan 0 (the entry such a read leaves
// would make the second group lose its record).
TEST(SearchRun, ClearedScansHaveNoPsm) {
    for (const bool scan_0 : {false, true}) {
        Fraction f;
        if (scan_0) f.psm(0, "PEPkA", 500.0, 1.0, "High");
        for (const auto& [first, b_long] : {std::pair{10, 800.5}, {20, 850.5}}) {
            f.group(first, {600.25, 570.25, b_long, 100.0}, 570.25 + b_long + 2.0 - kProtonMass);
            const double b = f.precursor - 500.0 - 100.0 + kProtonMass;
            for (int i = 0; i < 4; ++i) f.psm(first + i, i < 2 ? "PEPkA" : "PEPkB", i < 2 ? 500.0 : b, 1.0, "High");
        }
        NativeCalls calls;
        const CrossLinkScoreMap map = find_cross_links(f.t, f.args, calls);
        ASSERT_EQ(map.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const std::string scans = i == 0 ? "0:11:12:0,9" : "0:21:22:0,19";
            EXPECT_EQ(map.at_position(i).first.rfind("High\t_HH_\t" + scans + "\t", 0), 0u) << map.at_position(i).first;
            EXPECT_EQ(map.at_position(i).second.to_text(), "40.0");
        }
        EXPECT_EQ(f.t.psm.ms3.all.contains(0), scan_0);
    }
}

// Only a2 with b1 explains the precursor, so a1 is cleared: its High PSM does not open the High
// tier to side A, whose a2 is only Medium, and no read of that tier leaves an entry for a2.
TEST(SearchRun, AClearedScanIsInNoTable) {
    Fraction f({600.25, 570.25, 800.5, 100.0}, 570.25 + 800.5 + 2.0 - kProtonMass);
    f.psm(10, "PEPkA", 500.0, 1.0, "High");
    f.psm(11, "PEPkA", 500.0, 0.96, "Medium");
    f.psm(12, "PEPkB", f.precursor - 500.0 - 100.0 + kProtonMass, 1.0, "High");
    NativeCalls calls;
    EXPECT_EQ(find_cross_links(f.t, f.args, calls).size(), 1u);
    EXPECT_FALSE(f.t.psm.ms3.high.contains(11));
}

// A three-scan group whose first two scans are A's arm forms: q-values of 0.95 are Low, which
// stores nothing; a hair better is Medium.
TEST(SearchRun, ThreeScanClassBoundary) {
    for (const double q : {0.95, 0.96}) {
        Fraction f({600.25, 570.25, 800.5}, 570.25 + 800.5 + 2.0 - kProtonMass);
        f.psm(10, "PEPkA", 500.0, q, "Medium");
        f.psm(12, "PEPkB", f.precursor - 500.0 - 100.0 + kProtonMass, q, "Medium");
        NativeCalls calls;
        EXPECT_EQ(find_cross_links(f.t, f.args, calls).size(), q == 0.95 ? 0u : 1u) << q;
    }
}

// In a driver's plain dicts, the read of the middle scan, which has no PSM, raises KeyError: for
// the scan, or, where an earlier read left {}, for "pep_seq".
TEST(SearchRun, PlainDictsRaiseWhereAReadWouldInsert) {
    for (const bool left : {false, true}) {
        Fraction f({600.25, 570.25, 800.5}, 570.25 + 800.5 + 2.0 - kProtonMass);
        f.psm(10, "PEPkA", 500.0, 1.0, "High");
        f.psm(12, "PEPkB", f.precursor - 500.0 - 100.0 + kProtonMass, 1.0, "High");
        PsmMatchTable& all = f.t.psm.ms3.all;
        all.reads_insert = false;
        if (left) {
            all.scans[11].made_by_read = true;
            all.scans[11].keys_insert = false;
        }
        NativeCalls calls;
        try {
            find_cross_links(f.t, f.args, calls);
            ADD_FAILURE() << "no error";
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Key);
            EXPECT_EQ(e.key, left ? ErrorKey(std::string("pep_seq")) : ErrorKey(std::int64_t{11}));
        }
    }
}

} // namespace
} // namespace vombrelle
