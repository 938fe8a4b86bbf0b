// Reading a synthetic PSM export of 100,000 rows into the three tables: from a file and from lines
// held in memory. Reports MB/s and the process's peak resident memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "readers/psm_table.hpp"
#include "memory_counters.hpp"

namespace {

using vombrelle::bench::heap_in_use_mb;
using vombrelle::bench::peak_rss_mb;

using namespace vombrelle;

constexpr int kRows = 100000;

struct Fixture {
    std::string text;
    std::string path;
    std::unordered_map<std::string, std::string> proteins;

    Fixture() {
        std::mt19937_64 rng(42);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const char* confs[] = {"High", "High", "High", "Medium", "Medium", "Low"};
        const char* ambig[] = {"Unambiguous", "Unambiguous", "Selected", "Rejected"};
        std::ostringstream out;
        out << "\"Checked\"\t\"Confidence\"\t\"PSM Ambiguity\"\t\"Annotated Sequence\"\t\"Modifications\"\t"
               "\"Protein Accessions\"\t\"Protein Descriptions\"\t\"Charge\"\t\"MH+ [Da]\"\t\"First Scan\"\t"
               "\"Percolator q-Value\"\r\n";
        for (int i = 0; i < 1000; ++i) proteins["P" + std::to_string(i)] = "MAGGGLVTDLTK" + std::to_string(i % 7);
        for (int i = 0; i < kRows; ++i) {
            std::string seq = pick(10) == 0 ? "LVTDLTk" : (pick(8) == 0 ? "PEPTIDEK" : "AEFVEVTkLVTDLTK");
            int acc = pick(1000);
            out << "\"False\"\t\"" << confs[pick(6)] << "\"\t\"" << ambig[pick(4)] << "\"\t\"" << seq
                << "\"\t\"K8(DSSO_long); M1(Oxidation)\"\t\"P" << acc << "; P" << (acc + 1) % 1000
                << "\"\t\"Protein " << acc << " OS=Homo sapiens\"\t\"3\"\t\"" << 1200 + pick(2000000) / 1000.0
                << "\"\t\"" << 1000 + i * 2 / 3 << "\"\t\"" << pick(1000) / 100000.0 << "\"\r\n";
        }
        text = out.str();
        path = (std::filesystem::temp_directory_path() / ("psm_bench_" + std::to_string(::getpid()) + ".txt")).string();
        std::ofstream(path, std::ios::binary) << text;
    }
    ~Fixture() { std::filesystem::remove(path); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

PsmReadOptions options(ProteinLookup& lookup) {
    PsmReadOptions o;
    o.linkers.long_mass = 85.9826;
    o.linkers.short_mass = 54.0106;
    o.linkers.long_tag = "(DSSO_long)";
    o.linkers.short_tag = "(DSSO_short)";
    o.proteins = &lookup;
    return o;
}



void report(benchmark::State& state, const PsmTables& t, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["scans_all"] = static_cast<double>(t.all.scans.size());
    state.counters["peak_rss_MB"] = peak_rss_mb();
}

void BM_ReadPsmFile(benchmark::State& state) {
    Fixture& f = fixture();
    MapProteinLookup lookup(f.proteins);
    // What one set of tables holds on the heap once read.
    const double before = heap_in_use_mb();
    PsmTables last = take_psm_tables(read_psm_file(f.path, options(lookup)));
    state.counters["tables_heap_MB"] = heap_in_use_mb() - before;
    for (auto _ : state) {
        last = take_psm_tables(read_psm_file(f.path, options(lookup)));
        benchmark::DoNotOptimize(last.high.scans.size());
    }
    if (last.all.scans.size() < kRows / 2) state.SkipWithError("unexpectedly few scans");
    report(state, last, f.text.size());
}
BENCHMARK(BM_ReadPsmFile)->Unit(benchmark::kMillisecond);

void BM_ReadPsmLines(benchmark::State& state) {
    Fixture& f = fixture();
    // Lines as a caller hands them over: quotes already removed, line ends kept.
    static std::string unquoted;
    unquoted = f.text;
    std::erase(unquoted, '"');
    std::vector<std::string_view> lines;
    std::string_view all = unquoted;
    for (std::size_t p = 0; p < all.size();) {
        std::size_t e = all.find('\n', p);
        lines.push_back(all.substr(p, e - p + 1));
        p = e + 1;
    }
    MapProteinLookup lookup(f.proteins);
    PsmTables last;
    for (auto _ : state) {
        last = take_psm_tables(read_psm_lines(lines, options(lookup)));
        benchmark::DoNotOptimize(last.high.scans.size());
    }
    report(state, last, f.text.size());
}
BENCHMARK(BM_ReadPsmLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
