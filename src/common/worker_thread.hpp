// Worker threads of a call: started so that the call can stop them, woken when they are blocked,
// and joined before the call returns.
//
// The workers of a call share a StopToken. A worker leaves the process's asynchronous signals to
// the host's threads, which run their handlers, except one wake-up signal (SIGURG, ignored by
// default) whose handler does nothing and lets system calls fail with EINTR: sent to a worker
// blocked in open() or read() on an input that never comes, it makes the worker look at its
// token, and a worker whose call has stopped throws Interruption there (and at every
// interruption_point()). A stopped call sends the signal again and again until its workers have
// ended, so that a worker that was about to block when it was first sent is woken all the same.
// The handler is installed once, and only where no one else handles the signal; without it, a
// stopped worker blocked on such an input ends when the input does.
#pragma once

#include <pthread.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/interruption.hpp"

namespace vombrelle {

// A notice from one thread to another that a blocking wait can take (wait_readable on its fd):
// notify() makes the fd readable until clear().
class Notice {
public:
    Notice();  // throws std::system_error
    ~Notice();
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;

    void notify() noexcept;
    void clear() noexcept;
    int fd() const { return fd_; }

private:
    int fd_;
};

class StopToken {
public:
    void request_stop();
    bool stop_requested() const { return stopped_.load(std::memory_order_relaxed); }
    // Sends the wake-up signal to every thread working for the token.
    void wake();

private:
    friend class TokenMember;
    void enter(pthread_t thread);
    void leave(pthread_t thread);

    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::vector<pthread_t> threads_;
};

class StopCheck;

// The current thread works for `token` for the member's lifetime: it is woken with the token's
// workers, and its interruption points and interrupted calls throw Interruption once the token
// is stopped (before its own interruptions, if any, have their say). Every worker is a member of
// its token; a caller's thread that takes part in its workers' work joins it for that work.
class TokenMember {
public:
    explicit TokenMember(std::shared_ptr<StopToken> token);
    ~TokenMember();
    TokenMember(const TokenMember&) = delete;
    TokenMember& operator=(const TokenMember&) = delete;

private:
    std::shared_ptr<StopToken> token_;
    pthread_t self_;
    std::shared_ptr<StopToken> previous_token_;
    std::unique_ptr<StopCheck> check_;
    InterruptionScope scope_;
};

// The token for workers the current thread starts: on a worker, its own call's (so that they stop
// with it); elsewhere a new one.
std::shared_ptr<StopToken> token_for_workers();
// The token the current thread works for, or null.
std::shared_ptr<StopToken> current_token();

class WorkerThread {
public:
    // Runs `body` on a new thread that stops with `token`. Throws std::system_error when no thread
    // can be started.
    WorkerThread(std::shared_ptr<StopToken> token, std::function<void()> body);
    ~WorkerThread();  // join()
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Waits until the body has returned, as the current thread waits (wait_readable): may throw
    // the current thread's Interruption, the worker still running.
    void wait();
    // Waits without taking signals (blocking(): waking the worker again and again while its
    // token is stopped) and joins the thread.
    void join();
    // What the body threw, once it has returned.
    std::exception_ptr error() const { return error_; }

private:
    void run();

    std::shared_ptr<StopToken> token_;
    std::function<void()> body_;
    Notice done_;
    std::atomic<bool> finished_{false};
    std::exception_ptr error_;
    std::thread thread_;  // last: started once everything above is in place
};

// Waits for every worker (interruptibly: the first Interruption of the wait stops `token`), joins
// them all, and rethrows that Interruption.
void join_workers(std::vector<std::unique_ptr<WorkerThread>>& workers, StopToken& token);

// Runs `work` on a worker thread while the current thread waits for it as its Interruptions say.
// When that wait throws, stops the worker, joins it and rethrows; otherwise rethrows what `work`
// threw. Returns false, having run nothing, when no thread can be started.
bool try_run_on_worker(const std::function<void()>& work);

} // namespace vombrelle
