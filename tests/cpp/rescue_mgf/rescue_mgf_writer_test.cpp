#include <gtest/gtest.h>

#include "common/errors.hpp"
#include "rescue_mgf/group_masses.hpp"
#include "rescue_mgf/rescue_mgf_writer.hpp"

namespace vombrelle::rescue_mgf {
namespace {

std::string write(const std::function<void(RescueMgfWriter&)>& body, std::size_t buffer = 1 << 20) {
    std::string out;
    RescueMgfWriter w([&](std::string_view s) { out.append(s); }, buffer);
    body(w);
    w.finish();
    return out;
}

const std::vector<Peak> kPeaks{{1303.6551, 87.0}, {120.08078, 311.5}, {175.11895, 1520.40625}};

TEST(RescueMgfWriter, QuotedFourScanBlock) {
    const std::string got = write([](RescueMgfWriter& w) {
        w.write_block("sample_07.2046.2046.3", TitleForm::Quoted, {652.84193, 2}, HostNumber(std::int64_t{2046}), 7,
                      kPeaks);
    });
    EXPECT_EQ(got,
              "BEGIN IONS\nTITLE=FILE: \"sample_07.2046.2046.3\"\nPEPMASS=652.84193\nCHARGE=2+\n"
              "RTINSECONDS=1000000\nSCANS=2046\n120.08078 311.5\n175.11895 1520.40625\n1303.6551 87.0\nEND IONS\n");
}

TEST(RescueMgfWriter, NumberFormsAndPlainTitles) {
    struct Row {
        double mz;
        HostNumber label;
        const char* expected_head;
    };
    for (const Row& r : {Row{500.0, HostNumber(std::int64_t{1002046}), "PEPMASS=500.0\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1002046\n"},
                         Row{750.5654125000001, HostNumber(2046.1), "PEPMASS=750.5654125000001\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=2046.1\n"},
                         Row{1e-05, HostNumber(1e16), "PEPMASS=1e-05\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1e+16\n"}}) {
        const std::string got = write([&](RescueMgfWriter& w) {
            w.write_block("a \"q\" \xC3\xA9", TitleForm::Plain, {r.mz, 1}, r.label, 1, {{100.2, 0.0}, {99.5, 1e-05}});
        });
        EXPECT_EQ(got, std::string("BEGIN IONS\nTITLE=FILE: a \"q\" \xC3\xA9\n") + r.expected_head +
                           "99.5 1e-05\n100.2 0.0\nEND IONS\n");
    }
}

TEST(RescueMgfWriter, EmptyPeakListAndParentsAlternating) {
    const std::string got = write(
        [](RescueMgfWriter& w) {
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 6, {{2.0, 3.0}});
            w.write_block("x", TitleForm::Plain, {1.5, 1}, HostNumber(std::int64_t{1}), 5, {});
        },
        /*buffer=*/16);  // flushed after every block
    const std::string head = "BEGIN IONS\nTITLE=FILE: x\nPEPMASS=1.5\nCHARGE=1+\nRTINSECONDS=1000000\nSCANS=1\n";
    EXPECT_EQ(got, head + "END IONS\n" + head + "2.0 3.0\nEND IONS\n" + head + "END IONS\n");
}

TEST(GroupMasses, HeadersAndPairTest) {
    const Precursor p = parse_precursor_header("1000.5 3");
    EXPECT_EQ(p.mh, 2999.48435);
    const ScanMasses two = parse_scan_masses(SpectrumRecord{RecordKeys::IonMassTitleHeader, {"t"}, {"800.4 2", "800.9 3"}, {}});
    ASSERT_EQ(two.masses.size(), 2u);
    EXPECT_NEAR(two.masses[0], 1599.792175, 1e-9);
    EXPECT_NEAR(two.masses[1], 2400.68435, 1e-9);
    EXPECT_EQ(two.charge, 3);  // of the final entry
    EXPECT_EQ(parse_scan_masses(SpectrumRecord{}).masses.size(), 0u);

    MassPairs pairs;
    all_mass_pairs({1.0, 2.0, 3.0}, pairs);
    EXPECT_EQ(pairs, (MassPairs{{1.0, 2.0}, {1.0, 3.0}, {2.0, 3.0}}));

    for (const char* bad : {"700.0", "700.0 +", "abc 2"}) {
        EXPECT_THROW(parse_precursor_header(bad), HostError) << bad;
    }
    // An MS3 scan's own precursor is read charge first, the parent's m/z first: with both
    // items malformed, each raises its own first item's error.
    auto message = [](Precursor (*parse)(std::string_view), const char* text) {
        try {
            parse(text);
        } catch (const HostError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(parse_precursor_header, "abc x"), "invalid literal for int() with base 10: 'x'");
    EXPECT_EQ(message(parse_parent_precursor, "abc x"), "could not convert string to float: 'abc'");
    EXPECT_EQ(parse_parent_precursor("1000.5 3").mh, 2999.48435);
    EXPECT_THROW(parse_parent_precursor("1000.5"), HostError);
}

} // namespace
} // namespace vombrelle::rescue_mgf
