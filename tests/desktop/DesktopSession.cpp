#include "desktop/DesktopSession.h"

#include "desktop/SessionProcess.h"
#include "support/ChildProcess.h"
#include "support/TestXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace desktop {
namespace fs = std::filesystem;
using faults::MsSince;
using Clock = std::chrono::steady_clock;

using namespace process;

namespace {

constexpr long long kStartMs = 15000;  // an X server or a window manager coming up
constexpr int kPollMs = 50;

std::string WindowName(Display* d, Window w) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char* legacy = nullptr;
    if (XFetchName(d, w, &legacy) && legacy) {
        name = legacy;
        XFree(legacy);
    }
    return name;
}

bool IsClient(Display* d, Window w) {
    Atom wmState = XInternAtom(d, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(d, w, wmState, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                                        &data) == Success &&
                     type != 0;
    if (data) XFree(data);
    return has;
}

void Collect(Display* d, Window w, std::vector<Window>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
    for (unsigned int i = 0; i < n; ++i) {
        out.push_back(children[i]);
        Collect(d, children[i], out);
    }
    if (children) XFree(children);
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::vector<std::string> WindowManagers() { return {"bare", "openbox", "metacity", "xfwm4"}; }

std::string BinFolder() {
    const std::string sim = faults::TouchsimPath();
    return sim.substr(0, sim.rfind('/'));
}

bool Screenshot::SavePpm(const std::string& path) const {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (const Rgb& p : pixels) out.put(char(p.r)).put(char(p.g)).put(char(p.b));
    return bool(out);
}

DesktopSession::DesktopSession(std::string windowManager) : wm_(std::move(windowManager)) {
    char pattern[] = "/tmp/qln-desktop-XXXXXX";
    if (mkdtemp(pattern)) work_ = pattern;
}

DesktopSession::~DesktopSession() {
    EndGroup(program_, SIGKILL);
    sim_.Kill();
    EndGroup(wmProcess_, SIGTERM);
    if (display_) XCloseDisplay(display_);
    EndGroup(xserver_, SIGTERM);
    if (!work_.empty() && !getenv("QLN_KEEP_DESKTOP")) {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
    }
}

pid_t DesktopSession::Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                            const std::string& out, const std::string& cwd) {
    return process::Spawn(args, env, out, cwd);
}

bool DesktopSession::Start() {
    if (work_.empty()) {
        error_ = "no work folder";
        return false;
    }
    if (!StartX()) return false;
    if (!StartWindowManager()) return false;
    if (!sim_.Start()) {
        error_ = "touchsim did not start";
        return false;
    }
    return true;
}

bool DesktopSession::StartX() {
    // The number, -noreset and the lock check: support/TestXServer.h.
    for (int attempt = 0; attempt < testsupport::kDisplayAttempts && displayName_.empty(); ++attempt) {
        const int n = testsupport::CandidateDisplay(attempt);
        if (!testsupport::DisplayNumberFree(n)) continue;
        xserver_ = StartServer(n);
        const pid_t server = xserver_;
        if (testsupport::WaitForServer(n, server, [server] { return waitpid(server, nullptr, WNOHANG) == 0; },
                                       kStartMs))
            displayName_ = ":" + std::to_string(n);
        else
            EndGroup(xserver_, SIGTERM);
    }
    if (displayName_.empty()) {
        error_ = "the X server did not take a display: " + ReadFile(work_ + "/xvfb.log");
        return false;
    }
    if (twoDisplays_ && !SetUpTwoDisplays()) return false;
    display_ = XOpenDisplay(displayName_.c_str());
    if (!display_) {
        error_ = "cannot open " + displayName_;
        return false;
    }
    XSetErrorHandler(IgnoreXErrors);  // windows vanish while the tree is walked
    int ev = 0, er = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &ev, &er, &major, &minor)) {
        error_ = "no XTEST on " + displayName_;
        return false;
    }
    return true;
}

pid_t DesktopSession::StartServer(int n) {
    if (!twoDisplays_) return Spawn(testsupport::XvfbCommand(n), {}, work_ + "/xvfb.log");
    // Xvfb has a single output, and GTK counts displays by outputs (RandR monitors without one,
    // and Xvfb's Xinerama screens, are not seen). The X server with its dummy driver has many.
    const std::string config = work_ + "/xorg.conf";
    std::ofstream(config) << "Section \"ServerFlags\"\n"
                             "  Option \"DontVTSwitch\" \"true\"\n"
                             "  Option \"AutoAddDevices\" \"false\"\n"
                             "EndSection\n"
                             "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n"
                             "  VideoRam 65536\nEndSection\n"
                             "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n"
                             "  DefaultDepth 24\n  SubSection \"Display\"\n    Depth 24\n"
                             "    Virtual 3200 1080\n  EndSubSection\nEndSection\n";
    return Spawn({"Xorg", ":" + std::to_string(n), "-config", config, "-noreset", "-nolisten", "tcp", "-novtswitch",
                  "-sharevts", "-logfile", work_ + "/xorg.log"},
                 {}, work_ + "/xvfb.log");
}

bool DesktopSession::SetUpTwoDisplays() {
    // The outputs' modes as a person's xrandr calls would set them.
    const std::vector<std::vector<std::string>> steps = {
        {"xrandr", "--newmode", "1920x1080", "148.50", "1920", "2008", "2052", "2200", "1080", "1084", "1089", "1125",
         "+hsync", "+vsync"},
        {"xrandr", "--newmode", "1280x1024", "108.00", "1280", "1328", "1440", "1688", "1024", "1025", "1028", "1066",
         "+hsync", "+vsync"},
        {"xrandr", "--addmode", "DUMMY0", "1920x1080"},
        {"xrandr", "--addmode", "DUMMY1", "1280x1024"},
        {"xrandr", "--output", "DUMMY0", "--mode", "1920x1080", "--pos", "0x0", "--primary", "--output", "DUMMY1",
         "--mode", "1280x1024", "--pos", "1920x0"},
    };
    auto run = [this](const std::vector<std::string>& args) {
        const pid_t pid = Spawn(args, {"DISPLAY=" + displayName_}, work_ + "/xrandr.log");
        int status = -1;
        return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    for (const std::vector<std::string>& step : steps) {
        if (!run(step)) {
            error_ = "could not set up two displays: " + ReadFile(work_ + "/xrandr.log");
            return false;
        }
    }
    // The server may still be taking the new layout in: a program started at once saw one display.
    const Clock::time_point start = Clock::now();
    while (!(run({"xrandr", "--listmonitors"}) && ReadFile(work_ + "/xrandr.log").find("Monitors: 2") == 0)) {
        if (MsSince(start) > kStartMs) {
            error_ = "two displays were not set up: " + ReadFile(work_ + "/xrandr.log");
            return false;
        }
        Nap(kPollMs);
    }
    return true;
}

void DesktopSession::MoveWindow(XWindowId id, int x, int y) {
    XMoveWindow(display_, id, x, y);
    XFlush(display_);
}

bool DesktopSession::WindowManagerUp() {
    Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool up = XGetWindowProperty(display_, DefaultRootWindow(display_), check, 0, 1, False, XA_WINDOW, &type,
                                 &format, &count, &after, &data) == Success &&
              count == 1;
    if (data) XFree(data);
    return up;
}

bool DesktopSession::StartWindowManager() {
    if (wm_ == "bare") return true;
    std::vector<std::string> args;
    if (wm_ == "xfwm4")
        // xfwm4 reads its settings over a session bus and manages nothing without one.
        args = {"dbus-run-session", "--", "xfwm4"};
    else
        args = {wm_};
    wmProcess_ = Spawn(args, {"DISPLAY=" + displayName_}, work_ + "/wm.log");
    const Clock::time_point start = Clock::now();
    while (!WindowManagerUp()) {
        if (MsSince(start) > kStartMs || waitpid(wmProcess_, nullptr, WNOHANG) != 0) {
            error_ = wm_ + " did not come up: " + ReadFile(work_ + "/wm.log");
            return false;
        }
        Nap(kPollMs);
    }
    // Its own windows are mapped by now; give it a moment to settle its focus.
    Nap(300);
    return true;
}

bool DesktopSession::LaunchProgram() {
    const std::string app = work_ + "/app";
    std::error_code error;
    fs::create_directories(app, error);
    fs::copy(BinFolder() + "/QlnCfg", app + "/QlnCfg", error);
    fs::copy(BinFolder() + "/Data", app + "/Data", fs::copy_options::recursive, error);
    if (error) {
        error_ = "cannot copy the program: " + error.message();
        return false;
    }
    {
        std::ofstream config(app + "/Data/Configuration.xml", std::ios::trunc);
        config << "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Configuration>\n    <Version>2.0.0.0</Version>\n"
               << "    <Language>" << language_ << "</Language>\n</Configuration>\n";
    }
    const std::string runtime = work_ + "/run", home = work_ + "/home";
    mkdir(runtime.c_str(), 0700);
    mkdir(home.c_str(), 0700);
    program_ = Spawn({app + "/QlnCfg"},
                     {"DISPLAY=" + displayName_, "XDG_RUNTIME_DIR=" + runtime, "HOME=" + home,
                      "XDG_CONFIG_HOME=" + home + "/.config", "XDG_CACHE_HOME=" + home + "/.cache"},
                     work_ + "/program.log", app);
    return program_ > 0;
}

int DesktopSession::WaitForProgramExit(long long timeoutMs) {
    const Clock::time_point start = Clock::now();
    while (program_ > 0) {
        int status = 0;
        const pid_t done = waitpid(program_, &status, WNOHANG);
        if (done == program_) {
            program_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MsSince(start) > timeoutMs) return -1;
        Nap(20);
    }
    return -1;
}

std::string DesktopSession::ProgramStderr() const { return ReadFile(work_ + "/program.log"); }

std::string DesktopSession::ProgramConfiguration() const { return ReadFile(work_ + "/app/Data/Configuration.xml"); }

std::vector<WindowInfo> DesktopSession::FindWindows(const std::string& text) {
    std::vector<Window> all;
    const Window root = DefaultRootWindow(display_);
    Collect(display_, root, all);
    std::vector<WindowInfo> found;
    for (Window w : all) {
        if (!IsClient(display_, w) && wm_ != "bare") continue;
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display_, w, &a) || a.map_state != IsViewable || a.override_redirect) continue;
        const std::string name = WindowName(display_, w);
        if (name.empty() || name.find(text) == std::string::npos) continue;
        WindowInfo info;
        info.id = w;
        info.name = name;
        Window child = 0;
        XTranslateCoordinates(display_, w, root, 0, 0, &info.x, &info.y, &child);
        info.width = a.width;
        info.height = a.height;
        info.viewable = true;
        found.push_back(info);
    }
    return found;
}

WindowInfo DesktopSession::WaitForWindow(const std::string& text, long long timeoutMs) {
    const Clock::time_point start = Clock::now();
    for (;;) {
        std::vector<WindowInfo> found = FindWindows(text);
        if (!found.empty()) return found.front();
        if (MsSince(start) > timeoutMs) return WindowInfo{};
        Nap(kPollMs);
    }
}

WindowInfo DesktopSession::WaitForSettledWindow(const std::string& text, long long timeoutMs) {
    constexpr long long kSettledMs = 500;
    WindowInfo last;
    Clock::time_point since = Clock::now();
    const Clock::time_point start = Clock::now();
    for (;;) {
        const WindowInfo now = WaitForWindow(text, 0);
        if (now.id == 0 || now.id != last.id || now.x != last.x || now.y != last.y || now.width != last.width ||
            now.height != last.height) {
            last = now;
            since = Clock::now();
        } else if (MsSince(since) >= kSettledMs) {
            return now;
        }
        if (MsSince(start) > timeoutMs) return WindowInfo();
        Nap(kPollMs);
    }
}

bool DesktopSession::WaitForNoWindow(const std::string& text, long long timeoutMs) {
    return faults::WaitFor([&] { return FindWindows(text).empty(); }, timeoutMs);
}

WindowInfo DesktopSession::FocusedWindow() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    const Window root = DefaultRootWindow(display_);
    // Up from the focused window (often a child of the client) to the top-level client window:
    // the one a manager marked with WM_STATE, or without a manager a child of the root.
    for (Window w = focus; w != 0 && w != PointerRoot && w != root;) {
        Window r = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display_, w, &r, &parent, &children, &n)) break;
        if (children) XFree(children);
        if (wm_ == "bare" ? parent == root : IsClient(display_, w)) {
            WindowInfo info;
            info.id = w;
            info.name = WindowName(display_, w);
            XWindowAttributes a{};
            if (XGetWindowAttributes(display_, w, &a)) {
                Window child = 0;
                XTranslateCoordinates(display_, w, root, 0, 0, &info.x, &info.y, &child);
                info.width = a.width;
                info.height = a.height;
                info.viewable = a.map_state == IsViewable;
            }
            return info;
        }
        w = parent;
    }
    return WindowInfo{};
}

bool DesktopSession::WaitForFocus(const std::string& text, long long timeoutMs) {
    return faults::WaitFor([&] { return FocusedWindow().name.find(text) != std::string::npos; }, timeoutMs);
}

void DesktopSession::Click(int x, int y) { PressButton(x, y, 1); }

void DesktopSession::ScrollDown(int x, int y) { PressButton(x, y, 5); }

void DesktopSession::PressButton(int x, int y, unsigned button) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
    Nap(60);
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XFlush(display_);
    Nap(40);
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    XFlush(display_);
}

void DesktopSession::PressKey(const char* keysymName) {
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XFlush(display_);
    Nap(40);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
}

Screenshot DesktopSession::Grab() {
    Screenshot shot;
    const Window root = DefaultRootWindow(display_);
    XWindowAttributes a{};
    XGetWindowAttributes(display_, root, &a);
    XImage* image = XGetImage(display_, root, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.width = a.width;
    shot.height = a.height;
    shot.pixels.resize(size_t(a.width) * size_t(a.height));
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            Rgb& c = shot.pixels[size_t(y) * size_t(a.width) + size_t(x)];
            c.r = uint8_t((p & image->red_mask) >> 16);
            c.g = uint8_t((p & image->green_mask) >> 8);
            c.b = uint8_t(p & image->blue_mask);
        }
    XDestroyImage(image);
    return shot;
}

bool DesktopSession::WaitForScreen(const std::function<bool(const Screenshot&)>& pred, long long timeoutMs,
                                   Screenshot* last) {
    const Clock::time_point start = Clock::now();
    for (;;) {
        Screenshot shot = Grab();
        const bool ok = pred(shot);
        if (ok || MsSince(start) > timeoutMs) {
            if (last) *last = std::move(shot);
            return ok;
        }
        Nap(100);
    }
}

}  // namespace desktop
