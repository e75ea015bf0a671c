// Scenario support for qlncfg-cli: the built program run as a child process, with a runtime folder
// of the test's own (its output files), against the simulated service that
// the test runs in-process on the fixed port (inside the test's own network namespace).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "config/TempFolder.h"
#include "servicelink/FaultsSupport.h"
#include "support/ChildProcess.h"
#include "touchsim/Simulator.h"

namespace clitest {

constexpr long long kRunBoundMs = 30000;  // a command's few requests, each bounded by 3 s

inline std::string CliPath() {
    const std::string touchsim = faults::TouchsimPath();
    return touchsim.substr(0, touchsim.rfind('/')) + "/qlncfg-cli";
}

struct CliResult {
    int status = -1;  // exit status, -1 when it did not end normally in time
    std::string out;  // standard output
    std::string err;  // standard error
};

// Starts the program; its standard output and error go to files of the folder (complete once it
// has ended, and kept apart).
// runtime: the private folder given as XDG_RUNTIME_DIR, which also takes the output files (so it
// must belong to user). user: another user runs it (through setpriv, as root only).
inline bool StartCli(testsupport::ChildProcess& child, const std::string& runtime, const std::vector<std::string>& args,
                     std::vector<std::string> env = {}, uid_t user = geteuid()) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >\"$QLN_OUT_FILE\" 2>\"$QLN_ERR_FILE\"",
                                     CliPath()};
    if (user != geteuid()) {
        const std::string id = std::to_string(user);
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    env.push_back("QLN_OUT_FILE=" + runtime + "/stdout.txt");
    env.push_back("QLN_ERR_FILE=" + runtime + "/stderr.txt");
    return child.Start(argv, env);
}

inline CliResult Finish(testsupport::ChildProcess& child, const std::string& runtime) {
    CliResult result;
    int status = 0;
    if (child.WaitExit(kRunBoundMs, &status) && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    child.Kill();
    result.out = TempFolder::Read(runtime + "/stdout.txt");
    result.err = TempFolder::Read(runtime + "/stderr.txt");
    return result;
}

// One whole run of the program.
inline CliResult RunCli(const std::string& runtime, const std::vector<std::string>& args,
                        std::vector<std::string> env = {}, uid_t user = geteuid()) {
    testsupport::ChildProcess child;
    if (!StartCli(child, runtime, args, std::move(env), user)) return CliResult{};
    return Finish(child, runtime);
}

}  // namespace clitest
