// The one-pass FDR cut against the cut as a loop of full estimates.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "results/decoy_removal.hpp"
#include "results/fdr.hpp"
#include "results/fdr_cut.hpp"

namespace vombrelle {
namespace {

std::string scored_line(const std::string& score, const std::string& a, const std::string& b, const std::string& ids_a,
                        const std::string& ids_b) {
    return score + "\t1\tHigh\tHHHH\t1:2:3:4,5\t1000.0\t3\t334.0\t" + a + "\t" + ids_a + "\td\t" + b + "\t" + ids_b +
           "\td\t\tF1";
}

std::vector<std::string> loop_cut(std::vector<std::string_view> sorted, HostNumber cutoff) {
    for (std::size_t m = sorted.size(); m > 0; --m) {
        FdrEstimate e = FDR_XL_list(std::span(sorted).first(m));
        if (HostNumber(*e.fdr) <= cutoff) return remove_random(e.targets);
    }
    return {};
}

TEST(FdrCut, OnePassMatchesLoopOfEstimates) {
    const std::vector<std::string> peptides = {"AAK", "GGK", "PPK", "EEK", "AAK;PPK"};
    const std::vector<std::string> ids = {"P1", "random1", "P2;random3", "random4;random5", ""};
    const std::vector<HostNumber> cutoffs = {-1, 0, 0.0, 10, 20.0, 33.33, 50, 99.99, 100, 1000};
    std::mt19937 rng(12345);
    auto pick = [&](const auto& v) { return v[rng() % v.size()]; };
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> lines;
        for (std::size_t i = rng() % 30; i > 0; --i) {
            lines.push_back(scored_line(std::to_string(30 - lines.size()), pick(peptides), pick(peptides), pick(ids),
                                        pick(ids)));
        }
        std::vector<std::string_view> views(lines.begin(), lines.end());
        const HostNumber cutoff = pick(cutoffs);
        EXPECT_EQ(filter_XL_FDR(views, cutoff), loop_cut(views, cutoff)) << round;
    }
}

} // namespace
} // namespace vombrelle
