// Keeps a window inside its display when the display's geometry changes: a screen turned at run
// time (a landscape output made portrait, or back) would otherwise leave a window that stood low
// or far right with its buttons off the screen.
#pragma once

#include <wx/gdicmn.h>
#include <wx/toplevel.h>

// Where `window` (its outer rectangle on the screen) goes to lie inside `display`: moved as
// little as it takes, its top-left corner kept on the display when it is larger than the display.
wxPoint PlaceInside(const wxRect& window, const wxRect& display);

// From now on, whenever the screen's size or its monitors change, `window` is moved inside the
// display it is on (or that it overlaps most; the first one when none). On X only: a Wayland
// compositor places every window itself and tells no client where its window is (so a client
// cannot know it is off the screen, nor move itself).
void KeepOnDisplay(wxTopLevelWindow* window);
