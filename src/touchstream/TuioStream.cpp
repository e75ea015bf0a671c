#include "touchstream/TuioStream.h"

#include <cstdlib>

#include "foundation/VexoLog.h"

namespace VexoSource {

TuioStepResult TuioStream::Step() {
    switch (m_framer.Next(m_packet)) {
        case TuioFrameStep::NeedMore:
            return TuioStepResult::Idle;
        case TuioFrameStep::Packet:
            return m_decoder.Decode(m_packet, m_touches) == TuioDecodeResult::Touches ? TuioStepResult::Replaced
                                                                                       : TuioStepResult::Skipped;
        case TuioFrameStep::Overflow:
            VexoLogException(L"Touch stream: %u bytes without a closing tag discarded",
                             unsigned(m_framer.LastDiscarded()));
            return TuioStepResult::Skipped;
        case TuioFrameStep::Oversize:
        case TuioFrameStep::Orphan:
            return TuioStepResult::Skipped;
    }
    return TuioStepResult::Skipped;
}

int VexoTuioFuzzOneInput(const unsigned char* data, size_t size) {
    if (!data || size == 0) return 0;
    VexoGroup<VexoTUIOTouch_Ele> touches;
    TuioStream stream(touches);
    const size_t chunk = size_t(data[0]) + 1;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = size - at < chunk ? size - at : chunk;
        stream.Append(reinterpret_cast<const char*>(data + at), n);
        while (stream.Step() != TuioStepResult::Idle) {
        }
        // Once every complete packet is handled, the accumulator is within its bound.
        if (stream.Framer().Pending().size() > TuioFramer::kMaxAccumulator) std::abort();
        if (touches.Count() < 0 || touches.Count() > VexoGroup<VexoTUIOTouch_Ele>::kMaxElements) std::abort();
    }
    return 0;
}

}  // namespace VexoSource
