#include "desktop/WaylandSession.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "desktop/SessionProcess.h"
#include "support/ChildProcess.h"

namespace desktop {
namespace fs = std::filesystem;
using faults::MsSince;
using Clock = std::chrono::steady_clock;

using namespace process;

namespace {

constexpr long long kStartMs = 15000;  // sway coming up
constexpr int kPollMs = 50;
// sway refuses to run as root: it runs as this unprivileged user (nobody) when the test is root.
constexpr int kSwayUser = 65534;

// The first entry of `folder` whose name starts with `prefix` and is a socket.
std::string FindSocket(const std::string& folder, const std::string& prefix) {
    std::error_code error;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, error)) {
        const std::string name = e.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && e.is_socket(error)) return e.path().string();
    }
    return "";
}

// Every view (a window of a client) in sway's tree, tiled or floating.
void CollectViews(const nlohmann::json& node, std::vector<const nlohmann::json*>& out) {
    if (node.contains("pid") && node["pid"].is_number()) out.push_back(&node);
    for (const char* key : {"nodes", "floating_nodes"})
        if (node.contains(key))
            for (const nlohmann::json& child : node[key]) CollectViews(child, out);
}

WindowInfo ViewInfo(const nlohmann::json& view) {
    WindowInfo info;
    info.id = view.value("id", 0ul);
    info.name = view.contains("name") && view["name"].is_string() ? view["name"].get<std::string>() : "";
    // The container's place plus the content's place inside it: what the client draws.
    const nlohmann::json rect = view.value("rect", nlohmann::json::object());
    const nlohmann::json content = view.value("window_rect", nlohmann::json::object());
    info.x = rect.value("x", 0) + content.value("x", 0);
    info.y = rect.value("y", 0) + content.value("y", 0);
    info.width = content.value("width", 0);
    info.height = content.value("height", 0);
    info.viewable = view.value("visible", false);
    return info;
}

bool ReadPpm(const std::string& data, Screenshot& shot) {
    std::istringstream in(data);
    std::string magic;
    int maxval = 0;
    in >> magic >> shot.width >> shot.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || shot.width <= 0 || shot.height <= 0) return false;
    const size_t count = size_t(shot.width) * size_t(shot.height);
    const size_t offset = size_t(in.tellg());
    if (data.size() < offset + count * 3) return false;
    shot.pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        shot.pixels[i].r = uint8_t(data[offset + 3 * i]);
        shot.pixels[i].g = uint8_t(data[offset + 3 * i + 1]);
        shot.pixels[i].b = uint8_t(data[offset + 3 * i + 2]);
    }
    return true;
}

}  // namespace

WaylandSession::WaylandSession() {
    char pattern[] = "/tmp/qln-wayland-XXXXXX";
    if (mkdtemp(pattern)) work_ = pattern;
}

WaylandSession::~WaylandSession() {
    EndGroup(program_, SIGKILL);
    sim_.Kill();
    EndGroup(sway_, SIGTERM);
    if (!work_.empty() && !getenv("QLN_KEEP_DESKTOP")) {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
    }
}

std::vector<std::string> WaylandSession::ClientEnvironment() const {
    // Tools run as the test's user; the socket's absolute path needs no runtime folder, but grim
    // and swaymsg want one.
    return {"WAYLAND_DISPLAY=" + socket_, "SWAYSOCK=" + ipc_, "XDG_RUNTIME_DIR=" + runtime_, "DISPLAY"};
}

bool WaylandSession::Start() {
    if (work_.empty()) {
        error_ = "no work folder";
        return false;
    }
    // sway's user must reach its config and its runtime folder.
    chmod(work_.c_str(), 0711);
    runtime_ = work_ + "/sway-run";
    mkdir(runtime_.c_str(), 0700);
    const std::string config = work_ + "/sway.conf";
    {
        std::ofstream out(config);
        // XWayland at once rather than at the first X client: the test lets the program's user in
        // first. sway's children learn its display, and one of them writes it down.
        out << (xwayland_ ? "xwayland force\nexec echo $DISPLAY > " + runtime_ + "/x-display\n" : "xwayland disable\n")
            << "output HEADLESS-1 resolution 1920x1080 position 0 0\n"
            << (twoOutputs_ ? "output HEADLESS-2 resolution 1280x1024 position 1920 0\n" : "")
            << "default_border none\n"
            << "default_floating_border none\n"
            // The cursor stays out of the screenshots.
            << "seat seat0 hide_cursor 100\n"
            << extraConfig_;
    }
    chmod(config.c_str(), 0644);
    std::vector<std::string> args = {"sway", "-c", config};
    if (geteuid() == 0) {
        if (chown(runtime_.c_str(), kSwayUser, kSwayUser) != 0) {
            error_ = "cannot hand the runtime folder to sway's user";
            return false;
        }
        // The user change would clear the parent-death signal: setpriv sets it again.
        args.insert(args.begin(), {"setpriv", "--reuid=" + std::to_string(kSwayUser),
                                   "--regid=" + std::to_string(kSwayUser), "--clear-groups", "--pdeathsig",
                                   "SIGTERM"});
    }
    sway_ = Spawn(args,
                  {"XDG_RUNTIME_DIR=" + runtime_, "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
                   "WLR_RENDERER=pixman", "WLR_HEADLESS_OUTPUTS=" + std::string(twoOutputs_ ? "2" : "1"), "DISPLAY",
                   "WAYLAND_DISPLAY", "SWAYSOCK", "HOME=" + work_},
                  work_ + "/sway.log");
    const Clock::time_point start = Clock::now();
    while (socket_.empty() || ipc_.empty()) {
        socket_ = FindSocket(runtime_, "wayland-");
        ipc_ = FindSocket(runtime_, "sway-ipc.");
        if (!socket_.empty() && !ipc_.empty()) break;
        if (MsSince(start) > kStartMs || waitpid(sway_, nullptr, WNOHANG) != 0) {
            error_ = "sway did not come up: " + ReadFile(work_ + "/sway.log");
            return false;
        }
        Nap(kPollMs);
    }
    int w = 0, h = 0;
    if (!faults::WaitFor([&] { return OutputSize(w, h); }, kStartMs)) {
        error_ = "sway answers no output: " + ReadFile(work_ + "/sway.log");
        return false;
    }
    if (xwayland_ && !StartXWayland()) return false;
    if (!sim_.Start()) {
        error_ = "touchsim did not start";
        return false;
    }
    return true;
}

bool WaylandSession::StartXWayland() {
    if (!faults::WaitFor(
            [&] {
                xDisplay_ = ReadFile(runtime_ + "/x-display");
                while (!xDisplay_.empty() && (xDisplay_.back() == '\n' || xDisplay_.back() == ' ')) xDisplay_.pop_back();
                return !xDisplay_.empty();
            },
            kStartMs)) {
        error_ = "sway started no XWayland: " + ReadFile(work_ + "/sway.log");
        return false;
    }
    // XWayland runs as sway's user and lets only that user in; the program runs as the test's.
    if (geteuid() != 0) return true;  // sway runs as the test's user then
    const std::vector<std::string> xhost = {"setpriv", "--reuid=" + std::to_string(kSwayUser),
                                            "--regid=" + std::to_string(kSwayUser), "--clear-groups",
                                            "xhost", "+si:localuser:root"};
    const pid_t pid = Spawn(xhost, {"DISPLAY=" + xDisplay_}, work_ + "/xhost.log");
    int status = -1;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error_ = "XWayland did not let the program in: " + ReadFile(work_ + "/xhost.log");
        return false;
    }
    return true;
}

int WaylandSession::RunTool(const std::vector<std::string>& args, std::string* out, long long timeoutMs) {
    const std::string log = work_ + "/tool.out";
    pid_t pid = Spawn(args, ClientEnvironment(), log);
    if (pid <= 0) return -1;
    const Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            if (out) *out = ReadFile(log);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MsSince(start) > timeoutMs) {
            EndGroup(pid, SIGKILL);
            return -1;
        }
        Nap(10);
    }
}

bool WaylandSession::Command(const std::string& command) {
    std::string out;
    if (RunTool({"swaymsg", "-r", command}, &out) != 0) return false;
    return out.find("\"success\": true") != std::string::npos;
}

bool WaylandSession::OutputRect(const std::string& name, int& x, int& y, int& width, int& height) {
    std::string out;
    if (RunTool({"swaymsg", "-r", "-t", "get_outputs"}, &out) != 0) return false;
    const nlohmann::json outputs = nlohmann::json::parse(out, nullptr, false);
    if (!outputs.is_array()) return false;
    for (const nlohmann::json& o : outputs) {
        if (!o.contains("name") || !o["name"].is_string() || o["name"].get<std::string>() != name) continue;
        const nlohmann::json rect = o.value("rect", nlohmann::json::object());
        x = rect.value("x", 0);
        y = rect.value("y", 0);
        width = rect.value("width", 0);
        height = rect.value("height", 0);
        return width > 0 && height > 0;
    }
    return false;
}

bool WaylandSession::LayoutSize(int& width, int& height) {
    std::string out;
    if (RunTool({"swaymsg", "-r", "-t", "get_outputs"}, &out) != 0) return false;
    const nlohmann::json outputs = nlohmann::json::parse(out, nullptr, false);
    if (!outputs.is_array() || outputs.empty()) return false;
    width = height = 0;
    for (const nlohmann::json& o : outputs) {
        const nlohmann::json rect = o.value("rect", nlohmann::json::object());
        width = std::max(width, rect.value("x", 0) + rect.value("width", 0));
        height = std::max(height, rect.value("y", 0) + rect.value("height", 0));
    }
    return width > 0 && height > 0;
}

bool WaylandSession::OutputSize(int& width, int& height) {
    std::string out;
    if (RunTool({"swaymsg", "-r", "-t", "get_outputs"}, &out) != 0) return false;
    const nlohmann::json outputs = nlohmann::json::parse(out, nullptr, false);
    if (!outputs.is_array() || outputs.empty()) return false;
    const nlohmann::json rect = outputs[0].value("rect", nlohmann::json::object());
    width = rect.value("width", 0);
    height = rect.value("height", 0);
    return width > 0 && height > 0;
}

bool WaylandSession::LaunchProgram() {
    const std::string app = work_ + "/app";
    std::error_code error;
    fs::create_directories(app, error);
    fs::copy(BinFolder() + "/QlnCfg", app + "/QlnCfg", error);
    fs::copy(BinFolder() + "/Data", app + "/Data", fs::copy_options::recursive, error);
    if (error) {
        error_ = "cannot copy the program: " + error.message();
        return false;
    }
    const std::string runtime = work_ + "/run", home = work_ + "/home";
    mkdir(runtime.c_str(), 0700);
    mkdir(home.c_str(), 0700);
    // As a user starts it on a Wayland desktop: no X display to fall back on. With XWayland, as a
    // user starts an X program there: the toolkit talks X, in a session that names its compositor.
    const std::vector<std::string> backend =
        xwayland_ ? std::vector<std::string>{"GDK_BACKEND=x11", "DISPLAY=" + xDisplay_, "WAYLAND_DISPLAY=" + socket_}
                  : std::vector<std::string>{"GDK_BACKEND=wayland", "WAYLAND_DISPLAY=" + socket_, "DISPLAY"};
    std::vector<std::string> env = backend;
    env.insert(env.end(), {"SWAYSOCK", "XDG_RUNTIME_DIR=" + runtime, "HOME=" + home,
                           "XDG_CONFIG_HOME=" + home + "/.config", "XDG_CACHE_HOME=" + home + "/.cache"});
    program_ = Spawn({app + "/QlnCfg"}, env, work_ + "/program.log", app);
    return program_ > 0;
}

int WaylandSession::WaitForProgramExit(long long timeoutMs) {
    const Clock::time_point start = Clock::now();
    while (program_ > 0) {
        int status = 0;
        if (waitpid(program_, &status, WNOHANG) == program_) {
            program_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MsSince(start) > timeoutMs) return -1;
        Nap(20);
    }
    return -1;
}

std::string WaylandSession::ProgramStderr() const { return ReadFile(work_ + "/program.log"); }

std::vector<WindowInfo> WaylandSession::FindWindows(const std::string& text) {
    std::string out;
    std::vector<WindowInfo> found;
    if (RunTool({"swaymsg", "-r", "-t", "get_tree"}, &out) != 0) return found;
    const nlohmann::json tree = nlohmann::json::parse(out, nullptr, false);
    if (tree.is_discarded()) return found;
    std::vector<const nlohmann::json*> views;
    CollectViews(tree, views);
    for (const nlohmann::json* v : views) {
        WindowInfo info = ViewInfo(*v);
        if (info.viewable && info.name.find(text) != std::string::npos) found.push_back(info);
    }
    return found;
}

WindowInfo WaylandSession::WaitForWindow(const std::string& text, long long timeoutMs) {
    WindowInfo found;
    faults::WaitFor(
        [&] {
            std::vector<WindowInfo> all = FindWindows(text);
            if (all.empty()) return false;
            found = all.front();
            return true;
        },
        timeoutMs);
    return found;
}

bool WaylandSession::WaitForNoWindow(const std::string& text, long long timeoutMs) {
    return faults::WaitFor([&] { return FindWindows(text).empty(); }, timeoutMs);
}

std::string WaylandSession::Tree() {
    std::string out;
    RunTool({"swaymsg", "-p", "-t", "get_tree"}, &out);
    return out;
}

WindowInfo WaylandSession::FocusedWindow() {
    std::string out;
    if (RunTool({"swaymsg", "-r", "-t", "get_tree"}, &out) != 0) return WindowInfo{};
    const nlohmann::json tree = nlohmann::json::parse(out, nullptr, false);
    if (tree.is_discarded()) return WindowInfo{};
    std::vector<const nlohmann::json*> views;
    CollectViews(tree, views);
    for (const nlohmann::json* v : views)
        if (v->value("focused", false)) return ViewInfo(*v);
    return WindowInfo{};
}

bool WaylandSession::WaitForFocus(const std::string& text, long long timeoutMs) {
    return faults::WaitFor(
        [&] {
            const WindowInfo w = FocusedWindow();
            return w.id != 0 && w.name.find(text) != std::string::npos;
        },
        timeoutMs);
}

bool WaylandSession::Click(int x, int y) {
    // Absolute motion spans the whole layout (one output: that output).
    int w = 0, h = 0;
    if (!LayoutSize(w, h)) return false;
    return RunTool({BinFolder() + "/wlinput", "click", std::to_string(x), std::to_string(y), std::to_string(w),
                    std::to_string(h)}) == 0;
}

bool WaylandSession::PressKey(const char* name) { return RunTool({BinFolder() + "/wlinput", "key", name}) == 0; }

Screenshot WaylandSession::Grab() {
    Screenshot shot;
    const std::string path = work_ + "/screen.ppm";
    if (RunTool({"grim", "-t", "ppm", path}) != 0) return shot;
    if (!ReadPpm(ReadFile(path), shot)) shot = Screenshot{};
    return shot;
}

bool WaylandSession::WaitForScreen(const std::function<bool(const Screenshot&)>& pred, long long timeoutMs,
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

bool WaylandSession::SavePng(const std::string& path) { return RunTool({"grim", "-t", "png", path}) == 0; }

}  // namespace desktop
