// The channel's receive side without a socket: what each received frame does to a waiting call.
// One table for every kind of frame a service can send, stray and late ones included; the
// channel's tests over a socket only check that frames reach this side.
#include "servicelink/VexoRPCReceiver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "servicelink/LinkTestSupport.h"
#include "foundation/VexoTCPManager.h"

using namespace VexoSource;
using linktest::Bytes;
using linktest::Frame;
using linktest::Join;
using linktest::Pattern;
using linktest::ReplyFrame;

namespace {

const char kCallName[] = "FendrelRPC";

TEST(VexoRPCReceiver, EachFrameKindMeetsTheWaitingCallAsDefined) {
    struct Row {
        const char* what;
        std::vector<Bytes> frames;  // in the order they arrive, one receive each
        bool callWaits;             // a call waits with a reply slot of `capacity` bytes
        uint32_t capacity;
        bool wakes;                 // some frame signalled the call's waitable object
        int32_t result;             // the call's result afterwards (-1: nothing stored)
        Bytes stored;               // the reply buffer's first bytes afterwards
    } rows[] = {
        {"reply that fits", {ReplyFrame({0x66})}, true, 1, true, 1, {0x66, 0xEE}},
        {"reply shorter than expected", {ReplyFrame({0x61, 0x62})}, true, 4, true, 2, {0x61, 0x62, 0xEE}},
        {"bare head: an empty reply", {ReplyFrame({})}, true, 1, true, 0, {0xEE}},
        {"reply longer than expected: refused, but the call stops waiting", {ReplyFrame({1, 2})}, true, 1, true, -1,
         {0xEE, 0xEE}},
        {"shorter than a frame head", {Bytes(10, 0xAB)}, true, 1, false, -1, {0xEE}},
        {"unknown kind", {Frame(7, {0x55})}, true, 1, false, -1, {0xEE}},
        {"call from the service, no handler for it", {Frame(1, Pattern(8), "AnyName")}, true, 1, false, -1, {0xEE}},
        {"stray frames, then the reply",
         {Bytes(10, 0xAB), Frame(7, {0x55}), Frame(1, Pattern(8), "AnyName"), ReplyFrame({0x66})}, true, 1, true, 1,
         {0x66, 0xEE}},
        {"late reply with nobody waiting", {ReplyFrame({0x22})}, false, 0, true, -1, {0xEE}},
        {"a second reply after the first was stored", {ReplyFrame({0x01}), ReplyFrame({0x02})}, true, 1, true, 1,
         {0x01}},
        // A service that writes frames faster than they are read: TCP hands them over in one receive.
        {"stray call and the reply in one receive", {Join({Frame(1, Pattern(8), "AnyName"), ReplyFrame({0x66})})},
         true, 1, true, 1, {0x66, 0xEE}},
        {"the reply and a stray call in one receive", {Join({ReplyFrame({0x61, 0x62}), Frame(1, Pattern(8))})}, true,
         4, true, 2, {0x61, 0x62, 0xEE}},
        {"two replies in one receive: the first answers", {Join({ReplyFrame({0x01}), ReplyFrame({0x02})})}, true, 1,
         true, 1, {0x01, 0xEE}},
        {"stray call, then an empty reply in one receive", {Join({Frame(1, {}, "AnyName"), ReplyFrame({})})}, true, 1,
         true, 0, {0xEE}},
        {"the call's name inside a payload is no frame of its own",
         {ReplyFrame(Join({Bytes{0x01}, Bytes(kCallName, kCallName + 11), Bytes(9, 0)}))}, true, 21, true, 21,
         {0x01, 'F'}},
    };
    VexoTCPManager nowhere;  // never connected: an answer to a call would go nowhere
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        VexoRPCReceiver receiver;
        uint8_t buffer[32];
        std::memset(buffer, 0xEE, sizeof buffer);
        int32_t result = -1;
        bool woken = false;
        {
            std::unique_ptr<VexoRPCReceiver::SlotGuard> slot;
            if (row.callWaits) slot = std::make_unique<VexoRPCReceiver::SlotGuard>(receiver, buffer, &result, row.capacity, kCallName);
            for (const Bytes& frame : row.frames) {
                std::memcpy(receiver.Frame(), frame.data(), frame.size());
                receiver.Dispatch(int32_t(frame.size()), nowhere);
                woken = woken || receiver.Event()->IsSignalled();
                // A woken call takes its result and clears its slot before anything else arrives.
                if (receiver.Event()->IsSignalled()) slot.reset();
                GuardedReset(receiver.Event());
            }
        }
        EXPECT_EQ(woken, row.wakes);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(Bytes(buffer, buffer + row.stored.size()), row.stored);
    }
}

}  // namespace
