// Display orientation of the primary output.
//
// Mapping from XRandR rotation to the program's values: rotate 0 -> 0, 90 -> 1, 180 -> 2,
// 270 -> 3 (the reflection bits are ignored). The primary output is used, or the first connected
// output with a CRTC when none is marked primary; without an X display, or when RandR is missing,
// the orientation is 0. The query runs on an XCB connection of its own, where an X error is a
// value returned beside the reply: it touches neither the toolkit's connection nor Xlib's
// process-wide error handler, which the toolkit sets on its own thread.
#pragma once

#include <cstdint>
#include <functional>

namespace VexoPlatform {

uint32_t GetDisplayOrientation();

// Seam for tests: a source that replaces the X query (empty restores it). Returns the previous one.
using OrientationSource = std::function<uint32_t()>;
OrientationSource SetDisplayOrientationSource(OrientationSource source);

// The XRandR query itself, without the seam.
uint32_t QueryXRandROrientation();

}  // namespace VexoPlatform
