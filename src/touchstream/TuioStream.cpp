#include "touchstream/TuioStream.h"

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

}  // namespace VexoSource
