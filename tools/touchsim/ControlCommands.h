// The line protocol that drives a running simulator (standard input or the control port).
//
// Every command line is answered by exactly one status line, the last line of its reply: "ok"
// (possibly followed by a blank and more text) or "error: ..." with nothing changed. Commands that
// list something (help, trace) send their lines first; none of those starts with "ok" or "error".
// Blank lines and lines starting with '#' are not commands and get no reply.
#pragma once

#include <string>

#include "touchsim/Simulator.h"

namespace touchsim {

struct CommandResult {
    bool ok = true;
    bool quit = false;
    std::string text;  // reply lines, each ending in '\n'; the status line comes last
};

// Runs one command line. Unknown or malformed commands change nothing and answer "error: ...".
CommandResult ExecuteCommand(Simulator& sim, const std::string& line);

// True for a reply's status line: "ok", "ok ..." or "error: ...".
bool IsStatusLine(const std::string& line);

// True for a line that is no command (blank, or a '#' comment) and so gets no reply.
bool IsNoCommand(const std::string& line);

// Sets one field of a device's records ("inches" "32", "mode" "mouse", "pen" "1", ... as the
// help text lists them); false, nothing changed, for an unknown field or a bad value.
bool SetDeviceField(DeviceRecords& device, const std::string& field, const std::string& value);

// "raw" text escapes: \0 NUL, \n, \r, \t, \\ and \xHH. False on a broken escape.
bool UnescapeText(const std::string& text, std::string& out);

// One line per command: its arguments and what it does.
const char* CommandHelp();

}  // namespace touchsim
