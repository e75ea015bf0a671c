// The display a window is on, as the toolkit knows it: the one notion of "the frame's display"
// that the orientation watch reads and the calibration covers.
#pragma once

#include <wx/gdicmn.h>
#include <wx/toplevel.h>

#include "platform/DisplayOrientation.h"

struct WindowDisplay {
    // The toolkit's monitor number (wxDisplay's index too); -1 when the window is on none yet
    // (not shown, or its surface has entered no output).
    int index = -1;
    // Its geometry in the toolkit's pixels, as wxDisplay gives it.
    wxRect geometry;
    // The same in the display server's own coordinates (X: the root window's pixels, which the
    // toolkit divides by its scale; Wayland: the compositor's logical layout).
    VexoPlatform::DisplayPlace place;
};

// On X the monitor that the window's area overlaps most; on Wayland the output its surface last
// entered (the compositor tells no window where it is, only which outputs show it).
WindowDisplay DisplayOfWindow(const wxWindow* window);

// Asks for full screen on the monitor `index` (-1: wherever the window is). On Wayland the
// request names that output (xdg_toplevel.set_fullscreen with it), since the compositor otherwise
// picks one itself, often the focused one. On X a window manager makes a window full screen on
// the monitor it is on, so the caller places it there first; GTK's full screen on a monitor does
// no more than that move on X.
void ShowFullScreenOn(wxTopLevelWindow* window, int index);
