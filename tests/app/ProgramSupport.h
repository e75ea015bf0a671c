// Whole-program tests: the built QlnCfg run as a separate process, the way a user starts it.
//
//   PrivateDisplay     an Xvfb of the test's own (1920x1080, no window manager), so that the
//                      pointer and keyboard that a test drives through XTEST are nobody else's
//   ProgramFolder      the program with a copy of Data/ in a private folder (its configuration file
//                      is the test's own), optionally owned by another user
//   OwnedFolder        a private folder (0700) of a given user: a runtime or home folder
//   ProgramRun         one launch: environment, optionally as another user, output (log) lines
//   MainWindows, Windows, ClickAt   what the X server shows of a process, and a real click
//
// The touch service is faults::TouchsimProcess on the fixed ports (the test's network namespace).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/TempFolder.h"
#include "servicelink/FaultsSupport.h"
#include "support/ChildProcess.h"
#include "support/TestXServer.h"

namespace programtest {

constexpr const char* kMainTitle = "Touch Frame Configuration - ";  // the English title's start (a message box carries the name alone)
constexpr uid_t kOtherUser = 65534;                              // nobody
constexpr long long kWindowMs = 15000;                           // launch to window on a loaded machine

inline std::string BinFolder() {
    const std::string touchsim = faults::TouchsimPath();
    return touchsim.substr(0, touchsim.rfind('/'));
}
// The executable itself: the build's QlnCfg is a link to it, and a link would not survive being
// linked or copied into another folder.
inline std::string ProgramPath() {
    std::error_code e;
    const std::filesystem::path real = std::filesystem::canonical(BinFolder() + "/QlnCfg", e);
    return e ? BinFolder() + "/QlnCfg" : real.string();
}
inline bool ProgramAvailable() { return access(ProgramPath().c_str(), X_OK) == 0; }

// An X server of the test's own; DISPLAY value in Name(). How the number is chosen and why the
// server never resets: support/TestXServer.h.
class PrivateDisplay {
public:
    PrivateDisplay() = default;
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    // SIGTERM, so that the server removes its lock and socket files (SIGKILL would leave them).
    ~PrivateDisplay() { Stop(); }

    bool Start() {
        for (int attempt = 0; attempt < testsupport::kDisplayAttempts; ++attempt) {
            const int n = testsupport::CandidateDisplay(attempt);
            if (!testsupport::DisplayNumberFree(n)) continue;
            server_ = std::make_unique<testsupport::ChildProcess>();
            if (!server_->Start(testsupport::XvfbCommand(n))) return false;
            // A server that lost the number to another one ends ("Server is already active").
            if (testsupport::WaitForServer(n, server_->Pid(), [&] { return server_->Running(); }, 10000)) {
                name_ = ":" + std::to_string(n);
                return true;
            }
            Stop();
        }
        return false;
    }
    const std::string& Name() const { return name_; }

private:
    void Stop() {
        if (!server_) return;
        server_->Signal(SIGTERM);
        if (!server_->WaitExit(5000)) server_->Kill();
        server_.reset();
    }

    std::unique_ptr<testsupport::ChildProcess> server_;
    std::string name_;
};

// A private folder of user owner (mode 0700).
class OwnedFolder {
public:
    explicit OwnedFolder(uid_t owner = geteuid()) {
        if (owner != geteuid() && chown(folder_.Path().c_str(), owner, owner) != 0) ADD_FAILURE() << "chown";
    }
    const std::string& Path() const { return folder_.Path(); }
    std::string File(const std::string& name) const { return folder_.File(name); }

private:
    TempFolder folder_;
};

// The program beside the test binary (linked, else copied) with a copy of its Data/, owned by owner.
class ProgramFolder {
public:
    explicit ProgramFolder(uid_t owner = geteuid()) : folder_(owner) {
        namespace fs = std::filesystem;
        std::error_code e;
        fs::create_hard_link(ProgramPath(), Exe(), e);
        if (e) fs::copy_file(ProgramPath(), Exe(), e);
        if (e) ADD_FAILURE() << "program copy: " << e.message();
        fs::create_directory(folder_.File("Data"), e);
        for (const char* name : {"Configuration.xml", "MultiLang.xml"}) {
            fs::copy_file(BinFolder() + "/Data/" + name, folder_.File(std::string("Data/") + name), e);
            if (e) ADD_FAILURE() << name << ": " << e.message();
            if (owner != geteuid() && chown(folder_.File(std::string("Data/") + name).c_str(), owner, owner) != 0)
                ADD_FAILURE() << "chown " << name;
        }
        if (owner != geteuid() && chown(folder_.File("Data").c_str(), owner, owner) != 0) ADD_FAILURE() << "chown Data";
    }
    std::string Exe() const { return folder_.File("QlnCfg"); }
    std::string ConfigPath() const { return folder_.File("Data/Configuration.xml"); }
    std::string DataFolder() const { return folder_.File("Data"); }

private:
    OwnedFolder folder_;
};

// One launch of the program. env: "NAME=value" / "NAME" (removed), on top of the test's own.
class ProgramRun {
public:
    bool Start(const ProgramFolder& program, const std::string& display, std::vector<std::string> env,
               uid_t user = geteuid()) {
        env.push_back("DISPLAY=" + display);
        display_ = display;
        std::vector<std::string> argv = {program.Exe()};
        if (user != geteuid()) {
            const std::string id = std::to_string(user);
            argv.insert(argv.begin(),
                        {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
        }
        return child_.Start(argv, env, true);
    }
    testsupport::ChildProcess& Process() { return child_; }
    pid_t Pid() const { return child_.Pid(); }
    const std::string& Display() const { return display_; }

private:
    testsupport::ChildProcess child_;
    std::string display_;
};

// Runs xdotool on display; its output lines.
inline std::vector<std::string> Xdotool(const std::string& display, const std::string& args) {
    std::vector<std::string> lines;
    const std::string command = "DISPLAY=" + display + " xdotool " + args + " 2>/dev/null";
    if (FILE* out = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, out)) {
            std::string line(buffer);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            lines.push_back(line);
        }
        pclose(out);
    }
    return lines;
}

struct ShownWindow {
    std::string id;
    std::string name;
};

// The visible top-level windows of a process, with their titles.
inline std::vector<ShownWindow> Windows(const std::string& display, pid_t pid) {
    std::vector<ShownWindow> shown;
    for (const std::string& id : Xdotool(display, "search --onlyvisible --pid " + std::to_string(pid))) {
        const std::vector<std::string> name = Xdotool(display, "getwindowname " + id);
        shown.push_back({id, name.empty() ? std::string() : name.front()});
    }
    return shown;
}

inline std::vector<ShownWindow> MainWindows(const std::string& display, pid_t pid) {
    std::vector<ShownWindow> main;
    for (const ShownWindow& w : Windows(display, pid))
        if (w.name.compare(0, std::string(kMainTitle).size(), kMainTitle) == 0) main.push_back(w);
    return main;
}

// Polls pred every 100 ms (each look at the X server starts xdotool) until it holds or timeoutMs
// has passed.
inline bool WaitForX(const std::function<bool()>& pred, long long timeoutMs) {
    const faults::Clock::time_point start = faults::Clock::now();
    while (!pred()) {
        if (faults::MsSince(start) > timeoutMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// Waits until pred holds for the process's windows; false on time-out or when the process ended.
inline bool WaitForWindows(ProgramRun& run, const std::function<bool(const std::vector<ShownWindow>&)>& pred,
                           long long timeoutMs) {
    return WaitForX([&] { return pred(Windows(run.Display(), run.Pid())) || !run.Process().Running(); },
                    timeoutMs) &&
           run.Process().Running();
}

// On failure, says whether the program ended and what it wrote, so that a run on a loaded
// machine that fails tells why.
inline ::testing::AssertionResult WaitForMainWindow(ProgramRun& run, long long timeoutMs = kWindowMs) {
    const bool shown = WaitForWindows(
        run,
        [](const std::vector<ShownWindow>& ws) {
            for (const ShownWindow& w : ws)
                if (w.name.compare(0, std::string(kMainTitle).size(), kMainTitle) == 0) return true;
            return false;
        },
        timeoutMs);
    if (shown) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "no main window; the program " << (run.Process().Running() ? "still runs" : "has ended")
            << "; its output:";
    for (const std::string& line : run.Process().Lines()) failure << "\n  " << line;
    return failure;
}

// A real click (XTEST) at a position inside a window, as a user's.
inline void ClickAt(const std::string& display, const std::string& window, int x, int y) {
    Xdotool(display, "mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

}  // namespace programtest
