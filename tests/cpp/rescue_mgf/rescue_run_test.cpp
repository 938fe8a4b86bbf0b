#include <gtest/gtest.h>

#include <regex>

#include "common/host_text.hpp"
#include "rescue_mgf/rescue_run.hpp"
#include "tables.hpp"

namespace vombrelle::rescue_mgf {
namespace {

using testing::record;

const LinkerArgument kDm = LinkerArgument::number(32.0);
const LinkerArgument kDeficit = LinkerArgument::number(50.0);
const std::string kParent = float_repr(mz_from_mh(3000.0, 4)) + " 4";

std::string own_header(double mass, int z) { return float_repr(mz_from_mh(mass, z)) + " " + std::to_string(z); }

// A fraction whose MS3 scans `scans` (with MH+ `masses`, charge 2) share the parent MS2 scan 10,
// whose peaks hold every partner the group's arm pairs can derive.
RescueTables group_fraction(const std::vector<std::int64_t>& scans, const std::vector<double>& masses) {
    RescueTables t;
    const double ms2_mass = parse_precursor_header(kParent).mh;
    std::vector<Peak> peaks;
    for (double m : masses) peaks.push_back({mz_from_mh(ms2_mass - ((m + 50.0) - kProtonMass), 2), 1.0});
    t.ms2.insert_or_assign(10, record({kParent}, peaks));
    t.ms2_deconv.insert_or_assign(10, record({"1 1"}, {{200.0, 2.0}, {100.0, 1.0}}));
    for (std::size_t i = 0; i < scans.size(); ++i) {
        t.ms3.insert_or_assign(scans[i], record({kParent}));
        t.own_precursor.insert_or_assign(scans[i], record({own_header(masses[i], 2)}, {}, {"s" + std::to_string(scans[i])}));
    }
    return t;
}

std::string run(const RescueTables& t, const PairSource& pairs = {}) {
    std::string out;
    RescueMgfWriter w([&](std::string_view s) { out.append(s); });
    generate_rescue_spectra(t, RescueArguments{kDm, kDeficit}, pairs, w);
    return out;
}

std::vector<std::string> titles_and_labels(const std::string& mgf) {
    std::vector<std::string> out;
    static const std::regex line("TITLE=FILE: (.*)\n(?:.*\n){3}SCANS=(.*)\n");
    for (auto it = std::sregex_iterator(mgf.begin(), mgf.end(), line); it != std::sregex_iterator(); ++it) {
        out.push_back((*it)[1].str() + "@" + (*it)[2].str());
    }
    return out;
}

TEST(RescueRun, FourScanGroupWritesBThenA) {
    const std::string out = run(group_fraction({20, 21, 22, 23}, {1000.0, 1032.0, 900.0, 932.0}));
    EXPECT_EQ(titles_and_labels(out),
              (std::vector<std::string>{"\"s22\"@22", "\"s23\"@23", "\"s20\"@20", "\"s21\"@21"}));
    EXPECT_NE(out.find("SCANS=22\n100.0 1.0\n200.0 2.0\nEND IONS\n"), std::string::npos);
}

TEST(RescueRun, ThreeScanGroupWritesBothOverlappingPairs) {
    const std::string out = run(group_fraction({20, 25, 30}, {1000.0, 1032.0, 1064.0}));
    EXPECT_EQ(titles_and_labels(out),
              (std::vector<std::string>{"s20@1000020", "s25@1000025", "s25@1000025", "s30@1000030"}));
}

TEST(RescueRun, FourScanGroupWithoutParentLeavesItsScansFree) {
    RescueTables t = group_fraction({20, 21, 22, 23, 24}, {1000.0, 1032.0, 900.0, 932.0, 964.0});
    // The MS2 parent sits between 20 and 21: only groups starting above it find it.
    auto node = std::move(*t.ms2.find(10));
    t.ms2.clear();
    t.ms2.insert_or_assign(20, std::move(node));
    EXPECT_EQ(titles_and_labels(run(t)),
              (std::vector<std::string>{"\"s23\"@23", "\"s24\"@24", "\"s21\"@21", "\"s22\"@22"}));
}

} // namespace
} // namespace vombrelle::rescue_mgf
