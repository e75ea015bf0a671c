// Centring of the program's fixed-size windows that a window manager may not leave where the
// program put them.
#pragma once

#include <wx/toplevel.h>

// Centres `window` on its display now and once more when it is first activated. Some window
// managers (openbox) take a program-given position at map time for a bogus one and place the
// window themselves; a move once the window is mapped is a plain client request that every
// manager follows.
// Call it after the window has its size. With `onDisplayOf`, the window goes on that window's
// display instead of its own (which must then outlive the first activation). Under Wayland both
// do nothing: the compositor places.
void CentreOnDisplay(wxTopLevelWindow* window, const wxWindow* onDisplayOf = nullptr);

// The same over the middle of `window`'s parent (a dialog over the window it belongs to), or of
// its display while the parent is not shown. A dialog built anew at each opening needs the second
// move as much as the main window: when wx is unsure of a window's decoration size it asks the
// manager for it before showing the window, a window shown that way maps at 0,0, and openbox takes
// that for the program's choice (seen with the advanced settings from their third opening on).
void CentreOverParent(wxTopLevelWindow* window);

// Brings `window` to the front with the keyboard focus once it is shown, and gives the focus back
// to the window that had it when it is hidden again. Without a window manager nobody hands the
// focus to a new window (keys would go on to the window behind it), and the focus of a closed
// window falls to the root.
void FocusWhenShown(wxTopLevelWindow* window);

// Raises `previous` (the window that had the focus before a box) if it is still shown.
void GiveFocusBack(wxWindow* previous);
