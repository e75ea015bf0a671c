// The simulator's RPC side over real loopback sockets (ephemeral ports).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tools/touchsim/SimTestClients.h"
#include "touchsim/Simulator.h"
#include "support/PackedValue.h"

using namespace touchsim;
using namespace touchsim_test;
using namespace VexoSource;

namespace {

class TouchsimRpc : public ::testing::Test {
protected:
    void SetUp() override {
        Options o;
        o.rpcPort = 0;
        o.stream = false;
        sim = std::make_unique<Simulator>(o);
        ASSERT_TRUE(sim->Start());
        client = std::make_unique<RpcClient>(sim->RpcPort());
        ASSERT_TRUE(client->Connected());
    }

    // True when no frame arrives within the silence window.
    bool Quiet(RpcClient& c) {
        Frame f;
        return !c.Receive(f, kSilenceMs) && c.lastRaw.empty();
    }

    std::unique_ptr<Simulator> sim;
    std::unique_ptr<RpcClient> client;
};

std::vector<uint8_t> ItemRequest(uint32_t item) {
    MultiConfigRecord r;
    std::memset(&r, 0, sizeof r);
    r.itemId = item;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    return std::vector<uint8_t>(p, p + sizeof r);
}

}  // namespace

TEST_F(TouchsimRpc, AnswersEachRequestWithOneReplyFrameAndTracesIt) {
    struct Case {
        uint32_t code;
        uint32_t expected;
        std::vector<uint8_t> payload;
        size_t replyLength;
    } cases[] = {
        {GetDeviceList, 1024, {}, 17},      {GetAccessState, 1, {}, 1},    {ResetDevice, 1, {}, 1},
        {GetDeviceInfo, 38, {}, 38},        {GetRuntimeStatus, 18, {}, 18}, {GetRunMode, 1, {}, 1},
        {SetRunMode, 1, {3}, 1},            {GetCalibration, 36, {}, 36},  {GetEffects, 36, {}, 36},
        {GetDeviceConfig, 31, {}, 31},      {GetMultiConfig, 48, ItemRequest(2), 48},
        {SetMultiConfig, 1, ItemRequest(5), 1}, {GetProductSeries, 42, {}, 42}, {1234, 1, {}, 1},
    };
    for (const Case& c : cases) {
        Frame reply;
        ASSERT_TRUE(client->Call(c.code, c.expected, reply, c.payload)) << Simulator::CodeName(c.code);
        EXPECT_EQ(reply.name, "FendrelRPC");
        EXPECT_EQ(reply.kind, kKindReply);
        EXPECT_EQ(reply.payload.size(), c.replyLength) << Simulator::CodeName(c.code);
    }

    std::vector<TraceEntry> trace = sim->Trace();
    ASSERT_EQ(trace.size(), std::size(cases));
    for (size_t i = 0; i < trace.size(); ++i) {
        EXPECT_EQ(trace[i].code, cases[i].code);
        EXPECT_EQ(trace[i].name, Simulator::CodeName(cases[i].code));
        EXPECT_EQ(trace[i].selector, 36u);
        EXPECT_EQ(trace[i].expectedLength, cases[i].expected);
        EXPECT_EQ(trace[i].payload, cases[i].payload);
    }
    EXPECT_EQ(trace.back().name, "Unknown");
    EXPECT_EQ(trace[0].Line().rfind("call GetDeviceList", 0), 0u) << trace[0].Line();
}

TEST_F(TouchsimRpc, WrittenRecordsChangeTheModelAndShowDecodedInTheTrace) {
    DeviceConfigRecord config = DeviceModel::FactoryDeviceConfig();
    config.mouseMode = 1;
    config.multiTouchMode = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&config);
    Frame reply;
    ASSERT_TRUE(client->Call(SetDeviceConfig, 1, reply, std::vector<uint8_t>(p, p + sizeof config)));
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{1});

    EXPECT_EQ(uint32_t{Value(sim->Model().deviceConfig.mouseMode)}, 1u);
    std::vector<TraceEntry> trace = sim->Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_NE(trace[0].decoded.find("mouse=1 multitouch=0"), std::string::npos) << trace[0].decoded;

    // The model is also editable from the test side.
    sim->Edit([](DeviceModel& m) { m.touches = 4; });
    ASSERT_TRUE(client->Call(GetRuntimeStatus, 18, reply));
    EXPECT_EQ(reply.payload[9], 4);
}

TEST_F(TouchsimRpc, FramesThatAreNotCallsAreIgnored) {
    RequestHead head;
    head.code = GetAccessState;
    head.expectedLength = 1;
    std::vector<uint8_t> body = BuildRequestPayload(head, nullptr, 0);
    std::vector<uint8_t> shortFrame = BuildFrame("FendrelRPC", kKindCall, nullptr, 0);
    shortFrame.pop_back();
    std::vector<uint8_t> unterminated = BuildFrame("FendrelRPC", kKindCall, body.data(), body.size());
    std::memset(unterminated.data(), 'A', 16);
    const std::vector<uint8_t> frames[] = {
        shortFrame,                                                // 19 bytes
        BuildFrame("OtherRPC", kKindCall, body.data(), body.size()),   // another name
        BuildFrame("FendrelRPC", kKindReply, body.data(), body.size()),  // a reply from the client
        BuildFrame("FendrelRPC", 7, body.data(), body.size()),     // unknown kind
        BuildFrame("FendrelRPC", kKindCall, body.data(), 15),      // no complete head
        unterminated,                                              // name without terminator
    };
    for (const auto& f : frames) {
        client->lastRaw.clear();
        client->SendRaw(f);
        EXPECT_TRUE(Quiet(*client));
    }
    EXPECT_TRUE(sim->Trace().empty());
    EXPECT_EQ(sim->IgnoredFrames(), std::size(frames));

    Frame reply;
    EXPECT_TRUE(client->Call(GetAccessState, 1, reply)) << "a proper call still gets its answer";
}

TEST_F(TouchsimRpc, UnpluggedOrSilentServiceTracesCallsButSendsNothing) {
    struct Switch {
        const char* what;
        std::function<void()> off, on;
    } switches[] = {
        {"unplugged", [&] { sim->Unplug(); }, [&] { sim->Plug(); }},
        {"silent", [&] { sim->SetAnswering(false); }, [&] { sim->SetAnswering(true); }},
    };
    for (const Switch& s : switches) {
        sim->ClearTrace();
        s.off();
        client->lastRaw.clear();
        client->SendCall(GetAccessState, 1);
        EXPECT_TRUE(Quiet(*client)) << s.what;
        client->SendCall(SetRunMode, 1, {2});
        EXPECT_TRUE(Quiet(*client)) << s.what;
        // The trace says that no reply went: a read shows no answer, a write what it stored.
        const std::vector<TraceEntry> trace = sim->Trace();
        ASSERT_EQ(trace.size(), 2u) << s.what;
        EXPECT_EQ(trace[0].decoded, std::string("reply withheld: ") + s.what);
        EXPECT_EQ(trace[1].decoded, std::string("runMode=2; reply withheld: ") + s.what);
        EXPECT_EQ(trace[0].Line().find("accessible"), std::string::npos) << trace[0].Line();
        s.on();
        Frame reply;
        EXPECT_TRUE(client->Call(GetAccessState, 1, reply)) << s.what;
        EXPECT_EQ(sim->Trace().back().decoded, "accessible") << s.what;
    }
}

TEST_F(TouchsimRpc, OneShotReplyFaultsAffectOnlyTheNextReply) {
    Frame reply;
    sim->SendOversizedNextReply();
    ASSERT_TRUE(client->Call(GetDeviceInfo, 38, reply));
    EXPECT_EQ(reply.payload.size(), 40u);
    ASSERT_TRUE(client->Call(GetDeviceInfo, 38, reply));
    EXPECT_EQ(reply.payload.size(), 38u);

    sim->SendTwentyByteNextReply();
    ASSERT_TRUE(client->Call(GetAccessState, 1, reply));
    EXPECT_EQ(client->lastRaw.size(), 20u);
    EXPECT_EQ(reply.kind, kKindReply);
    ASSERT_TRUE(client->Call(GetAccessState, 1, reply));
    EXPECT_EQ(client->lastRaw.size(), 21u);
}

TEST_F(TouchsimRpc, DelayedRepliesArriveLate) {
    sim->SetReplyDelayMs(400);
    auto start = std::chrono::steady_clock::now();
    client->SendCall(GetAccessState, 1);
    Frame reply;
    EXPECT_FALSE(client->Receive(reply, 150));
    ASSERT_TRUE(client->Receive(reply, kArriveMs));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));

    // Other clients are not held up by a delayed reply's wait: the other's answer comes while the
    // delayed one is still owed. (Told by the order of the replies, not by a tight bound: held up,
    // the other's answer could only come after the delayed one.)
    constexpr int kDelayMs = 2000;
    sim->SetReplyDelayMs(0);
    RpcClient other(sim->RpcPort());
    sim->SetReplyDelayMs(kDelayMs);
    const size_t before = sim->Trace().size();
    client->SendCall(GetAccessState, 1);
    // The delay is taken when the call is read: only then may it be lifted for the other client.
    ASSERT_TRUE(sim->WaitForCalls(before + 1, kArriveMs));
    sim->SetReplyDelayMs(0);
    EXPECT_TRUE(other.Call(GetAccessState, 1, reply, {}, kDelayMs + kArriveMs));
    EXPECT_FALSE(client->Receive(reply, 0)) << "the other's answer waited for the delayed one";
    EXPECT_TRUE(client->Receive(reply, kDelayMs + kArriveMs));
}

TEST_F(TouchsimRpc, AccessIsBusyAfterResetForTheSetTimeAndWhileForcedBusy) {
    auto access = [&] {
        Frame reply;
        EXPECT_TRUE(client->Call(GetAccessState, 1, reply));
        return reply.payload.empty() ? -1 : reply.payload[0];
    };
    EXPECT_EQ(access(), 1);
    // Long enough that a loaded machine never lets it pass between the reset and the first
    // question; it ends by itself, not before its time.
    constexpr int kBusyMs = 2000;
    sim->SetBusyAfterReset(kBusyMs);
    Frame reply;
    const auto reset = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->Call(ResetDevice, 1, reply));
    EXPECT_EQ(access(), 0);
    int state = 0;
    for (int asked = 0; (state = access()) == 0 && asked < 2 * (kBusyMs + kArriveMs) / 10; ++asked)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(state, 1) << "still busy long after its time";
    EXPECT_GE(std::chrono::steady_clock::now() - reset, std::chrono::milliseconds(kBusyMs)) << "ready too early";
    EXPECT_EQ(sim->Model().resetCount, 1u);

    sim->SetBusy(true);
    EXPECT_EQ(access(), 0);
    sim->SetBusy(false);
    EXPECT_EQ(access(), 1);
}

TEST_F(TouchsimRpc, UnsolicitedFramesReachEveryClient) {
    RpcClient second(sim->RpcPort());
    Frame f;
    ASSERT_TRUE(client->Call(GetAccessState, 1, f));  // both connections are accepted
    ASSERT_TRUE(second.Call(GetAccessState, 1, f));

    sim->SendCallFrame();
    for (RpcClient* c : {client.get(), &second}) {
        ASSERT_TRUE(c->Receive(f));
        EXPECT_EQ(f.name, "FendrelRPC");
        EXPECT_EQ(f.kind, kKindCall);
    }
    sim->SendGarbageFrame();
    for (RpcClient* c : {client.get(), &second}) {
        EXPECT_FALSE(c->Receive(f)) << "not a frame";
        EXPECT_GE(c->lastRaw.size(), 20u);
    }
}

TEST_F(TouchsimRpc, CloseClientsDropsConnectionsAndNewOnesAreServed) {
    Frame f;
    ASSERT_TRUE(client->Call(GetAccessState, 1, f));
    EXPECT_EQ(sim->RpcClients(), 1u);
    sim->CloseClients();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReceiveOnce(client->Fd(), bytes, kArriveMs), 0) << "the peer sees end of stream";

    RpcClient again(sim->RpcPort());
    EXPECT_TRUE(again.Call(GetAccessState, 1, f));
}

TEST(TouchsimLifecycle, StartFailsOnATakenPortAndStopIsRepeatable) {
    Options o;
    o.rpcPort = 0;
    o.streamPort = 0;
    Simulator first(o);
    ASSERT_TRUE(first.Start());
    EXPECT_NE(first.RpcPort(), 0);
    EXPECT_NE(first.StreamPort(), 0);

    Options clash = o;
    clash.rpcPort = first.RpcPort();
    Simulator second(clash);
    EXPECT_FALSE(second.Start());
    clash.rpcPort = 0;
    clash.streamPort = first.StreamPort();
    Simulator third(clash);
    EXPECT_FALSE(third.Start());

    first.Stop();
    first.Stop();
    EXPECT_EQ(ConnectTo(first.RpcPort()), -1);
}

TEST(TouchsimLifecycle, WaitForCallsWaitsForTheCount) {
    Options o;
    o.rpcPort = 0;
    o.stream = false;
    Simulator sim(o);
    ASSERT_TRUE(sim.Start());
    EXPECT_FALSE(sim.WaitForCalls(1, 50));
    std::thread caller([&] {
        RpcClient c(sim.RpcPort());
        Frame f;
        c.Call(GetDeviceList, 1024, f);
        c.Call(GetDeviceInfo, 38, f);
    });
    EXPECT_TRUE(sim.WaitForCalls(2, kArriveMs));
    caller.join();
}
