// The RPC channel's receive side: arbitrary frames delivered to a waiting call with any expected
// reply length, through the same dispatch the channel's receive thread runs, on this thread and
// without a socket.
//
// Input: a u32 expected reply length (any value, as SendRequest passes it as the capacity), then
// frames, each a u16 length (taken modulo 2049: one receive brings at most 2048 bytes) and that
// many bytes (fewer when the input ends). Frames are dispatched as the receive thread does while a
// call waits; the first reply frame wakes the call, which clears its slot; the frames after it
// arrive with no call waiting, as late replies do.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "servicelink/VexoRPC.h"
#include "servicelink/VexoRPCReceiver.h"
#include "servicelink/VexoTCPManager.h"

using namespace VexoSource;
using QlnFuzz::Check;

namespace {

constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanary = 0xCD;
constexpr uint8_t kStaleFrameByte = 0x5A;
constexpr uint8_t kAnswerByte = 0xA5;

uint32_t TakeU32(const unsigned char*& p, size_t& left) {
    uint32_t v = 0;
    const size_t n = left < 4 ? left : 4;
    std::memcpy(&v, p, n);
    p += n;
    left -= n;
    return v;
}

// A call from the service: checks what the receive side hands over and answers with a length
// taken from the call's first two bytes, which may be negative or beyond the frame.
int32_t CheckingHandler(const uint8_t* payload, int32_t length, uint8_t* output, int32_t outputCapacity,
                        const char* name, uintptr_t) {
    Check(length >= 0 && length <= kFramePayloadCapacity && payload && output);
    Check(outputCapacity == kFramePayloadCapacity && name && std::strlen(name) < size_t(kFrameNameSize + 1));
    int16_t wanted = int16_t(length);
    if (length >= 2) std::memcpy(&wanted, payload, sizeof wanted);
    const int32_t fill = wanted < 0 ? 0 : (wanted > outputCapacity ? outputCapacity : wanted);
    std::memset(output, kAnswerByte, size_t(fill));
    return wanted;
}

// One receive side for the whole run (its waitable object and registry entry are not per input),
// and a connection that was never made, so that answers to calls go nowhere.
VexoRPCReceiver* g_receiver = nullptr;
VexoTCPManager* g_nowhere = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    g_receiver = new VexoRPCReceiver;
    g_nowhere = new VexoTCPManager;
    g_receiver->RegisterHandler(0, kServiceChannelName, CheckingHandler, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!data) return 0;
    VexoRPCReceiver& receiver = *g_receiver;
    const unsigned char* p = data;
    size_t left = size;
    const uint32_t expected = TakeU32(p, left);

    // No reply can be longer than one frame's payload, so a larger capacity needs no larger buffer.
    const size_t usable = expected < uint32_t(kFramePayloadCapacity) ? expected : size_t(kFramePayloadCapacity);
    std::vector<uint8_t> reply(usable + kCanaryBytes, kCanary);

    std::memset(receiver.Frame(), kStaleFrameByte, kFrameSize);
    GuardedReset(receiver.Event());

    // Takes the next frame into the receive frame, as one receive does: its first n bytes are
    // overwritten and the rest keeps what it held. False when the input has no frame left.
    auto receive = [&](size_t& n) {
        if (left < 2) return false;
        uint16_t length;
        std::memcpy(&length, p, 2);
        p += 2;
        left -= 2;
        n = std::min(size_t(length) % size_t(kFrameSize + 1), left);
        if (n > 0) std::memcpy(receiver.Frame(), p, n);
        p += n;
        left -= n;
        return true;
    };

    int32_t result = -1;
    bool woken = false;
    std::vector<uint8_t> wakingPayload;
    size_t n = 0;
    {
        VexoRPCReceiver::SlotGuard slot(receiver, reply.data(), &result, expected);
        while (!woken && receive(n)) {
            receiver.Dispatch(int32_t(n), *g_nowhere);
            if (receiver.Event()->IsSignalled()) {
                woken = true;
                if (n >= size_t(kFrameHeadSize))
                    wakingPayload.assign(receiver.Frame() + kFrameHeadSize, receiver.Frame() + n);
                Check(GuardedWait(receiver.Event()) == 1);
            }
        }
    }
    const int32_t settled = result;

    // Late frames: no call is waiting, nothing of theirs may reach the buffer or the result.
    while (receive(n)) receiver.Dispatch(int32_t(n), *g_nowhere);
    Check(result == settled);

    // Only a reply frame wakes the caller; without one the call times out with -1.
    Check(woken || result == -1);
    Check(result >= -1 && result <= int32_t(usable));
    if (result >= 0) {
        // The result is the waking reply's whole payload, copied as it came.
        Check(size_t(result) == wakingPayload.size());
        Check(result == 0 || std::memcmp(reply.data(), wakingPayload.data(), size_t(result)) == 0);
    } else {
        // A reply that fit must have been stored.
        Check(!woken || wakingPayload.size() > expected);
    }
    for (size_t k = result > 0 ? size_t(result) : 0; k < reply.size(); ++k) Check(reply[k] == kCanary);

    // Success means a stored reply that the caller's buffer holds, empty only when none was expected.
    if (ReplyOk(result, expected) == 1)
        Check(result >= 0 && uint32_t(result) <= expected && (result == 0) == (expected == 0));
    return 0;
}
