#include "gui/MessageBox.h"

#include <wx/msgdlg.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "gui/WindowPlacement.h"

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
}  // namespace

int VexoMessageBox(const wxString& text, const wxString& caption, long style) {
    if (Handler()) return Handler()(text, caption, style);
    // wxMessageBox's own steps (the icon it adds, the answer codes), plus one: once the box is up
    // it is brought to the front with the keyboard focus. Without a window manager nobody gives
    // a new window the focus, and Return or Escape would go to the window behind.
    if (!(style & wxICON_NONE) && !(style & wxICON_MASK)) style |= (style & wxYES) ? wxICON_QUESTION : wxICON_INFORMATION;
    wxWeakRef<wxWindow> before(wxGetActiveWindow() ? wxGetTopLevelParent(wxGetActiveWindow()) : nullptr);
    wxMessageDialog dialog(nullptr, text, caption, style);
    dialog.CallAfter([&dialog] { dialog.Raise(); });
    const int answer = dialog.ShowModal();
    GiveFocusBack(before.get());
    switch (answer) {
    case wxID_OK:
        return wxOK;
    case wxID_YES:
        return wxYES;
    case wxID_NO:
        return wxNO;
    case wxID_HELP:
        return wxHELP;
    default:
        return wxCANCEL;
    }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
