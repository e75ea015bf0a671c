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

// Sets one field of a device's records ("inches" "32", "mode" "mouse", "pen" "1", ... as the
// help text lists them); false, nothing changed, for an unknown field or a bad value.
bool SetDeviceField(DeviceRecords& device, const std::string& field, const std::string& value);

// "raw" text escapes: \0 NUL, \n, \r, \t, \\ and \xHH. False on a broken escape.
bool UnescapeText(const std::string& text, std::string& out);

const char* CommandHelp();

}  // namespace touchsim
