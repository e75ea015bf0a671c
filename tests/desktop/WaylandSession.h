// A Wayland desktop as a kiosk has one: sway (a wlroots compositor) headless on one output of
// 1920 x 1080, the touchsim program on the service's fixed ports (the test runs in its own
// network namespace) and the built program started from a private copy of its folder with
// GDK_BACKEND=wayland and no X display. The test acts through a virtual pointer and keyboard
// plugged into the compositor's seat (wlinput), reads windows and focus from the compositor's
// tree (swaymsg) and the screen from grim.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "desktop/DesktopSession.h"

namespace desktop {

class WaylandSession {
public:
    WaylandSession();
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Before Start: two outputs side by side instead of one, HEADLESS-1 of 1920 x 1080 at 0,0 and
    // HEADLESS-2 of 1280 x 1024 at 1920,0.
    void UseTwoOutputs() { twoOutputs_ = true; }
    // Before Start: the program talks X to sway's XWayland (GDK_BACKEND=x11), whose RandR outputs
    // are the compositor's, turned as they are. Input and screenshots still go through sway.
    void UseXWayland() { xwayland_ = true; }
    // Before Start: a line more for sway's configuration (an assignment, say).
    void AddConfig(const std::string& line) { extraConfig_ += line + "\n"; }
    // Starts sway and touchsim; false (with the reason in Error()) when one does not come up.
    bool Start();
    const std::string& Error() const { return error_; }
    faults::TouchsimProcess& Sim() { return sim_; }

    bool LaunchProgram();
    int WaitForProgramExit(long long timeoutMs);
    std::string ProgramStderr() const;

    // A sway command (as `swaymsg` takes it); true when sway reports success.
    bool Command(const std::string& command);
    // The output's size as the clients see it (portrait once rotated by 90 or 270 degrees).
    bool OutputSize(int& width, int& height);
    // An output's place in the layout, by name.
    bool OutputRect(const std::string& name, int& x, int& y, int& width, int& height);

    // The program's windows (sway's views) whose title contains `text`; id is sway's node id,
    // the place is the window's content in output coordinates.
    std::vector<WindowInfo> FindWindows(const std::string& text);
    WindowInfo WaitForWindow(const std::string& text, long long timeoutMs);
    bool WaitForNoWindow(const std::string& text, long long timeoutMs);
    // The view that has the keyboard focus; id 0 when none has.
    WindowInfo FocusedWindow();
    // The compositor's tree as swaymsg prints it, for a failure's report.
    std::string Tree();
    bool WaitForFocus(const std::string& text, long long timeoutMs);

    // A left click at x, y of the output, and a key press and release (Escape, Return, space,
    // Tab), through the virtual devices.
    bool Click(int x, int y);
    bool PressKey(const char* name);

    Screenshot Grab();
    bool WaitForScreen(const std::function<bool(const Screenshot&)>& pred, long long timeoutMs,
                       Screenshot* last = nullptr);
    // Writes the screen as it is now as PNG (grim's own), for a person to look at.
    bool SavePng(const std::string& path);

private:
    // Runs a tool with the compositor's environment and waits for it; its exit status (-1 when
    // it did not end in time), its output in *out.
    int RunTool(const std::vector<std::string>& args, std::string* out = nullptr, long long timeoutMs = 10000);
    std::vector<std::string> ClientEnvironment() const;
    // The box around every output: what the pointer's absolute motion and grim span.
    bool LayoutSize(int& width, int& height);
    bool StartXWayland();

    std::string error_;
    std::string work_;     // private folder: sway's config, the program's copy, logs
    std::string runtime_;  // sway's XDG_RUNTIME_DIR (its user's)
    std::string socket_;   // absolute path of the Wayland socket
    std::string ipc_;      // sway's IPC socket
    std::string xDisplay_;  // XWayland's display, with UseXWayland
    bool twoOutputs_ = false, xwayland_ = false;
    std::string extraConfig_;
    pid_t sway_ = -1, program_ = -1;
    faults::TouchsimProcess sim_;
};

}  // namespace desktop
