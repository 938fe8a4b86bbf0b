#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/errors.hpp"
#include "common/parallel_reads.hpp"

namespace vombrelle {
namespace {

// Several reads fail, the later ones sooner: what is printed and raised is still what the
// sequential order prints and raises, whatever the number of threads.
TEST(ParallelReads, FirstErrorAndPrintedLinesAreThoseOfTheSequentialOrder) {
    for (const std::vector<int>& failing : {std::vector<int>{}, {2, 5, 6}, {0}, {7}, {6, 3}}) {
        for (unsigned threads : {1u, 3u, 8u}) {
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
                run_reads(reads, [&](const std::string& line) { printed += line + " "; }, threads);
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
            EXPECT_EQ(printed, expected_printed) << threads << " threads";
            EXPECT_EQ(raised, expected_raised) << threads << " threads";
        }
    }
}

} // namespace
} // namespace vombrelle
