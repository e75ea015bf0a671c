// Display orientation of the primary output.
//
// Mapping from XRandR rotation to the program's values: RR_Rotate_0 -> 0, RR_Rotate_90 -> 1,
// RR_Rotate_180 -> 2, RR_Rotate_270 -> 3 (the reflection bits are ignored). The primary output
// is used, or the first connected output with a mode when none is marked primary; without an X
// display, or when XRandR is missing, the orientation is 0. The query opens its own X connection
// and installs its own error handler only around its RandR calls, so the toolkit's connection and
// handler are untouched.
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
