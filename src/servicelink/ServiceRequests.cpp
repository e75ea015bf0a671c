#include "servicelink/ServiceRequests.h"

#include "servicelink/VexoRPC.h"

namespace VexoSource {

MultiConfigRecord g_MultiConfigRecord = {};

void SendResetDevice() {
    uint8_t reply = 0;
    int32_t ok = 0;
    SendRequest(ChosenDevice(), ResetDevice, &reply, &ok, nullptr, 0, 1);
}

}  // namespace VexoSource
