// Elapsed real time for tests that bound how long something took.
#pragma once

#include <chrono>

namespace testsupport {

using Clock = std::chrono::steady_clock;

// Milliseconds since `start`.
inline long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace testsupport
