// Reading independent inputs at once, with the outcome of reading them one after the other.
//
// Inside one call the core may spread independent work over worker threads. Every thread is
// joined before the call returns, and what the caller sees is exactly what the sequential order
// gives: the same results, the same first error (the error of the earliest input in that order
// that fails, not of whichever thread failed first), and the same printed lines in the same order.
// The caller's own thread takes part, so the work also completes when no thread can be started.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vombrelle {

// Threads worth using for `jobs` independent jobs: no more than the jobs, the machine's hardware
// threads, or 4 (beyond that, reading is bound by memory and the disk, and the module shares
// the machine with the interpreter and whatever else runs).
unsigned parallel_thread_count(std::size_t jobs);

// Calls body(k) for k = 0 .. threads-1: body(0) on the caller's thread, each other on a thread of
// its own, and returns once all have returned. A thread that cannot be started is left out, so a
// body must take its work from a shared counter until none is left (body(0) alone then does it
// all). An exception escaping a body is rethrown after the join (the lowest worker's first).
void run_on_threads(unsigned threads, const std::function<void(unsigned worker)>& body);

// Calls work(i, worker) once for each i in [0, n), on up to `threads` threads, the items started
// in increasing order (or in `start_order`, a permutation of them, when given) and none above one
// that has failed; then rethrows the failure of the lowest item, which is the failure of doing them
// one after the other. Before its first item a worker other than 0 calls start(worker), and takes
// no item when that returns false.
void for_each_at_once(std::size_t n, unsigned threads, const std::function<bool(unsigned worker)>& start,
                      const std::function<void(std::size_t i, unsigned worker)>& work,
                      const std::vector<std::size_t>& start_order = {});

// One read: fills its own result (held by the caller) and may print lines, which are kept back
// and printed in the reads' order once all have finished.
using ParallelRead = std::function<void(std::vector<std::string>& printed)>;
using PrintLine = std::function<void(const std::string& line)>;

// Runs the reads at once on up to `threads` threads (0: parallel_thread_count). Then, in the
// reads' order, hands each read's printed lines to `print` and rethrows the exception of the
// first read that failed, dropping the lines of the reads after it. A read after a failed one
// may not run at all.
//
// `costs`, when given (one per read, in any unit: bytes to read, say), has the reads started
// costliest first, so that with more reads than threads the longest is not left to start last.
// It changes nothing of what is returned, printed or raised.
void run_reads(const std::vector<ParallelRead>& reads, const PrintLine& print = {}, unsigned threads = 0,
               const std::vector<std::uint64_t>& costs = {});

// Frees large independent structures at once, each on a thread of its own (freeing the hundreds
// of thousands of small blocks of a fraction's tables one table after the other is a good part of
// a call), leaving each empty. Every thread is joined before the call returns.
template <class... Owned>
void free_at_once(Owned&... owned) {
    const std::vector<std::function<void()>> frees = {[&owned] {
        Owned freed(std::move(owned));
        owned = Owned();
    }...};
    for_each_at_once(frees.size(), parallel_thread_count(frees.size()), {},
                     [&](std::size_t i, unsigned) { frees[i](); });
}

} // namespace vombrelle
