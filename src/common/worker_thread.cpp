#include "common/worker_thread.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

#include "common/interruption.hpp"

namespace vombrelle {

namespace {

constexpr int kWakeSignal = SIGURG;
// How often a stopped call wakes its workers again until they have ended.
constexpr int kWakeAgainMs = 10;

void do_nothing(int) {}

// Installs the wake-up handler unless the signal is someone else's. True when it is ours.
bool wake_handler_installed() {
    static const bool installed = [] {
        struct sigaction old {};
        if (::sigaction(kWakeSignal, nullptr, &old) != 0) return false;
        if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) return false;
        struct sigaction wake {};
        wake.sa_handler = do_nothing;
        ::sigemptyset(&wake.sa_mask);
        wake.sa_flags = 0;  // no SA_RESTART: a blocked open() or read() fails with EINTR
        return ::sigaction(kWakeSignal, &wake, nullptr) == 0;
    }();
    if (!installed) return false;
    // Someone may have taken the signal over since.
    struct sigaction now {};
    return ::sigaction(kWakeSignal, nullptr, &now) == 0 && now.sa_handler == do_nothing;
}

thread_local std::shared_ptr<StopToken> thread_token;

} // namespace

// A stopped token ends its threads' work; otherwise the thread's own interruptions (a caller's
// thread taking part in its workers' work) have their say.
class StopCheck final : public Interruptions {
public:
    StopCheck(const StopToken& token, Interruptions* outer) : token_(token), outer_(outer) {}
    void checkpoint() override {
        if (token_.stop_requested()) throw Interruption();
        if (outer_ != nullptr) outer_->checkpoint();
    }
    void interrupted_call() override {
        if (token_.stop_requested()) throw Interruption();
        if (outer_ != nullptr) outer_->interrupted_call();
    }

private:
    const StopToken& token_;
    Interruptions* outer_;
};

TokenMember::TokenMember(std::shared_ptr<StopToken> token)
    : token_(std::move(token)), self_(::pthread_self()), previous_token_(thread_token),
      check_(std::make_unique<StopCheck>(*token_, current_interruptions())), scope_(*check_) {
    token_->enter(self_);
    thread_token = token_;
}

TokenMember::~TokenMember() {
    thread_token = previous_token_;
    token_->leave(self_);
}

Notice::Notice() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Notice::~Notice() { ::close(fd_); }

void Notice::notify() noexcept {
    const std::uint64_t one = 1;
    // Only a full counter (never reached here) refuses: the fd is readable then anyway.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void Notice::clear() noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

void StopToken::request_stop() {
    stopped_.store(true, std::memory_order_relaxed);
    wake();
}

void StopToken::wake() {
    if (!wake_handler_installed()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (pthread_t t : threads_) ::pthread_kill(t, kWakeSignal);
}

void StopToken::enter(pthread_t thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.push_back(thread);
}

void StopToken::leave(pthread_t thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.erase(std::find_if(threads_.begin(), threads_.end(), [&](pthread_t t) { return pthread_equal(t, thread); }));
}

std::shared_ptr<StopToken> current_token() { return thread_token; }

std::shared_ptr<StopToken> token_for_workers() {
    return thread_token ? thread_token : std::make_shared<StopToken>();
}

WorkerThread::WorkerThread(std::shared_ptr<StopToken> token, std::function<void()> body)
    : token_(std::move(token)), body_(std::move(body)), thread_([this] { run(); }) {}

WorkerThread::~WorkerThread() { join(); }

void WorkerThread::run() {
    // The host's signals are for the host's threads; the synchronous ones cannot be held back.
    sigset_t blocked;
    ::sigfillset(&blocked);
    for (int s : {kWakeSignal, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) ::sigdelset(&blocked, s);
    ::pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    wake_handler_installed();
    {
        TokenMember member(token_);
        try {
            body_();
        } catch (...) {
            error_ = std::current_exception();
        }
    }
    finished_.store(true, std::memory_order_release);
    done_.notify();
}

void WorkerThread::wait() {
    while (!finished_.load(std::memory_order_acquire)) wait_readable(done_.fd());
}

void WorkerThread::join() {
    if (!thread_.joinable()) return;
    if (!finished_.load(std::memory_order_acquire)) {
        blocking([this] {
            while (!finished_.load(std::memory_order_acquire)) {
                const bool stopping = token_->stop_requested();
                if (stopping) token_->wake();
                poll_readable(done_.fd(), stopping ? kWakeAgainMs : -1, [] {});
            }
        });
    }
    thread_.join();
}

void join_workers(std::vector<std::unique_ptr<WorkerThread>>& workers, StopToken& token) {
    std::exception_ptr interruption;
    for (auto& w : workers) {
        if (interruption) break;
        try {
            w->wait();
        } catch (const Interruption&) {
            interruption = std::current_exception();
            token.request_stop();
        }
    }
    for (auto& w : workers) w->join();
    if (interruption) std::rethrow_exception(interruption);
}

bool try_run_on_worker(const std::function<void()>& work) {
    const std::shared_ptr<StopToken> token = token_for_workers();
    std::unique_ptr<WorkerThread> worker;
    try {
        worker = std::make_unique<WorkerThread>(token, work);
    } catch (const std::system_error&) {
        return false;
    }
    std::vector<std::unique_ptr<WorkerThread>> workers;
    workers.push_back(std::move(worker));
    join_workers(workers, *token);
    if (const std::exception_ptr error = workers[0]->error()) std::rethrow_exception(error);
    return true;
}

} // namespace vombrelle
