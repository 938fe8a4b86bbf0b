#include "module/call_interruptions.hpp"

#include <algorithm>
#include <cmath>
#include <exception>

namespace vombrelle::module {

namespace {

// Without the lock, the handlers run at least this often.
constexpr auto kCheckEvery = std::chrono::milliseconds(80);

CallerInterruptions* current_call() { return dynamic_cast<CallerInterruptions*>(current_interruptions()); }

unsigned long& main_ident() {
    static unsigned long ident = 0;
    return ident;
}

} // namespace

unsigned long main_thread_ident() { return main_ident(); }

void register_main_thread() {
    // Learnt once, without running Python code at each call (which would let a busy thread take
    // the lock there); a forked child's main thread is the thread that forked.
    main_ident() = py::cast<unsigned long>(py::module_::import("threading").attr("main_thread")().attr("ident"));
    py::cpp_function forked([] { main_ident() = PyThread_get_thread_ident(); });
    py::module_::import("os").attr("register_at_fork")(py::arg("after_in_child") = forked);
}

void CallerInterruptions::set_lock_held(bool held) {
    if (!held) main_thread();
    lock_held_ = held;
}

bool CallerInterruptions::main_thread() {
    if (!main_thread_) main_thread_ = main_thread_ident() == PyThread_get_thread_ident();
    return *main_thread_;
}

int CallerInterruptions::hold_ms() {
    if (!hold_ms_) {
        const double interval = py::cast<double>(py::module_::import("sys").attr("getswitchinterval")());
        hold_ms_ = std::max(1, static_cast<int>(std::ceil(2000.0 * interval)));
    }
    return *hold_ms_;
}

void CallerInterruptions::check_signals() {
    std::exception_ptr raised;
    {
        std::optional<py::gil_scoped_acquire> locked;
        if (!lock_held_) {
            if (!main_thread()) return;  // known before the lock was given up
            locked.emplace();
        }
        if (PyErr_CheckSignals() != 0) raised = std::make_exception_ptr(py::error_already_set());
    }
    last_check_ = std::chrono::steady_clock::now();
    if (raised) throw Interruption(raised);
}

void CallerInterruptions::checkpoint() {
    if (lock_held_) {
        // A flag test while no signal is pending.
        if (PyErr_CheckSignals() != 0) throw Interruption(std::make_exception_ptr(py::error_already_set()));
        return;
    }
    if (!*main_thread_ || std::chrono::steady_clock::now() - last_check_ < kCheckEvery) return;
    check_signals();
}

void CallerInterruptions::interrupted_call() { check_signals(); }

void CallerInterruptions::wait_readable(int fd) {
    if (lock_held_ && poll_readable(fd, hold_ms(), [this] { check_signals(); })) return;
    blocking([&] {
        // Signals interrupt the wait (the handlers run at once); one may also have come between
        // the last check and the wait, or gone to another thread: they run at least every
        // kCheckEvery.
        for (;;) {
            if (!*main_thread_) {
                poll_readable(fd, -1, [] {});
                return;
            }
            const auto next_check = kCheckEvery - (std::chrono::steady_clock::now() - last_check_);
            const auto slice = std::chrono::ceil<std::chrono::milliseconds>(next_check).count();
            if (poll_readable(fd, static_cast<int>(std::max<decltype(slice)>(slice, 0)), [this] { check_signals(); })) {
                return;
            }
            if (std::chrono::steady_clock::now() - last_check_ >= kCheckEvery) check_signals();
        }
    });
}

void CallerInterruptions::blocking(const std::function<void()>& work) {
    if (!lock_held_) {
        work();
        return;
    }
    set_lock_held(false);
    struct Retake {
        CallerInterruptions& call;
        ~Retake() { call.set_lock_held(true); }
    } retake{*this};
    py::gil_scoped_release unlock;
    work();
}

LockGivenUp::LockGivenUp() : call_(current_call()) {
    if (call_ != nullptr) call_->set_lock_held(false);
}

LockGivenUp::~LockGivenUp() {
    if (call_ != nullptr) call_->set_lock_held(true);
}

} // namespace vombrelle::module
