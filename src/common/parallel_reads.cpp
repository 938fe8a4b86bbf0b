#include "common/parallel_reads.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <numeric>
#include <optional>
#include <memory>
#include <system_error>
#include <thread>

#include "common/interruption.hpp"
#include "common/worker_thread.hpp"

namespace vombrelle {

namespace {

// The Interruption among the errors of the workers, if any: the one that carries the host's
// exception before one that only says its worker stopped.
std::exception_ptr interruption_among(const std::vector<std::exception_ptr>& errors) {
    std::exception_ptr found;
    for (const auto& e : errors) {
        if (!e) continue;
        try {
            std::rethrow_exception(e);
        } catch (const Interruption& i) {
            if (i.cause()) return e;
            if (!found) found = e;
        } catch (...) {
        }
    }
    return found;
}

} // namespace

unsigned parallel_thread_count(std::size_t jobs) {
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>({jobs == 0 ? 1 : jobs, hardware, 4}));
}

void run_on_threads(unsigned threads, const std::function<void(unsigned worker)>& body) {
    threads = std::max(threads, 1u);
    std::vector<std::exception_ptr> errors(threads);
    // The workers stop with the call that runs this, and when any of them is interrupted.
    const std::shared_ptr<StopToken> token = token_for_workers();
    auto guarded = [&](unsigned k) {
        try {
            body(k);
        } catch (const Interruption&) {
            errors[k] = std::current_exception();
            token->request_stop();
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::unique_ptr<WorkerThread>> started;
    started.reserve(threads - 1);
    for (unsigned k = 1; k < threads; ++k) {
        try {
            started.push_back(std::make_unique<WorkerThread>(token, [&guarded, k] { guarded(k); }));
        } catch (const std::system_error&) {
            break;  // fewer threads: the others take the work
        }
    }
    {
        // This thread takes part: it stops with the others (it may be a caller's thread, not
        // one of the call's workers yet).
        std::optional<TokenMember> member;
        if (token != current_token()) member.emplace(token);
        guarded(0);
    }
    try {
        join_workers(started, *token);
    } catch (const Interruption&) {
        errors.push_back(std::current_exception());  // this thread's own wait was interrupted
    }
    if (const std::exception_ptr interruption = interruption_among(errors)) std::rethrow_exception(interruption);
    for (const auto& e : errors) {
        if (e) std::rethrow_exception(e);
    }
}

void for_each_at_once(std::size_t n, unsigned threads, const std::function<bool(unsigned worker)>& start,
                      const std::function<void(std::size_t i, unsigned worker)>& work,
                      const std::vector<std::size_t>& start_order) {
    std::vector<std::exception_ptr> errors(n);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> first_failed{n};
    run_on_threads(threads, [&](unsigned worker) {
        if (worker != 0 && start && !start(worker)) return;
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= n) return;
            const std::size_t i = start_order.empty() ? k : start_order[k];
            // An item above a failed one cannot change the outcome any more.
            if (i > first_failed.load()) continue;
            interruption_point();
            try {
                work(i, worker);
            } catch (const Interruption&) {
                throw;  // no item's error: the whole call stops
            } catch (...) {
                errors[i] = std::current_exception();
                std::size_t seen = first_failed.load();
                while (i < seen && !first_failed.compare_exchange_weak(seen, i)) {
                }
            }
        }
    });
    const std::size_t failed = first_failed.load();
    if (failed < n) std::rethrow_exception(errors[failed]);
}

void run_reads(const std::vector<ParallelRead>& reads, const PrintLine& print, unsigned threads,
               const std::vector<std::uint64_t>& costs) {
    const std::size_t n = reads.size();
    std::vector<std::vector<std::string>> printed(n);
    std::vector<char> finished(n, 0);
    std::vector<std::size_t> order;
    if (costs.size() == n) {
        order.resize(n);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return costs[a] > costs[b]; });
    }
    std::exception_ptr failure;
    try {
        for_each_at_once(
            n, threads == 0 ? parallel_thread_count(n) : threads, {},
            [&](std::size_t i, unsigned) {
                reads[i](printed[i]);
                finished[i] = 1;
            },
            order);
    } catch (const Interruption&) {
        throw;  // nothing is printed for a call that stops
    } catch (...) {
        failure = std::current_exception();
    }
    // Every read before the failed one has finished: the first unfinished read is the failed one,
    // whose lines are printed, and no later read's.
    for (std::size_t i = 0; i < n; ++i) {
        if (print) {
            for (const auto& line : printed[i]) print(line);
        }
        if (!finished[i]) break;
    }
    if (failure) std::rethrow_exception(failure);
}

} // namespace vombrelle
