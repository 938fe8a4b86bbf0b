// Batches made on a worker thread and taken over, in order, on the caller's thread: the caller
// uses one batch while the worker makes the next (a reader parses the file while the caller turns
// what it has read into its own objects and frees it). At most `depth` finished batches wait, so
// what is in flight stays small whatever the input's size.
//
// The caller waits for a batch as its thread waits (wait_readable), so that it can be interrupted
// while the worker is blocked on its input. The worker is joined before the pipe is gone: stop()
// (and the destructor) makes it give up at its next batch, or at once where it is blocked or
// interruptible (worker_thread.hpp), and waits for it. When no thread can be started, each batch
// is made on the caller's thread when next() asks for it, with the same results.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "common/interruption.hpp"
#include "common/worker_thread.hpp"

namespace vombrelle {

template <class Batch>
class BatchPipe {
public:
    // make(batch) fills an empty batch and returns true, or returns false once there is nothing
    // left. An exception it throws ends the pipe: next() raises it after the batches made before.
    using Make = std::function<bool(Batch& batch)>;

    explicit BatchPipe(Make make, std::size_t depth = 2) : make_(std::move(make)), depth_(depth) {
        try {
            worker_ = std::make_unique<WorkerThread>(token_, [this] { work(); });
        } catch (const std::system_error&) {
            // No thread: next() makes each batch itself.
        }
    }
    ~BatchPipe() { stop(); }
    BatchPipe(const BatchPipe&) = delete;
    BatchPipe& operator=(const BatchPipe&) = delete;

    // The next batch, moved into `out`; false once the batches are all taken. Rethrows the error
    // that ended the batches, after the last batch made before it.
    bool next(Batch& out) {
        if (stopped_) return false;
        if (!worker_ && !ended_) {
            Batch made;
            bool more = false;
            try {
                more = make_(made);
            } catch (...) {
                ended_ = true;
                throw;
            }
            if (!more) {
                ended_ = true;
                return false;
            }
            out = std::move(made);
            return true;
        }
        for (;;) {
            ready_notice_.clear();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!ready_.empty()) {
                    out = std::move(ready_.front());
                    ready_.pop_front();
                    room_.notify_one();
                    return true;
                }
                if (ended_) {
                    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
                    return false;
                }
            }
            wait_readable(ready_notice_.fd());
        }
    }

    // Makes the worker give up at its next batch and joins it. Batches not taken, and an error
    // not raised yet, are dropped: next() returns false from then on.
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
            ready_.clear();
        }
        room_.notify_one();
        if (worker_) {
            token_->request_stop();
            worker_->join();
            worker_.reset();
        }
    }

private:
    void work() {
        for (;;) {
            Batch made;
            bool more = false;
            std::exception_ptr error;
            try {
                more = make_(made);
            } catch (...) {
                error = std::current_exception();
            }
            std::unique_lock<std::mutex> lock(mutex_);
            if (!more || stopped_) {
                error_ = error;
                ended_ = true;
                ready_notice_.notify();
                return;
            }
            room_.wait(lock, [this] { return ready_.size() < depth_ || stopped_; });
            if (stopped_) return;
            ready_.push_back(std::move(made));
            ready_notice_.notify();
        }
    }

    Make make_;
    std::size_t depth_;
    std::mutex mutex_;
    Notice ready_notice_;                    // a batch is ready, or the batches have ended
    std::condition_variable room_;           // a batch was taken, or the pipe is stopping
    std::deque<Batch> ready_;
    std::exception_ptr error_;
    bool ended_ = false;
    bool stopped_ = false;  // written under the mutex
    std::shared_ptr<StopToken> token_ = std::make_shared<StopToken>();
    std::unique_ptr<WorkerThread> worker_;  // last: started once everything above is in place
};

} // namespace vombrelle
