// The program as a user runs it: QlnCfg launched as a process against the touchsim program on the
// fixed ports (the test's own network namespace), on an X server of the test's own, each launch
// with a runtime folder of the test's own. Single instance per machine (the test's network
// namespace), whoever starts it, and the end on
// SIGTERM, SIGINT and SIGHUP in every phase of a run.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramScenes.h"
#include "app/ProgramSupport.h"
#include "cli/CliSupport.h"
#include "app/VexoWxApp.h"
#include "platform/InstanceGuard.h"

using faults::kCallBoundMs;
using faults::kSlackMs;
using faults::kStopBoundMs;
using programtest::GuardFree;
using programtest::kAdvancedX;
using programtest::kAdvancedY;
using programtest::kFactoryX;
using programtest::kFactoryY;
using programtest::kOtherUser;
using programtest::OpenByClick;
using programtest::ReachConfirmation;
using programtest::StartCalibration;
using programtest::CalibrationStarting;
using programtest::MainWindows;
using programtest::OwnedFolder;
using programtest::ProgramFolder;
using programtest::ProgramRun;
using programtest::ShownWindow;
using programtest::Windows;
using VexoPlatform::InstanceGuard;

namespace {

// From the signal to the process's end: a request in flight may still wait out its bound, then
// every worker is stopped within its own.
constexpr long long kEndBoundMs = kCallBoundMs + kStopBoundMs + kSlackMs;

// The window's log line when run holds the guard.
std::string HeldBy(const ProgramRun& run) {
    return "Information - Another instance holds @" + std::string(kInstanceGuardName) + " (process " +
           std::to_string(run.Pid()) + " of user ";
}

// The companion's refusal when run holds the guard.
std::string CliRefusedBy(const ProgramRun& run) {
    return "qlncfg or another qlncfg-cli is running on this machine (process " + std::to_string(run.Pid()) + " of user ";
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool AnyWindow(const std::vector<ShownWindow>& ws) { return !ws.empty(); }

// Hex digits of a traced call's payload ("payload=31:0000..." -> "0000...").
std::string PayloadHex(const std::string& callLine) {
    const size_t at = callLine.find("payload=");
    if (at == std::string::npos) return std::string();
    const size_t colon = callLine.find(':', at);
    const size_t end = callLine.find(' ', colon);
    return callLine.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
}

std::vector<std::string> CallsNamed(const std::vector<std::string>& lines, const std::string& name) {
    std::vector<std::string> found;
    for (const std::string& l : lines)
        if (l.compare(0, 6 + name.size(), "call " + name + " ") == 0) found.push_back(l);
    return found;
}

size_t Count(const std::vector<std::string>& names, const std::string& name) {
    return size_t(std::count(names.begin(), names.end(), name));
}

class WholeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!programtest::ProgramAvailable() || !faults::TouchsimProcess::Available())
            GTEST_SKIP() << "QlnCfg and touchsim must be beside the test binary";
        ASSERT_TRUE(display_.Start()) << "a private X server";
    }

    // A fresh service (fresh trace) on the fixed ports; commands are given before any launch.
    void StartService(const std::vector<std::string>& commands = {}) {
        service_.reset();  // the fixed ports are free again
        service_ = std::make_unique<faults::TouchsimProcess>();
        ASSERT_TRUE(service_->Start());
        for (const std::string& c : commands) EXPECT_TRUE(service_->Command(c)) << c;
    }

    std::unique_ptr<ProgramRun> Launch(const ProgramFolder& program, const std::vector<std::string>& env,
                                       uid_t user = geteuid()) {
        auto run = std::make_unique<ProgramRun>();
        EXPECT_TRUE(run->Start(program, display_.Name(), env, user));
        return run;
    }

    // Sends signo and waits for the end; the wait status, or -1 (a failure) past bound. With
    // mainWindowSeen, it also looks for a main window of the process while waiting.
    static int EndWith(ProgramRun& run, int signo, long long boundMs = kEndBoundMs, bool* mainWindowSeen = nullptr) {
        const faults::Clock::time_point start = faults::Clock::now();
        EXPECT_TRUE(run.Process().Signal(signo));
        int status = 0;
        bool ended = false;
        if (mainWindowSeen) {
            ended = programtest::WaitForX(
                [&] {
                    *mainWindowSeen = *mainWindowSeen || !MainWindows(run.Display(), run.Pid()).empty();
                    return run.Process().WaitExit(0, &status);
                },
                boundMs);
        } else {
            ended = run.Process().WaitExit(boundMs, &status);
        }
        if (!ended) {
            ADD_FAILURE() << "no end within " << boundMs << " ms of signal " << signo;
            return -1;
        }
        std::printf("[ figure ] ended %lld ms after signal %d\n", faults::MsSince(start), signo);
        return status;
    }

    programtest::PrivateDisplay display_;
    std::unique_ptr<faults::TouchsimProcess> service_;
};

}  // namespace

TEST_F(WholeProgram, LaterLaunchesAreRefusedWhileOneRunsAndLeaveItAlone) {
    StartService();
    ProgramFolder program;
    OwnedFolder runtime;
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.Path()};

    auto first = Launch(program, env);
    ASSERT_TRUE(programtest::WaitForMainWindow(*first));

    // Three more launches while the first runs: each shows its refusal (a message box) and waits.
    std::vector<std::unique_ptr<ProgramRun>> later;
    for (int launch = 2; launch <= 4; ++launch) {
        SCOPED_TRACE(launch);
        later.push_back(Launch(program, env));
        ProgramRun& run = *later.back();
        EXPECT_TRUE(run.Process().WaitForLine(HeldBy(*first), programtest::kWindowMs));
        EXPECT_TRUE(programtest::WaitForWindows(run, AnyWindow, programtest::kWindowMs)) << "the message box";
    }
    size_t mainWindows = MainWindows(display_.Name(), first->Pid()).size();
    for (auto& run : later) mainWindows += MainWindows(display_.Name(), run->Pid()).size();
    EXPECT_EQ(mainWindows, 1u) << "only the first launch has a main window";

    // A refused launch ends with its own failure status however it ends; it removes nothing.
    for (auto& run : later) {
        const int status = EndWith(*run, SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "status " << status;
    }
    EXPECT_TRUE(first->Process().Running());
    EXPECT_EQ(MainWindows(display_.Name(), first->Pid()).size(), 1u);
    EXPECT_FALSE(GuardFree()) << "the first launch still holds the guard";

    const int status = EndWith(*first, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(GuardFree());
}

TEST_F(WholeProgram, TheWindowAndTheCommandLineTakeTurns) {
    if (access(clitest::CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qlncfg-cli must be beside the test binary";
    StartService();
    ProgramFolder program;
    OwnedFolder runtime;
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.Path()};

    // The window runs: the command line refuses with status 4 and sends nothing, whoever runs it
    // and whatever runtime folder it has (another session's, or sudo's).
    auto window = Launch(program, env);
    ASSERT_TRUE(programtest::WaitForMainWindow(*window));
    const size_t callsBefore = service_->Calls().size();
    OwnedFolder otherRuntime;
    OwnedFolder otherUsersRuntime(kOtherUser);
    const bool canSwitchUser = geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
    const struct {
        const char* name;
        const OwnedFolder& runtime;
        uid_t user;
    } companions[] = {
        {"the same runtime folder", runtime, geteuid()},
        {"another runtime folder", otherRuntime, geteuid()},
        {"another user", otherUsersRuntime, kOtherUser},
    };
    for (const auto& c : companions) {
        SCOPED_TRACE(c.name);
        if (c.user != geteuid() && !canSwitchUser) continue;  // only root can run as another user
        const clitest::CliResult refused = clitest::RunCli(c.runtime.Path(), {"mode", "mouse"}, {}, c.user);
        EXPECT_EQ(refused.status, 4) << refused.err;
        EXPECT_NE(refused.err.find(CliRefusedBy(*window)), std::string::npos) << refused.err;
    }
    const std::vector<std::string> calls = service_->Calls();
    EXPECT_EQ(Count(std::vector<std::string>(calls.begin() + long(callsBefore), calls.end()), "SetDeviceConfig"), 0u);
    int status = EndWith(*window, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    // The command line runs (slow replies keep it at work): the window refuses as for a second one.
    EXPECT_TRUE(service_->Command("delay 1500"));
    const size_t before = service_->Calls().size();
    testsupport::ChildProcess cli;
    ASSERT_TRUE(clitest::StartCli(cli, runtime.Path(), {"status"}));
    ASSERT_TRUE(service_->WaitForCalls(before + 1, 5000));
    auto second = Launch(program, env);
    EXPECT_TRUE(second->Process().WaitForLine("Information - Another instance holds @" + std::string(kInstanceGuardName) +
                                                  " (process " + std::to_string(cli.Pid()) + " of user ",
                                              programtest::kWindowMs));
    EXPECT_TRUE(MainWindows(display_.Name(), second->Pid()).empty());
    const clitest::CliResult done = clitest::Finish(cli, runtime.Path());
    EXPECT_EQ(done.status, 0) << done.err;
    status = EndWith(*second, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "status " << status;
    EXPECT_TRUE(GuardFree());
}

TEST_F(WholeProgram, TheNextLaunchStartsHoweverTheRunningOneEnded) {
    StartService();
    ProgramFolder program;
    OwnedFolder runtime;
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime.Path()};
    struct Row {
        const char* how;
        int signo;
    } rows[] = {{"terminated", SIGTERM}, {"killed", SIGKILL}, {"crashed", SIGSEGV}, {"interrupted", SIGINT}};
    auto running = Launch(program, env);
    ASSERT_TRUE(programtest::WaitForMainWindow(*running));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.how);
        EndWith(*running, r.signo);
        running = Launch(program, env);
        EXPECT_TRUE(programtest::WaitForMainWindow(*running)) << "the very next launch starts";
        EXPECT_FALSE(running->Process().HasLine("Another instance holds"));
    }
    const int status = EndWith(*running, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(WholeProgram, AnotherUsersWindowIsRefusedWhileOneRuns) {
    // The frame belongs to the machine: a second desktop session's window, or one started with
    // sudo, must not write to it while a window runs.
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
    StartService();
    ProgramFolder rootProgram;
    OwnedFolder rootRuntime;
    auto rootRun = Launch(rootProgram, {"XDG_RUNTIME_DIR=" + rootRuntime.Path()});
    ASSERT_TRUE(programtest::WaitForMainWindow(*rootRun));

    // The other user with a session of their own: their own runtime and home folders.
    ProgramFolder otherProgram(kOtherUser);
    OwnedFolder otherHome(kOtherUser);
    OwnedFolder otherRuntime(kOtherUser);
    const std::vector<std::string> otherEnv = {"XDG_RUNTIME_DIR=" + otherRuntime.Path(), "HOME=" + otherHome.Path(),
                                               "XDG_CACHE_HOME"};
    auto otherRun = Launch(otherProgram, otherEnv, kOtherUser);
    EXPECT_TRUE(otherRun->Process().WaitForLine(HeldBy(*rootRun) + "root (0))", programtest::kWindowMs));
    EXPECT_TRUE(programtest::WaitForWindows(*otherRun, AnyWindow, programtest::kWindowMs)) << "the message box";
    EXPECT_TRUE(MainWindows(display_.Name(), otherRun->Pid()).empty());
    int status = EndWith(*otherRun, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "status " << status;
    EXPECT_TRUE(rootRun->Process().Running());

    // The other way round: root's window is refused while the other user's runs.
    status = EndWith(*rootRun, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    otherRun = Launch(otherProgram, otherEnv, kOtherUser);
    ASSERT_TRUE(programtest::WaitForMainWindow(*otherRun)) << "free once root's window has ended";
    EXPECT_FALSE(otherRun->Process().HasLine("Single-instance guard unavailable"));
    rootRun = Launch(rootProgram, {"XDG_RUNTIME_DIR=" + rootRuntime.Path()});
    EXPECT_TRUE(rootRun->Process().WaitForLine(HeldBy(*otherRun) + "nobody (65534))", programtest::kWindowMs));
    EndWith(*rootRun, SIGTERM);
    status = EndWith(*otherRun, SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(GuardFree());
}

namespace {

// One phase of a run in which a signal arrives, and what the service must have received by the end.
struct Phase {
    const char* name;
    int signo;
    std::vector<std::string> serviceCommands;  // before the launch
    bool mainWindowFirst;                      // the phase is reached from the shown main window
    // Brings the running program into the phase; false when it could not.
    std::function<bool(ProgramRun&, faults::TouchsimProcess&, const std::string& mainWindow)> reach;
    std::function<void(const std::vector<std::string>& callLines, const std::vector<std::string>& calls)> check;
    long long boundMs = kEndBoundMs;  // from the signal to the end
    bool noMainWindow = false;        // the main window must never show
};

bool Nothing(ProgramRun&, faults::TouchsimProcess&, const std::string&) { return true; }

// Closed without saving: nothing the user could have changed is written.
void NothingSaved(const std::vector<std::string>&, const std::vector<std::string>& calls) {
    for (const char* name : {"SetDeviceConfig", "SetEffects", "SetCalibration"}) EXPECT_EQ(Count(calls, name), 0u) << name;
}

// The saved record (the service's own: all zeros) is written back last, and the device reset after it.
void SavedCalibrationBack(const std::vector<std::string>& lines, size_t writes) {
    const std::vector<std::string> sets = CallsNamed(lines, "SetCalibration");
    ASSERT_EQ(sets.size(), writes);
    const std::string last = PayloadHex(sets.back());
    EXPECT_FALSE(last.empty());
    EXPECT_EQ(last.find_first_not_of('0'), std::string::npos) << "the saved record: " << last;
    bool resetAfter = false;
    for (auto it = std::find(lines.begin(), lines.end(), sets.back()); it != lines.end(); ++it)
        resetAfter = resetAfter || it->compare(0, 17, "call ResetDevice ") == 0;
    EXPECT_TRUE(resetAfter);
}

}  // namespace

TEST_F(WholeProgram, ASignalEndsTheRunAsAClosedWindowDoesInEveryPhase) {
    const Phase phases[] = {
        {"window open, SIGTERM", SIGTERM, {}, true, Nothing, NothingSaved},
        {"window open, SIGINT (Ctrl+C)", SIGINT, {}, true, Nothing, NothingSaved},
        {"window open, SIGHUP (terminal closed)", SIGHUP, {}, true, Nothing, NothingSaved},
        {"advanced settings open", SIGTERM, {}, true, OpenByClick(kAdvancedX, kAdvancedY), NothingSaved},
        {"factory reset question open", SIGTERM, {}, true, OpenByClick(kFactoryX, kFactoryY), NothingSaved},
        {"device lost message open", SIGTERM, {}, true,
         [](ProgramRun& run, faults::TouchsimProcess& service, const std::string&) {
             if (!service.Command("unplug")) return false;
             return programtest::WaitForWindows(
                 run,
                 [&](const std::vector<ShownWindow>& ws) {
                     return !ws.empty() && MainWindows(run.Display(), run.Pid()).empty();
                 },
                 programtest::kWindowMs);
         },
         NothingSaved},
        {"start-up message before the main window", SIGTERM, {"ids -"}, false,
         [](ProgramRun& run, faults::TouchsimProcess&, const std::string&) {
             return programtest::WaitForWindows(run, AnyWindow, programtest::kWindowMs);
         },
         NothingSaved},
        // Every reply late: the signal arrives while the first reading runs on the GUI thread, which
        // finishes its requests (six of them, each late) and then never shows the window.
        {"start-up reading in progress", SIGTERM, {"delay 400"}, false,
         [](ProgramRun&, faults::TouchsimProcess& service, const std::string&) {
             return service.WaitForCalls(1, programtest::kWindowMs);
         },
         NothingSaved, 6 * 400 + kStopBoundMs + kSlackMs, true},
        {"calibration running", SIGTERM, {}, true, StartCalibration,
         [](const std::vector<std::string>& lines, const std::vector<std::string>&) {
             SavedCalibrationBack(lines, 2);  // switched off, then the saved record back
         }},
        // Ends as Escape does, at once: the saved record back after the next access poll or so,
        // not once the frame's reset has run out of polls.
        {"calibration starting, the frame busy", SIGTERM, {}, true, CalibrationStarting,
         [](const std::vector<std::string>& lines, const std::vector<std::string>&) {
             SavedCalibrationBack(lines, 2);  // switched off, then the saved record back
             const std::vector<std::string> sets = CallsNamed(lines, "SetCalibration");
             const auto off = std::find(lines.begin(), lines.end(), sets.front());
             const auto back = std::find(lines.begin(), lines.end(), sets.back());
             EXPECT_LE(std::count_if(off, back, [](const std::string& l) { return l.compare(0, 20, "call GetAccessState ") == 0; }),
                       6);
         }},
        {"timed confirmation box open", SIGTERM, {}, true, ReachConfirmation,
         [](const std::vector<std::string>& lines, const std::vector<std::string>&) {
             SavedCalibrationBack(lines, 3);  // off, the new record, then not confirmed: the saved one
         }},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        StartService(phase.serviceCommands);
        ProgramFolder program;
        OwnedFolder runtime;
        const ino_t configBefore = Inode(program.ConfigPath());
        const std::string configText = TempFolder::Read(program.ConfigPath());

        auto run = Launch(program, {"XDG_RUNTIME_DIR=" + runtime.Path()});
        std::string mainWindow;
        if (phase.mainWindowFirst) {
            ASSERT_TRUE(programtest::WaitForMainWindow(*run));
            mainWindow = MainWindows(display_.Name(), run->Pid()).front().id;
        }
        ASSERT_TRUE(phase.reach(*run, *service_, mainWindow)) << "phase not reached";

        bool mainWindowSeen = false;
        const int status = EndWith(*run, phase.signo, phase.boundMs, phase.noMainWindow ? &mainWindowSeen : nullptr);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_FALSE(mainWindowSeen);
        EXPECT_TRUE(run->Process().HasLine("Signal " + std::to_string(phase.signo) + " received: closing"));

        // Written back atomically (a new file renamed over the old one), with the same content.
        EXPECT_NE(Inode(program.ConfigPath()), configBefore) << "the configuration file was rewritten";
        EXPECT_EQ(TempFolder::Read(program.ConfigPath()), configText);
        std::vector<std::string> dataFiles;
        for (const auto& e : std::filesystem::directory_iterator(program.DataFolder()))
            dataFiles.push_back(e.path().filename().string());
        std::sort(dataFiles.begin(), dataFiles.end());
        EXPECT_EQ(dataFiles, (std::vector<std::string>{"Configuration.xml", "MultiLang.xml"})) << "no temporary left";

        EXPECT_TRUE(GuardFree()) << "the guard was released";
        phase.check(service_->CallLines(), service_->Calls());
    }
}
