// The touch stream as the reader sees it: arbitrary bytes in arbitrary chunks through the framer,
// the decoder and the touch set. The first byte chooses the chunk size (1..256), the rest is
// appended chunk by chunk and every complete packet is handled.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "touchstream/TuioStream.h"

using namespace VexoSource;
using QlnFuzz::Check;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
        Check(stream.Framer().Pending().size() <= TuioFramer::kMaxAccumulator);
        Check(touches.Count() >= 0 && touches.Count() <= VexoGroup<VexoTUIOTouch_Ele>::kMaxElements);
    }
    return 0;
}
