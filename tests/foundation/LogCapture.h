// Captures the diagnostic log's debugger lines for the lifetime of the object and restores the
// previous log settings and sink afterwards.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "foundation/VexoFormat.h"
#include "foundation/VexoLog.h"
#include "platform/DebugOutput.h"

class LogCapture {
public:
    explicit LogCapture(int32_t minimumLevel = 0) : saved_(g_VexoLog) {
        g_VexoLog.enabled = 1;
        g_VexoLog.flags = VEXO_LOG_DEBUGGER;
        g_VexoLog.minimumLevel = minimumLevel;
        previous_ = VexoPlatform::SetDebugSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() {
        VexoPlatform::SetDebugSink(previous_);
        g_VexoLog = saved_;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // True when some captured line contains `part`.
    bool Contains(const std::string& part) {
        for (const std::string& line : Lines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    size_t CountContaining(const std::string& part) {
        size_t n = 0;
        for (const std::string& line : Lines())
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }

private:
    VexoLogSettings saved_;
    VexoPlatform::DebugSink previous_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};
