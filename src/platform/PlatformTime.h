// Clock and sleeping, standing in for the tick count and Sleep of the original platform.
#pragma once

#include <cstdint>

namespace VexoPlatform {

// Milliseconds from a monotonic clock, wrapping at 32 bits like a tick count.
uint32_t GetTickCount();

// Plain sleep of the calling thread (a cancellation point).
void SleepMs(uint32_t milliseconds);

}  // namespace VexoPlatform
