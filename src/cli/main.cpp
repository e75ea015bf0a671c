// qlncfg-cli: the touch frame's settings from a shell. No toolkit: it runs without a display.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "platform/FileSystem.h"

namespace {

// A script reads standard output: a full disk or a closed pipe must not pass for success with
// half a profile written. Flushed and closed here, every error seen; status 1 when one was.
int FinishStandardOutput(int code) {
    int error = 0;
    errno = 0;
    std::cout.flush();
    if (std::cout.fail()) error = errno ? errno : -1;
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !error) error = errno ? errno : -1;
    errno = 0;
    if (std::fclose(stdout) != 0 && !error) error = errno ? errno : -1;
    const bool ok = error == 0;
    if (ok) return code;
    // The stream keeps no reason of its own when its buffer failed: say only what is known.
    std::cerr << "qlncfg-cli: cannot write standard output"
              << (error > 0 ? std::string(": ") + std::strerror(error) : std::string("; what it shows is incomplete")) << "\n";
    return code == 0 ? 1 : code;
}

}  // namespace

int main(int argc, char** argv) {
    const QlnCli::ParsedCommandLine parsed = QlnCli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.run) {
        std::cout << parsed.out;
        std::cerr << parsed.err;
        return FinishStandardOutput(parsed.exitCode);
    }
    const int code = QlnCli::RunRequest(parsed.request, std::cout, std::cerr, VexoPlatform::StandardErrorIsTerminal());
    return FinishStandardOutput(code);
}
