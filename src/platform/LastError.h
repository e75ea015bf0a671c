// The calling thread's last system error, standing in for GetLastError/SetLastError.
//
// Socket calls record Windows Sockets codes (10054 for a reset connection and so on, see
// foundation/SocketErrors.h) so that the service link's error reports read as the program
// expects; other failing calls record their errno value.
#pragma once

#include <cstdint>
#include <string>

namespace VexoPlatform {

uint32_t GetLastError();
void SetLastError(uint32_t code);
// Records the current errno as the last error.
void SetLastErrorFromErrno();

// The system's text for a code (strerror, UTF-8; a socket code gets the text of its errno value),
// without a trailing line break; empty when there is none.
std::string SystemErrorText(uint32_t code);

}  // namespace VexoPlatform
