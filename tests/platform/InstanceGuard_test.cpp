// The single-instance guard: who holds it, that the kernel gives it back however its holder ends,
// and which folders it trusts.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "config/TempFolder.h"
#include "platform/InstanceGuard.h"

using VexoPlatform::GuardEnvironment;
using VexoPlatform::GuardFolder;
using VexoPlatform::InstanceGuard;
using State = InstanceGuard::State;

namespace {

constexpr const char* kName = "wx_quilo_configuration_mutex";
constexpr uid_t kOtherUser = 65534;  // nobody

bool IsRoot() { return geteuid() == 0; }

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// A child process that takes the guard in folder, reports it on a pipe and then ends as end says.
// Returns the child's pid once it holds the guard (-1 when it could not take it).
pid_t ChildHolding(const std::string& folder, const std::function<void()>& end) {
    int report[2];
    if (pipe(report) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        InstanceGuard guard(kName, folder);
        const char held = guard.Acquire() == State::Held ? 'y' : 'n';
        if (write(report[1], &held, 1) != 1) _exit(2);
        end();
        _exit(0);
    }
    close(report[1]);
    char held = 'n';
    const bool read1 = read(report[0], &held, 1) == 1;
    close(report[0]);
    if (!read1 || held != 'y') {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

}  // namespace

TEST(InstanceGuard, OneHolderEveryLaterTryIsRefusedAndNothingIsRemoved) {
    TempFolder folder;
    InstanceGuard first(kName, folder.Path());
    ASSERT_EQ(first.Acquire(), State::Held);
    EXPECT_EQ(first.Path(), folder.File(kName));
    EXPECT_EQ(first.Acquire(), State::Held) << "taking it again while held changes nothing";
    EXPECT_EQ(TempFolder::Read(folder.File(kName)), std::to_string(getpid()) + "\n") << "the holder's pid";

    // Second, third and fourth launches: each is refused, and none takes anything from the holder.
    for (int launch = 2; launch <= 4; ++launch) {
        SCOPED_TRACE(launch);
        InstanceGuard later(kName, folder.Path());
        EXPECT_EQ(later.Acquire(), State::HeldElsewhere);
        EXPECT_FALSE(later.Held());
        EXPECT_TRUE(TempFolder::Exists(folder.File(kName)));
    }
    EXPECT_TRUE(first.Held());

    // Given up at exit, the file stays and the next one takes the guard.
    first.Release();
    EXPECT_EQ(first.GetState(), State::None);
    EXPECT_TRUE(TempFolder::Exists(folder.File(kName)));
    InstanceGuard next(kName, folder.Path());
    EXPECT_EQ(next.Acquire(), State::Held);
    {
        InstanceGuard refused(kName, folder.Path());
        EXPECT_EQ(refused.Acquire(), State::HeldElsewhere);
    }
    EXPECT_TRUE(next.Held()) << "a refused object going away does not release the holder";
}

TEST(InstanceGuard, TheKernelGivesTheGuardBackHoweverItsHolderEnds) {
    struct Row {
        const char* name;
        std::function<void()> end;  // what the holding child does after taking the guard
        int signal;                 // sent to it by the test (0: none)
    } rows[] = {
        {"ends without releasing", [] { _exit(0); }, 0},
        {"terminated", [] { pause(); }, SIGTERM},
        {"killed", [] { pause(); }, SIGKILL},
        {"crashes", [] { abort(); }, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TempFolder folder;
        const pid_t child = ChildHolding(folder.Path(), r.end);
        ASSERT_GT(child, 0);
        if (r.signal == 0) {
            waitpid(child, nullptr, 0);
        } else {
            InstanceGuard whileHeld(kName, folder.Path());
            EXPECT_EQ(whileHeld.Acquire(), State::HeldElsewhere);
            kill(child, r.signal);
            waitpid(child, nullptr, 0);
        }
        InstanceGuard after(kName, folder.Path());
        EXPECT_EQ(after.Acquire(), State::Held) << "the very next start succeeds";
    }
}

TEST(InstanceGuard, AProgramStartedByTheHolderDoesNotKeepTheGuard) {
    TempFolder folder;
    InstanceGuard holder(kName, folder.Path());
    ASSERT_EQ(holder.Acquire(), State::Held);
    // A child that outlives its starter (as the updater does); the pipe closes when it has exec'd.
    int started[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(started[1]);
    char c;
    EXPECT_EQ(read(started[0], &c, 1), 0);
    close(started[0]);

    holder.Release();
    InstanceGuard next(kName, folder.Path());
    EXPECT_EQ(next.Acquire(), State::Held);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST(InstanceGuard, PerUserFolderIsPrivateOrNotUsed) {
    TempFolder base;
    const std::string runtime = base.File("runtime");
    const std::string cache = base.File("cache");
    const std::string home = base.File("home");
    mkdir(home.c_str(), 0700);
    const std::string cacheFolder = cache + "/qlncfg";
    const std::string homeFolder = home + "/.cache/qlncfg";

    struct Row {
        const char* name;
        std::function<void()> prepare;  // runs in a fresh base folder state (see below)
        GuardEnvironment env;
        std::string expected;  // empty: no folder is usable
        bool needsRoot;
    } rows[] = {
        {"private runtime folder", [&] { mkdir(runtime.c_str(), 0700); }, {runtime, cache, home}, runtime, false},
        {"runtime folder that others may write to",
         [&] {
             mkdir(runtime.c_str(), 0700);
             chmod(runtime.c_str(), 0770);
         },
         {runtime, cache, home}, cacheFolder, false},
        {"world-writable runtime folder",
         [&] {
             mkdir(runtime.c_str(), 0700);
             chmod(runtime.c_str(), 01777);
         },
         {runtime, cache, home}, cacheFolder, false},
        {"runtime folder of another user",
         [&] {
             mkdir(runtime.c_str(), 0700);
             if (chown(runtime.c_str(), kOtherUser, kOtherUser) != 0) ADD_FAILURE() << "chown";
         },
         {runtime, cache, home}, cacheFolder, true},
        {"relative runtime folder", [] {}, {"run/user", cache, home}, cacheFolder, false},
        {"runtime folder missing", [] {}, {runtime, cache, home}, cacheFolder, false},
        {"no runtime folder: cache folder", [] {}, {"", cache, home}, cacheFolder, false},
        {"no cache folder: home's .cache", [] {}, {"", "", home}, homeFolder, false},
        {"relative cache folder is ignored", [] {}, {"", "cache", home}, homeFolder, false},
        {"program folder planted as a link",
         [&] {
             mkdir(cache.c_str(), 0700);
             mkdir(base.File("elsewhere").c_str(), 0700);
             if (symlink(base.File("elsewhere").c_str(), cacheFolder.c_str()) != 0) ADD_FAILURE() << "symlink";
         },
         {"", cache, home}, "", false},
        {"program folder that others may write to",
         [&] {
             mkdir(cache.c_str(), 0700);
             mkdir(cacheFolder.c_str(), 0700);
             chmod(cacheFolder.c_str(), 0775);
         },
         {"", cache, home}, "", false},
        {"program folder of another user",
         [&] {
             mkdir(cache.c_str(), 0700);
             mkdir(cacheFolder.c_str(), 0700);
             if (chown(cacheFolder.c_str(), kOtherUser, kOtherUser) != 0) ADD_FAILURE() << "chown";
         },
         {"", cache, home}, "", true},
        {"nothing to fall back on", [] {}, {"", "", ""}, "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needsRoot && !IsRoot()) continue;  // only root can give a folder to another user
        std::system(("rm -rf '" + runtime + "' '" + cache + "' '" + home + "/.cache' '" + base.File("elsewhere") + "'").c_str());
        r.prepare();
        std::string problem;
        EXPECT_EQ(GuardFolder(r.env, &problem), r.expected) << problem;
        if (r.expected.empty()) {
            EXPECT_FALSE(problem.empty()) << "the log says why";
        } else if (r.expected != runtime) {
            EXPECT_EQ(ModeOf(r.expected) & 07777, mode_t(0700)) << "a folder the program made is private";
        }
    }
}

TEST(InstanceGuard, UnusableFileOrNameIsReportedNotFollowed) {
    struct Row {
        const char* name;
        std::string guardName;
        std::function<void(const TempFolder&)> prepare;
        bool needsRoot;
    } rows[] = {
        {"a link in the file's place",
         "wx_quilo_configuration_mutex",
         [](const TempFolder& f) {
             if (symlink(f.File("target").c_str(), f.File(kName).c_str()) != 0) ADD_FAILURE() << "symlink";
         },
         false},
        {"a folder in the file's place", "wx_quilo_configuration_mutex",
         [](const TempFolder& f) { mkdir(f.File(kName).c_str(), 0700); }, false},
        {"a file of another user", "wx_quilo_configuration_mutex",
         [](const TempFolder& f) {
             f.Write(kName, "");
             if (chown(f.File(kName).c_str(), kOtherUser, kOtherUser) != 0) ADD_FAILURE() << "chown";
         },
         true},
        {"a name with a slash", "../wx_quilo_configuration_mutex", [](const TempFolder&) {}, false},
        {"an empty name", "", [](const TempFolder&) {}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needsRoot && !IsRoot()) continue;
        TempFolder folder;
        r.prepare(folder);
        InstanceGuard guard(r.guardName, folder.Path());
        EXPECT_EQ(guard.Acquire(), State::Unavailable);
        EXPECT_FALSE(guard.Problem().empty());
        EXPECT_FALSE(TempFolder::Exists(folder.File("target"))) << "a link is never followed";
    }
    // A folder given by the caller is checked like the per-user one.
    TempFolder open;
    chmod(open.Path().c_str(), 01777);
    InstanceGuard guard(kName, open.Path());
    EXPECT_EQ(guard.Acquire(), State::Unavailable);
    EXPECT_FALSE(TempFolder::Exists(open.File(kName))) << "nothing is created in a folder others may write to";
}

TEST(InstanceGuard, WithoutAFolderItUsesTheCallersRuntimeFolder) {
    TempFolder runtime;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    {
        InstanceGuard guard(kName);
        EXPECT_EQ(guard.Acquire(), State::Held);
        EXPECT_EQ(guard.Path(), runtime.File(kName));
        InstanceGuard second(kName, runtime.Path());
        EXPECT_EQ(second.Acquire(), State::HeldElsewhere) << "the same file whichever way it is named";
    }
    if (saved)
        setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}
