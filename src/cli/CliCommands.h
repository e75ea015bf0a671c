// Carrying out one qlncfg-cli request against the touch service.
#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

namespace QlnCli {

// Takes the single-instance guard, opens the service channel, chooses the device and runs the
// command; reports on out (results) and err (messages). Returns the exit status. Everything it
// opened is closed again before it returns. errIsTerminal: a person reads standard error, who is
// told in one line when the command waits for a device that is being reset.
int RunRequest(const CliRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal = false);

}  // namespace QlnCli
