#include "platform/ProcessLauncher.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ModuleFolder.h"
#include "platform/PlatformTime.h"

using namespace VexoPlatform;

TEST(ProcessLauncher, CompanionsGoThroughTheStarter) {
    std::vector<std::pair<std::vector<std::string>, bool>> calls;
    ProcessStarter previous = SetProcessStarter([&](const std::vector<std::string>& argv, bool searchPath) {
        calls.push_back({argv, searchPath});
        return false;
    });
    EXPECT_FALSE(StartUpdater());
    EXPECT_FALSE(OpenTabletSettings());
    SetProcessStarter(previous);

    std::string folder;
    ASSERT_TRUE(GetExecutableFolder(folder));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, std::vector<std::string>{folder + "/qnUpdate"}) << "updater by its full path";
    EXPECT_FALSE(calls[0].second) << "never looked up in PATH";
    EXPECT_EQ(calls[1].first, (std::vector<std::string>{kTabletSettingsCommand, kTabletSettingsArgument}));
    EXPECT_TRUE(calls[1].second);
}

TEST(ProcessLauncher, SpawnStartsWithoutWaitingAndReportsMissingPrograms) {
    EXPECT_FALSE(SpawnDetached({"/nonexistent/qnUpdate"}, false));
    EXPECT_FALSE(SpawnDetached({"qln-no-such-command-here"}, true));
    EXPECT_FALSE(SpawnDetached({}, false));

    char pattern[] = "/tmp/qln-spawn-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string marker = pattern;
    const std::string go = marker + ".go";
    std::remove(marker.c_str());
    // The child waits for a file that is created only after the spawn has returned: a starter that
    // waited for its child would never get there (the child gives up after 10 s).
    ASSERT_TRUE(SpawnDetached({"/bin/sh", "-c",
                               "i=0; while [ ! -e " + go + " ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done; "
                               "[ -e " + go + " ] && echo done > " + marker},
                              false));
    std::ofstream(go) << "go";
    struct stat st {};
    for (int i = 0; i < 500 && stat(marker.c_str(), &st) != 0; ++i) SleepMs(10);
    EXPECT_EQ(stat(marker.c_str(), &st), 0) << "the child ran on after the spawn returned";
    std::remove(go.c_str());
    std::remove(marker.c_str());
}

// The window ignores SIGPIPE and blocks signals in its threads; a companion must not inherit
// either, or it would outlive a closed pipe or ignore Ctrl+C.
TEST(ProcessLauncher, CompanionsStartWithDefaultSignalsAndNoneBlocked) {
    char pattern[] = "/tmp/qln-signals-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string marker = pattern;
    std::remove(marker.c_str());

    struct sigaction ignore {}, previousPipe {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previousPipe), 0);
    sigset_t blocked, previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    // The shell's own state as it was handed over, written whole before the marker appears.
    const bool started = SpawnDetached(
        {"/bin/sh", "-c", "grep -E '^Sig(Blk|Ign):' /proc/$$/status > " + marker + ".part && mv " + marker + ".part " + marker},
        false);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGPIPE, &previousPipe, nullptr);
    ASSERT_TRUE(started);

    struct stat st {};
    for (int i = 0; i < 1000 && stat(marker.c_str(), &st) != 0; ++i) SleepMs(10);  // hang guard only
    std::ifstream in(marker);
    std::string blk, ign;
    std::getline(in, blk);
    std::getline(in, ign);
    // The standard signals (1 to 31); glibc keeps two real-time ones of its own out of reach.
    auto standard = [](const std::string& line) {
        const size_t tab = line.find('\t');
        return tab == std::string::npos ? ~0ull : std::stoull(line.substr(tab + 1), nullptr, 16) & 0x7FFFFFFFull;
    };
    EXPECT_EQ(standard(blk), 0u) << blk;
    EXPECT_EQ(standard(ign), 0u) << ign;
    std::remove(marker.c_str());
}
