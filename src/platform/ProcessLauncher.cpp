#include "platform/ProcessLauncher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include <mutex>
#include <thread>

#include "platform/LastError.h"
#include "platform/ModuleFolder.h"

extern char** environ;

namespace VexoPlatform {
namespace {

std::mutex g_starterLock;
ProcessStarter g_starter;

bool Start(const std::vector<std::string>& argv, bool searchPath) {
    ProcessStarter starter;
    {
        std::lock_guard<std::mutex> hold(g_starterLock);
        starter = g_starter;
    }
    if (starter) return starter(argv, searchPath);
    return SpawnDetached(argv, searchPath);
}

}  // namespace

ProcessStarter SetProcessStarter(ProcessStarter starter) {
    std::lock_guard<std::mutex> hold(g_starterLock);
    ProcessStarter previous = std::move(g_starter);
    g_starter = std::move(starter);
    return previous;
}

bool SpawnDetached(const std::vector<std::string>& argv, bool searchPath) {
    if (argv.empty() || argv[0].empty()) return false;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    // The window ignores SIGPIPE and blocks the termination signals in its threads; a companion
    // inheriting that would survive a closed pipe or its own Ctrl+C. It starts as from a shell:
    // every signal at its default, none blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    // glibc's posix_spawn reports a failed exec (missing file, no permission) as its result.
    const int rc = searchPath ? posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ)
                              : posix_spawn(&pid, args[0], nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        SetLastError(static_cast<uint32_t>(rc));
        return false;
    }
    // The program does not wait for its companions; a detached waiter reaps the child whenever it ends.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

std::string UpdaterPath() {
    std::string folder;
    if (!GetExecutableFolder(folder)) return std::string();
    return folder + "/" + kUpdaterName;
}

bool StartUpdater() {
    const std::string path = UpdaterPath();
    if (path.empty()) return false;
    return Start({path}, false);
}

bool OpenTabletSettings() { return Start({kTabletSettingsCommand, kTabletSettingsArgument}, true); }

}  // namespace VexoPlatform
