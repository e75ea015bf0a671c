// The touch stream's pipeline without I/O: bytes -> framer -> decoder -> touch set.
//
// The reader feeds it from its connection; tests and the fuzz target feed it byte chunks directly,
// so all go through exactly the same path. Used on one thread.
#pragma once

#include <cstddef>
#include <string>

#include "touchstream/TuioDecoder.h"
#include "touchstream/TuioFramer.h"
#include "touchstream/VexoGroup.h"
#include "touchstream/VexoTUIOTouch.h"

namespace VexoSource {

enum class TuioStepResult {
    Idle,      // nothing complete in the accumulator: wait for more bytes
    Replaced,  // a packet about cursors was handled: the touch set holds its touches
    Skipped,   // something was cut out of the stream and the set was left as it was
};

class TuioStream {
public:
    explicit TuioStream(VexoGroup<VexoTUIOTouch_Ele>& touches) : m_touches(touches) {
        m_packet.reserve(TuioFramer::kMaxPacket);
    }

    void Append(const char* data, size_t length) { m_framer.Append(data, length); }
    void Append(const std::string& chunk) { m_framer.Append(chunk); }

    // Handles at most one packet.
    TuioStepResult Step();

    const TuioFramer& Framer() const { return m_framer; }

private:
    VexoGroup<VexoTUIOTouch_Ele>& m_touches;
    TuioFramer m_framer;
    TuioDecoder m_decoder;
    std::string m_packet;  // the packet being parsed; below TuioFramer::kMaxPacket characters
};

}  // namespace VexoSource
