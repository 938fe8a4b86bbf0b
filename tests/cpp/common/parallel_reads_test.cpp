#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/errors.hpp"
#include "common/parallel_reads.hpp"

namespace vombrelle {
namespace {

// Several reads fail, the later ones sooner: what is printed and raised is still what the
// sequential order prints and raises, whatever the number of threads, and whichever reads are
// started first (costliest first: the later ones here, or some in between).
TEST(ParallelReads, FirstErrorAndPrintedLinesAreThoseOfTheSequentialOrder) {
    const std::vector<std::vector<std::uint64_t>> start_orders = {
        {}, {1, 2, 3, 4, 5, 6, 7, 8}, {0, 0, 9, 0, 0, 9, 0, 0}};
    for (const std::vector<int>& failing : {std::vector<int>{}, {2, 5, 6}, {0}, {7}, {6, 3}}) {
        for (unsigned threads : {1u, 3u, 8u}) {
            for (const auto& costs : start_orders) {
                std::vector<int> results(8, -1);
                std::vector<ParallelRead> reads;
                for (int i = 0; i < 8; ++i) {
                    reads.emplace_back([&, i](std::vector<std::string>& printed) {
                        printed.push_back(std::to_string(i) + "a");
                        std::this_thread::sleep_for(std::chrono::milliseconds(2 * (8 - i)));
                        if (std::find(failing.begin(), failing.end(), i) != failing.end()) {
                            throw value_error("read " + std::to_string(i));
                        }
                        printed.push_back(std::to_string(i) + "b");
                        results[i] = i;
                    });
                }
                std::string printed, raised = "none";
                try {
                    run_reads(reads, [&](const std::string& line) { printed += line + " "; }, threads, costs);
                } catch (const HostError& e) {
                    raised = e.what();
                }
                std::string expected_printed, expected_raised = "none";
                for (int i = 0; i < 8 && expected_raised == "none"; ++i) {
                    expected_printed += std::to_string(i) + "a ";
                    if (std::find(failing.begin(), failing.end(), i) != failing.end()) {
                        expected_raised = "read " + std::to_string(i);
                    } else {
                        expected_printed += std::to_string(i) + "b ";
                        EXPECT_EQ(results[i], i);
                    }
                }
                EXPECT_EQ(printed, expected_printed) << threads << " threads, " << costs.size() << " costs";
                EXPECT_EQ(raised, expected_raised) << threads << " threads, " << costs.size() << " costs";
            }
        }
    }
}

// Outside the items, a body's exception still reaches the caller: the lowest worker's.
TEST(ParallelReads, AnErrorEscapingAWorkerIsRethrownAfterTheJoin) {
    try {
        run_on_threads(3, [](unsigned k) { throw value_error("worker " + std::to_string(k)); });
        ADD_FAILURE() << "no error";
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "worker 0");
    }
}

} // namespace
} // namespace vombrelle
