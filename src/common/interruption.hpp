// Interrupting a call: long native work and blocking system calls give way when the call is to
// stop, and the threads of the call are joined before it returns.
//
// A thread that runs a call answers for its interruptions through an Interruptions object: the
// caller's thread gets one from the host (the binding: run the interpreter's signal handlers and
// raise what they raise), a worker thread gets one from the call that started it (worker_thread.hpp:
// give up once the call stops its workers). Core code does not know which; it calls
//   interruption_point()      in long loops, at least every few milliseconds of work (cheap),
//   after_interrupted_call()  when a blocking system call failed with EINTR, before retrying it,
//   wait_readable(fd)         to block until another thread's notice arrives (a Notice),
//   blocking(work)            around a wait that takes no signals (joining stopped workers),
// and lets the Interruption these may throw pass: it is no error of the input, so code that keeps
// per-item errors (the first error of reads made at once) lets it through ahead of them. A thread
// with nothing installed (a program without a host) retries interrupted calls and never stops.
#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace vombrelle {

// Thrown through the core when a call is interrupted. `cause`, when set, is the host's exception
// (what a signal handler raised), which the host raises in its place; a worker that gives up
// because its call stopped it throws one without a cause, which its caller drops.
class Interruption : public std::exception {
public:
    Interruption() = default;
    explicit Interruption(std::exception_ptr cause) : cause_(std::move(cause)) {}
    const std::exception_ptr& cause() const { return cause_; }
    const char* what() const noexcept override { return "the call was interrupted"; }

private:
    std::exception_ptr cause_;
};

class Interruptions {
public:
    virtual ~Interruptions() = default;

    // Long work reached a point where it may stop. Called often: must be cheap when nothing is due.
    virtual void checkpoint() = 0;

    // A blocking system call of this thread failed with EINTR: returns to retry it, or throws
    // Interruption.
    virtual void interrupted_call() = 0;

    // Blocks until `fd` is readable; signals arriving meanwhile are taken as interrupted_call().
    // The default polls.
    virtual void wait_readable(int fd);

    // Runs `work`, which blocks and takes no signals, for as long as it takes: the host may give
    // way meanwhile (the binding gives up the interpreter lock). The default just runs it.
    virtual void blocking(const std::function<void()>& work);
};

// Installs `interruptions` for the current thread for the scope's lifetime (the previous one is
// restored after).
class InterruptionScope {
public:
    explicit InterruptionScope(Interruptions& interruptions);
    ~InterruptionScope();
    InterruptionScope(const InterruptionScope&) = delete;
    InterruptionScope& operator=(const InterruptionScope&) = delete;

private:
    Interruptions* previous_;
};

// The current thread's, or nullptr.
Interruptions* current_interruptions();

void interruption_point();
void after_interrupted_call();
void wait_readable(int fd);
void blocking(const std::function<void()>& work);

// poll() for `fd` readable within `timeout_ms` (negative: no limit), calling `on_signal` each time
// a signal interrupts it and then waiting out the rest of the time; true when readable.
bool poll_readable(int fd, int timeout_ms, const std::function<void()>& on_signal);

} // namespace vombrelle
