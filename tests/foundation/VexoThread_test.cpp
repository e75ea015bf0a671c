#include "foundation/VexoThread.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/LogCapture.h"
#include "platform/PlatformTime.h"

using VexoSource::VexoThread;

namespace {

const char* const kWaitLine = "Debug - Waiting the thread terminate signal";
const char* const kEndLine = "Debug - Thread terminated";

uint32_t ElapsedSince(uint32_t start) { return VexoPlatform::GetTickCount() - start; }

// Waits (in short sleeps) until `done` or about two seconds have passed.
template <typename F>
bool WaitUntil(F done) {
    for (int i = 0; i < 200 && !done(); ++i) VexoPlatform::SleepMs(10);
    return done();
}

// A worker that checks its state between short units of work.
class PoliteWorker : public VexoThread {
public:
    std::atomic<int> runs{0};
    std::atomic<int> loops{0};
    std::atomic<int> returns{0};  // Run ended by itself, not by the forced stop
    ~PoliteWorker() override { Stop(); }
    void Run() override {
        ++runs;
        while (!StopRequested()) {
            ++loops;
            SleepFor(60000);  // a long wait that a stop request cuts short
        }
        ++returns;
    }
};

// A worker stuck in a call that never returns (a read on a pipe nobody writes), holding a lock
// and a marker object on its stack.
class BlockedWorker : public VexoThread {
public:
    std::mutex& held;
    std::atomic<bool>& unwound;
    std::atomic<bool> blocked{false};
    int pipeFds[2];
    BlockedWorker(std::mutex& m, std::atomic<bool>& u) : held(m), unwound(u) {
        if (pipe(pipeFds) != 0) pipeFds[0] = pipeFds[1] = -1;
    }
    ~BlockedWorker() override {
        Stop();
        close(pipeFds[0]);
        close(pipeFds[1]);
    }
    void Run() override {
        struct Marker {
            std::atomic<bool>& flag;
            ~Marker() { flag = true; }
        } marker{unwound};
        std::lock_guard<std::mutex> lock(held);
        blocked = true;
        char c;
        while (read(pipeFds[0], &c, 1) != 0) {
        }
    }
};

class OneShotWorker : public VexoThread {
public:
    std::atomic<int> runs{0};
    ~OneShotWorker() override { Stop(); }
    void Run() override { ++runs; }
};

class SelfStoppingWorker : public VexoThread {
public:
    std::atomic<bool> returned{false};
    ~SelfStoppingWorker() override { Stop(); }
    void Run() override {
        Stop();  // not meant to be done, but must neither hang nor cancel itself
        returned = true;
    }
};

}  // namespace

TEST(VexoThread, StopOfANeverStartedObjectIsSilent) {
    LogCapture log;
    PoliteWorker worker;
    EXPECT_EQ(worker.GetState(), VexoThread::kStopRequested);
    const uint32_t start = VexoPlatform::GetTickCount();
    worker.Stop();
    EXPECT_LT(ElapsedSince(start), 1900u);  // no thread: nothing to wait for
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(worker.runs, 0);
}

// The system refuses a thread (as pthread_create does at its thread limit): Start says so in its
// result and the log, and the object is as if never started; once threads can be had again, it
// starts as usual.
int RefuseThread(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; }

TEST(VexoThread, FailedCreationIsReportedAndLeavesNothingRunning) {
    LogCapture log;
    PoliteWorker worker;
    worker.SetThreadName("refused");
    const VexoThread::ThreadCreator previous = VexoThread::SetThreadCreator(&RefuseThread);
    const bool started = worker.Start();
    VexoThread::SetThreadCreator(previous);
    EXPECT_FALSE(started);
    EXPECT_EQ(worker.GetState(), VexoThread::kStopRequested) << "nothing runs, so nothing says running";
    EXPECT_FALSE(worker.IsStarted());
    EXPECT_TRUE(log.Contains("Exception - Thread refused could not be started"));
    EXPECT_TRUE(log.Contains(std::strerror(EAGAIN))) << "the system's reason";
    const size_t lines = log.Lines().size();
    worker.Stop();  // nothing to wait for
    EXPECT_EQ(log.Lines().size(), lines);

    EXPECT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return worker.runs == 1; }));
    worker.Stop();
}

TEST(VexoThread, CooperativeWorkerStopsAtOnceWithBothLines) {
    LogCapture log;
    PoliteWorker worker;
    worker.Start();
    EXPECT_EQ(worker.GetState(), VexoThread::kRunning);
    ASSERT_TRUE(WaitUntil([&] { return worker.loops > 0; }));
    const uint32_t start = VexoPlatform::GetTickCount();
    worker.Stop();
    // The minute-long sleep was cut short, and the worker returned by itself: a forced end would
    // have come only after the stop bound, and without this count. (The bound is about hangs.)
    EXPECT_LT(ElapsedSince(start), 10000u);
    EXPECT_EQ(worker.returns, 1);
    EXPECT_FALSE(worker.IsStarted());
    EXPECT_EQ(log.Count(kWaitLine), 1u);
    EXPECT_EQ(log.Count(kEndLine), 1u);

    // A stopped object may be started again.
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return worker.runs == 2; }));
    worker.Stop();
}

TEST(VexoThread, BlockedWorkerIsEndedAfterAboutTwoSecondsAndUnwound) {
    LogCapture log;
    std::mutex held;
    std::atomic<bool> unwound{false};
    {
        BlockedWorker worker(held, unwound);
        worker.Start();
        ASSERT_TRUE(WaitUntil([&] { return worker.blocked.load(); }));
        const uint32_t start = VexoPlatform::GetTickCount();
        worker.Stop();
        const uint32_t elapsed = ElapsedSince(start);
        EXPECT_GE(elapsed, 1900u);
        // Ended by the first forced stop, not the second bound: the log below has no "did not end"
        // line. The upper bound is only about a hang; a loaded machine may take its time.
        EXPECT_LT(elapsed, 15000u);
        EXPECT_FALSE(worker.IsStarted());
    }
    EXPECT_TRUE(unwound);  // the forced end ran the worker's destructors...
    EXPECT_TRUE(held.try_lock());  // ...so the lock it held is free again
    held.unlock();
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(kWaitLine), std::string::npos);
    EXPECT_NE(lines[1].find(kEndLine), std::string::npos);
}

TEST(VexoThread, WorkerThatCannotBeCancelledIsReportedAndWaitedFor) {
    // Cancellation disabled stands for a worker stuck where no cancellation point is reached. Its
    // owner destroys the object once Stop returns, so Stop must not return while it still runs.
    class Stubborn : public VexoThread {
    public:
        std::atomic<bool> release{false};
        std::atomic<bool> started{false};
        std::atomic<bool> stillHere{false};  // written by the worker after its release
        ~Stubborn() override { Stop(); }
        void Run() override {
            int old = 0;
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);
            started = true;
            while (!release) usleep(10000);
            usleep(50000);  // still on the object a while after the release
            stillHere = true;
            pthread_setcancelstate(old, nullptr);
        }
    };
    LogCapture log;
    auto worker = std::make_unique<Stubborn>();
    worker->Start();
    ASSERT_TRUE(WaitUntil([&] { return worker->started.load(); }));
    std::atomic<bool> stopReturned{false};
    bool finishedWhenStopReturned = false;
    std::thread owner([&] {
        worker->Stop();
        finishedWhenStopReturned = worker->HasFinished() && worker->stillHere;
        stopReturned = true;
    });
    // Both bounds have passed once the report is there; Stop keeps waiting.
    bool reported = false;
    for (int i = 0; i < 800 && !reported; ++i) {
        VexoPlatform::SleepMs(10);
        reported = log.Contains("Exception - Thread did not end after the forced stop");
    }
    VexoPlatform::SleepMs(200);
    const bool returnedEarly = stopReturned;
    worker->release = true;
    owner.join();
    EXPECT_TRUE(reported);
    EXPECT_FALSE(returnedEarly) << "Stop returned while the thread still runs on the object";
    EXPECT_TRUE(finishedWhenStopReturned);
    EXPECT_FALSE(worker->IsStarted());
    EXPECT_TRUE(log.Contains(kEndLine));
    worker.reset();  // what the owner does next: safe now
}

TEST(VexoThread, DestroyingARunningObjectStopsItFirst) {
    // No destructor of its own: the base's destructor must do the stopping.
    static std::atomic<int> loops{0};
    static std::atomic<int> ended{0};
    class PlainWorker : public VexoThread {
    public:
        void Run() override {
            while (!StopRequested()) {
                ++loops;
                SleepFor(1000);
            }
            ++ended;
        }
    };
    loops = 0;
    ended = 0;
    LogCapture log;
    {
        auto worker = std::make_unique<PlainWorker>();
        worker->Start();
        ASSERT_TRUE(WaitUntil([&] { return loops.load() > 0; }));
    }
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(log.Count(kEndLine), 1u);
}

TEST(VexoThread, StartTwiceKeepsTheSingleThread) {
    LogCapture log;
    PoliteWorker worker;
    worker.Start();
    worker.Start();
    EXPECT_EQ(log.Count("Exception - Thread's created "), 1u);
    ASSERT_TRUE(WaitUntil([&] { return worker.runs > 0; }));
    VexoPlatform::SleepMs(50);
    EXPECT_EQ(worker.runs, 1);
    worker.Stop();

    // A Run that ended by itself keeps its thread until the next Stop.
    OneShotWorker once;
    once.Start();
    ASSERT_TRUE(WaitUntil([&] { return once.runs == 1; }));
    EXPECT_TRUE(once.IsStarted());
    EXPECT_EQ(once.GetState(), VexoThread::kRunning);
    once.Start();
    EXPECT_EQ(log.Count("Exception - Thread's created "), 2u);
    const uint32_t start = VexoPlatform::GetTickCount();
    once.Stop();
    EXPECT_LT(ElapsedSince(start), 1900u);  // nothing to wait for: well inside the stop bound
    EXPECT_EQ(once.runs, 1);
}

TEST(VexoThread, StopCalledByTheWorkerItselfDoesNotWaitForItself) {
    LogCapture log;
    SelfStoppingWorker worker;
    const uint32_t start = VexoPlatform::GetTickCount();
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return worker.returned.load(); }));
    EXPECT_LT(ElapsedSince(start), 1900u);  // it did not wait out the stop bound for itself
    EXPECT_EQ(worker.GetState(), VexoThread::kStopRequested);
    worker.Stop();  // the owner's Stop still collects the thread
    EXPECT_FALSE(worker.IsStarted());
}

TEST(VexoThread, WaitsOfAWorkerEndEarlyOnStop) {
    // Outside a worker, SleepCurrent sleeps the full time.
    const uint32_t start = VexoPlatform::GetTickCount();
    EXPECT_TRUE(VexoThread::SleepCurrent(30));
    EXPECT_GE(ElapsedSince(start), 29u);
    EXPECT_FALSE(VexoThread::CurrentStopRequested());
    EXPECT_EQ(VexoThread::Current(), nullptr);

    // Deep inside a worker, a long SleepCurrent returns false soon after the stop request.
    class DeepWorker : public VexoThread {
    public:
        std::atomic<int> sleeps{0};
        std::atomic<bool> endedEarly{false};
        std::atomic<bool> sawStop{false};
        std::atomic<bool> wasCurrent{false};
        ~DeepWorker() override { Stop(); }
        void Run() override {
            wasCurrent = (VexoThread::Current() == this);
            ++sleeps;
            endedEarly = !VexoThread::SleepCurrent(60000);
            sawStop = VexoThread::CurrentStopRequested();
        }
    } worker;
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return worker.sleeps > 0; }));
    const uint32_t stopStart = VexoPlatform::GetTickCount();
    worker.Stop();
    // endedEarly below tells a woken sleep from a forced end; the bound is about hangs only.
    EXPECT_LT(ElapsedSince(stopStart), 10000u);
    EXPECT_TRUE(worker.wasCurrent);
    EXPECT_TRUE(worker.endedEarly);
    EXPECT_TRUE(worker.sawStop);
}
