#include "platform/EndBound.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/TerminationSignals.h"

namespace VexoPlatform {

namespace {

std::atomic<bool> g_started{false};
std::atomic<bool> g_armed{true};

void SleepMs(uint32_t ms) {
    struct timespec left {
        time_t(ms / 1000), long(ms % 1000) * 1000000L
    };
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace

bool StartEndBound(uint32_t ms, int status, void (*beforeExit)(uint32_t ms)) {
    if (!TerminationSignals::Installed()) return false;
    if (g_started.exchange(true)) return true;
    try {
        // The signals stay with the GUI thread, which acts on them.
        ScopedTerminationSignalBlock block;
        std::thread([ms, status, beforeExit] {
            if (!TerminationSignals::WaitForFirst()) return;
            SleepMs(ms);
            if (!g_armed.load()) return;
            if (beforeExit) beforeExit(ms);
            _exit(status);
        }).detach();
    } catch (...) {
        g_started = false;
        return false;
    }
    return true;
}

void DisarmEndBound() { g_armed = false; }

}  // namespace VexoPlatform
