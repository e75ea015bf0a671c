// The touchsim program's command line: one table of options, checked before anything starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "touchsim/Simulator.h"

namespace touchsim {

struct ProgramOptions {
    Options sim;
    bool help = false;
    bool withControlPort = false;
    uint16_t controlPort = 0;
    bool withRequiredVersion = false;
    uint32_t requiredVersion = 0;
    std::vector<std::string> send;  // --send: commands for a running touchsim; nothing is served
    std::vector<std::string> devices;  // --device ID[:FIELD=VALUE,...], applied in order at start
};

// Parses argv[1..argc-1]. False, with one line naming the problem in `error`, when an option is
// unknown, lacks its value or has a value out of range; `out` is then not to be used.
bool ParseCommandLine(int argc, const char* const* argv, ProgramOptions& out, std::string& error);

// What --help prints: usage, the options and the control commands.
std::string ProgramHelp();

}  // namespace touchsim
