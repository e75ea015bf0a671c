// A window that works but is drawn as if it could not be used. GTK draws every window that does
// not have the compositor's keyboard focus in its "backdrop" look: grey labels, flat buttons. A
// Wayland compositor (sway) shows a box over a full-screen window of the same program but never
// focuses it; the box still takes touches and clicks, and the toolkit hands it the program's keys
// while it is modal. For such a box, the backdrop look would tell the user the wrong thing.
#pragma once

#include <wx/window.h>

// Draws the top-level window `window` in the active look whether or not it has the focus.
void DrawAsActive(wxWindow* window);
