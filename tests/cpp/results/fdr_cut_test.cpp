#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "results/fdr_cut.hpp"

namespace vombrelle {
namespace {

// A ScoredCrossLinkLine of its own peptide pair; "random_P9" makes it a decoy.
std::string line(const std::string& score, const std::string& pep_a, const std::string& ids_a = "P1") {
    return score + "\t1\tHigh\tHHHH\t1:2:3:4,5\t1000.0\t3\t334.0\t" + pep_a + "\t" + ids_a + "\td1\tGGK\tP2\td2\t\tF1";
}

// The calls by name: the bound estimate answers `bound` step by step, then the module's own takes over.
struct RecordedCalls : FdrCutCalls {
    std::vector<bool> bound;
    int asked = 0;
    std::vector<std::vector<std::size_t>> estimated;
    std::vector<FdrCut> removed;

    bool native_estimate() override { return static_cast<std::size_t>(asked++) >= bound.size(); }
    bool estimate_passes(std::span<const std::size_t> lines) override {
        estimated.emplace_back(lines.begin(), lines.end());
        return bound[estimated.size() - 1];
    }
    void remove_random(const FdrCut& cut) override { removed.push_back(cut); }
};

UpperLimit cutoff(HostNumber value) { return {HostOperand::of(value), {}}; }

const std::string k50 = line("50", "AAK"), k40 = line("40", "PPK"), k30 = line("30", "RRK", "random_P9");

TEST(FilterXlFdr, KeepsTheLongestBestFirstPartWhoseEstimateIsAtOrBelowTheCutoff) {
    const std::vector<std::string_view> lines{k30, k50, k40};
    // 1 decoy pair in 3 is 33.33 percent: the whole list passes at that cut-off, not one step below.
    for (const auto& [limit, kept] : {std::pair{33.33, 3}, {std::nextafter(33.33, 0.0), 2}, {-1.0, 0}}) {
        RecordedCalls calls;
        const FdrCut cut = filter_XL_FDR(lines, {}, cutoff(limit), calls);
        EXPECT_EQ(cut.prefix, static_cast<std::size_t>(kept)) << limit;
        ASSERT_EQ(calls.removed.size(), kept > 0 ? 1u : 0u) << limit;  // remove_random once, on a passing part only
        if (kept > 0) {
            EXPECT_EQ(calls.removed[0].targets, (std::vector<std::string_view>{k50, k40}));
        }
    }
}

TEST(FilterXlFdr, ABoundEstimateIsAskedAboutTheSortedLinesLongestFirst) {
    const std::string k10 = line("10", "EEK");
    RecordedCalls calls;
    calls.bound = {false, true};
    const FdrCut cut = filter_XL_FDR(std::vector<std::string_view>{k10, k50, k40}, {}, cutoff(5), calls);
    EXPECT_EQ(calls.estimated, (std::vector<std::vector<std::size_t>>{{1, 2, 0}, {1, 2}}));
    EXPECT_TRUE(cut.foreign_targets && cut.prefix == 2 && calls.removed.size() == 1);

    RecordedCalls none;
    none.bound = {true};
    EXPECT_EQ(filter_XL_FDR({}, {}, cutoff(5), none).prefix, 0u);
    EXPECT_EQ(none.asked, 0);  // an empty list asks nothing by name
}

void expect_error(const std::function<void()>& call, ErrorKind kind, const std::string& message) {
    try {
        call();
        FAIL() << message;
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), kind) << message;
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(FilterXlFdr, FailsInTheHostsOrderScoresThenTheItemThatEndedTheListThenTheCutoff) {
    RecordedCalls calls;
    const ItemFaults ended_by_a_number({1}, [](std::size_t) { throw type_error("no text"); });
    const std::string bad = line("x", "AAK");
    expect_error([&] { filter_XL_FDR(std::vector<std::string_view>{bad}, ended_by_a_number, cutoff(5), calls); },
                 ErrorKind::Value, "could not convert string to float: 'x'");
    expect_error([&] { filter_XL_FDR(std::vector<std::string_view>{k50}, ended_by_a_number, cutoff(NAN), calls); },
                 ErrorKind::Type, "no text");
    expect_error([&] { filter_XL_FDR({}, {}, cutoff(NAN), calls); }, ErrorKind::Value, "FDR_cutoff must not be NaN");
    // A cut-off the core cannot hold is compared, by whoever can, with the 100 percent the cut
    // starts from, before any line is taken off; without the host's comparison it fails there.
    std::vector<double> compared;
    const UpperLimit fraction{HostOperand::foreign("Fraction"), [&](double x) { return compared.push_back(x), x <= 20.0; }};
    EXPECT_EQ(filter_XL_FDR(std::vector<std::string_view>{k30, k50, k40}, {}, fraction, calls).prefix, 2u);
    EXPECT_EQ(compared, (std::vector<double>{100.0, 33.33, 0.0}));
    expect_error([&] { filter_XL_FDR({}, {}, {HostOperand::foreign("str"), {}}, calls); }, ErrorKind::Type,
                 "'<=' not supported between instances of 'float' and 'str'");
    EXPECT_EQ(calls.asked, 1);
}

} // namespace
} // namespace vombrelle
