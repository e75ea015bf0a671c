// What the calibration screen shows once the new record is in force: the check target, every
// touch where it lands, and the distance of a tap near the target, while the confirmation box
// counts down over it; then, when the box ended without Done, "Touch anywhere to calibrate again".
// The rules (where, near, good, which touches count) are device/CalibCheckRules.h; this draws them
// on the calibration's canvas.
//
// Threads: the touch reader feeds every touch set on its own thread (under the view's lock); a
// timer on the GUI thread repaints the canvas and logs a new figure. Nothing here sends requests.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include <wx/dc.h>
#include <wx/event.h>
#include <wx/timer.h>
#include <wx/window.h>

#include "device/CalibCheckRules.h"

class CalibCheckView : public wxEvtHandler {
public:
    enum class Phase { Off, Check, Again };
    // How often the canvas is repainted while the view shows (marks appear, move and fade).
    static constexpr int kRepaintMs = 50;

    explicit CalibCheckView(wxWindow* canvas);
    ~CalibCheckView() override;

    // Reader thread, every touch set in every phase: a touch resting since the targets is then
    // known as such when the check begins.
    void OnTouchSet(const std::vector<VexoSource::TapTouch>& touches);

    // GUI thread. The check on a display of `size`: touches down now never count.
    void BeginCheck(const wxSize& size);
    // The prompt to calibrate again; touches down now do not count as landing.
    void BeginAgain();
    void End();
    Phase Current() const;
    // A touch landed since BeginAgain.
    bool Landed() const;
    // The last tap's figure, when a tap near the target was lifted during the check.
    bool LastResult(VexoSource::CheckResult& result) const;

    // Draws the view (the canvas's background is black already).
    void Paint(wxDC& dc, const wxFont& baseFont);

private:
    void OnRepaint(wxTimerEvent& event);

    wxWindow* m_canvas;
    wxTimer m_repaint;
    mutable std::mutex m_lock;  // everything below; the reader thread writes through OnTouchSet
    VexoSource::CheckTouches m_touches;
    Phase m_phase = Phase::Off;
    wxSize m_size;
    bool m_hasResult = false;
    bool m_resultLogged = true;
    VexoSource::CheckResult m_result;
    bool m_landed = false;
};
