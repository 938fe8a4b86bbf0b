#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "readers/peak_map.hpp"

namespace vombrelle {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Against a list searched linearly with the dict's key equality (NaN never equal, -0.0 == 0.0).
TEST(PeakMapBuilder, MatchesALinearScanWithRepeatsZerosAndNaN) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        // Some runs start from peaks already present, as when archive members merge.
        std::vector<Peak> fast;
        for (int i = 0; i < (round % 3 == 0 ? 5 : 0); ++i) fast.push_back({double(i * 3), 1.0});
        std::vector<Peak> slow = fast;
        PeakMapBuilder b;
        b.attach(&fast);
        double ascending = 0.0;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 400); i < n; ++i) {
            const unsigned kind = rng() % 8;
            const double mz = kind == 0 ? double(rng() % 20)                 // repeats
                              : kind == 1 ? (rng() % 2 ? 0.0 : -0.0)         // one key
                              : kind == 2 ? std::nan("")                      // never equal
                                          : (ascending += 0.5 + (rng() % 3));
            b.store(mz, double(i));
            auto same = std::find_if(slow.begin(), slow.end(), [&](const Peak& p) { return p.mz == mz; });
            if (same == slow.end()) slow.push_back({mz, double(i)});
            else same->intensity = double(i);
        }
        ASSERT_EQ(fast.size(), slow.size());
        for (std::size_t i = 0; i < fast.size(); ++i) {
            ASSERT_TRUE(same_bits(fast[i].mz, slow[i].mz) && fast[i].intensity == slow[i].intensity) << round << " " << i;
        }
    }
}

} // namespace
} // namespace vombrelle
