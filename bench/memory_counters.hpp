// Memory figures the benchmarks report: the process's peak resident memory and the heap in use.
#pragma once

#include <malloc.h>
#include <sys/resource.h>

namespace vombrelle::bench {

// Peak resident memory of the process so far (MB).
inline double peak_rss_mb() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

// Heap bytes in use now (MB).
inline double heap_in_use_mb() {
    struct mallinfo2 mi = mallinfo2();
    return static_cast<double>(mi.uordblks + mi.hblkhd) / (1024.0 * 1024.0);
}

} // namespace vombrelle::bench
