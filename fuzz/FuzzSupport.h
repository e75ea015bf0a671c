// Shared set-up of the fuzz targets.
#pragma once

#include <string>

#include "foundation/VexoLog.h"
#include "platform/DebugOutput.h"

namespace QlnFuzz {

// Every log line is built (formatting fuzzed texts is part of each path) and then dropped, so a
// long run neither floods the terminal nor spends its time writing.
inline void QuietLog() {
    g_VexoLog.enabled = 1;
    g_VexoLog.minimumLevel = 0;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER;
    VexoPlatform::SetDebugSink([](const std::u16string&) {});
}

}  // namespace QlnFuzz
