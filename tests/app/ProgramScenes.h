// Scenes of a whole-program run that several tests reach: the main window's buttons, a window
// opened by a click, the calibration running, its confirmation box; and the instance guard's state.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramSupport.h"
#include "app/VexoWxApp.h"
#include "platform/InstanceGuard.h"
#include "servicelink/FaultsSupport.h"

namespace programtest {

// Main window controls (fixed layout), centres in window coordinates.
constexpr int kCalibrationX = 104, kCalibrationY = 352;
constexpr int kAdvancedX = 264, kAdvancedY = 352;
constexpr int kFactoryX = 104, kFactoryY = 380;
constexpr int kUpdateX = 316, kUpdateY = 219;
constexpr int kMouseX = 266, kMouseY = 324;
constexpr int kApplyX = 335, kApplyY = 435;

using Reach = std::function<bool(ProgramRun&, faults::TouchsimProcess&, const std::string& mainWindow)>;

// True when nobody holds the machine's instance guard (a new start would run).
inline bool GuardFree() {
    VexoPlatform::InstanceGuard probe(kInstanceGuardName);
    return probe.Acquire() == VexoPlatform::InstanceGuard::State::Held;
}

inline size_t CountOf(const std::vector<std::string>& names, const std::string& name) {
    size_t n = 0;
    for (const std::string& s : names) n += s == name ? 1 : 0;
    return n;
}

inline bool WindowNamed(const std::vector<ShownWindow>& ws, const std::string& name) {
    for (const ShownWindow& w : ws)
        if (w.name == name) return true;
    return false;
}

// A click on a main window button, then a second window of the program on top.
inline Reach OpenByClick(int x, int y) {
    return [x, y](ProgramRun& run, faults::TouchsimProcess&, const std::string& mainWindow) {
        ClickAt(run.Display(), mainWindow, x, y);
        return WaitForWindows(
            run, [](const std::vector<ShownWindow>& ws) { return ws.size() >= 2; }, kWindowMs);
    };
}

// A tap counts once its target has been red for 300 ms on the program's clock. Waited after the
// program has said the target turned red, this is a lower bound of that time, however loaded the
// machine: a person's pace, not a guess at how long the program takes.
constexpr int kTapPaceMs = 400;

// The calibration button, then the calibration running: the service's calibration switched off,
// the device back and settled, the first target red and the dialog's own loop running.
inline bool StartCalibration(ProgramRun& run, faults::TouchsimProcess& service, const std::string& mainWindow) {
    ClickAt(run.Display(), mainWindow, kCalibrationX, kCalibrationY);
    if (!faults::WaitFor([&] { return CountOf(service.Calls(), "SetCalibration") >= 1; }, kWindowMs)) return false;
    return run.Process().WaitForLine("Information - Calibration: the first target is shown", kWindowMs) &&
           run.Process().Running();
}

// Calibration pressed, the calibration switched off, and the frame still busy after its reset:
// the start waits for it (before any target shows).
inline bool CalibrationStarting(ProgramRun& run, faults::TouchsimProcess& service, const std::string& mainWindow) {
    // Set once the window shows: the start-up's own resets must not keep the frame busy.
    if (!service.Command("busyreset 60000")) return false;
    ClickAt(run.Display(), mainWindow, kCalibrationX, kCalibrationY);
    if (!faults::WaitFor([&] { return CountOf(service.Calls(), "SetCalibration") >= 1; }, kWindowMs)) return false;
    const size_t polls = CountOf(service.Calls(), "GetAccessState");
    return faults::WaitFor([&] { return CountOf(service.Calls(), "GetAccessState") >= polls + 2; }, kWindowMs) &&
           run.Process().Running();
}

// Calibration, four taps (each once its target is red), and then the timed confirmation box.
inline bool ReachConfirmation(ProgramRun& run, faults::TouchsimProcess& service, const std::string& mainWindow) {
    if (!StartCalibration(run, service, mainWindow)) return false;
    const char* taps[] = {"tap 0.125 0.125", "tap 0.125 0.875", "tap 0.875 0.875", "tap 0.875 0.125"};
    for (int k = 0; k < 4; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTapPaceMs));
        if (!service.Command(taps[k])) return false;
        const std::string taken = "Information - Calibration: point " + std::to_string(k + 1) + " taken";
        if (!run.Process().WaitForLine(taken, kWindowMs)) return false;
    }
    return WaitForWindows(
        run, [](const std::vector<ShownWindow>& ws) { return WindowNamed(ws, "Keep the new calibration?"); },
        kWindowMs);
}

}  // namespace programtest
