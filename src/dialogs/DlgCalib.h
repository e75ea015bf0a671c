// The four-point calibration dialog: covers the screen in black, shows four targets near the
// corners, forwards the live touch stream to the tap judge and asks for confirmation of the new
// record. The requests (save, switch off, apply, put back) are the calibration session's; anything
// but a confirmation puts the previous record back.
//
// Threads: the touch reader calls OnTouches on its own thread. It writes only the point taker
// (whose progress is one atomic word) and asks for a repaint through a queued call; every control,
// the paint and every request run on the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include <wx/busyinfo.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/timer.h>

#include "device/CalibRules.h"
#include "dialogs/CalibCheckView.h"
#include "device/CalibrationSession.h"
#include "device/TapJudge.h"
#include "gui/CPWindow.h"
#include "servicelink/ServiceContract.h"
#include "touchstream/VexoTUIO.h"

// What the user is told when a frame's previous calibration could not be put back.
wxString CalibrationNotRestoredText();

class DlgCalib : public wxDialog, public CPWindow {
public:
    enum {
        ID_STEP_TIMER = 4096,
        // Ids of the close requests the dialog posts to itself.
        CLOSE_TAKEN = 255,   // all four targets taken
        CLOSE_CANCELLED = 254,  // left before the end: Escape, a close request, a termination signal
        CLOSE_STREAM_LOST = 253,  // the touch stream ended while the targets were shown
        CLOSE_ABANDONED = 252,    // no point was taken for kAbandonMs
    };
    static constexpr int kStepMs = 500;
    // How often the start's waits look for a termination signal.
    static constexpr int kLeaveCheckMs = 50;
    // A touch-only kiosk has no Escape: a calibration nobody finishes ends by itself after this
    // long without a point taken (twice what calibrators usually give one target).
    static constexpr uint64_t kAbandonMs = 30000;
    // After the box ended without Done, the screen stays this long offering to calibrate again.
    static constexpr int kAgainMs = 5000;

    // `opener` is the window whose display the calibration covers and which gets the focus back
    // afterwards; it does not become the dialog's parent (see the constructor).
    // device: the frame the calibration switches off and gives its record back; every request of
    // the calibration goes to it.
    DlgCalib(wxWindow* opener, VexoSource::DeviceHandle device);
    ~DlgCalib() override;

    // Goes full screen, connects the touch stream, saves the service's calibration and switches
    // it off. 1 when calibration can start; 0 otherwise, with the dialog hidden and the saved
    // calibration back in force.
    int32_t Initialize() override;
    // Stops the touch reader.
    void Release() override;
    int32_t WriteSettings(const VexoSource::DeviceHandle&) override { return 1; }
    VexoSource::DeviceHandle Device() override { return m_device; }
    int32_t LoadFromService() override { return 1; }

    // Runs the modal loop until the targets are taken or the user leaves, then applies the new
    // record and asks for confirmation over the check view, or puts the saved record back. When
    // the box ended without Done, a touch anywhere within kAgainMs starts a new calibration.
    // Returns the code the last loop ended with (CLOSE_TAKEN when all four targets were taken).
    int ShowModal() override;
    // Hiding is held back while the screen must stay covered: from the fourth target through the
    // check and the offer to calibrate again (the end of the modal loop would hide it).
    bool Show(bool show = true) override;

    int32_t Running() const { return m_running; }
    // After a failed Initialize: the touch stream could not be connected.
    bool StreamUnreachable() const { return m_streamUnreachable; }
    // After a failed Initialize: the user left (Escape, a close request) before anything was
    // written to the device; there is nothing to report.
    bool CancelledByUser() const { return m_cancelled; }
    int32_t CurrentTarget() const { return m_target.load(std::memory_order_acquire); }
    // The check view behind the confirmation box (and the offer to calibrate again).
    CalibCheckView& CheckView() { return *m_check; }
    // The screen the targets are placed on.
    wxRect ScreenRect() const { return m_screen; }

private:
    static void TouchCallback(const VexoSource::VexoGroup<VexoSource::VexoTUIOTouch_Ele>& touches, void* user);
    void OnTouches(const VexoSource::VexoGroup<VexoSource::VexoTUIOTouch_Ele>& touches);

    void OnChar(wxKeyEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnCanvasPaint(wxPaintEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnStepTimer(wxTimerEvent& event);

    void PostClose(int id);
    int32_t Fail();
    int32_t Cancelled();
    bool LeaveSeen();
    // Keeps the event loop running for `ms` of the monotonic clock (painting, keys) instead of
    // blocking it; returns early when the user asks to leave.
    void Wait(int ms);
    // Keeps the event loop running for `ms` whatever the user asks meanwhile.
    void Pause(int ms);
    // Shows or hides the note that the previous calibration is being restored.
    void ShowRestoring(bool restoring);
    // Puts the saved record back; when that was not answered, says so. False then.
    bool PutBack();
    void SayNotRestored();
    // Brings the dialog over the whole display and gives it the keyboard.
    void CoverDisplay();
    bool CoversScreen() const;
    // How the confirmation ended: the new record kept or the previous one back (said), the previous
    // one not restored (said), or a touch asking to calibrate again.
    enum class ConfirmEnd { Finished, NotRestored, Again };
    ConfirmEnd ApplyAndConfirm();
    bool OfferAgain();
    // Starts the next calibration on the covered screen; false when it cannot (the saved record
    // is back then, or the user left).
    bool StartAgain();
    void ShowFirstTarget();
    // Ends the check view and lets the dialog be hidden, and hides it: before any message.
    void Uncover();
    void OnVerdict(VexoSource::TapVerdict verdict);
    // The screen's accessible name and description: what it shows now.
    void SayWhatIsShown();

    int32_t m_running = 0;
    wxRect m_screen;
    // The tap rules; fed by the reader thread, begun and read by the GUI thread, under m_judgeLock.
    std::mutex m_judgeLock;
    VexoSource::TapJudge m_judge;
    std::atomic<int32_t> m_target{0};
    // The last refusal, shown under the instruction until the next point is taken (GUI thread).
    VexoSource::TapVerdict m_notice = VexoSource::TapVerdict::None;
    bool m_judging = false;
    VexoSource::VexoTUIO m_reader;
    const VexoSource::DeviceHandle m_device;
    // The requests, on the GUI thread; it waits through the dialog's Wait and sees Escape.
    VexoSource::CalibrationSession m_session;
    bool m_wentFullScreen = false;
    bool m_streamUnreachable = false;
    bool m_cancelled = false;
    // GUI thread: Escape or a close request came before the modal loop ran; it ends the
    // calibration as soon as Initialize is over.
    bool m_leaveRequested = false;
    wxEventLoopBase* m_waitLoop = nullptr;
    wxWindow* m_opener = nullptr;
    // The full-size child that draws the targets and holds the keyboard focus: a top-level window
    // with no focusable child gets no key events at all on GTK.
    wxWindow* m_canvas = nullptr;
    wxTimer m_stepTimer;
    std::unique_ptr<CalibCheckView> m_check;
    bool m_keepCovering = false;
    // The note shown while a put-back that was not answered is tried again.
    std::unique_ptr<wxBusyInfo> m_restoringNote;

    wxDECLARE_EVENT_TABLE();
};
