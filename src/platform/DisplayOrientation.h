// Display orientation of the screen the program shows on, read from the display server the
// toolkit talks to.
//
// The program's values: 0 upright, 1 rotated 90 degrees, 2 rotated 180 degrees, 3 rotated 270
// degrees.
// - X (and XWayland): XRandR's rotation of the primary output, or of the first connected output
//   with a CRTC when none is marked primary; rotate 0 -> 0, 90 -> 1, 180 -> 2, 270 -> 3, the
//   reflection bits ignored. The query runs on an XCB connection of its own, where an X error is
//   a value returned beside the reply: it touches neither the toolkit's connection nor Xlib's
//   process-wide error handler, which the toolkit sets on its own thread. An X server without
//   RandR counts as upright.
// - Wayland: the transform of the first output the compositor announces (wl_output's geometry
//   event), on a Wayland connection of its own. Both protocols count rotations the same way
//   (counter-clockwise, as a transform of the content), so transform 90 -> 1, 180 -> 2, 270 -> 3.
//   A flipped transform (mirrored, then rotated) is taken as its rotation: a mirror image cannot
//   be said in the four values, and XRandR's reflection bits are dropped the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace VexoPlatform {

// The display server the toolkit opened; the orientation is read from the same one. X until
// the program says otherwise.
enum class DisplayServer { X11, Wayland };
void SetDisplayServer(DisplayServer server);
DisplayServer CurrentDisplayServer();

// One reading. When the display server cannot be asked, `ok` is false, `failure` says why and
// the orientation is 0; the caller decides whether to trust it.
struct OrientationReading {
    uint32_t orientation = 0;
    bool ok = true;
    std::string failure;
};
OrientationReading ReadDisplayOrientation();

// The orientation alone (0 when it cannot be read).
uint32_t GetDisplayOrientation();

// Seam for tests: a source that replaces the display query (empty restores it). Returns the
// previous one. A source always reads successfully.
using OrientationSource = std::function<uint32_t()>;
OrientationSource SetDisplayOrientationSource(OrientationSource source);

// The queries themselves, without the seam.
uint32_t QueryXRandROrientation();
OrientationReading QueryXRandR();
OrientationReading QueryWayland();

// A wl_output transform (0-7) as the program's value; values outside the protocol's range give 0.
uint32_t OrientationFromWaylandTransform(int32_t transform);

}  // namespace VexoPlatform
