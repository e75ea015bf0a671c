// Waiting for a device that is being reset, in clock steps: how often it is asked, when the wait
// gives up, and that the caller hears of a wait once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/AccessWait.h"
#include "support/ManualClock.h"

using namespace VexoSource;

namespace {

struct Row {
    const char* name;
    uint32_t boundMs, pollMs;
    std::vector<AccessState> answers;  // the last one repeats
    AccessState result;
    size_t asks;
    uint64_t waitedMs;  // on the clock
    bool heardOfWait;
};

}  // namespace

TEST(AccessWait, AsksUntilReadyOrTheBoundRunsOut) {
    using S = AccessState;
    const Row rows[] = {
        {"ready at once", 15000, 200, {S::Ready}, S::Ready, 1, 0, false},
        {"busy for three questions", 15000, 200, {S::Busy, S::Busy, S::Busy, S::Ready}, S::Ready, 4, 600, true},
        {"busy past the bound: last question at the bound", 2000, 200, {S::Busy}, S::Busy, 11, 2000, true},
        {"bound not a multiple of the poll", 500, 200, {S::Busy}, S::Busy, 4, 500, true},
        {"no wait: one question", 0, 200, {S::Busy}, S::Busy, 1, 0, false},
        {"ready just at the bound", 400, 200, {S::Busy, S::Busy, S::Ready}, S::Ready, 3, 400, true},
        {"service stops answering while waiting", 15000, 200, {S::Busy, S::NoAnswer}, S::NoAnswer, 2, 200, true},
        {"no answer at all", 15000, 200, {S::NoAnswer}, S::NoAnswer, 1, 0, false},
        {"poll 0 is no busy loop", 100, 0, {S::Busy}, S::Busy, 11, 100, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        clocktest::ManualClock clock;
        const uint64_t start = clock.NowMs();
        size_t asks = 0, waits = 0;
        AccessWait wait;
        wait.boundMs = r.boundMs;
        wait.pollMs = r.pollMs;
        wait.onWaiting = [&] { ++waits; };
        wait.ask = [&] { return r.answers[std::min(asks++, r.answers.size() - 1)]; };
        wait.sleep = [&](uint32_t ms) {
            EXPECT_GT(ms, 0u);
            clock.Advance(ms);
        };
        EXPECT_EQ(WaitForAccess(DeviceHandle(0), wait), r.result);
        EXPECT_EQ(asks, r.asks);
        EXPECT_EQ(clock.NowMs() - start, r.waitedMs);
        EXPECT_EQ(waits, r.heardOfWait ? 1u : 0u);
    }
}

// The calibration's wait: its sleep runs a window's event loop, so it counts questions rather
// than time, and ends as soon as the user leaves.
TEST(AccessWait, CountsQuestionsWhenToldAndEndsWhenItsCallerLeaves) {
    using S = AccessState;
    struct CountRow {
        const char* name;
        uint32_t maxAsks;
        size_t leaveAfterSleeps;  // 0: never
        std::vector<AccessState> answers;
        AccessState result;
        size_t asks, sleeps;
    } rows[] = {
        {"busy throughout: the last question ends it", 12, 0, {S::Busy}, S::Busy, 12, 11},
        {"ready at the third question", 12, 0, {S::Busy, S::Busy, S::Ready}, S::Ready, 3, 2},
        {"the caller leaves after two sleeps", 12, 2, {S::Busy}, S::Busy, 2, 2},
        {"no answer ends it at once", 12, 0, {S::Busy, S::NoAnswer}, S::NoAnswer, 2, 1},
    };
    for (const CountRow& r : rows) {
        SCOPED_TRACE(r.name);
        // The clock stands still: only the questions bound the wait.
        clocktest::ManualClock clock;
        size_t asks = 0, sleeps = 0;
        AccessWait wait;
        wait.maxAsks = r.maxAsks;
        wait.pollMs = 500;
        wait.ask = [&] { return r.answers[std::min(asks++, r.answers.size() - 1)]; };
        wait.sleep = [&](uint32_t ms) {
            EXPECT_EQ(ms, 500u);
            ++sleeps;
        };
        wait.stop = [&] { return r.leaveAfterSleeps > 0 && sleeps >= r.leaveAfterSleeps; };
        EXPECT_EQ(WaitForAccess(DeviceHandle(0), wait), r.result);
        EXPECT_EQ(asks, r.asks);
        EXPECT_EQ(sleeps, r.sleeps);
    }
}
