// Carrying out one qlncfg-cli request against the touch service.
#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

namespace QlnCli {

// Takes the single-instance guard, opens the service channel, chooses the device and runs the
// command; reports on out (results) and err (messages). Returns the exit status. Everything it
// opened is closed again before it returns.
int RunRequest(const CliRequest& request, std::ostream& out, std::ostream& err);

}  // namespace QlnCli
