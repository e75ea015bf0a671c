#include "touchstream/VexoTUIO.h"

#include "foundation/VexoLog.h"

namespace VexoSource {

VexoTUIO::VexoTUIO() { SetThreadName("touch-reader"); }

VexoTUIO::~VexoTUIO() {
    // The reader thread uses the members: stop it before they go.
    Release();
}

int32_t VexoTUIO::Initialize() { return InitializeAt("127.0.0.1", kStreamPort); }

int32_t VexoTUIO::InitializeAt(const char* host, int port) {
    if (m_connection.Connect(host, port, false)) connected = 1;
    return connected;
}

void VexoTUIO::Release() {
    Stop();
    m_touches.Release();
    connected = 0;
}

void VexoTUIO::Run() {
    // The accumulator and the packet text belong to this pass of the reader thread.
    TuioStream stream(m_touches);
    bool closedLogged = false;
    while (!StopRequested()) {
        // Every complete packet is handled before anything more is read: a sender faster than the
        // handling is then held back by the socket's buffer and never grows the accumulator.
        const TuioStepResult step = stream.Step();
        if (step != TuioStepResult::Idle) {
            if (step == TuioStepResult::Replaced && m_callback) m_callback(m_touches, m_user);
            continue;
        }
        if (!m_connection.IsOpen()) {
            // The service closed the stream: keep the last touches and wait to be stopped.
            if (!closedLogged) {
                VexoLogInfo(L"Touch stream closed by the service");
                closedLogged = true;
                m_ended.store(true, std::memory_order_release);
            }
            WaitForStop();
            continue;
        }
        // Sleeps until data arrives or the stop request wakes it.
        const int stopFd = StopEventFd();
        if (m_connection.WaitReadableOrWoken(stopFd, stopFd >= 0 ? -1 : kWaitStepMs) !=
            VexoTCPManager::WaitResult::Readable)
            continue;
        const std::string chunk = m_connection.ReceiveText();
        if (chunk.empty()) {
            // Readable yet nothing received: a close (seen at the top of the loop) or a socket
            // error, for which the reader pauses rather than spin.
            if (m_connection.IsOpen()) SleepFor(kWaitStepMs);
            continue;
        }
        stream.Append(chunk);
        const size_t backlog = stream.Framer().Pending().size();
        if (backlog > m_peakBacklog.load(std::memory_order_relaxed))
            m_peakBacklog.store(backlog, std::memory_order_relaxed);
    }
}

}  // namespace VexoSource
