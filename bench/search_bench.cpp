// The cross-link search core with the module's own rescues on a synthetic fraction of 5,000 MS3
// groups (four-, three- and two-scan, most of them yielding a record, some handed to the rescues)
// whose parents carry 600 peaks each, among 10,000 further MS2 scans. Reports the time of one search, the heap it adds
// beyond the tables it is given, and the process's peak resident memory.
#include <benchmark/benchmark.h>


#include <random>
#include <string>
#include <vector>

#include "common/host_text.hpp"
#include "common/mass_constants.hpp"
#include "search/cross_link_search.hpp"
#include "search/native_calls.hpp"
#include "memory_counters.hpp"

namespace {

using vombrelle::bench::heap_in_use_mb;
using vombrelle::bench::peak_rss_mb;

using namespace vombrelle;

constexpr int kGroups = 5000;
constexpr int kPeaks = 600;

SpectrumRecord record(std::vector<std::string> headers, std::vector<Peak> peaks = {}) {
    return SpectrumRecord{RecordKeys::IonMassTitleHeader, {"t"}, std::move(headers), std::move(peaks)};
}

std::string header(double mh, int charge) {
    return float_repr(mz_from_mh(mh, charge)) + " " + std::to_string(charge);
}
double mz_of(const std::string& h) {
    std::string_view mz;
    split_whitespace_first(h, &mz, 1);
    return parse_float(mz);
}

struct Fraction {
    SearchTables tables;
    SearchArguments args{true, HostNumber(158.0038), HostNumber(31.97207), HostNumber(54.0106 + 85.9826 - 158.0038)};
    std::shared_ptr<PsmRowStore> rows = std::make_shared<PsmRowStore>();
    std::size_t input_peaks = 0;

    Fraction() {
        for (PsmTables* t : {&tables.psm.ms3, &tables.psm.rescue}) {
            for (std::size_t i = 0; i < 3; ++i) (*t)[i] = PsmMatchTable(rows);
        }
        std::mt19937_64 rng(7);
        auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
        const double dm = args.linker_dm.as_double(), deficit = args.linker_deficit.as_double();
        std::int64_t scan = 1000;
        for (int g = 0; g < kGroups; ++g) {
            const int size = g % 10 < 6 ? 4 : (g % 10 < 8 ? 3 : 2);
            const double a_long = uniform(700, 1500), b_long = uniform(700, 1500);
            // Every group's own arm masses; the precursor of the crossed pairs.
            std::vector<double> own = size == 4   ? std::vector<double>{a_long, a_long - dm, b_long, b_long - dm}
                                      : size == 3 ? std::vector<double>{a_long, a_long - dm, b_long}
                                                  : std::vector<double>{a_long, b_long};
            const double arm_a = size == 2 ? a_long : a_long - dm;
            double precursor = arm_a + b_long + deficit - kProtonMass;
            const int kind = g % 17;                  // 0: no pair matches; 1: off by 1 Da
            if (kind == 0) precursor += 40.0;
            if (kind == 1) precursor += 1.00335;
            const std::string label = header(precursor, 4);
            // The parent, then a few unrelated MS2 scans, then the group's MS3 scans.
            std::vector<Peak> peaks;
            for (int p = 0; p < kPeaks; ++p) peaks.push_back(Peak{uniform(150, 2000), uniform(1, 1e5)});
            std::vector<std::string> own_headers;
            for (std::size_t i = 0; i < own.size(); ++i) {
                own_headers.push_back(header(own[i], 2 + static_cast<int>(i % 2)));
                peaks[kPeaks / 2 + i].mz = mz_of(own_headers.back());
            }
            input_peaks += peaks.size();
            tables.ms2.insert_or_assign(scan, record({label}, std::move(peaks)));
            for (int other = 1; other <= 2; ++other) {
                std::vector<Peak> more;
                for (int p = 0; p < kPeaks; ++p) more.push_back(Peak{uniform(150, 2000), uniform(1, 1e5)});
                input_peaks += more.size();
                tables.ms2.insert_or_assign(scan + other, record({header(uniform(600, 1200), 3)}, std::move(more)));
            }
            std::vector<std::int64_t> ms3;
            for (std::size_t i = 0; i < own.size(); ++i) {
                const std::int64_t s = scan + 3 + static_cast<std::int64_t>(i) * (size == 3 ? 2 : 1);
                ms3.push_back(s);
                tables.ms3.insert_or_assign(s, record({label}));
                tables.msn1_ms3.insert_or_assign(s, record({own_headers[i]}));
            }
            // PSMs: A on the A scans, B on the B scans, masses that pair under the linker.
            const double a_mass = uniform(800, 2000);
            const double b_mass = precursor - a_mass - args.linker_mass.as_double() + kProtonMass;
            const std::string a_seq = "PEPTkIDE" + std::to_string(g), b_seq = "SAMPkLER" + std::to_string(g);
            const std::size_t a_scans = size == 2 ? 1 : 2;
            for (std::size_t i = 0; i < ms3.size(); ++i) {
                const bool a = i < a_scans;
                add_psm(ms3[i], a ? a_seq : b_seq, a ? a_mass : b_mass, g % 5 == 0 ? "Medium" : "High");
            }
            scan += 60;
        }
    }

    void add_psm(std::int64_t scan, const std::string& seq, double mass, const char* confidence) {
        const std::uint32_t row = rows->add(seq, "P" + seq, "Protein " + seq, confidence);
        PsmTables& t = tables.psm.ms3;
        for (PsmMatchTable* table : {&t.high, &t.med_high, &t.all}) {
            if (table == &t.high && std::string_view(confidence) != "High") continue;
            PsmScanEntry& e = table->scans[scan];
            e.pep_seq.push_back(row);
            e.records.push_back(PsmRecord{row, 0, mass, HostNumber(1.0 - 0.001)});
            e.selected = row;
        }
    }
};

Fraction& fraction() {
    static Fraction f;
    return f;
}



void BM_FindCrossLinks(benchmark::State& state) {
    Fraction& f = fraction();
    const SearchPsmTables fresh = f.tables.psm;
    std::size_t records = 0;
    double added = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        f.tables.psm = fresh;  // the search's reads add entries
        const double before = heap_in_use_mb();
        state.ResumeTiming();
        NativeCalls calls;
        CrossLinkScoreMap result = find_cross_links(f.tables, f.args, calls);
        state.PauseTiming();
        added = heap_in_use_mb() - before;
        records = result.size();
        benchmark::DoNotOptimize(result);
        state.ResumeTiming();
    }
    if (records < kGroups / 2) state.SkipWithError("unexpectedly few records");
    state.counters["records"] = static_cast<double>(records);
    state.counters["groups"] = kGroups;
    state.counters["input_peaks"] = static_cast<double>(f.input_peaks);
    state.counters["result_heap_MB"] = added;
    state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(BM_FindCrossLinks)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
