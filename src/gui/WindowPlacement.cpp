#include "gui/WindowPlacement.h"

#include <memory>

#include <wx/display.h>
#include <wx/utils.h>
#include <wx/weakref.h>

namespace {

// The geometry of the display `window` is on (the first one when it is on none).
wxRect DisplayAreaOf(const wxWindow* window) {
    int index = window ? wxDisplay::GetFromWindow(window) : wxNOT_FOUND;
    if (index == wxNOT_FOUND) index = 0;
    return wxDisplay(unsigned(index)).GetGeometry();
}

}  // namespace

void CentreOnDisplay(wxTopLevelWindow* window, const wxWindow* onDisplayOf) {
    if (!window) return;
    // The size asked for: right after mapping the toolkit may not know the real one yet.
    const wxSize size = window->GetSize();
    // A window of another's (a box that answers a full-screen one) goes on that one's display;
    // the toolkit's own centring would take the display the new window happens to start on.
    const wxWindow* reference = onDisplayOf ? onDisplayOf : window;
    const wxRect first = DisplayAreaOf(reference);
    window->Move(first.x + (first.width - size.x) / 2, first.y + (first.height - size.y) / 2);
    // Once, on the first activation: by then the manager has mapped and placed the window, so
    // the move is not overtaken by its placement. A window the user moved later stays there.
    auto done = std::make_shared<bool>(false);
    window->Bind(wxEVT_ACTIVATE, [window, reference, size, done](wxActivateEvent& event) {
        event.Skip();
        if (!event.GetActive() || *done) return;
        *done = true;
        const wxRect area = DisplayAreaOf(reference);
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
