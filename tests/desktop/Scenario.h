// What the desktop scenarios share, on X and on Wayland: their bounds, the main window's fixed
// layout, the taps and the record they give, and the reading of touchsim's call lines.
#pragma once

#include <string>

namespace desktop {
namespace scenario {

// The bounds are about hangs, not speed: a passing step returns as soon as it is seen.
// The program's window after launch: a second or two; far more built with the sanitizers on a
// loaded machine (more than 10 s seen).
constexpr long long kWindowMs = 40000;
// The calibration screen after the button: about 1 s idle, up to 4 s on a loaded machine without a
// window manager (which never grants full screen, so the screen waits for it first).
constexpr long long kCoverMs = 12000;
constexpr long long kStepMs = 15000;  // a request sequence with its waits (access polls, settle)
constexpr long long kExitMs = 15000;  // the program ends after its window closed
constexpr long long kLostMs = 20000;  // a lost device noticed: a watch pass (3 s) whose request goes unanswered (3 s)
constexpr const char* kMainTitle = "Touch Frame Configuration - ";  // message boxes carry the name alone
constexpr const char* kCalibTitle = "Modal dialog";
constexpr const char* kKeepQuestion = "Keep the new calibration?";

struct Point {
    int x, y;
};
// Centres of the main window's buttons in its client area (the fixed layout).
constexpr Point kCalibrationButton{30 + 74, 340 + 12};
constexpr Point kAdvancedButton{190 + 74, 340 + 12};
constexpr Point kFactoryButton{30 + 74, 368 + 12};
constexpr Point kDoneButton{165 + 32, 421 + 14};
// The device choice's drop-down button, at the right end of the combo box.
constexpr Point kDeviceChoiceButton{131 + 173 - 12, 50 + 12};

// The taps for the four targets, in touch coordinates (the touchsim frame spans the display).
constexpr const char* kTaps[4] = {"tap 0.125 0.125", "tap 0.125 0.875", "tap 0.875 0.875", "tap 0.875 0.125"};
// A tap counts only once its target has been red for a moment: a person's pace between taps.
constexpr int kTapPauseMs = 400;
// What those taps give on a landscape display (touch x, y, screen x, y per point; points
// top-left, top-right, bottom-left, bottom-right), enabled 1, as the wire carries it.
constexpr const char* kNewRecordHex =
    "01000000"
    "ff0fff0f5504b407"   // top-left 4095, 4095, 1109, 1972
    "ff6fff0fa97bb407"   // top-right 28671, 4095, 31657, 1972
    "ff0fff6f55044a78"   // bottom-left 4095, 28671, 1109, 30794
    "ff6fff6fa97b4a78";  // bottom-right 28671, 28671, 31657, 30794
inline const std::string kZeroRecordHex(72, '0');

// A call line's payload in hexadecimal ("payload=N:HEX ...").
inline std::string PayloadOf(const std::string& line) {
    const size_t at = line.find("payload=");
    if (at == std::string::npos) return "";
    const size_t colon = line.find(':', at);
    const size_t end = line.find(' ', colon);
    return line.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
}

// A call line's device selector ("sel=N"); -1 without one.
inline long SelectorOf(const std::string& line) {
    const size_t at = line.find(" sel=");
    return at == std::string::npos ? -1 : std::stol(line.substr(at + 5));
}

// A call line's request name ("call NAME ...").
inline std::string NameOf(const std::string& line) { return line.substr(5, line.find(' ', 5) - 5); }

// The check view behind the confirmation box, on a display at (x, y) of width x height: the check
// target red below the middle, the corners' targets gone (the display still covered in black);
// with `figure`, after a tap near the target, its mark near it and the figure in green or amber
// in the guidance lines at the top. Empty when all holds, else what does not.
template <class Shot>
std::string CheckViewProblem(const Shot& s, int x, int y, int width, int height, bool figure) {
    const int tx = x + width / 2, ty = y + height / 2 + (height / 6 > 160 ? height / 6 : 160);
    // Beside the centre too: a tap that landed on it covers the centre with its mark.
    if (!s.At(tx, ty).IsRed() && !s.At(tx - 7, ty).IsRed() && !s.At(tx + 7, ty).IsRed()) return "no red check target";
    if (!s.At(x + 65, y + 65).IsBlack() || !s.At(x + width - 65, y + height - 65).IsBlack())
        return "the corners are not black";
    if (!figure) return "";
    bool mark = false;
    for (int py = ty - 200; py <= ty + 200 && !mark; ++py)
        for (int px = tx - 200; px <= tx + 200 && !mark; ++px) {
            const auto c = s.At(px, py);
            mark = c.r < 30 && c.g >= 100 && c.g <= 210 && c.b > 140;
        }
    if (!mark) return "no touch mark near the check target";
    bool shown = false;
    for (int py = y + height / 6; py < y + height / 6 + 200 && !shown; ++py)
        for (int px = x; px < x + width && !shown; ++px) {
            const auto c = s.At(px, py);
            shown = (c.g > 180 && c.r < 140 && c.b < 150) || (c.r > 220 && c.g > 140 && c.g < 210 && c.b < 60);
        }
    return shown ? "" : "no figure in green or amber";
}

}  // namespace scenario
}  // namespace desktop
