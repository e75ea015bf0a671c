#include "app/WindowPlacement.h"

#include <memory>

#include <wx/display.h>
#include <wx/utils.h>
#include <wx/weakref.h>

void CentreOnDisplay(wxTopLevelWindow* window) {
    if (!window) return;
    window->Centre(wxBOTH);
    // The size asked for: right after mapping the toolkit may not know the real one yet.
    const wxSize size = window->GetSize();
    auto done = std::make_shared<bool>(false);
    window->Bind(wxEVT_SHOW, [window, size, done](wxShowEvent& event) {
        event.Skip();
        // Once: a window the user has moved stays where the user put it.
        if (!event.IsShown() || *done) return;
        *done = true;
        window->CallAfter([window, size] {
            int index = wxDisplay::GetFromWindow(window);
            if (index == wxNOT_FOUND) index = 0;
            const wxRect area = wxDisplay(unsigned(index)).GetGeometry();
            window->Move(area.x + (area.width - size.x) / 2, area.y + (area.height - size.y) / 2);
        });
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
