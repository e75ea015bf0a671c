#include "gui/WindowPlacement.h"

#include <functional>
#include <memory>

#include <wx/display.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "gui/ToolkitDisplay.h"

namespace {

// The geometry of the display `window` is on (the first one when it is on none).
wxRect DisplayAreaOf(const wxWindow* window) {
    int index = window ? wxDisplay::GetFromWindow(window) : wxNOT_FOUND;
    if (index == wxNOT_FOUND) index = 0;
    return wxDisplay(unsigned(index)).GetGeometry();
}

wxPoint MiddleOf(const wxRect& area) { return wxPoint(area.x + area.width / 2, area.y + area.height / 2); }

// The middle of the parent's client area, from the X server's own origin of it: the toolkit's idea
// of a managed window's outer position can be off by its title bar.
wxPoint ParentMiddle(wxWindow* window) {
    wxWindow* parent = window->GetParent();
    if (!parent || !parent->IsShownOnScreen()) return MiddleOf(DisplayAreaOf(window));
    const wxSize client = parent->GetClientSize();
    return parent->ClientToScreen(wxPoint(client.x / 2, client.y / 2));
}

void CentreNowAndWhenActivated(wxTopLevelWindow* window, std::function<wxPoint()> middle) {
    // A Wayland compositor places every window itself (sway floats a fixed-size one in the middle
    // of the output) and tells no client where its window is: a move would not show, and would
    // leave the toolkit believing in a place the window is not.
    if (ToolkitOnWayland()) return;
    // The size asked for: right after mapping the toolkit may not know the real one yet.
    const wxSize size = window->GetSize();
    const wxPoint now = middle();
    window->Move(now.x - size.x / 2, now.y - size.y / 2);
    // Once, on the first activation: by then the manager has mapped and placed the window, so
    // the move is not overtaken by its placement. A window the user moved later stays there.
    auto done = std::make_shared<bool>(false);
    window->Bind(wxEVT_ACTIVATE, [window, size, done, middle](wxActivateEvent& event) {
        event.Skip();
        if (!event.GetActive() || *done) return;
        *done = true;
        const wxPoint m = middle();
        window->Move(m.x - size.x / 2, m.y - size.y / 2);
    });
}

}  // namespace

void CentreOnDisplay(wxTopLevelWindow* window, const wxWindow* onDisplayOf) {
    if (!window) return;
    // A window of another's (a box that answers a full-screen one) goes on that one's display;
    // the toolkit's own centring would take the display the new window happens to start on.
    const wxWindow* reference = onDisplayOf ? onDisplayOf : window;
    CentreNowAndWhenActivated(window, [reference] { return MiddleOf(DisplayAreaOf(reference)); });
}

void CentreOverParent(wxTopLevelWindow* window) {
    if (window) CentreNowAndWhenActivated(window, [window] { return ParentMiddle(window); });
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
