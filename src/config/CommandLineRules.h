// The program's options. Started from the menu it gets none and runs as always; --help and
// --version are answered before the toolkit starts, so they need no display, service or guard.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace VexoSource {

// The build's version ("1.0.0"), set by CMake from the project version.
const char* ProgramVersion();

// What main does with the arguments (without the program name).
struct CommandLineAnswer {
    bool run = true;   // go on with the normal start
    int exitCode = 0;  // otherwise end with this status
    std::string out;   // text for standard output
    std::string err;   // text for standard error
    // --language: "English" or "Chinese", kept in the user's configuration from now on; empty
    // leaves the configuration's language.
    std::string language;
};

// --help / -h: the usage on standard output, status 0. --version / -V: the build's version and the
// configuration's version text (asked from configVersion only then), status 0. Anything else, a
// plain word included: the usage on standard error, status 2. No arguments: run.
// --language english|chinese (either case; also --language=WORD): run, in that language for good.
CommandLineAnswer ReadCommandLine(const std::vector<std::string>& args,
                                  const std::function<std::string()>& configVersion);

std::string UsageText();

}  // namespace VexoSource
