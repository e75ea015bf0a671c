// The one way the program shows a message box: no parent, default position. Tests answer the
// boxes through a handler instead of a person; the shipped program never sets one.
#pragma once

#include <wx/string.h>

#include <functional>

using MessageBoxHandler = std::function<int(const wxString& text, const wxString& caption, long style)>;

// Shows the box (or hands it to the installed handler) and returns wxYES, wxNO, wxOK or wxCANCEL.
int VexoMessageBox(const wxString& text, const wxString& caption, long style);

// Installs a handler that answers every box in place of the toolkit (empty restores the toolkit's
// box). GUI thread only. Returns the previous handler.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
