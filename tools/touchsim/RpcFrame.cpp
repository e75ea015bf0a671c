#include "touchsim/RpcFrame.h"

#include <algorithm>
#include <cstring>

namespace touchsim {

std::vector<uint8_t> BuildFrame(const std::string& name, uint32_t kind, const uint8_t* payload, size_t length) {
    std::vector<uint8_t> frame(kFrameHeadSize + length, 0);
    std::memcpy(frame.data(), name.data(), std::min<size_t>(name.size(), 15));
    std::memcpy(frame.data() + 16, &kind, 4);
    if (length) std::memcpy(frame.data() + kFrameHeadSize, payload, length);
    return frame;
}

bool ParseFrame(const uint8_t* bytes, size_t length, Frame& out) {
    if (length < kFrameHeadSize) return false;
    const void* end = std::memchr(bytes, 0, 16);
    if (!end) return false;
    out.name.assign(reinterpret_cast<const char*>(bytes), static_cast<const uint8_t*>(end) - bytes);
    std::memcpy(&out.kind, bytes + 16, 4);
    out.payload.assign(bytes + kFrameHeadSize, bytes + length);
    return true;
}

std::vector<uint8_t> BuildRequestPayload(const RequestHead& head, const uint8_t* payload, size_t length) {
    std::vector<uint8_t> out(kRequestHeadSize + length);
    std::memcpy(out.data(), &head.selector, 4);
    std::memcpy(out.data() + 4, &head.code, 4);
    std::memcpy(out.data() + 8, &head.expectedLength, 4);
    std::memcpy(out.data() + 12, &head.reserved, 4);
    if (length) std::memcpy(out.data() + kRequestHeadSize, payload, length);
    return out;
}

bool ParseRequestHead(const std::vector<uint8_t>& callPayload, RequestHead& head) {
    if (callPayload.size() < kRequestHeadSize) return false;
    std::memcpy(&head.selector, callPayload.data(), 4);
    std::memcpy(&head.code, callPayload.data() + 4, 4);
    std::memcpy(&head.expectedLength, callPayload.data() + 8, 4);
    std::memcpy(&head.reserved, callPayload.data() + 12, 4);
    return true;
}

}  // namespace touchsim
