// Every timed wait of the program runs on the installed monotonic clock: while that clock stands
// still the waiter stays, however much real time passes (so a step of the wall clock cannot end a
// wait early), and once it has moved the wait's length the waiter goes on at once.
#include "platform/MonotonicClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "foundation/VexoThread.h"
#include "platform/PlatformTime.h"
#include "servicelink/VexoSyncobj.h"
#include "support/ManualClock.h"

using namespace std::chrono;

namespace {

class SleepingWorker : public VexoSource::VexoThread {
public:
    std::atomic<bool> done{false};
    std::atomic<bool> slept{false};
    ~SleepingWorker() override { Stop(); }
    void Run() override {
        slept = SleepFor(3000);
        done = true;
    }
};

}  // namespace

TEST(MonotonicClock, EveryTimedWaitFollowsTheInstalledClock) {
    struct Row {
        const char* name;
        // Starts a wait of 3000 ms; `done` is set when it has ended.
        std::function<std::thread(std::atomic<bool>& done)> start;
    } rows[] = {
        {"SleepMs", [](std::atomic<bool>& done) {
             return std::thread([&done] {
                 VexoPlatform::SleepMs(3000);
                 done = true;
             });
         }},
        {"a request's wait for its reply", [](std::atomic<bool>& done) {
             return std::thread([&done] {
                 VexoSource::VexoSyncobj event;
                 event.Initialize();
                 EXPECT_EQ(event.TimedWait(3000), 0);
                 done = true;
             });
         }},
        {"a worker's SleepFor", [](std::atomic<bool>& done) {
             return std::thread([&done] {
                 SleepingWorker worker;
                 worker.Start();
                 while (!worker.done) std::this_thread::sleep_for(milliseconds(1));
                 EXPECT_TRUE(worker.slept) << "ended as if stopped";
                 done = true;
             });
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        clocktest::ManualClock clock;
        std::atomic<bool> done{false};
        const uint64_t readsBefore = clock.Reads();
        std::thread waiter = r.start(done);
        // Moving the clock before the waiter took its start reading would leave it waiting for
        // three seconds that never pass.
        ASSERT_TRUE(clock.WaitForReadsAbove(readsBefore)) << "the waiter never read the clock";
        clock.Advance(2999);
        std::this_thread::sleep_for(milliseconds(150));
        EXPECT_FALSE(done) << "ended before the clock had moved its length";
        const auto stepped = steady_clock::now();
        clock.Advance(1);
        while (!done && steady_clock::now() - stepped < seconds(5)) std::this_thread::sleep_for(milliseconds(1));
        EXPECT_TRUE(done);
        EXPECT_LT(steady_clock::now() - stepped, milliseconds(500)) << "did not end once the clock got there";
        waiter.join();
    }
}
