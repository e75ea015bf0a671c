// qlncfg-cli: the touch frame's settings from a shell. No toolkit: it runs without a display.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv) {
    const QlnCli::ParsedCommandLine parsed = QlnCli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.run) {
        std::cout << parsed.out;
        std::cerr << parsed.err;
        return parsed.exitCode;
    }
    const int code = QlnCli::RunRequest(parsed.request, std::cout, std::cerr, VexoPlatform::StandardErrorIsTerminal());
    std::cout.flush();
    return code;
}
