#include "dialogs/DlgCalib.h"

#include <algorithm>
#include <vector>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/utils.h>

#include "config/ProcessConfig.h"
#include "dialogs/ClockTimer.h"
#include "dialogs/DlgTBox.h"
#include "dialogs/ScreenText.h"
#include "device/PendingRestore.h"
#include "foundation/VexoLog.h"
#include "gui/Accessible.h"
#include "gui/MessageBox.h"
#include "gui/ToolkitDisplay.h"
#include "gui/WindowDisplay.h"
#include "gui/WxText.h"
#include "platform/MonotonicClock.h"
#include "platform/PlatformTime.h"
#include "platform/ToolkitEnvironment.h"
#include "platform/TerminationSignals.h"

using namespace VexoSource;

wxString CalibrationNotRestoredText() {
    return LangText("Calibration_Not_Restored",
                    u"The previous calibration of the frame could not be restored: the touch service did not "
                    u"answer. Make sure that the touch service runs, then calibrate the frame again.");
}

wxBEGIN_EVENT_TABLE(DlgCalib, wxDialog)
    EVT_CHAR(DlgCalib::OnChar)
    EVT_CHAR_HOOK(DlgCalib::OnCharHook)
    EVT_CLOSE(DlgCalib::OnClose)
    EVT_TIMER(DlgCalib::ID_STEP_TIMER, DlgCalib::OnStepTimer)
wxEND_EVENT_TABLE()

namespace {

constexpr int kEscapeKey = 27;

}  // namespace

DlgCalib::DlgCalib(wxWindow* opener, DeviceHandle device)
    // A top-level window of its own, resizable, instead of a fixed-size child of the main window:
    // window managers keep a transient dialog attached to its parent (metacity) or refuse full
    // screen to a window whose size hints are fixed (openbox), and without a manager a transient
    // dialog is placed relative to its parent, off the screen.
    : wxDialog(nullptr, wxID_ANY, wxT("Modal dialog"), wxDefaultPosition, wxSize(363, 253),
               wxNO_BORDER | wxRESIZE_BORDER),
      m_device(device),
      m_session(device, CalibrationPace{[this](int ms) { Wait(ms); }, [this] { return LeaveSeen(); },
                                        [this](int ms) { Pause(ms); },
                                        [this](bool restoring) { ShowRestoring(restoring); }}),
      m_opener(opener),
      m_stepTimer(this, ID_STEP_TIMER) {
    m_screen = wxRect(0, 0, 0, 0);
    SetBackgroundColour(wxColour(0, 0, 0, 255));
    // The only child, so it always fills the client area.
    m_canvas = new wxWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS);
    m_canvas->SetBackgroundColour(wxColour(0, 0, 0, 255));
    m_canvas->Bind(wxEVT_PAINT, &DlgCalib::OnCanvasPaint, this);
    m_canvas->Bind(wxEVT_CHAR, &DlgCalib::OnChar, this);
    m_check = std::make_unique<CalibCheckView>(m_canvas);
    SetAccessibleRole(this, AccessibleRole::Dialog);
    SayWhatIsShown();
    m_running = 0;
}

DlgCalib::~DlgCalib() {
    m_stepTimer.Stop();
    // The reader thread calls into this object: it must end before the members go.
    m_reader.Release();
    m_running = 0;
}

int32_t DlgCalib::Initialize() {
    if (!g_MultiLang.LoadTexts()) {
        VexoLogException(L"Calibration: the language file could not be loaded");
        return 0;
    }
    // The start keeps the event loop running (painting, Escape) while it waits for the device;
    // the opener must not take clicks meanwhile.
    wxWindowDisabler othersDisabled(this);

    CoverDisplay();
    VexoLogDebug(L"Calibration screen %dx%d at %d,%d", m_screen.width, m_screen.height, m_screen.x, m_screen.y);

    if (!m_reader.Initialize()) {
        VexoLogException(L"Calibration: the touch stream cannot be reached");
        m_streamUnreachable = true;
        return Fail();
    }
    m_reader.SetTouchCallback(&DlgCalib::TouchCallback, this);
    // Without its reader no touch would ever come: stop before anything is written (Start logs why).
    if (!m_reader.Start()) return Fail();

    // Escape while the screen came up: nothing has been written yet, so nothing needs undoing.
    if (LeaveSeen()) return Cancelled();

    // Escape during the access polls or the settle wait ends the start early with Ready: the
    // modal loop then ends at once and the saved record goes back.
    switch (m_session.Start()) {
        case CalibStartResult::Ready: break;
        case CalibStartResult::Cancelled: return Cancelled();
        case CalibStartResult::ReadFailed:
        case CalibStartResult::SwitchOffFailed:
        case CalibStartResult::NoAccess: return Fail();
    }

    ShowFirstTarget();
    m_running = 1;
    return m_running;
}

void DlgCalib::ShowFirstTarget() {
    // The first target turns red now: touches that are down already (a palm on the bezel) are
    // never taken, and the idle time starts.
    {
        std::lock_guard<std::mutex> lock(m_judgeLock);
        m_judge.Begin(VexoPlatform::NowMs());
        m_judging = true;
    }
    VexoLogInfo(L"Calibration: the first target is shown");
    m_target.store(0, std::memory_order_release);
    m_notice = TapVerdict::None;
    SayWhatIsShown();
    m_canvas->Refresh(true);
    m_stepTimer.Start(kStepMs, wxTIMER_CONTINUOUS);
}

void DlgCalib::CoverDisplay() {
    // The display the opener is on (the one whose orientation the watch writes); the targets are
    // placed on its full geometry.
    WindowDisplay display = DisplayOfWindow(m_opener);
    if (display.index < 0) {
        display.index = 0;
        display.geometry = wxDisplay(0u).GetGeometry();
    }
    m_screen = display.geometry;

    // Placed on that display first, so that a window manager takes full screen there; a Wayland
    // compositor is told the output instead.
    Move(m_screen.GetPosition());
    ShowFullScreenOn(this, display.index);
    // Kept resizable: fixed size hints would make a window manager drop the full-screen state.
    SetWindowStyle(wxSTAY_ON_TOP | wxRESIZE_BORDER);
    m_wentFullScreen = true;
    Raise();
    m_canvas->SetFocus();

    // Full screen arrives asynchronously, from the window manager if there is one. Should it not
    // come (a manager that refuses it), the window is sized over the display by hand.
    // One step at least, so that a key pressed as the screen appears is seen before anything is
    // written to the device.
    const int kCoverWaitMs = 1000, kCoverStepMs = 20;
    Wait(kCoverStepMs);
    for (int waited = kCoverStepMs; waited < kCoverWaitMs && !CoversScreen(); waited += kCoverStepMs)
        Wait(kCoverStepMs);
    if (!CoversScreen()) {
        VexoLogInfo(L"Calibration: full screen not granted; covering the display by hand");
        SetSize(m_screen);
        Raise();
        for (int waited = 0; waited < kCoverWaitMs && !CoversScreen(); waited += kCoverStepMs) Wait(kCoverStepMs);
    }
    m_canvas->SetFocus();
}

bool DlgCalib::CoversScreen() const {
    if (!IsShown()) return false;
    const wxRect r = GetScreenRect();
    // A Wayland compositor tells no window where it is (it stays at 0,0 to the toolkit): the
    // output it asked for is what places it, and only the size can be seen.
    if (ToolkitOnWayland()) return r.GetWidth() >= m_screen.GetWidth() && r.GetHeight() >= m_screen.GetHeight();
    // From the display's top-left pixel: the targets are drawn relative to the window.
    return r.GetTopLeft() == m_screen.GetTopLeft() && r.Contains(m_screen.GetBottomRight());
}

void DlgCalib::Wait(int ms) {
    // In short steps: while the calibration starts it is no modal window yet, so a termination
    // signal sends it no close request; it must notice the signal itself.
    for (int left = ms; left > 0 && !LeaveSeen(); left -= kLeaveCheckMs) Pause(std::min(left, kLeaveCheckMs));
}

void DlgCalib::Pause(int ms) {
    if (ms <= 0) return;
    wxGUIEventLoop loop;
    ClockTimer timer([&loop] { loop.Exit(); });
    timer.StartFor(uint32_t(ms));
    m_waitLoop = &loop;
    loop.Run();
    m_waitLoop = nullptr;
    timer.Stop();
}

int32_t DlgCalib::Fail() {
    // No point will be taken any more: end the reader now rather than when the dialog is
    // destroyed, which the toolkit may defer.
    m_reader.Release();
    // Hidden first so that the dialog does not cover the failure message its opener shows.
    if (m_wentFullScreen) {
        ShowFullScreen(false);
        Hide();
    }
    PutBack();
    return 0;
}

void DlgCalib::ShowRestoring(bool restoring) {
    if (!restoring) {
        m_restoringNote.reset();
        return;
    }
    m_restoringNote = std::make_unique<wxBusyInfo>(
        LangText("Calibration_Restoring", u"Restoring the previous calibration of the frame\u2026"));
}

bool DlgCalib::PutBack() {
    if (m_session.RestoreSaved() != RestoreResult::NotRestored) return true;
    KeepPendingRestore(m_device, m_session.Saved());
    SayNotRestored();
    return false;
}

void DlgCalib::Uncover() {
    m_check->End();
    m_keepCovering = false;
    Hide();
}

void DlgCalib::SayNotRestored() {
    Uncover();
    // Never "back in force" when the frame did not take it: it keeps the cleared record (or the
    // new one), and the user must know what to do about it.
    VexoMessageBox(CalibrationNotRestoredText(), wxEmptyString, wxOK);
}

bool DlgCalib::LeaveSeen() {
    // Escape reaches the close handler through a queued close request: hand it over now.
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
    // A termination signal ends the calibration as Escape does; the program then ends as the
    // signal asks (its main window has been asked to close).
    if (!m_leaveRequested && VexoPlatform::TerminationSignals::Received() != 0) {
        VexoLogInfo(L"Calibration: a termination signal came while it started; cancelling");
        m_leaveRequested = true;
    }
    return m_leaveRequested;
}

int32_t DlgCalib::Cancelled() {
    VexoLogInfo(L"Calibration: cancelled while starting, before anything was written");
    m_cancelled = true;
    return Fail();
}

void DlgCalib::Release() {
    m_stepTimer.Stop();
    m_reader.Release();
    m_running = 0;
}

bool DlgCalib::Show(bool show) {
    if (!show && m_keepCovering) return false;
    return wxDialog::Show(show);
}

int DlgCalib::ShowModal() {
    int code;
    bool restored = true;
    // The other windows take no click until the calibration is over: the closing requests still
    // belong to it, and their waits (and the box, and the offer to start again) run event loops.
    wxWindowDisabler othersDisabled(this);
    for (;;) {
        // Once the loop runs: the keyboard to the canvas (so that a real Escape arrives), or leave
        // at once when the user already asked to during the start.
        CallAfter([this] {
            if (!IsModal()) return;  // not shown at all: the program is ending
            if (m_leaveRequested) {
                EndModal(CLOSE_CANCELLED);
                return;
            }
            Raise();
            m_canvas->SetFocus();
        });
        code = wxDialog::ShowModal();
        // The loop has ended; the opener still holds its request lock, so the closing requests
        // cannot interleave with its device watch. After the fourth target the dialog still
        // covers the screen (m_keepCovering); otherwise it is hidden but alive.
        m_stepTimer.Stop();
        if (code == CLOSE_TAKEN) {
            const ConfirmEnd end = ApplyAndConfirm();
            if (end == ConfirmEnd::Again && StartAgain()) continue;
            restored = end != ConfirmEnd::NotRestored;
        } else {
            restored = PutBack();
        }
        break;
    }
    Uncover();
    // Ended by itself: say why, and that the previous calibration is back (when it is; when it is
    // not, that has been said already).
    if (restored && code == CLOSE_STREAM_LOST)
        VexoMessageBox(LangText("Calibration_Stream_Lost", u"The touch stream of the touch service was lost. The "
                                                           u"previous calibration is back in force."),
                       wxEmptyString, wxOK);
    else if (restored && code == CLOSE_ABANDONED)
        VexoMessageBox(LangText("Calibration_Abandoned", u"No touch was taken for 30 seconds. The previous "
                                                         u"calibration is back in force."),
                       wxEmptyString, wxOK);
    // The opener is not our parent, so nothing gives it the focus back by itself.
    if (m_opener) m_opener->Raise();
    return code;
}

DlgCalib::ConfirmEnd DlgCalib::ApplyAndConfirm() {
    CalibrationRecord record;
    {
        std::lock_guard<std::mutex> lock(m_judgeLock);
        record = m_judge.Record(m_screen.width, m_screen.height);
    }
    const CalibApplyResult result = m_session.Apply(record);
    switch (result) {
        case CalibApplyResult::Applied: break;
        case CalibApplyResult::WriteFailed:
        case CalibApplyResult::NoAccess:
            // Nothing to confirm: the session has put the saved record back, or it is still
            // pending, which the user must hear of first.
            Uncover();
            if (m_session.MustPutBack()) {
                KeepPendingRestore(m_device, m_session.Saved());
                SayNotRestored();
                return ConfirmEnd::NotRestored;
            }
            if (result == CalibApplyResult::WriteFailed)
                VexoMessageBox(LangText("Callibration_Initialization_Failed", u"none"), wxEmptyString, wxOK);
            return ConfirmEnd::Finished;
    }
    // The new record is in force: the screen shows where touches now land while the box counts.
    if (m_keepCovering) {
        m_check->BeginCheck(m_screen.GetSize());
        // Below the box: a window kept above all others would hide it.
        SetWindowStyle(wxRESIZE_BORDER);
    }
    int answer;
    bool ranOut;
    {
        // On the display that was calibrated, where the user stands, whichever display is the first.
        // A Wayland compositor (natively or through its XWayland) keeps the covering window above
        // every other: there the box is its transient, which the compositor shows over it and gives
        // the keyboard. On X the box stays a window of its own, which window managers leave where
        // the program centres it.
        const bool onWayland = ToolkitOnWayland() || VexoPlatform::SessionOnWayland();
        DlgTBox box(LangText("Apply_Callibration", u""), this, m_keepCovering && onWayland ? this : nullptr);
        answer = box.ShowModal();
        ranOut = box.RanOut();
    }
    if (answer == wxID_YES) {
        VexoLogInfo(L"Calibration: the new calibration is kept");
        m_session.Keep();
        return ConfirmEnd::Finished;
    }
    VexoLogInfo(ranOut ? L"Calibration: the confirmation ran out; restoring the saved calibration"
                       : L"Calibration: the new calibration was cancelled; restoring the saved calibration");
    if (!PutBack()) return ConfirmEnd::NotRestored;
    // The box ran out or was cancelled: the screen the user touched must not look calibrated,
    // and a kiosk's user, whose finger may not have reached the box, can start again by touch.
    if (OfferAgain()) return ConfirmEnd::Again;
    Uncover();
    VexoMessageBox(LangText("Calibration_Restored", u"The previous calibration is back in force."), wxEmptyString,
                   wxOK);
    return ConfirmEnd::Finished;
}

bool DlgCalib::OfferAgain() {
    // A stream that ended brings no touch; Escape (or a close request) ends it as during the
    // targets.
    if (!m_keepCovering || m_reader.StreamEnded() || m_leaveRequested) return false;
    SetWindowStyle(wxSTAY_ON_TOP | wxRESIZE_BORDER);
    Raise();
    m_canvas->SetFocus();
    m_check->BeginAgain();
    const uint64_t until = VexoPlatform::NowMs() + uint64_t(kAgainMs);
    const int kLookMs = 50;
    while (VexoPlatform::NowMs() < until && !m_leaveRequested && !m_reader.StreamEnded()) {
        if (m_check->Landed()) {
            VexoLogInfo(L"Calibration: a touch on the screen asks to calibrate again");
            return true;
        }
        Wait(kLookMs);
    }
    return false;
}

bool DlgCalib::StartAgain() {
    m_check->End();
    {
        std::lock_guard<std::mutex> lock(m_judgeLock);
        m_judging = false;
    }
    m_target.store(0, std::memory_order_release);
    m_canvas->Refresh(true);
    switch (m_session.Start()) {
        case CalibStartResult::Ready: break;
        case CalibStartResult::Cancelled: return false;
        case CalibStartResult::ReadFailed:
        case CalibStartResult::SwitchOffFailed:
        case CalibStartResult::NoAccess:
            Uncover();
            if (PutBack())
                VexoMessageBox(LangText("Callibration_Initialization_Failed", u"none"), wxEmptyString, wxOK);
            return false;
    }
    // Escape while the device came back: the next loop ends at once and puts the saved record back.
    m_keepCovering = false;
    ShowFirstTarget();
    return true;
}

void DlgCalib::TouchCallback(const VexoGroup<VexoTUIOTouch_Ele>& touches, void* user) {
    if (user) static_cast<DlgCalib*>(user)->OnTouches(touches);
}

void DlgCalib::OnTouches(const VexoGroup<VexoTUIOTouch_Ele>& touches) {
    std::vector<TapTouch> set;
    set.reserve(size_t(std::max(0, touches.Count())));
    for (int32_t k = 0; k < touches.Count(); ++k)
        if (const VexoTUIOTouch_Ele* t = touches.Get(k)) set.push_back({t->id, t->x, t->y});
    m_check->OnTouchSet(set);
    TapVerdict verdict;
    {
        std::lock_guard<std::mutex> lock(m_judgeLock);
        verdict = m_judge.OnTouchSet(set, VexoPlatform::NowMs());
        m_target.store(m_judge.CurrentTarget(), std::memory_order_release);
    }
    // Controls belong to the GUI thread: hand the verdict over.
    if (verdict != TapVerdict::None) CallAfter([this, verdict] { OnVerdict(verdict); });
}

void DlgCalib::OnVerdict(TapVerdict verdict) {
    switch (verdict) {
        // Logged: a point taken is when the next target turns red, which whoever reads the log
        // (a person at the frame, a scripted test) paces the next tap by.
        case TapVerdict::Taken: VexoLogInfo(L"Calibration: point %d taken", int(CurrentTarget())); break;
        case TapVerdict::TooClose: VexoLogInfo(L"Calibration: a touch too close to a point taken was refused"); break;
        case TapVerdict::MoreThanOne: VexoLogInfo(L"Calibration: a touch with another one during it was refused"); break;
        case TapVerdict::WrongShape:
            VexoLogInfo(L"Calibration: the four points are not the corners of the screen; starting again");
            break;
        case TapVerdict::None: break;
    }
    m_notice = verdict == TapVerdict::Taken ? TapVerdict::None : verdict;
    SayWhatIsShown();
    m_canvas->Refresh(true);
}

namespace {

// The guidance lines under the targets' order: what to do, how far along, how to leave, and why
// the last touch was refused.
std::vector<wxString> GuidanceLines(int32_t target, TapVerdict notice) {
    std::vector<wxString> lines;
    wxString touch = LangText("Calibration_Touch_Target", u"Touch the centre of the red target \u2014 %1 of 4");
    touch.Replace(wxT("%1"), wxString::Format(wxT("%d"), int(std::min(target, kCalibTargetCount - 1)) + 1));
    lines.push_back(touch);
    switch (notice) {
        case TapVerdict::TooClose:
            lines.push_back(LangText("Calibration_Too_Close", u"That touch was too close to the last one"));
            break;
        case TapVerdict::MoreThanOne:
            lines.push_back(LangText("Calibration_One_Finger", u"Lift all fingers, then touch with one"));
            break;
        case TapVerdict::WrongShape:
            lines.push_back(LangText("Calibration_Wrong_Shape",
                                     u"The four touches did not match the corners of the screen \u2014 start again at "
                                     u"the first target"));
            break;
        default: break;
    }
    // A kiosk has no keyboard: also how it ends without one.
    lines.push_back(LangText("Calibration_Escape_Cancels", u"Press Escape to cancel.") + wxT(" ") +
                    LangText("Calibration_Ends_By_Itself", u"Without a touch it ends by itself after 30 s."));
    return lines;
}

}  // namespace

void DlgCalib::SayWhatIsShown() {
    // A screen reader hears the screen's name (the target to touch) and its description (all the
    // guidance, refusal included) whenever they change; the focused canvas says the same.
    wxString name = LangText("Calibration_Screen", u"Calibration"), description;
    const int32_t current = CurrentTarget();
    if (m_judging && current < kCalibTargetCount) {
        const std::vector<wxString> lines = GuidanceLines(current, m_notice);
        name = lines.front();
        for (const wxString& line : lines) description += (description.empty() ? wxString() : wxString(wxT("\n"))) + line;
    }
    for (wxWindow* w : {static_cast<wxWindow*>(this), m_canvas}) {
        SetAccessibleName(w, name);
        SetAccessibleDescription(w, description);
    }
}

void DlgCalib::OnCanvasPaint(wxPaintEvent&) {
    wxPaintDC dc(m_canvas);
    if (m_screen.width <= 0 || m_screen.height <= 0) return;
    if (m_check->Current() != CalibCheckView::Phase::Off) {
        m_check->Paint(dc, GetFont());
        return;
    }
    const int32_t current = CurrentTarget();
    for (int32_t k = 0; k < kCalibTargetCount; ++k) {
        const CalibTarget t = CalibTargetAt(k, m_screen.width, m_screen.height);
        const int32_t half = kCalibCrossLength / 2;
        dc.SetPen(*wxWHITE_PEN);
        dc.DrawLine(t.anchorX, t.anchorY + half * t.signY, t.anchorX + kCalibCrossLength * t.signX,
                    t.anchorY + half * t.signY);
        dc.DrawLine(t.anchorX + half * t.signX, t.anchorY, t.anchorX + half * t.signX,
                    t.anchorY + kCalibCrossLength * t.signY);
        // Red only once touches count: during the start (switching off, the device's reset) a
        // tap would be lost, so nothing invites one.
        if (k == current && m_judging) {
            dc.SetBrush(*wxRED_BRUSH);
            dc.SetPen(*wxRED_PEN);
        } else {
            dc.SetBrush(*wxWHITE_BRUSH);
        }
        dc.DrawCircle(t.centreX, t.centreY, kCalibCircleRadius);
    }
    if (!m_judging || current >= kCalibTargetCount) return;
    // The guidance, centred on the screen's middle third, far from the targets in the corners.
    const std::vector<wxString> lines = GuidanceLines(current, m_notice);
    // Between the targets: the refusal lines are long.
    SetFittingFont(dc, GetFont(), m_screen.height, lines, m_screen.width * 85 / 100);
    dc.SetBackgroundMode(wxTRANSPARENT);
    const int lineHeight = dc.GetCharHeight() * 3 / 2;
    int y = m_screen.height / 3;
    for (size_t k = 0; k < lines.size(); ++k, y += lineHeight) {
        if (k + 1 == lines.size() && lines.size() > 1) y += lineHeight / 2;
        const wxSize extent = dc.GetTextExtent(lines[k]);
        if (k == 1 && m_notice != TapVerdict::None) dc.SetTextForeground(wxColour(255, 210, 80));
        else dc.SetTextForeground(wxColour(220, 220, 220));
        dc.DrawText(lines[k], (m_screen.width - extent.x) / 2, y);
    }
}

void DlgCalib::OnStepTimer(wxTimerEvent&) {
    if (CurrentTarget() >= kCalibTargetCount) {
        m_stepTimer.Stop();
        PostClose(CLOSE_TAKEN);
        return;
    }
    // Never stuck: a stream that ended can take no more points, and a screen left alone would
    // keep the calibration switched off for good on a kiosk without a keyboard.
    if (m_reader.StreamEnded()) {
        VexoLogException(L"Calibration: the touch stream ended; restoring the saved calibration");
        m_stepTimer.Stop();
        PostClose(CLOSE_STREAM_LOST);
        return;
    }
    uint64_t since;
    {
        std::lock_guard<std::mutex> lock(m_judgeLock);
        since = m_judge.LastProgressMs();
    }
    if (VexoPlatform::NowMs() >= since + kAbandonMs) {
        VexoLogInfo(L"Calibration: no point taken for %d s; restoring the saved calibration", int(kAbandonMs / 1000));
        m_stepTimer.Stop();
        PostClose(CLOSE_ABANDONED);
    }
}

void DlgCalib::PostClose(int id) {
    // A real close event: the close handler reads its id.
    wxCloseEvent* event = new wxCloseEvent(wxEVT_CLOSE_WINDOW, id);
    event->SetEventObject(this);
    event->SetCanVeto(true);
    GetEventHandler()->QueueEvent(event);
}

void DlgCalib::OnChar(wxKeyEvent& event) {
    if (event.GetKeyCode() == kEscapeKey)
        PostClose(CLOSE_CANCELLED);
    else
        event.Skip();
}

void DlgCalib::OnCharHook(wxKeyEvent& event) {
    // The dialog's default Escape handling would end the loop on its own; route it through the
    // key handler instead so that every way out goes through the close handler.
    if (event.GetKeyCode() == kEscapeKey)
        OnChar(event);
    else
        event.Skip();
}

void DlgCalib::OnClose(wxCloseEvent& event) {
    if (!IsModal()) {
        if (IsShown() && event.CanVeto()) {
            // Still starting: the calibration ends as soon as the start is over (the saved record
            // must go back first, and the start must not wait any longer).
            m_leaveRequested = true;
            if (m_waitLoop) m_waitLoop->Exit();
            event.Veto();
            return;
        }
        // Not calibrating (or already ending): the toolkit's default close processing hides it.
        event.Skip();
        return;
    }
    // Taken targets, Escape or a close request from the system: the loop ends here and ShowModal
    // applies or restores once it has returned.
    const int id = event.GetId();
    // The screen stays covered through the new record's check (the end of the loop would hide it).
    if (id == CLOSE_TAKEN) m_keepCovering = true;
    EndModal(id == CLOSE_TAKEN || id == CLOSE_STREAM_LOST || id == CLOSE_ABANDONED ? id : int(CLOSE_CANCELLED));
}
