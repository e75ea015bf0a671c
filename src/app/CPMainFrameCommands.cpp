// The main window's commands.
#include "app/CPMainFrame.h"

void CPMainFrame::OnCommand(wxCommandEvent& event) {
    wxObject* source = event.GetEventObject();
    if (source && (source == m_pCancel || source == m_pDone)) {
        Close(false);
        return;
    }
    event.Skip();
}

void CPMainFrame::WriteSettings() {}
