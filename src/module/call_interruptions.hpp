// A module function's call and the interpreter: when it gives up the interpreter lock, and how
// signals reach the handlers the driver's code installed while the call runs natively.
//
// The interpreter's rule for a blocking system call that a signal interrupts is: take the lock,
// run the signal handlers, raise what they raise, else retry. CallerInterruptions applies it to
// the caller's thread for the whole call (define_function installs one), to its own system calls
// and to its waits for worker threads; long native work on the caller's thread checks for pending
// signals as it goes (with the lock held at every checkpoint, which costs nothing; without it at
// least every 100 ms, taking the lock for the check). Only the interpreter's main thread runs
// signal handlers: elsewhere interrupted calls are simply retried.
//
// A wait keeps the lock for up to two switch intervals (sys.getswitchinterval()) before giving it
// up: taking the lock back while another thread runs Python code waits for that thread's switch
// interval, so a short wait costs less holding it, and a long one, which gives it up, at most
// doubles.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

#include "common/interruption.hpp"
#include "common/worker_thread.hpp"

namespace vombrelle::module {

namespace py = pybind11;

class CallerInterruptions final : public Interruptions {
public:
    void checkpoint() override;
    void interrupted_call() override;
    void wait_readable(int fd) override;
    void blocking(const std::function<void()>& work) override;

    // The lock is given up (false) or taken back (true) around native work. Learns, before it is
    // given up, whether this is the main thread.
    void set_lock_held(bool held);

private:
    // Runs the signal handlers, taking the lock for it when it is given up; throws Interruption
    // with what they raise.
    void check_signals();
    bool main_thread();
    int hold_ms();

    bool lock_held_ = true;
    std::optional<bool> main_thread_;
    std::optional<int> hold_ms_;
    std::chrono::steady_clock::time_point last_check_ = std::chrono::steady_clock::now();
};

// The ident of the interpreter's main thread, the one thread that runs signal handlers, as
// PyThread_get_thread_ident() gives it; register_main_thread() learns it when the module loads.
unsigned long main_thread_ident();
void register_main_thread();

// The current call's, installed for the call's duration.
class CallScope {
public:
    CallScope() : scope_(interruptions_) {}

private:
    CallerInterruptions interruptions_;
    InterruptionScope scope_;
};

// Marks the lock given up for a scope (constructed before the release, destroyed after the lock
// is taken back).
class LockGivenUp {
public:
    LockGivenUp();
    ~LockGivenUp();
    LockGivenUp(const LockGivenUp&) = delete;
    LockGivenUp& operator=(const LockGivenUp&) = delete;

private:
    CallerInterruptions* call_;
};

// Runs `work` on the caller's thread with the interpreter lock released, so that a blocking open
// or read (a FIFO whose writer is another thread of the caller) cannot stall the whole
// interpreter. `work` must not touch Python objects; a callback that has to (a lookup in the
// driver's map, a print) takes the lock back with py::gil_scoped_acquire for its own duration.
// Interrupted system calls and checkpoints of `work` run the signal handlers (CallerInterruptions).
template <class Work>
decltype(auto) unlocked(Work&& work) {
    LockGivenUp given_up;
    py::gil_scoped_release unlock;
    return std::forward<Work>(work)();
}

// Runs `work`, which touches no Python object and calls back into none, on a worker thread while
// the caller waits as CallerInterruptions says: keeping the lock for a short work, giving it up
// for a long one, and stopping the work (and joining its threads) when a signal handler raises.
// Where no thread can be started, runs it unlocked() instead.
template <class Work>
auto released(Work&& work) {
    using Result = std::invoke_result_t<Work&>;
    if constexpr (std::is_void_v<Result>) {
        if (!try_run_on_worker([&] { work(); })) unlocked(work);
    } else {
        std::optional<Result> result;
        if (!try_run_on_worker([&] { result.emplace(work()); })) result.emplace(unlocked(work));
        return std::move(*result);
    }
}

} // namespace vombrelle::module
