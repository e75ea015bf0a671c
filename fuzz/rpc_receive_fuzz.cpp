// The RPC channel's receive side: arbitrary frames delivered to a waiting call with any expected
// reply length (input layout in src/servicelink/VexoRPCFuzz.cpp).
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "servicelink/VexoRPC.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return VexoSource::VexoRPCFuzzOneInput(data, size);
}
