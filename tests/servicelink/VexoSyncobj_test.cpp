#include "servicelink/VexoSyncobj.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "foundation/VexoFormat.h"
#include "foundation/VexoThread.h"
#include "servicelink/LinkTestSupport.h"

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

TEST_F(SyncobjTest, WaitShorterThanOneSliceGivesUpAtOnce) {
    const auto start = Clock::now();
    EXPECT_EQ(event.TimedWait(7), 0);
    EXPECT_LT(MsSince(start), 8);  // one slice would take 8 ms
    event.Signal();
    EXPECT_EQ(event.TimedWait(7), 1);  // no slice needed when the flag is already set
}

TEST_F(SyncobjTest, SignalIsRememberedUntilReset) {
    event.Signal();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = Clock::now();
    EXPECT_EQ(event.TimedWait(3000), 1);
    EXPECT_EQ(event.TimedWait(3000), 1);
    EXPECT_LT(MsSince(start), 100);

    event.Reset();
    start = Clock::now();
    EXPECT_EQ(event.TimedWait(80), 0);  // 10 slices of 8 ms
    EXPECT_GE(MsSince(start), 75);
}

TEST_F(SyncobjTest, SignalFromAnotherThreadWakesTheWaiter) {
    std::thread signaller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        GuardedSignal(&event);
    });
    const auto start = Clock::now();
    EXPECT_EQ(GuardedWait(&event), 1);
    EXPECT_LT(MsSince(start), 1000);
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
    const auto start = Clock::now();
    EXPECT_EQ(GuardedWait(dangling), 1);
    EXPECT_LT(MsSince(start), 100);
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
    WaitingWorker worker(event);
    worker.Start();
    while (!worker.waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = Clock::now();
    worker.Stop();
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(worker.result, 0);
}

}  // namespace
