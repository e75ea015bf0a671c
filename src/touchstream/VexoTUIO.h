// The reader of the touch service's live touch stream (TUIO cursor messages in XML packets, TCP
// 127.0.0.1 port 3000). Its worker thread receives the stream, rebuilds the touch set from every
// packet about cursors and hands the set to the owner's callback.
//
// Sequence: Initialize (connect) -> SetTouchCallback -> Start -> Release (stop, empty the set).
// A reader is initialised once: a connection left open by an earlier Initialize makes the next one
// fail.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/VexoObj.h"
#include "foundation/VexoThread.h"
#include "foundation/VexoTCPManager.h"
#include "touchstream/TuioStream.h"
#include "touchstream/VexoGroup.h"
#include "touchstream/VexoTUIOTouch.h"

namespace VexoSource {

class VexoTUIO : public VexoThread, public VexoObj {
public:
    using TouchCallback = void (*)(const VexoGroup<VexoTUIOTouch_Ele>& touches, void* user);

    static constexpr int kStreamPort = 3000;
    // Pause after a failed receive (and the wait's time-out should the stop event be missing).
    static constexpr int kWaitStepMs = 10;

    VexoTUIO();
    ~VexoTUIO() override;

    // Connects to 127.0.0.1:3000; the socket then works non-blocking. Returns the connected flag.
    int32_t Initialize() override;
    int32_t InitializeAt(const char* host, int port);
    // Stops the reader, empties the touch set and clears the connected flag. The connection stays
    // open until the reader is destroyed.
    void Release() override;

    // Plain assignment by the owner before Start. The callback runs on the reader thread once per
    // packet about cursors, after the set has been replaced; it may only read the set.
    void SetTouchCallback(TouchCallback callback, void* user) {
        m_callback = callback;
        m_user = user;
    }

    // The reader loop: handles every complete packet, then waits for and takes one receive.
    void Run() override;

    // The most text that has waited in the accumulator after a receive since construction: one
    // receive's worth plus the part of a packet still to come, however fast the service sends.
    size_t PeakBacklog() const { return m_peakBacklog.load(std::memory_order_relaxed); }

    // Read only while the reader is not running (the reader thread owns the set while it runs).
    const VexoGroup<VexoTUIOTouch_Ele>& Touches() const { return m_touches; }

    // True once the service closed the stream: no touch will come any more (any thread).
    bool StreamEnded() const { return m_ended.load(std::memory_order_acquire); }

    int32_t connected = 0;

private:
    std::atomic<bool> m_ended{false};
    VexoTCPManager m_connection;
    VexoGroup<VexoTUIOTouch_Ele> m_touches;
    TouchCallback m_callback = nullptr;
    void* m_user = nullptr;
    std::atomic<size_t> m_peakBacklog{0};  // written by the reader thread
};

}  // namespace VexoSource
