// touchsim --send: a small client of a running touchsim's control port, so that scripts and the
// docs need no other network tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace touchsim {

// Sends the commands one after another to 127.0.0.1:port (a command containing newlines counts as
// several; blank and '#' lines are skipped) and copies every reply line to `out`. Returns 0 when
// every command was answered "ok", 1 at the first "error:" reply (later commands are not sent),
// or when the port cannot be reached or a reply does not come within `replyTimeoutMs` (a message
// on `err`).
int SendCommands(uint16_t port, const std::vector<std::string>& commands, std::FILE* out, std::FILE* err,
                 int replyTimeoutMs = 10000);

}  // namespace touchsim
