// Captures the diagnostic log's lines (UTF-8, every level from minimumLevel on) for the lifetime of
// the object, and restores the previous log settings and sink afterwards. The one log capture of
// every suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/VexoLog.h"
#include "platform/DebugOutput.h"

class LogCapture {
public:
    explicit LogCapture(int32_t minimumLevel = 0) : store_(std::make_shared<Store>()), saved_(g_VexoLog) {
        g_VexoLog.enabled = 1;
        g_VexoLog.flags = VEXO_LOG_DEBUGGER;
        g_VexoLog.minimumLevel = minimumLevel;
        // The sink holds the store, not this object: a worker that took the sink just before the
        // capture ended may still write one line into it.
        std::shared_ptr<Store> store = store_;
        previous_ = VexoPlatform::SetDebugSink([store](const std::string& line) {
            std::lock_guard<std::mutex> hold(store->lock);
            store->lines.push_back(line);
        });
    }
    ~LogCapture() {
        VexoPlatform::SetDebugSink(previous_);
        g_VexoLog = saved_;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> hold(store_->lock);
        return store_->lines;
    }
    // How many captured lines contain `part`.
    size_t Count(const std::string& part) const {
        size_t n = 0;
        for (const std::string& line : Lines())
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }
    bool Contains(const std::string& part) const { return Count(part) > 0; }
    void Clear() {
        std::lock_guard<std::mutex> hold(store_->lock);
        store_->lines.clear();
    }

private:
    struct Store {
        std::mutex lock;
        std::vector<std::string> lines;
    };
    std::shared_ptr<Store> store_;
    VexoLogSettings saved_;
    VexoPlatform::DebugSink previous_;
};
