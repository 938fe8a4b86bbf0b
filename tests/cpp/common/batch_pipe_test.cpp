#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/batch_pipe.hpp"

namespace vombrelle {
namespace {

// Batches come in the order they were made, the worker never runs more than `depth` batches
// ahead of the caller, and an error comes after every batch made before it, once.
TEST(BatchPipe, BatchesInOrderThenTheErrorAndNoFurtherAhead) {
    for (int failing_at : {-1, 0, 5}) {
        std::atomic<int> made{0};
        BatchPipe<std::vector<int>> pipe(
            [&](std::vector<int>& batch) {
                const int n = made.fetch_add(1);
                if (n == failing_at) throw std::runtime_error("batch " + std::to_string(n));
                if (n == 12) return false;
                batch.assign(3, n);
                return true;
            },
            2);
        std::vector<int> got;
        std::string error;
        std::vector<int> batch;
        try {
            while (pipe.next(batch)) {
                // The batch just taken, the two waiting and the one being made.
                EXPECT_LE(made.load(), static_cast<int>(got.size()) / 3 + 4);
                got.insert(got.end(), batch.begin(), batch.end());
            }
        } catch (const std::runtime_error& e) {
            error = e.what();
            EXPECT_FALSE(pipe.next(batch));
        }
        const int batches = failing_at < 0 ? 12 : failing_at;
        ASSERT_EQ(got.size(), static_cast<std::size_t>(3 * batches)) << failing_at;
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], static_cast<int>(i / 3));
        EXPECT_EQ(error, failing_at < 0 ? "" : "batch " + std::to_string(failing_at));
    }
}

} // namespace
} // namespace vombrelle
