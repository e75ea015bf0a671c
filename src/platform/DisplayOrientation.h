// Display orientation of the display the program's main window is on (the frame's display: the
// one the calibration covers too), read from the display server the toolkit talks to.
//
// The program's values: 0 upright, 1 rotated 90 degrees, 2 rotated 180 degrees, 3 rotated 270
// degrees.
// - X (and XWayland): XRandR's rotation of the output whose CRTC shows the frame's display;
//   rotate 0 -> 0, 90 -> 1, 180 -> 2, 270 -> 3, the reflection bits ignored. The query runs on an
//   XCB connection of its own, where an X error is a value returned beside the reply: it touches
//   neither the toolkit's connection nor Xlib's process-wide error handler, which the toolkit sets
//   on its own thread. An X server without RandR counts as upright.
// - Wayland: the transform (wl_output's geometry event) of the output whose logical place
//   (xdg_output) is the frame's display, on a Wayland connection of its own. Both protocols count
//   rotations the same way (counter-clockwise, as a transform of the content), so transform
//   90 -> 1, 180 -> 2, 270 -> 3. A flipped transform (mirrored, then rotated) is taken as its
//   rotation: a mirror image cannot be said in the four values, and XRandR's reflection bits are
//   dropped the same way.
// Until the toolkit has said where the window is, the primary output is read on X (the first
// connected one when none is marked primary) and the first output announced on Wayland.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace VexoPlatform {

// The display server the toolkit opened; the orientation is read from the same one. X until
// the program says otherwise.
enum class DisplayServer { X11, Wayland };
void SetDisplayServer(DisplayServer server);
DisplayServer CurrentDisplayServer();

// A display's place in the display server's own coordinates: on X the root window's pixels, on
// Wayland the compositor's logical layout. Zero size: not known.
struct DisplayPlace {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool Known() const { return width > 0 && height > 0; }
    bool operator==(const DisplayPlace& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

// "x,y WxH", for log lines.
std::string DisplayPlaceText(const DisplayPlace& place);

// The frame's display, said by the GUI thread (which alone may ask the toolkit where the window
// is) and read by the watch thread. An unknown place keeps the last known one, so that a window
// hidden for a moment does not send the reading back to the primary output; every call counts.
void SetFrameDisplay(const DisplayPlace& place);
DisplayPlace FrameDisplay();
// How many times SetFrameDisplay was called.
uint64_t FrameDisplayCount();
// Waits until SetFrameDisplay has been called since the count was `seen`, at most timeoutMs, and
// no longer once stop() holds (asked every few tens of milliseconds). True when it was called.
bool WaitForFrameDisplayAfter(uint64_t seen, uint32_t timeoutMs, const std::function<bool()>& stop);

// One output as the display server describes it.
struct OutputInfo {
    std::string name;
    DisplayPlace place;
    uint32_t orientation = 0;
    bool primary = false;
};
// Which output shows the display `frame`: the one with exactly that place, else the one that holds
// its centre, else the one it overlaps most (a toolkit that rounds scaled sizes); -1 when none
// does (the display has gone). An unknown frame: the primary output, else the first; -1 without
// outputs.
int ChooseOutput(const std::vector<OutputInfo>& outputs, const DisplayPlace& frame);

// One reading. When the display server cannot be asked, `ok` is false, `failure` says why and
// the orientation is 0; the caller decides whether to trust it. `output` names the output read
// (empty when the display server names none).
struct OrientationReading {
    uint32_t orientation = 0;
    bool ok = true;
    std::string failure;
    std::string output;
};
// Reads the output of the frame's display.
OrientationReading ReadDisplayOrientation();

// The orientation alone (0 when it cannot be read).
uint32_t GetDisplayOrientation();

// Seam for tests: a source that replaces the display query (empty restores it). Returns the
// previous one. A source always reads successfully.
using OrientationSource = std::function<uint32_t()>;
OrientationSource SetDisplayOrientationSource(OrientationSource source);

// The queries themselves, without the seam, for the output that shows `frame`.
uint32_t QueryXRandROrientation();
OrientationReading QueryXRandR(const DisplayPlace& frame = DisplayPlace());
OrientationReading QueryWayland(const DisplayPlace& frame = DisplayPlace());

// A wl_output transform (0-7) as the program's value; values outside the protocol's range give 0.
uint32_t OrientationFromWaylandTransform(int32_t transform);

}  // namespace VexoPlatform
