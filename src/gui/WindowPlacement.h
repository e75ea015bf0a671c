// Centring of the program's fixed-size windows that a window manager may not leave where the
// program put them.
#pragma once

#include <wx/toplevel.h>

// Centres `window` on its display now and once more when it is first activated. Some window
// managers (openbox) take a program-given position at map time for a bogus one and place the
// window themselves; a move once the window is mapped is a plain client request that every
// manager follows.
// Call it after the window has its size. Under Wayland it does nothing: the compositor places.
void CentreOnDisplay(wxTopLevelWindow* window);

// Brings `window` to the front with the keyboard focus once it is shown, and gives the focus back
// to the window that had it when it is hidden again. Without a window manager nobody hands the
// focus to a new window (keys would go on to the window behind it), and the focus of a closed
// window falls to the root.
void FocusWhenShown(wxTopLevelWindow* window);

// Raises `previous` (the window that had the focus before a box) if it is still shown.
void GiveFocusBack(wxWindow* previous);
