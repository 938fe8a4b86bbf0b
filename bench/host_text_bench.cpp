// The host semantics that sit in the readers' and writers' per-line loops, on peak-list lines.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "common/host_text.hpp"

namespace {

using namespace vombrelle;

// Peak lines as an MGF file holds them: "m/z intensity", fixed seed.
std::vector<std::string> peak_lines() {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> mz(100.0, 2000.0), intensity(100.0, 1e6);
    std::vector<std::string> lines;
    for (int i = 0; i < 4096; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.7f %.10f", mz(rng), intensity(rng));
        lines.emplace_back(buf);
    }
    return lines;
}

std::size_t total_bytes(const std::vector<std::string>& lines) {
    std::size_t n = 0;
    for (const auto& l : lines) n += l.size();
    return n;
}

void BM_StripSplitParse(benchmark::State& state) {
    const auto lines = peak_lines();
    std::string_view pieces[2];
    double sum = 0;
    for (auto _ : state) {
        for (const auto& l : lines) {
            split_whitespace_first(strip(l), pieces, 2);
            sum += parse_float(pieces[0]) + parse_float(pieces[1]);
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total_bytes(lines)));
}
BENCHMARK(BM_StripSplitParse);

void BM_SplitTab(benchmark::State& state) {
    std::string line;
    for (int i = 0; i < 16; ++i) line += "field" + std::to_string(i) + "\t";
    std::vector<std::string_view> pieces;
    for (auto _ : state) {
        split(line, "\t", pieces);
        benchmark::DoNotOptimize(pieces.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_SplitTab);

void BM_AppendFloatRepr(benchmark::State& state) {
    std::mt19937_64 rng(2);
    std::uniform_real_distribution<double> mz(100.0, 2000.0);
    std::vector<double> values(4096);
    for (auto& v : values) v = mz(rng);
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (double v : values) {
            append_float_repr(out, v);
            out += '\t';
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_AppendFloatRepr);

} // namespace

BENCHMARK_MAIN();
