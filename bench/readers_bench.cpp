// Reader throughput: a synthetic MGF of 100,000 spectra (~300 MB) and a DTA zip of 10,000
// members, written once into /tmp with fixed seeds. Reports MB/s and the process's peak RSS.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <zip.h>

#include "common/host_text.hpp"
#include "readers/dta_zip.hpp"
#include "readers/mgf.hpp"
#include "memory_counters.hpp"

namespace {

using vombrelle::bench::heap_in_use_mb;
using vombrelle::bench::peak_rss_mb;

using namespace vombrelle;

constexpr int kSpectra = 100000;
constexpr int kMembers = 10000;


// Peaks as instruments export them: ascending m/z with 5 decimals, intensities with 1 to 4.
const std::string& mgf_path() {
    static const std::string path = [] {
        std::string p = "/tmp/vombrelle_bench_100k.mgf";
        if (std::filesystem::exists(p) && std::filesystem::file_size(p) > 250'000'000) return p;
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (f == nullptr) throw std::runtime_error("cannot write " + p);
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> step(0.5, 12.0), inten(100.0, 1e6);
        std::fputs("MASS=Monoisotopic\n", f);
        for (int s = 1; s <= kSpectra; ++s) {
            std::fprintf(f, "BEGIN IONS\nTITLE=run.%d.%d.2 File:\"run.raw\", NativeID:\"controllerType=0 "
                            "controllerNumber=1 scan=%d\"\nPEPMASS=%.5f %.5f\nCHARGE=%d+\nRTINSECONDS=%d\nSCANS=%d\n",
                         s, s, s, 400 + step(rng) * 50, inten(rng), 2 + s % 4, s / 10, s);
            double mz = 100.0;
            for (int k = 0; k < 150; ++k) {
                mz += step(rng);
                std::fprintf(f, "%.5f %.*f\n", mz, 1 + k % 4, inten(rng));
            }
            std::fputs("END IONS\n", f);
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

const std::string& dta_zip_path() {
    static const std::string path = [] {
        std::string p = "/tmp/vombrelle_bench_10k.dta.zip";
        if (std::filesystem::exists(p)) return p;
        int err = 0;
        zip_t* z = zip_open(p.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        if (z == nullptr) throw std::runtime_error("cannot write " + p);
        std::mt19937_64 rng(43);
        std::uniform_real_distribution<double> step(0.05, 1.5), inten(1e3, 1e7);
        char line[64];
        for (int m = 0; m < kMembers; ++m) {
            std::string text = "0 0\n";
            double mz = 350.0;
            for (int k = 0; k < 1000; ++k) {
                mz += step(rng);
                std::snprintf(line, sizeof line, "%.6f\t%.4f\n", mz, inten(rng));
                text += line;
            }
            std::string name = "run.MS1." + std::to_string(m * 10 + 1) + "." + std::to_string(m * 10 + 1) + ".0.dta";
            auto* copy = static_cast<char*>(std::malloc(text.size()));
            std::memcpy(copy, text.data(), text.size());
            zip_file_add(z, name.c_str(), zip_source_buffer(z, copy, text.size(), 1), 0);
        }
        if (zip_close(z) != 0) throw std::runtime_error("cannot close " + p);
        return p;
    }();
    return path;
}

void BM_ReadMgf(benchmark::State& state) {
    const auto& path = mgf_path();
    const auto storage = state.range(0) == 0 ? PeakStorage::Keep : PeakStorage::CheckOnly;
    const auto bytes = std::filesystem::file_size(path);
    std::size_t peaks = 0;
    for (auto _ : state) {
        SpectrumTable t = read_mgf(path, storage);
        if (t.size() != kSpectra) state.SkipWithError("wrong spectrum count");
        peaks = 0;
        for (const auto& e : t) peaks += e.second.peaks.size();
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peaks"] = static_cast<double>(peaks);
    state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(BM_ReadMgf)->Arg(0)->Arg(1)->ArgNames({"check_only"})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadDtaZip(benchmark::State& state) {
    const auto& path = dta_zip_path();
    std::size_t raw = 0;
    std::int64_t text_bytes = 0;  // the members' uncompressed size
    {
        int err = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
        for (zip_int64_t i = 0; z != nullptr && i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) == 0) text_bytes += static_cast<std::int64_t>(st.size);
        }
        if (z != nullptr) zip_discard(z);
    }
    for (auto _ : state) {
        std::vector<std::string> skipped;
        SpectrumTable t = read_dta_zip(path, skipped);
        if (t.size() != kMembers || !skipped.empty()) state.SkipWithError("wrong member count");
        raw = 0;
        for (const auto& e : t) raw += e.second.peaks.size();
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(text_bytes * state.iterations());
    state.counters["archive_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.counters["text_MB"] = static_cast<double>(text_bytes) / 1e6;
    state.counters["peaks"] = static_cast<double>(raw);
    state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(BM_ReadDtaZip)->Unit(benchmark::kMillisecond)->UseRealTime();

// The intensity rounding: the fast path against the exact decimal expansion.
template <double (*Round)(double)>
void BM_Round(benchmark::State& state) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> d(0, 1e6);
    std::vector<double> xs(4096);
    for (auto& x : xs) x = d(rng);
    for (auto _ : state) {
        for (double x : xs) benchmark::DoNotOptimize(Round(x));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(xs.size()));
}
double exact5(double x) { return round_to(x, 5); }
BENCHMARK(BM_Round<round5>)->Name("BM_Round5_fast");
BENCHMARK(BM_Round<exact5>)->Name("BM_Round5_exact");

} // namespace

BENCHMARK_MAIN();
