// Small helpers around the requests of the touch service.
#pragma once

#include <cstdint>

#include "servicelink/ServiceContract.h"

namespace VexoSource {

// The one process-wide record: payload of SetMultiConfig, payload and reply of GetMultiConfig.
extern MultiConfigRecord g_MultiConfigRecord;

// Asks the service to re-initialise the device with its stored settings; the outcome is ignored.
void SendResetDevice();

}  // namespace VexoSource
