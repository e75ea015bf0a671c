// The line protocol that drives a running simulator (standard input or the control port).
#pragma once

#include <string>

#include "touchsim/Simulator.h"

namespace touchsim {

struct CommandResult {
    bool ok = true;
    bool quit = false;
    std::string text;  // reply lines, each ending in '\n'
};

// Runs one command line. Unknown or malformed commands change nothing and answer "error: ...".
CommandResult ExecuteCommand(Simulator& sim, const std::string& line);

// "raw" text escapes: \0 NUL, \n, \r, \t, \\ and \xHH. False on a broken escape.
bool UnescapeText(const std::string& text, std::string& out);

const char* CommandHelp();

}  // namespace touchsim
