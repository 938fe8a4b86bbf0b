// Reader throughput on synthetic inputs sized like a generated fraction of 500, 2,000 and 5,000
// MS2 precursor groups (at 5,000 groups: a 60 MB MS3 MGF, four MGF files of about 157 MB for
// the rescue spectrum generation, a 20 MB DTA zip of 39 MB of text). The files are written once
// into /tmp with fixed seeds. Reports MB/s of input, with reading the file and counting its
// lines as the yardstick of the machine at the time, and the process's peak RSS.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>
#include <zip.h>

#include "common/host_text.hpp"
#include "readers/dta_zip.hpp"
#include "readers/mgf.hpp"
#include "memory_counters.hpp"
#include "rescue_mgf/rescue_run.hpp"

namespace {

using namespace vombrelle;
using rescue_mgf::RescueInputs;
using rescue_mgf::RescueTables;
using rescue_mgf::read_rescue_tables;
using vombrelle::bench::peak_rss_mb;

// Spectra as instruments export them: ascending m/z with 5 decimals, intensities with 1 to 4.
std::string mgf_file(const std::string& kind, int spectra, int peaks, std::uint64_t seed) {
    const std::string path = "/tmp/vombrelle_bench_" + kind + "_" + std::to_string(spectra) + "x" +
                             std::to_string(peaks) + ".mgf";
    if (std::filesystem::exists(path)) return path;
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + part);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> step(0.5, 12.0), inten(100.0, 1e6);
    std::fputs("MASS=Monoisotopic\n", f);
    for (int s = 1; s <= spectra; ++s) {
        std::fprintf(f, "BEGIN IONS\nTITLE=run.%d.%d.2 File:\"run.raw\", NativeID:\"controllerType=0 "
                        "controllerNumber=1 scan=%d\"\nPEPMASS=%.5f %.5f\nCHARGE=%d+\nRTINSECONDS=%d\nSCANS=%d\n",
                     s, s, s, 400 + step(rng) * 50, inten(rng), 2 + s % 4, s / 10, s);
        double mz = 100.0;
        for (int k = 0; k < peaks; ++k) {
            mz += step(rng) * 150.0 / peaks;
            std::fprintf(f, "%.5f %.*f\n", mz, 1 + k % 4, inten(rng));
        }
        std::fputs("END IONS\n", f);
    }
    std::fclose(f);
    std::filesystem::rename(part, path);
    return path;
}

// The MS3 file: four scans of 140 peaks per group (60 MB at 5,000 groups).
std::string ms3_file(int groups) { return mgf_file("ms3", 4 * groups, 140, 42); }

// The four files of the rescue spectrum generation (about 157 MB at 5,000 groups).
RescueInputs rescue_files(int groups) {
    return {mgf_file("ms2", groups, 400, 1), ms3_file(groups), mgf_file("deconv", groups, 380, 2),
            mgf_file("own", 4 * groups, 25, 3)};
}

// An MS1 scan per three groups or so, 1,000 peaks each (a 20 MB zip of 39 MB text at 5,000).
std::string dta_zip_file(int groups) {
    const int members = groups * 8 / 25;
    const std::string path = "/tmp/vombrelle_bench_ms1_" + std::to_string(members) + ".dta.zip";
    if (std::filesystem::exists(path)) return path;
    const std::string part = path + ".part";
    int err = 0;
    zip_t* z = zip_open(part.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (z == nullptr) throw std::runtime_error("cannot write " + part);
    std::mt19937_64 rng(43);
    std::uniform_real_distribution<double> step(0.05, 1.5), inten(1e3, 1e7);
    char line[64];
    for (int m = 0; m < members; ++m) {
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
    if (zip_close(z) != 0) throw std::runtime_error("cannot close " + part);
    std::filesystem::rename(part, path);
    return path;
}

std::int64_t file_bytes(const std::string& path) { return static_cast<std::int64_t>(std::filesystem::file_size(path)); }

// The yardstick: read the file in 1 MB blocks and count its lines.
void BM_CountLines(benchmark::State& state) {
    const std::string path = ms3_file(static_cast<int>(state.range(0)));
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::size_t lines = 0, n;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
            for (const char* p = buf.data(); (p = static_cast<const char*>(std::memchr(p, '\n', n - (p - buf.data()))));) {
                ++lines;
                ++p;
            }
        }
        std::fclose(f);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(file_bytes(path) * state.iterations());
}

void BM_ReadMgf(benchmark::State& state) {
    const std::string path = ms3_file(static_cast<int>(state.range(0)));
    const auto storage = state.range(1) == 0 ? PeakStorage::Keep : PeakStorage::CheckOnly;
    std::size_t peaks = 0;
    for (auto _ : state) {
        SpectrumTable t = read_mgf(path, storage);
        if (t.size() != static_cast<std::size_t>(4 * state.range(0))) state.SkipWithError("wrong spectrum count");
        peaks = 0;
        for (const auto& e : t) peaks += e.second.peaks.size();
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(file_bytes(path) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(file_bytes(path)) / 1e6;
    state.counters["peaks"] = static_cast<double>(peaks);
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

// The rescue spectrum generation's four tables, one after the other (threads 1) and at once (0).
void BM_ReadRescueTables(benchmark::State& state) {
    const RescueInputs files = rescue_files(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        RescueTables t = read_rescue_tables(files, static_cast<unsigned>(state.range(1)));
        if (t.ms2.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("wrong spectrum count");
        benchmark::DoNotOptimize(t);
    }
    const std::int64_t bytes = file_bytes(files.ms2) + file_bytes(files.ms3) + file_bytes(files.ms2_deconv) +
                               file_bytes(files.own_precursor);
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["files_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

// MB/s of the members' text; threads 1 reads on one thread, 0 lets the reader choose.
void BM_ReadDtaZip(benchmark::State& state) {
    const std::string path = dta_zip_file(static_cast<int>(state.range(0)));
    std::int64_t text_bytes = 0;
    {
        int err = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
        for (zip_int64_t i = 0; z != nullptr && i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) == 0) text_bytes += static_cast<std::int64_t>(st.size);
        }
        if (z != nullptr) zip_discard(z);
    }
    std::size_t peaks = 0;
    for (auto _ : state) {
        std::vector<std::string> skipped;
        SpectrumTable t = read_dta_zip(path, skipped, static_cast<unsigned>(state.range(1)));
        if (t.size() != static_cast<std::size_t>(state.range(0) * 8 / 25) || !skipped.empty()) {
            state.SkipWithError("wrong member count");
        }
        peaks = 0;
        for (const auto& e : t) peaks += e.second.peaks.size();
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(text_bytes * state.iterations());
    state.counters["archive_MB"] = static_cast<double>(file_bytes(path)) / 1e6;
    state.counters["text_MB"] = static_cast<double>(text_bytes) / 1e6;
    state.counters["peaks"] = static_cast<double>(peaks);
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

void fraction_sizes(benchmark::internal::Benchmark* b, const char* second, std::vector<std::int64_t> values) {
    b->ArgNames({"groups", second})->Unit(benchmark::kMillisecond)->UseRealTime();
    for (std::int64_t groups : {500, 2000, 5000}) {
        for (std::int64_t v : values) b->Args({groups, v});
    }
}

BENCHMARK(BM_CountLines)->ArgName("groups")->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadMgf)->Apply([](auto* b) { fraction_sizes(b, "check_only", {0, 1}); });
BENCHMARK(BM_ReadRescueTables)->Apply([](auto* b) { fraction_sizes(b, "threads", {1, 0}); });
BENCHMARK(BM_ReadDtaZip)->Apply([](auto* b) { fraction_sizes(b, "threads", {1, 0}); });

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
