// The RPC channel's receive side: arbitrary frames delivered to a waiting call with any expected
// reply length, through the same dispatch the channel's receive thread runs, on this thread and
// without a socket.
//
// Input: a u32 expected reply length (any value, as SendRequest passes it as the capacity), then
// frames, each a u16 length (taken modulo 2049: one receive brings at most 2048 bytes) and that
// many bytes (fewer when the input ends). Frames are dispatched as the receive thread does while a
// call waits; the first reply frame wakes the call, which clears its slot; the frames after it
// arrive with no call waiting, as late replies do. The call waits under the channel's name, so a
// receive may hold several frames, each beginning with that name and a call or reply kind.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "servicelink/VexoRPC.h"
#include "servicelink/VexoRPCReceiver.h"
#include "foundation/VexoTCPManager.h"

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
    std::vector<uint8_t> wakingReceive;
    size_t n = 0;
    {
        VexoRPCReceiver::SlotGuard slot(receiver, reply.data(), &result, expected, kServiceChannelName);
        while (!woken && receive(n)) {
            receiver.Dispatch(int32_t(n), *g_nowhere);
            if (receiver.Event()->IsSignalled()) {
                woken = true;
                wakingReceive.assign(receiver.Frame(), receiver.Frame() + n);
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
    // Where frames begin in the waking receive: at 0, and behind a whole head wherever the
    // channel's name with its terminator and a call or reply kind stand.
    std::vector<size_t> starts;
    if (wakingReceive.size() >= size_t(kFrameHeadSize)) starts.push_back(0);
    const size_t nameBytes = std::strlen(kServiceChannelName) + 1;
    for (size_t at = kFrameHeadSize; at + kFrameHeadSize <= wakingReceive.size(); ++at) {
        uint32_t kind;
        std::memcpy(&kind, wakingReceive.data() + at + kFrameNameSize, 4);
        if (at >= starts.back() + kFrameHeadSize &&
            std::memcmp(wakingReceive.data() + at, kServiceChannelName, nameBytes) == 0 &&
            (kind == kFrameCall || kind == kFrameReply))
            starts.push_back(at);
    }
    if (result >= 0) {
        // The result is the whole payload of one reply frame of the waking receive, copied as it came.
        bool matched = false;
        for (size_t i = 0; i < starts.size() && !matched; ++i) {
            const size_t end = i + 1 < starts.size() ? starts[i + 1] : wakingReceive.size();
            uint32_t kind;
            std::memcpy(&kind, wakingReceive.data() + starts[i] + kFrameNameSize, 4);
            matched = kind == kFrameReply && end - starts[i] - kFrameHeadSize == size_t(result) &&
                      (result == 0 ||
                       std::memcmp(reply.data(), wakingReceive.data() + starts[i] + kFrameHeadSize,
                                   size_t(result)) == 0);
        }
        Check(matched);
    } else if (woken && starts.size() == 1) {
        // A lone reply that fit must have been stored.
        Check(wakingReceive.size() - kFrameHeadSize > expected);
    }
    for (size_t k = result > 0 ? size_t(result) : 0; k < reply.size(); ++k) Check(reply[k] == kCanary);

    // Success means a stored reply that the caller's buffer holds, empty only when none was expected.
    if (ReplyOk(result, expected) == 1)
        Check(result >= 0 && uint32_t(result) <= expected && (result == 0) == (expected == 0));
    return 0;
}
