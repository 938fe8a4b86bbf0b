// Reading a synthetic PSM export into the three tables, from a file and from lines held in
// memory, at the sizes of a generated fraction of 500, 2,000 and 5,000 groups (five rows a group:
// about 4.5 MB at 5,000) and at 100,000 rows. Reports MB/s and the process's peak resident memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
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

struct Fixture {
    std::string text;
    std::string path;
    std::unordered_map<std::string, std::string> proteins;

    explicit Fixture(int rows) {
        std::mt19937_64 rng(42);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const char* confs[] = {"High", "High", "High", "Medium", "Medium", "Low"};
        const char* ambig[] = {"Unambiguous", "Unambiguous", "Selected", "Rejected"};
        std::ostringstream out;
        out << "\"Checked\"\t\"Confidence\"\t\"PSM Ambiguity\"\t\"Annotated Sequence\"\t\"Modifications\"\t"
               "\"Protein Accessions\"\t\"Protein Descriptions\"\t\"Charge\"\t\"MH+ [Da]\"\t\"First Scan\"\t"
               "\"Percolator q-Value\"\r\n";
        for (int i = 0; i < 1000; ++i) proteins["P" + std::to_string(i)] = "MAGGGLVTDLTK" + std::to_string(i % 7);
        for (int i = 0; i < rows; ++i) {
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

// Rows of the table for the benchmark's argument: a fraction's groups, or rows when above 10,000.
int rows_of(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    return n > 10000 ? n : 5 * n;
}

Fixture& fixture(int rows) {
    static std::unordered_map<int, std::unique_ptr<Fixture>> made;
    auto& f = made[rows];
    if (!f) f = std::make_unique<Fixture>(rows);
    return *f;
}

PsmReadOptions options(ProteinLookup& lookup) {
    PsmReadOptions o;
    o.linkers.long_mass = HostOperand::of(85.9826);
    o.linkers.short_mass = HostOperand::of(54.0106);
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
    Fixture& f = fixture(rows_of(state));
    MapProteinLookup lookup(f.proteins);
    // What one set of tables holds on the heap once read.
    const double before = heap_in_use_mb();
    PsmTables last = take_psm_tables(read_psm_file(f.path, options(lookup)));
    state.counters["tables_heap_MB"] = heap_in_use_mb() - before;
    for (auto _ : state) {
        last = take_psm_tables(read_psm_file(f.path, options(lookup)));
        benchmark::DoNotOptimize(last.high.scans.size());
    }
    if (last.all.scans.size() < static_cast<std::size_t>(rows_of(state)) / 2) state.SkipWithError("unexpectedly few scans");
    report(state, last, f.text.size());
}
BENCHMARK(BM_ReadPsmFile)->ArgName("groups_or_rows")->Arg(500)->Arg(2000)->Arg(5000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadPsmLines(benchmark::State& state) {
    Fixture& f = fixture(rows_of(state));
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
BENCHMARK(BM_ReadPsmLines)->ArgName("groups_or_rows")->Arg(5000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
