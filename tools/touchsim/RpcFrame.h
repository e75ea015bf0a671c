// Frames of the service's RPC channel: a 16-byte zero-terminated name, a u32 kind (1 call,
// 2 reply) and the payload. There is no length field: one send carries one frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace touchsim {

constexpr const char* kChannelName = "FendrelRPC";
constexpr size_t kFrameHeadSize = 20;
constexpr size_t kMaxFrameSize = 2048;
constexpr size_t kRequestHeadSize = 16;
constexpr uint32_t kKindCall = 1;
constexpr uint32_t kKindReply = 2;

struct Frame {
    std::string name;
    uint32_t kind = 0;
    std::vector<uint8_t> payload;
};

struct RequestHead {
    uint32_t selector = 0;
    uint32_t code = 0;
    uint32_t expectedLength = 0;
    uint32_t reserved = 0;
};

std::vector<uint8_t> BuildFrame(const std::string& name, uint32_t kind, const uint8_t* payload, size_t length);

// False for fewer than 20 bytes or a name without its terminator inside the 16-byte field.
bool ParseFrame(const uint8_t* bytes, size_t length, Frame& out);

// The call payload of a request: head followed by the request's own bytes.
std::vector<uint8_t> BuildRequestPayload(const RequestHead& head, const uint8_t* payload, size_t length);
bool ParseRequestHead(const std::vector<uint8_t>& callPayload, RequestHead& head);

}  // namespace touchsim
