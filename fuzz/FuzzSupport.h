// Shared set-up of the fuzz targets.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "foundation/VexoLog.h"
#include "platform/DebugOutput.h"

namespace QlnFuzz {

// Every log line is built (formatting fuzzed texts is part of each path) and then dropped, so a
// long run neither floods the terminal nor spends its time writing.
inline void QuietLog() {
    g_VexoLog.enabled = 1;
    g_VexoLog.minimumLevel = 0;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER;
    VexoPlatform::SetDebugSink([](const std::string&) {});
}

// A broken invariant is a finding: stop the run where it happened.
inline void Check(bool condition) {
    if (!condition) std::abort();
}

// A private folder for the files one target writes, in memory (/dev/shm) when it can be, removed
// when the run ends. Call once, from LLVMFuzzerInitialize.
inline const std::string& ScratchFolder(const char* name) {
    static std::string folder;
    if (!folder.empty()) return folder;
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/" + name + "-XXXXXX";
        if (mkdtemp(pattern.data())) {
            folder = pattern;
            break;
        }
    }
    if (folder.empty()) std::abort();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    return folder;
}

}  // namespace QlnFuzz
