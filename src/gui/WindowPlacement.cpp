#include "gui/WindowPlacement.h"

#include <memory>

#include <wx/display.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "gui/ToolkitDisplay.h"

void CentreOnDisplay(wxTopLevelWindow* window) {
    if (!window) return;
    // A Wayland compositor places every window itself (sway floats a fixed-size one in the middle
    // of the output) and tells no client where its window is: a move would not show, and would
    // leave the toolkit believing in a place the window is not.
    if (ToolkitOnWayland()) return;
    window->Centre(wxBOTH);
    // The size asked for: right after mapping the toolkit may not know the real one yet.
    const wxSize size = window->GetSize();
    // Once, on the first activation: by then the manager has mapped and placed the window, so
    // the move is not overtaken by its placement. A window the user moved later stays there.
    auto done = std::make_shared<bool>(false);
    window->Bind(wxEVT_ACTIVATE, [window, size, done](wxActivateEvent& event) {
        event.Skip();
        if (!event.GetActive() || *done) return;
        *done = true;
        int index = wxDisplay::GetFromWindow(window);
        if (index == wxNOT_FOUND) index = 0;
        const wxRect area = wxDisplay(unsigned(index)).GetGeometry();
        window->Move(area.x + (area.width - size.x) / 2, area.y + (area.height - size.y) / 2);
    });
}

void FocusWhenShown(wxTopLevelWindow* window) {
    if (!window) return;
    // The window that had the focus before, to give it back on hiding (without a manager, the
    // focus of a closed window falls to the root and keys go nowhere).
    auto before = std::make_shared<wxWeakRef<wxWindow>>();
    window->Bind(wxEVT_SHOW, [window, before](wxShowEvent& event) {
        event.Skip();
        if (event.IsShown()) {
            wxWindow* active = wxGetActiveWindow();
            *before = active && active != window ? wxGetTopLevelParent(active) : nullptr;
            window->CallAfter([window] { window->Raise(); });
        } else if (wxWindow* previous = before->get()) {
            if (previous->IsShown()) previous->Raise();
        }
    });
}

void GiveFocusBack(wxWindow* previous) {
    if (previous && previous->IsShown()) previous->Raise();
}
