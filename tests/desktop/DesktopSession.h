// A desktop as a user has one: an X server of its own (1920 x 1080), a window manager (or none,
// as on a kiosk), the touchsim program on the service's fixed ports (the test runs in its own
// network namespace) and the built program started from a private copy of its folder. The test
// acts through XTEST (pointer and keyboard, as a person would) and reads back what the X server
// shows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

#include "servicelink/FaultsSupport.h"

// Xlib's own types stay out of this header: its macros clash with the test framework's names.
typedef struct _XDisplay Display;
typedef unsigned long XWindowId;

namespace desktop {

// The window managers the scenarios run under; "bare" is an X server without one.
std::vector<std::string> WindowManagers();

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool IsBlack() const { return r < 16 && g < 16 && b < 16; }
    bool IsWhite() const { return r > 224 && g > 224 && b > 224; }
    bool IsRed() const { return r > 200 && g < 60 && b < 60; }
};

// The root window's pixels at one moment.
class Screenshot {
public:
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    // Saves it as a binary PPM (for a person to look at when a scenario fails).
    bool SavePpm(const std::string& path) const;
};

struct WindowInfo {
    XWindowId id = 0;
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;  // client area, root coordinates
    bool viewable = false;
};

class DesktopSession {
public:
    explicit DesktopSession(std::string windowManager);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Before Start: two displays side by side instead of one, a 1920 x 1080 one at 0,0 and a
    // 1280 x 1024 one at 1920,0 (an X server with two outputs; Xvfb has only one).
    void UseTwoDisplays() { twoDisplays_ = true; }
    // Starts the X server, the window manager and touchsim; false (with the reason in Error())
    // when one of them does not come up.
    bool Start();
    const std::string& Error() const { return error_; }
    const std::string& DisplayName() const { return displayName_; }
    faults::TouchsimProcess& Sim() { return sim_; }

    // Writes the language of the program's configuration file ("English" or "Chinese") before
    // the program starts.
    void SetLanguage(const std::string& language) { language_ = language; }
    // Starts the program with the session's display; false when it cannot be started.
    bool LaunchProgram();
    // Waits for the program to end; its exit status, or -1 when it did not end within timeoutMs.
    int WaitForProgramExit(long long timeoutMs);
    pid_t ProgramPid() const { return program_; }
    // What the program wrote on standard error so far.
    std::string ProgramStderr() const;
    // The program's configuration file as it is now.
    std::string ProgramConfiguration() const;

    // The viewable top-level client windows whose name contains `text`.
    std::vector<WindowInfo> FindWindows(const std::string& text);
    // Waits for one such window; an empty WindowInfo on time-out.
    WindowInfo WaitForWindow(const std::string& text, long long timeoutMs);
    // Waits for such a window to stay where it is (place and size) for half a second, as a person
    // looks before clicking: a window manager may place a new window in steps, and the program
    // centres its window once more when it first becomes active. An empty WindowInfo on time-out.
    WindowInfo WaitForSettledWindow(const std::string& text, long long timeoutMs);
    // Waits until no viewable window's name contains `text`.
    bool WaitForNoWindow(const std::string& text, long long timeoutMs);
    // The client window that holds the keyboard focus (the top-level one above the focused X
    // window), with its name and place; id 0 when the focus is nowhere or on the root.
    WindowInfo FocusedWindow();
    bool WaitForFocus(const std::string& text, long long timeoutMs);

    // Moves a top-level window (as a person dragging it would, without a window manager).
    void MoveWindow(XWindowId id, int x, int y);

    // XTEST input.
    void Click(int x, int y);
    // One notch of the wheel, down (a combo box under the pointer moves to its next item).
    void ScrollDown(int x, int y);
    void PressKey(const char* keysymName);  // "Escape", "Return", ...

    Screenshot Grab();
    // Polls the screen until `pred` holds for a screenshot; the last one goes to *last.
    bool WaitForScreen(const std::function<bool(const Screenshot&)>& pred, long long timeoutMs,
                       Screenshot* last = nullptr);

private:
    void PressButton(int x, int y, unsigned button);
    bool StartX();
    pid_t StartServer(int n);
    bool SetUpTwoDisplays();
    bool StartWindowManager();
    bool WindowManagerUp();
    pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
                const std::string& cwd = "");

    std::string wm_;
    std::string error_;
    std::string displayName_;
    std::string language_ = "English";
    bool twoDisplays_ = false;
    std::string work_;  // private folder: the program's copy, its runtime folder, logs
    Display* display_ = nullptr;
    pid_t xserver_ = -1, wmProcess_ = -1, program_ = -1;
    faults::TouchsimProcess sim_;
};

// The built program's folder (beside the test binary).
std::string BinFolder();

}  // namespace desktop
