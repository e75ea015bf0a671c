// A small modal box that asks to keep a change already in effect and answers "no" by itself:
// it counts down from 5 once a second and ends with wxID_NO when the count has run out. The
// seconds are those of the monotonic clock (app/ClockTimer.h).
#pragma once

#include <cstdint>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "dialogs/ClockTimer.h"

class DlgTBox : public wxDialog {
public:
    enum { ID_DONE = 10080, ID_CANCEL = 10081, ID_COUNT = 10082 };

    // No parent: the box is centred on a display, not on the window that asks; on the display of
    // `onDisplayOf` when given (the screen the user is looking at), else on its own. `above`, when
    // given, is a full-screen window the box must show over and take the keyboard from: the box
    // becomes its transient, which a Wayland compositor (sway) needs to show and focus a window
    // over a full-screen one.
    explicit DlgTBox(const wxString& question, const wxWindow* onDisplayOf = nullptr, wxWindow* above = nullptr);
    ~DlgTBox() override;

    // Starts the count at 5; returns wxID_YES for Done, wxID_NO for Cancel or when the count ran out.
    int ShowModal() override;
    void EndModal(int retCode) override;

    uint32_t Remaining() const { return m_remaining; }
    // The box ended because its count ran out, not by an answer.
    bool RanOut() const { return m_ranOut; }

private:
    // One second of the count has passed.
    void OnSecond();
    void OnButton(wxCommandEvent& event);
    void ShowCount();

    static constexpr uint32_t kSecondMs = 1000;
    ClockTimer m_second{[this] { OnSecond(); }};
    uint64_t m_nextSecond = 0;  // on the monotonic clock
    uint32_t m_startCount = 5;
    uint32_t m_remaining = 0;
    bool m_ranOut = false;
    wxButton* m_pDone = nullptr;
    wxButton* m_pCancel = nullptr;
    wxTextCtrl* m_pCount = nullptr;
    // The question again, in the body: without a window manager (most kiosks) there is no title
    // bar, and the box would show a bare count and two buttons.
    wxStaticText* m_pQuestion = nullptr;

    wxDECLARE_EVENT_TABLE();
};
