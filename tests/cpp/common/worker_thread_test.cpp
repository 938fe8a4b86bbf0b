#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "common/interruptible_io.hpp"
#include "common/interruption.hpp"
#include "common/output_file.hpp"
#include "common/parallel_reads.hpp"
#include "common/worker_thread.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

// What the host's signal handler raised, carried by the Interruption.
struct HandlerRaised : std::runtime_error {
    HandlerRaised() : std::runtime_error("KeyboardInterrupt") {}
};

// A caller's thread whose signal handler raises the first time it waits (after giving the
// workers a moment to block), as the host's does on Ctrl-C.
class RaisingCaller final : public Interruptions {
public:
    void checkpoint() override {}
    void interrupted_call() override { raise(); }
    void wait_readable(int fd) override {
        if (!poll_readable(fd, 50, [] {})) raise();
    }

private:
    [[noreturn]] static void raise() { throw Interruption(std::make_exception_ptr(HandlerRaised())); }
};

// Opens the FIFO, which nobody writes, and reads it: never returns on its own.
void read_fifo(const std::string& fifo, std::atomic<bool>& returned) {
    const int fd = open_readable(fifo);
    char c;
    read_some(fd, &c, 1, fifo);
    ::close(fd);
    returned = true;
}

void expect_host_error(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const Interruption& i) {
        ASSERT_TRUE(i.cause());
        EXPECT_THROW(std::rethrow_exception(i.cause()), HandlerRaised);
    }
}

TEST(WorkerThread, AWorkerBlockedOnAFifoIsStoppedAndJoinedWhenTheCallersHandlerRaises) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    RaisingCaller caller;
    InterruptionScope scope(caller);
    std::atomic<bool> returned{false};
    std::exception_ptr raised;
    try {
        try_run_on_worker([&] { read_fifo(fifo, returned); });
    } catch (...) {
        raised = std::current_exception();
    }
    ASSERT_TRUE(raised);
    expect_host_error(raised);
    EXPECT_FALSE(returned);
}

TEST(WorkerThread, AnInterruptedReadComesAheadOfTheOtherReadsErrorsAndStopsTheirWorkers) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> returned{false};
    const std::vector<ParallelRead> reads = {
        [&](std::vector<std::string>& printed) {
            printed.push_back("first");
            read_fifo(fifo, returned);
        },
        [](std::vector<std::string>&) { throw Interruption(std::make_exception_ptr(HandlerRaised())); },
        [](std::vector<std::string>&) { throw value_error("the last read's own error"); },
    };
    std::vector<std::string> printed;
    std::exception_ptr raised;
    try {
        run_reads(reads, [&](const std::string& line) { printed.push_back(line); }, 3);
    } catch (...) {
        raised = std::current_exception();
    }
    ASSERT_TRUE(raised);
    expect_host_error(raised);
    EXPECT_FALSE(returned);
    EXPECT_TRUE(printed.empty());
}

// Counts the interrupted calls of its thread and lets them be retried.
class CountingInterruptions final : public Interruptions {
public:
    void checkpoint() override {}
    void interrupted_call() override { ++interrupted; }
    std::atomic<int> interrupted{0};
};

TEST(WorkerThread, AnInterruptedReadIsRetriedOnceTheThreadsInterruptionsHadTheirSay) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR);  // a writer, silent for now
    ASSERT_GE(writer, 0);
    auto token = std::make_shared<StopToken>();
    CountingInterruptions counting;
    std::string got;
    WorkerThread worker(token, [&] {
        InterruptionScope scope(counting);
        const int fd = open_readable(fifo);
        char buf[8] = {};
        got.assign(buf, read_some(fd, buf, sizeof buf, fifo));
        ::close(fd);
    });
    // The wake-up signal, without a stop, until a blocked read has seen it (a few tries at most).
    for (int tries = 0; tries < 2000 && counting.interrupted == 0; ++tries) {
        token->wake();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(::write(writer, "peaks", 5), 5);
    worker.join();
    ::close(writer);
    EXPECT_GE(counting.interrupted, 1);
    EXPECT_FALSE(worker.error());
    EXPECT_EQ(got, "peaks");
}

// Raises at its second checkpoint.
class RaisingAtSecondCheckpoint final : public Interruptions {
public:
    void checkpoint() override {
        if (++checkpoints == 2) throw Interruption(std::make_exception_ptr(HandlerRaised()));
    }
    void interrupted_call() override {}
    int checkpoints = 0;
};

TEST(WorkerThread, AnInterruptedWriteLeavesTheOldFileAndNoTemporary) {
    test::TempDir dir;
    const std::string target = dir.write("table.tsv", "old table\n");
    RaisingAtSecondCheckpoint interruptions;
    InterruptionScope scope(interruptions);
    const std::string block(1 << 16, 'x');
    EXPECT_THROW(
        {
            OutputFile out(target);
            for (int i = 0; i < 64; ++i) out.write(block);  // 4 MB: flushed a block at a time
            out.commit();
        },
        Interruption);
    EXPECT_EQ(interruptions.checkpoints, 2);
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old table\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace vombrelle
