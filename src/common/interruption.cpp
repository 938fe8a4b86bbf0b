#include "common/interruption.hpp"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <system_error>

namespace vombrelle {

namespace {

thread_local Interruptions* current = nullptr;

} // namespace

void Interruptions::wait_readable(int fd) {
    poll_readable(fd, -1, [this] { interrupted_call(); });
}

void Interruptions::blocking(const std::function<void()>& work) { work(); }

InterruptionScope::InterruptionScope(Interruptions& interruptions) : previous_(current) { current = &interruptions; }

InterruptionScope::~InterruptionScope() { current = previous_; }

Interruptions* current_interruptions() { return current; }

void interruption_point() {
    if (current != nullptr) current->checkpoint();
}

void after_interrupted_call() {
    if (current != nullptr) current->interrupted_call();
}

void wait_readable(int fd) {
    if (current != nullptr) {
        current->wait_readable(fd);
    } else {
        poll_readable(fd, -1, [] {});
    }
}

void blocking(const std::function<void()>& work) {
    if (current != nullptr) {
        current->blocking(work);
    } else {
        work();
    }
}

bool poll_readable(int fd, int timeout_ms, const std::function<void()>& on_signal) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        int wait = -1;
        if (timeout_ms >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, wait);
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        on_signal();
    }
}

} // namespace vombrelle
