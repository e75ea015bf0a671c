// Where the program's dialogs come up on a desktop, once per window manager (none, openbox,
// metacity, xfwm4): read back from the X server, opened with clicks and closed with keys through
// XTEST, as a person does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "desktop/DesktopSession.h"

using desktop::DesktopSession;
using desktop::WindowInfo;

namespace {

constexpr long long kWindowMs = 40000;  // the program's window after launch (sanitized builds are slow)
constexpr long long kStepMs = 15000;    // a dialog after its button (its requests included)
constexpr long long kExitMs = 15000;
constexpr const char* kMainTitle = "Touch Frame Configuration - ";  // message boxes carry the name alone
constexpr const char* kAdvancedTitle = "Advanced Setting";
// How far a window's middle may lie from the display's: a title bar moves the client area down.
constexpr int kCentreSlack = 40;

// Buttons of the main window, from its client area's top-left corner (the fixed layout).
constexpr int kAdvancedButtonX = 190 + 74, kAdvancedButtonY = 340 + 12;
constexpr int kDoneButtonX = 165 + 32, kDoneButtonY = 421 + 14;

bool Centred(const WindowInfo& w) {
    return std::abs(w.x + w.width / 2 - 960) <= kCentreSlack && std::abs(w.y + w.height / 2 - 540) <= kCentreSlack;
}

std::string Where(const WindowInfo& w) {
    return std::to_string(w.x) + "," + std::to_string(w.y) + " " + std::to_string(w.width) + "x" +
           std::to_string(w.height);
}

class DialogPlacement : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        session_.reset(new DesktopSession(GetParam()));
        ASSERT_TRUE(session_->Start()) << session_->Error();
    }
    void TearDown() override {
        if (HasFailure() && session_) std::printf("program output:\n%s\n", session_->ProgramStderr().c_str());
    }

    std::unique_ptr<DesktopSession> session_;
};

// The advanced settings dialog is a new window each time it opens: every time, not only the first,
// it stands in the middle of the display, whatever the manager does with a program's position.
TEST_P(DialogPlacement, TheAdvancedSettingsOpenInTheMiddleEveryTime) {
    ASSERT_TRUE(session_->LaunchProgram());
    WindowInfo main;
    ASSERT_TRUE(faults::WaitFor(
        [&] {
            main = session_->WaitForWindow(kMainTitle, 0);
            return main.id != 0 && Centred(main);
        },
        kWindowMs))
        << "main window at " << Where(main);
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;

    for (int opening = 1; opening <= 3; ++opening) {
        SCOPED_TRACE("opening " + std::to_string(opening));
        // Where the window is now that it has stopped moving: the button is clicked there.
        main = session_->WaitForSettledWindow(kMainTitle, kStepMs);
        ASSERT_NE(main.id, 0u) << "the main window did not settle";
        session_->Click(main.x + kAdvancedButtonX, main.y + kAdvancedButtonY);
        ASSERT_NE(session_->WaitForWindow(kAdvancedTitle, kStepMs).id, 0u) << "no advanced settings dialog";
        ASSERT_TRUE(session_->WaitForFocus(kAdvancedTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        // Where it settles: a manager may map it at one place and move it once.
        WindowInfo dialog;
        const bool centred = faults::WaitFor(
            [&] {
                dialog = session_->WaitForWindow(kAdvancedTitle, 0);
                return dialog.id != 0 && Centred(dialog);
            },
            2000);
        EXPECT_TRUE(centred) << "advanced settings at " << Where(dialog) << " under " << GetParam();
        session_->PressKey("Escape");
        ASSERT_TRUE(session_->WaitForNoWindow(kAdvancedTitle, kStepMs));
        ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    }

    session_->Click(main.x + kDoneButtonX, main.y + kDoneButtonY);
    EXPECT_EQ(session_->WaitForProgramExit(kExitMs), 0);
}

INSTANTIATE_TEST_SUITE_P(Managers, DialogPlacement, ::testing::ValuesIn(desktop::WindowManagers()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
