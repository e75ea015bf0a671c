// Tick count and sleeping, standing in for the tick count and Sleep of the original platform.
// Both follow the installed monotonic clock (MonotonicClock.h).
#pragma once

#include <cstdint>

namespace VexoPlatform {

// Milliseconds of the installed monotonic clock, wrapping at 32 bits like a tick count.
uint32_t GetTickCount();

// Plain sleep of the calling thread (a cancellation point) for milliseconds of the installed clock.
void SleepMs(uint32_t milliseconds);

}  // namespace VexoPlatform
