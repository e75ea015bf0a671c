#include "dialogs/DlgTBox.h"

#include "device/AccessKeyRules.h"
#include "gui/ActiveLook.h"
#include "gui/Accessible.h"
#include "gui/WindowPlacement.h"
#include "gui/WxText.h"
#include "platform/MonotonicClock.h"

wxBEGIN_EVENT_TABLE(DlgTBox, wxDialog)
    EVT_BUTTON(wxID_ANY, DlgTBox::OnButton)
wxEND_EVENT_TABLE()

DlgTBox::DlgTBox(const wxString& question, const wxWindow* onDisplayOf, wxWindow* above)
    : wxDialog(above, wxID_ANY, question, wxDefaultPosition, wxSize(260, 170), wxCAPTION | wxSYSTEM_MENU) {
    m_startCount = 5;
    m_pQuestion = new wxStaticText(this, wxID_ANY, question, wxPoint(10, 12), wxSize(240, 22),
                                   wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    m_pCount = new wxTextCtrl(this, ID_COUNT, wxEmptyString, wxPoint(90, 42), wxSize(80, 20),
                              wxNO_BORDER | wxTE_READONLY | wxTE_CENTRE);
    m_pCount->SetBackgroundColour(GetBackgroundColour());
    m_pDone = new wxButton(this, ID_DONE, LangText("Done", u"Done"), wxPoint(45, 75), wxSize(80, 40));
    m_pCancel = new wxButton(this, ID_CANCEL, LangText("Cancel", u"Cancel"), wxPoint(135, 75), wxSize(80, 40));
    CentreOnDisplay(this, onDisplayOf);
    FocusWhenShown(this);
    // The keyboard answers as in any question box: Return for Done, Escape for Cancel.
    m_pDone->SetDefault();
    SetEscapeId(ID_CANCEL);
    // For a screen reader: a question that answers itself, its count said in words, not a bare
    // number in a field; the count is read, never a Tab stop.
    SetAccessibleRole(this, AccessibleRole::Alert);
    SkipOnTab(m_pCount);
    ShowAccessKey(m_pDone, VexoSource::AccessKeyOf(VexoSource::kConfirmationKeys, "Done"));
    ShowAccessKey(m_pCancel, VexoSource::AccessKeyOf(VexoSource::kConfirmationKeys, "Cancel"));
    // Over a full-screen window the compositor may show the box without ever focusing it; it is
    // answered all the same, and must not look as if it could not be.
    if (above) DrawAsActive(this);
    m_remaining = 0;
}

DlgTBox::~DlgTBox() { m_second.Stop(); }

int DlgTBox::ShowModal() {
    m_remaining = m_startCount;
    m_ranOut = false;
    ShowCount();
    // Each second counted from the start, so that a late tick does not stretch the count.
    m_nextSecond = VexoPlatform::NowMs() + kSecondMs;
    m_second.StartUntil(m_nextSecond);
    // Once the loop runs: in front, the keyboard on the default button (not on the count).
    CallAfter([this] { m_pDone->SetFocus(); });
    return wxDialog::ShowModal();
}

void DlgTBox::EndModal(int retCode) {
    m_remaining = 0;
    m_second.Stop();
    // A click that arrives after the box has already ended must not end a modal loop that is
    // not running (the toolkit treats that as a programming error).
    if (IsModal()) wxDialog::EndModal(retCode);
}

void DlgTBox::ShowCount() {
    m_pCount->SetValue(wxString::Format(wxT("%u"), unsigned(m_remaining)));
    wxString said = LangText("Keeping_In", u"The previous calibration returns in %1 s");
    said.Replace(wxT("%1"), wxString::Format(wxT("%u"), unsigned(m_remaining)));
    SetAccessibleName(m_pCount, said);
    SetAccessibleDescription(this, said);
}

void DlgTBox::OnSecond() {
    if (m_remaining == 0) {
        m_ranOut = true;
        EndModal(wxID_NO);
        return;
    }
    --m_remaining;
    ShowCount();
    m_nextSecond += kSecondMs;
    m_second.StartUntil(m_nextSecond);
}

void DlgTBox::OnButton(wxCommandEvent& event) {
    if (event.GetEventObject() == m_pDone)
        EndModal(wxID_YES);
    else if (event.GetEventObject() == m_pCancel)
        EndModal(wxID_NO);
    // Anything else (the toolkit's own Cancel from a close request) is ignored: the box only
    // answers yes or no.
}
