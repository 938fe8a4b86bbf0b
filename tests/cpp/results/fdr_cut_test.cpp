#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "results/fdr_cut.hpp"

namespace vombrelle {
namespace {

// A ScoredCrossLinkLine of its own peptide pair; "random_P9" makes it a decoy.
std::string line(const std::string& score, const std::string& ids_a = "P1") {
    return score + "\t1\tHigh\tHHHH\t1:2:3:4,5\t1000.0\t3\t334.0\tAAK" + score + "\t" + ids_a + "\td1\tGGK\tP2\td2\t\tF1";
}

struct OwnEstimate : FdrCutCalls {
    int removals = 0;
    bool native_estimate() override { return true; }
    bool estimate_passes(std::span<const std::size_t>) override { return false; }
    void remove_random(const FdrCut&) override { ++removals; }
};

UpperLimit cutoff(double value) { return {HostOperand::of(value), {}}; }

TEST(FilterXlFdr, RemoveRandomIsCalledOnceForAPassingPartOnly) {
    const std::string decoy = line("30", "random_P9"), target = line("50");
    // Best first: the target alone is 0.0 percent, with the decoy 50.0.
    for (const auto& [limit, removals] : {std::pair{0.0, 1}, {-1.0, 0}}) {
        OwnEstimate calls;
        filter_XL_FDR(std::vector<std::string_view>{decoy, target}, {}, cutoff(limit), calls);
        EXPECT_EQ(calls.removals, removals) << limit;
    }
}

// An item that is no text ends the list the caller could read: it fails after the lines before it
// have their scores, before the cut-off is compared.
TEST(FilterXlFdr, TheItemThatEndedTheListFailsAfterTheScoresBeforeTheCutoff) {
    const ItemFaults ended_by_a_number({1}, [](std::size_t) { throw type_error("no text"); });
    for (const auto& [score, message] : {std::pair{"x", "could not convert string to float: 'x'"}, {"5", "no text"}}) {
        const std::string first = line(score);
        OwnEstimate calls;
        try {
            filter_XL_FDR(std::vector<std::string_view>{first}, ended_by_a_number, cutoff(NAN), calls);
            FAIL() << message;
        } catch (const HostError& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

} // namespace
} // namespace vombrelle
