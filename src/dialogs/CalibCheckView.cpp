#include "dialogs/CalibCheckView.h"

#include <algorithm>

#include <wx/brush.h>
#include <wx/pen.h>

#include "device/CalibRules.h"
#include "dialogs/ScreenText.h"
#include "foundation/VexoLog.h"
#include "gui/WxText.h"
#include "platform/MonotonicClock.h"

using namespace VexoSource;

namespace {

const wxColour kGuidance(220, 220, 220);
const wxColour kGood(80, 220, 100);
const wxColour kWrong(255, 176, 0);
// A mark is a filled square centred on the touch's pixel (symmetric, so that its middle is the
// touch's position on a screenshot too).
constexpr int kMarkHalf = 4;
const wxColour kMarkDown(0, 200, 255);
const wxColour kMarkLifted(0, 120, 160);

}  // namespace

CalibCheckView::CalibCheckView(wxWindow* canvas) : m_canvas(canvas) {
    m_repaint.SetOwner(this);
    Bind(wxEVT_TIMER, &CalibCheckView::OnRepaint, this);
}

CalibCheckView::~CalibCheckView() { m_repaint.Stop(); }

void CalibCheckView::OnTouchSet(const std::vector<TapTouch>& touches) {
    std::lock_guard<std::mutex> lock(m_lock);
    const CheckTouches::Outcome out = m_touches.OnTouchSet(touches, VexoPlatform::NowMs());
    if (m_phase == Phase::Again && out.landed) m_landed = true;
    if (m_phase != Phase::Check || !out.tapped) return;
    const PixelPoint at = TouchPixel(out.tap.x, out.tap.y, m_size.x, m_size.y);
    const CheckResult result = JudgeCheckTap(at, m_size.x, m_size.y);
    // A tap elsewhere is only drawn: the last figure near the target stays.
    if (result.grade == CheckGrade::Far) return;
    m_result = result;
    m_hasResult = true;
    m_resultLogged = false;
}

void CalibCheckView::BeginCheck(const wxSize& size) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_size = size;
        m_phase = Phase::Check;
        m_hasResult = false;
        m_resultLogged = true;
        m_touches.Begin(VexoPlatform::NowMs());
    }
    m_repaint.Start(kRepaintMs);
    m_canvas->Refresh(true);
}

void CalibCheckView::BeginAgain() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_phase = Phase::Again;
        m_landed = false;
        m_touches.Begin(VexoPlatform::NowMs());
    }
    m_repaint.Start(kRepaintMs);
    m_canvas->Refresh(true);
}

void CalibCheckView::End() {
    m_repaint.Stop();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_phase = Phase::Off;
    }
    m_canvas->Refresh(true);
}

CalibCheckView::Phase CalibCheckView::Current() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_phase;
}

bool CalibCheckView::Landed() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_landed;
}

bool CalibCheckView::LastResult(CheckResult& result) const {
    std::lock_guard<std::mutex> lock(m_lock);
    result = m_result;
    return m_hasResult;
}

void CalibCheckView::OnRepaint(wxTimerEvent&) {
    bool log = false;
    CheckResult result;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_resultLogged) {
            m_resultLogged = true;
            log = true;
            result = m_result;
        }
    }
    if (log)
        VexoLogInfo(L"Calibration check: a tap %d px from the check target (%ls)", int(result.distancePx),
                    result.grade == CheckGrade::Good ? L"good" : L"the calibration looks wrong");
    m_canvas->Refresh(false);
}

namespace {

// Centred lines from y on; each with its colour. Narrower font where a line would not fit (a
// portrait display is narrow for its height).
void DrawLines(wxDC& dc, const wxFont& baseFont, const wxSize& size, int y,
               std::vector<std::pair<wxString, wxColour>> lines) {
    wxFont font = baseFont;
    font.SetPointSize(std::max(12, size.y / 60));
    dc.SetFont(font);
    // A sentence too wide for a portrait display goes on two lines at its natural break before
    // the font gets smaller.
    for (size_t k = 0; k < lines.size(); ++k) {
        if (dc.GetTextExtent(lines[k].first).x <= size.x * 90 / 100) continue;
        const wxString& text = lines[k].first;
        const wxString breaks[] = {wxString(L" \u2014 "), wxString(L". "), wxString(L"\u3002")};
        for (const wxString& mark : breaks) {
            const int at = text.Find(mark);
            if (at == wxNOT_FOUND || size_t(at) + mark.length() >= text.length()) continue;
            const wxString first = text.Left(size_t(at) + mark.length()).Trim();
            const wxString second = text.Mid(size_t(at) + mark.length()).Trim(false);
            const wxColour colour = lines[k].second;
            lines[k].first = first;
            lines.insert(lines.begin() + long(k) + 1, std::make_pair(second, colour));
            break;
        }
    }
    std::vector<wxString> texts;
    for (const auto& line : lines) texts.push_back(line.first);
    SetFittingFont(dc, baseFont, size.y, texts, size.x * 90 / 100);
    dc.SetBackgroundMode(wxTRANSPARENT);
    const int lineHeight = dc.GetCharHeight() * 3 / 2;
    for (const auto& line : lines) {
        dc.SetTextForeground(line.second);
        dc.DrawText(line.first, (size.x - dc.GetTextExtent(line.first).x) / 2, y);
        y += lineHeight;
    }
}

}  // namespace

void CalibCheckView::Paint(wxDC& dc, const wxFont& baseFont) {
    Phase phase;
    wxSize size;
    bool hasResult;
    CheckResult result;
    std::vector<CheckMark> marks;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        phase = m_phase;
        size = m_size;
        hasResult = m_hasResult;
        result = m_result;
        marks = m_touches.Marks(VexoPlatform::NowMs());
    }
    if (phase == Phase::Off || size.x <= 0 || size.y <= 0) return;

    std::vector<std::pair<wxString, wxColour>> lines;
    if (phase == Phase::Check) {
        // The target as the calibration's were drawn: a white cross and a red circle.
        const PixelPoint t = CheckTargetAt(size.x, size.y);
        const int half = kCalibCrossLength / 2;
        dc.SetPen(*wxWHITE_PEN);
        dc.DrawLine(t.x - half, t.y, t.x + half + 1, t.y);
        dc.DrawLine(t.x, t.y - half, t.x, t.y + half + 1);
        dc.SetBrush(*wxRED_BRUSH);
        dc.SetPen(*wxRED_PEN);
        dc.DrawCircle(t.x, t.y, kCalibCircleRadius);

        lines.emplace_back(LangText("Calibration_Check_Touch", u"Touch the centre of the target to check the new "
                                                               u"calibration \u2014 touches are drawn where they land"),
                           kGuidance);
        if (hasResult) {
            wxString figure = LangText("Calibration_Check_Distance", u"%1 px from the target");
            figure.Replace(wxT("%1"), wxString::Format(wxT("%d"), int(result.distancePx)));
            const bool good = result.grade == CheckGrade::Good;
            lines.emplace_back(figure, good ? kGood : kWrong);
            if (!good)
                lines.emplace_back(LangText("Calibration_Check_Wrong",
                                            u"The calibration looks wrong. Cancel, or letting the time run out, "
                                            u"keeps the previous one."),
                                   kWrong);
        }
    } else {
        lines.emplace_back(LangText("Calibration_Restored", u"The previous calibration is back in force."), kGuidance);
        lines.emplace_back(LangText("Calibration_Touch_Again", u"Touch anywhere to calibrate again"), kGuidance);
    }
    // Above the confirmation box, which sits in the middle.
    DrawLines(dc, baseFont, size, size.y / 6, lines);

    // Last, over everything: where the touches land.
    for (const CheckMark& m : marks) {
        const PixelPoint p = TouchPixel(m.x, m.y, size.x, size.y);
        const wxColour& colour = m.down ? kMarkDown : kMarkLifted;
        dc.SetPen(wxPen(colour));
        dc.SetBrush(wxBrush(colour));
        dc.DrawRectangle(p.x - kMarkHalf, p.y - kMarkHalf, 2 * kMarkHalf + 1, 2 * kMarkHalf + 1);
    }
}
