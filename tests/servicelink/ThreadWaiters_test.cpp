// The per-thread waiters of the service link: the thread that installs one (the GUI thread, which
// keeps its event loop running) waits its own way for a reply and for its turn on the channel;
// every other thread keeps the plain wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "servicelink/ServiceContract.h"
#include "servicelink/VexoRPC.h"
#include "servicelink/VexoSyncobj.h"
#include "touchsim/Simulator.h"

using namespace VexoSource;

namespace {

// Removes the calling thread's waiters at the end of a test.
struct WaitersGone {
    ~WaitersGone() {
        SetReplyWaiterForThisThread(nullptr);
        SetTurnWaiterForThisThread(nullptr);
    }
};

}  // namespace

TEST(ThreadWaiters, OnlyTheThreadThatInstalledAWaiterUsesIt) {
    WaitersGone gone;
    VexoSyncobj* object = CreateSyncobj();
    ASSERT_NE(object, nullptr);
    object->Signal();
    std::atomic<int> used{0};
    SetReplyWaiterForThisThread([&used](VexoSyncobj& o, uint32_t ms) {
        ++used;
        return o.TimedWait(ms);
    });
    struct Row {
        const char* name;
        bool fromInstallingThread;
        int usedAfter;
    } rows[] = {{"another thread waits plainly", false, 0}, {"the installing thread uses its waiter", true, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        int32_t result = 0;
        if (r.fromInstallingThread) {
            result = GuardedWait(object);
        } else {
            std::thread other([&] { result = GuardedWait(object); });
            other.join();
        }
        EXPECT_EQ(result, 1);
        EXPECT_EQ(used.load(), r.usedAfter);
    }
    delete object;
}

TEST(ThreadWaiters, ACallWhileAnotherThreadsCallIsInFlightWaitsThroughTheTurnWaiter) {
    WaitersGone gone;
    touchsim::Options options;
    options.rpcPort = 0;
    options.stream = false;
    touchsim::Simulator sim(options);
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", sim.RpcPort()));
    sim.SetReplyDelayMs(1500);

    // The other thread's call is in flight once the service has seen it.
    std::atomic<bool> seen{false};
    sim.SetTraceListener([&seen](const touchsim::TraceEntry&) { seen = true; });
    std::thread other([] {
        uint8_t state = 0;
        int32_t ok = 0;
        SendRequest(ChosenDevice(), GetAccessState, &state, &ok, nullptr, 0, 1);
    });
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!seen && std::chrono::steady_clock::now() < guard) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(seen.load());

    int turns = 0;
    SetTurnWaiterForThisThread([&turns](const std::function<bool()>& tryTake) {
        ++turns;
        while (!tryTake()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    uint8_t state = 0;
    int32_t ok = 0;
    SendRequest(ChosenDevice(), GetAccessState, &state, &ok, nullptr, 0, 1);
    other.join();
    EXPECT_EQ(ok, 1) << "the call went out in its turn and was answered";
    EXPECT_EQ(turns, 1) << "the thread waited its own way, not blocked on the channel";
    sim.SetTraceListener(nullptr);
    CloseServiceChannel();
}
