#include "app/MessageBox.h"

#include <wx/msgdlg.h>

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
}  // namespace

int VexoMessageBox(const wxString& text, const wxString& caption, long style) {
    if (Handler()) return Handler()(text, caption, style);
    return wxMessageBox(text, caption, style, nullptr, wxDefaultCoord, wxDefaultCoord);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
