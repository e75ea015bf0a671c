// Which display the main window is on: the frame's display, whose orientation the watch writes
// to the device and which the calibration covers.
#include "app/CPMainFrame.h"
#include "gui/WindowDisplay.h"
#include "platform/DisplayOrientation.h"

namespace {
// The GUI thread answers within milliseconds when idle; a busy one (a command waiting for the
// request lock that the watch holds) is not waited for longer: the last place said stands.
constexpr uint32_t kFrameDisplayAnswerMs = 250;
}  // namespace

void CPMainFrame::TrackFrameDisplay() {
    // After the toolkit has handled the event: a window just shown has entered its output only then.
    auto later = [this](wxEvent& event) {
        event.Skip();
        CallAfter([this] { PublishFrameDisplay(); });
    };
    Bind(wxEVT_SHOW, later);
    Bind(wxEVT_MOVE, later);
    Bind(wxEVT_SIZE, later);
}

void CPMainFrame::PublishFrameDisplay() {
    // A window not shown, or whose surface has entered no output yet, says nothing new: the last
    // known display stays (the count still moves, so that a waiting watch goes on).
    VexoPlatform::SetFrameDisplay(DisplayOfWindow(this).place);
}

void CPMainFrame::AskFrameDisplay() {
    // A Wayland compositor moves a window to another output without telling it any position, so
    // no event says it: the GUI thread is asked at each check instead.
    const uint64_t seen = VexoPlatform::FrameDisplayCount();
    CallAfter([this] { PublishFrameDisplay(); });
    VexoPlatform::WaitForFrameDisplayAfter(seen, kFrameDisplayAnswerMs, [this] { return StopRequested(); });
}
