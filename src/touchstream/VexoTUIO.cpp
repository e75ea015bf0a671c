#include "touchstream/VexoTUIO.h"

#include "foundation/VexoLog.h"

namespace VexoSource {

VexoTUIO::VexoTUIO() = default;

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
    bool maybeMore = false;  // the last step cut something: another packet may be complete already
    bool closedLogged = false;
    while (!StopRequested()) {
        if (!m_connection.IsOpen()) {
            // The service closed the stream: keep the last touches and wait to be stopped.
            if (!closedLogged) {
                VexoLogInfo(L"Touch stream closed by the service");
                closedLogged = true;
            }
            if (!maybeMore) {
                SleepFor(kWaitStepMs);
                continue;
            }
        } else if (maybeMore || m_connection.WaitReadable(kWaitStepMs)) {
            const std::string chunk = m_connection.ReceiveText();
            if (chunk.empty() && !maybeMore && m_connection.IsOpen()) {
                // Readable yet nothing received (a socket error): pause rather than spin.
                SleepFor(kWaitStepMs);
                continue;
            }
            stream.Append(chunk);
        } else {
            continue;
        }

        const TuioStepResult step = stream.Step();
        maybeMore = step != TuioStepResult::Idle;
        if (step == TuioStepResult::Replaced && m_callback) m_callback(m_touches, m_user);
    }
}

}  // namespace VexoSource
