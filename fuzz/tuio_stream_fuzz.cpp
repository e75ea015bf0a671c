// The touch stream as the reader sees it: arbitrary bytes in arbitrary chunks through the framer,
// the decoder and the touch set (the first byte picks the chunk size).
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "touchstream/TuioStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return VexoSource::VexoTuioFuzzOneInput(data, size);
}
