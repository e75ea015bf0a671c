#include "servicelink/VexoSyncobj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "foundation/VexoFormat.h"
#include "foundation/VexoThread.h"
#include "servicelink/LinkTestSupport.h"
#include "support/ManualClock.h"

using namespace VexoSource;
using linktest::MsSince;
using Clock = std::chrono::steady_clock;

namespace {

std::string HexAddress(const void* p) {
    return VexoSource::Utf16ToUtf8Lenient(FormatText(L"0x%0.8X", reinterpret_cast<uintptr_t>(p)));
}

TEST(HandleRegistry, TracksLiveHandlesOnceAndForgetsDestroyedOnes) {
    const size_t before = VexoHandleRegistry::count();
    auto a = std::make_unique<VexoSyncobj>();
    auto b = std::make_unique<VexoSyncobj>();
    EXPECT_TRUE(VexoHandleRegistry::contains(a.get()));
    EXPECT_TRUE(VexoHandleRegistry::contains(b.get()));
    EXPECT_EQ(VexoHandleRegistry::count(), before + 2);

    // A second insert of a live handle keeps it once; one remove takes it out.
    VexoHandleRegistry::insert(a.get());
    EXPECT_EQ(VexoHandleRegistry::count(), before + 2);
    EXPECT_TRUE(VexoHandleRegistry::remove(a.get()));
    EXPECT_FALSE(VexoHandleRegistry::contains(a.get()));
    EXPECT_FALSE(VexoHandleRegistry::remove(a.get()));
    VexoHandleRegistry::insert(a.get());

    const VexoHandle_* gone = b.get();
    b.reset();
    EXPECT_FALSE(VexoHandleRegistry::contains(gone));
    EXPECT_TRUE(VexoHandleRegistry::contains(a.get()));
    a.reset();
    EXPECT_EQ(VexoHandleRegistry::count(), before);
}

TEST(HandleRegistry, LogsInsertAndDeleteWithEachAddress) {
    LogCapture log;
    std::string first, second;
    {
        VexoSyncobj a, b;
        first = HexAddress(&a);
        second = HexAddress(&b);
    }
    for (const std::string& address : {first, second}) {
        EXPECT_EQ(log.Count("Debug - Insert syncobj reference " + address), 1) << address;
        EXPECT_EQ(log.Count("Debug - Delete syncobj reference " + address), 1) << address;
    }
}

class SyncobjTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(event.Initialize(), 1); }
    VexoSyncobj event;
};

// The waits run on the monotonic clock; here it stands still unless the test moves it, so a wait
// that ends without the clock moving did not wait for any slice, whatever the machine's load.
TEST_F(SyncobjTest, WaitShorterThanOneSliceGivesUpWithoutWaiting) {
    clocktest::ManualClock clock;
    EXPECT_EQ(clocktest::ReturnsWhileStill(clock, [this] { return event.TimedWait(7); }), 0)
        << "one slice would take 8 ms of the clock";
    event.Signal();
    EXPECT_EQ(clocktest::ReturnsWhileStill(clock, [this] { return event.TimedWait(7); }), 1)
        << "no slice needed when the flag is already set";
}

TEST_F(SyncobjTest, SignalIsRememberedUntilResetAndAWaitLastsItsSlices) {
    clocktest::ManualClock clock;
    event.Signal();
    EXPECT_EQ(clocktest::ReturnsWhileStill(clock, [this] { return event.TimedWait(3000) + event.TimedWait(3000); }), 2);

    // Reset: 80 ms are ten slices of the clock; the wait ends when, and only when, they have passed.
    event.Reset();
    std::atomic<int32_t> result{-1};
    const uint64_t readsBefore = clock.Reads();
    std::thread waiter([&] { result = event.TimedWait(80); });
    // The waiter has taken its deadline (its first reading of the clock): moved earlier, the clock
    // would put the deadline beyond the steps below and the wait would never end.
    EXPECT_TRUE(clock.WaitForReadsAbove(readsBefore));
    clock.Advance(72);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result, -1) << "ended before its ten slices";
    clock.Advance(8);
    waiter.join();
    EXPECT_EQ(result, 0);
}

TEST_F(SyncobjTest, SignalFromAnotherThreadWakesTheWaiter) {
    // The clock stands still: only the signal can end the wait.
    clocktest::ManualClock clock;
    std::thread signaller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        GuardedSignal(&event);
    });
    EXPECT_EQ(clocktest::ReturnsWhileStill(clock, [this] { return GuardedWait(&event); }), 1);
    signaller.join();
    GuardedReset(&event);
    EXPECT_FALSE(event.IsSignalled());
}

TEST_F(SyncobjTest, ReleaseClearsTheFlagAndInitializeStartsClear) {
    event.Signal();
    event.Release();
    EXPECT_EQ(event.IsInitialized(), 0);
    EXPECT_EQ(event.Initialize(), 1);
    EXPECT_FALSE(event.IsSignalled());
    EXPECT_EQ(event.TimedWait(16), 0);
}

TEST(GuardedOperations, ADestroyedObjectIsNeitherWaitedOnNorTouched) {
    auto* event = CreateSyncobj();
    ASSERT_NE(event, nullptr);
    VexoSyncobj* dangling = event;
    delete event;
    clocktest::ManualClock clock;  // stands still: the wait returns without waiting at all
    EXPECT_EQ(clocktest::ReturnsWhileStill(clock, [dangling] { return GuardedWait(dangling); }), 1);
    GuardedSignal(dangling);  // must not write into freed memory
    GuardedReset(dangling);
    EXPECT_EQ(GuardedWait(nullptr), 1);
}

// A worker waiting on the object is released by its stop request within a slice or two, so Stop
// never has to end it by force.
class WaitingWorker : public VexoThread {
public:
    explicit WaitingWorker(VexoSyncobj& e) : event(e) {}
    void Run() override {
        waiting = true;
        result = event.TimedWait(3000);
    }
    VexoSyncobj& event;
    std::atomic<bool> waiting{false};
    std::atomic<int32_t> result{-1};
};

TEST_F(SyncobjTest, StopRequestEndsAWorkersWaitEarly) {
    clocktest::ManualClock clock;  // stands still: only the stop request can end the wait
    WaitingWorker worker(event);
    worker.Start();
    while (!worker.waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    worker.Stop();
    EXPECT_EQ(worker.result, 0) << "a forced end would have left no result";
}

}  // namespace
