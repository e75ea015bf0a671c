#include "servicelink/VexoRPC.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "servicelink/LinkTestSupport.h"
#include "support/ManualClock.h"
#include "support/PackedValue.h"
#include "support/ThreadActivity.h"

using namespace VexoSource;
using linktest::Answer;
using linktest::Bytes;
using linktest::FakeService;
using linktest::MsSince;
using linktest::Pattern;
using linktest::ReplyFrame;
using linktest::Step;
using linktest::U32At;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

DeviceHandle testDevice(0);

// Makes a request that no answer will end and returns its result: the clock stands still while
// the request is sent, then moves on until the request has given up. (Moved only once the request
// waits, a single step could land before its wait began and leave it waiting for good.)
int32_t UnansweredRequest(clocktest::ManualClock& clock, uint8_t* buffer, int32_t* ok) {
    std::atomic<bool> done{false};
    int32_t result = 99;
    std::thread requester([&] {
        result = SendRequest(testDevice, GetAccessState, buffer, ok, nullptr, 0, 1);
        done = true;
    });
    for (int step = 0; step < 1000 && !done; ++step) {
        clock.Advance(500);
        std::this_thread::sleep_for(milliseconds(10));
    }
    requester.join();
    return result;
}

// A channel connected to a scripted service on its own ephemeral port.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.Listening());
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", service.Port()));
        ASSERT_TRUE(service.WaitClient());
    }
    void TearDown() override {
        CloseServiceChannel();
        SetSelector(0);
    }
    // The device the test's requests address.
    static void SetSelector(uint32_t value) { testDevice = DeviceHandle(value); }
    FakeService service;
};

TEST_F(ChannelTest, RequestGoesOnTheWireByteExactly) {
    SetSelector(0x01020304);
    MultiConfigRecord record = {};
    record.itemId = 13;
    record.length = 40;
    record.mark = kMultiConfigMark;
    for (int i = 0; i < 36; ++i) record.data[i] = uint8_t(0xA0 + i);
    const Bytes payload(reinterpret_cast<uint8_t*>(&record), reinterpret_cast<uint8_t*>(&record) + 48);

    MultiConfigRecord reply = {};
    int32_t ok = 0;
    EXPECT_EQ(SendRequest(testDevice, GetMultiConfig, &reply, &ok, &record, 48, 48), 48);
    EXPECT_EQ(ok, 1);

    Bytes expected = {'F', 'e', 'n', 'd', 'r', 'e', 'l', 'R', 'P', 'C', 0, 0, 0, 0, 0, 0,  // name
                      1, 0, 0, 0,                                                          // kind: call
                      4, 3, 2, 1,                                                          // selector
                      49, 0, 0, 0,                                                         // code
                      48, 0, 0, 0,                                                         // expected reply
                      0, 0, 0, 0};                                                         // reserved
    expected.insert(expected.end(), payload.begin(), payload.end());
    ASSERT_EQ(service.ReceivedCount(), 1u);
    EXPECT_EQ(service.Received()[0].size(), 84u);
    EXPECT_EQ(service.Received()[0], expected);
    // The fake answers 1, 2, 3, ... of the expected length.
    EXPECT_EQ(Value(reply.itemId), 0x04030201u);

    // A request without payload is the 36-byte frame.
    uint8_t state = 0;
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, &state, &ok, nullptr, 0, 1), 1);
    ASSERT_EQ(service.ReceivedCount(), 2u);
    Bytes expectedHeadOnly(expected.begin(), expected.begin() + 36);
    expectedHeadOnly[24] = uint8_t(GetAccessState);
    expectedHeadOnly[28] = 1;
    EXPECT_EQ(service.Received()[1], expectedHeadOnly);
}

TEST_F(ChannelTest, ReplyLengthDecidesResultAndOk) {
    const struct {
        const char* what;
        size_t replyPayload;
        uint32_t expected;
        int32_t result;
        int32_t ok;
        bool copied;
    } rows[] = {
        {"head only", 0, 1, 0, 0, false},
        {"one byte", 1, 1, 1, 1, true},
        {"exact record", 38, 38, 38, 1, true},
        {"shorter than expected", 18, 38, 18, 1, true},
        {"longer than expected", 40, 38, -1, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        service.Script(Answer(ReplyFrame(Pattern(row.replyPayload, 0x40))));
        uint8_t buffer[64];
        std::memset(buffer, 0xEE, sizeof buffer);
        int32_t ok = -7;
        const auto start = Clock::now();
        EXPECT_EQ(SendRequest(testDevice, GetDeviceInfo, buffer, &ok, nullptr, 0, row.expected), row.result);
        EXPECT_EQ(ok, row.ok);
        EXPECT_LT(MsSince(start), 1000);  // every row is answered, none waits for the time-out
        EXPECT_EQ(buffer[0], row.copied ? 0x40 : 0xEE);
        if (row.copied) {
            EXPECT_EQ(buffer[row.replyPayload - 1], uint8_t(0x40 + row.replyPayload - 1));
        }
        EXPECT_EQ(buffer[row.replyPayload], 0xEE);  // nothing beyond the reply is written
    }
}

TEST_F(ChannelTest, PromptRepliesAreNeverLost) {
    // The fake answers the moment a request arrives; each reply must find its caller waiting.
    for (int i = 0; i < 300; ++i) {
        uint8_t state = 0;
        int32_t ok = 0;
        ASSERT_EQ(SendRequest(testDevice, GetAccessState, &state, &ok, nullptr, 0, 1), 1) << "request " << i;
        ASSERT_EQ(ok, 1);
        ASSERT_EQ(state, 1);
    }
}

// A service that writes a frame of its own right before or after the reply: both come in one
// receive (one send here), and the reply must still answer its call at once.
TEST_F(ChannelTest, ReplySharingAReceiveWithAnotherFrameStillAnswers) {
    const Bytes stray = linktest::Frame(1, Pattern(12, 0x70), "Notify");
    const Bytes sameName = linktest::Frame(1, Pattern(12, 0x70));
    const Bytes reply = ReplyFrame(Pattern(38, 0x40));
    for (const Bytes& sent : {linktest::Join({stray, reply}), linktest::Join({reply, sameName})}) {
        service.Script(Answer(sent));
        uint8_t buffer[38] = {};
        int32_t ok = 0;
        const auto start = Clock::now();
        EXPECT_EQ(SendRequest(testDevice, GetDeviceInfo, buffer, &ok, nullptr, 0, 38), 38);
        EXPECT_EQ(ok, 1);
        EXPECT_LT(MsSince(start), 1000);
        EXPECT_EQ(Bytes(buffer, buffer + 38), Pattern(38, 0x40));
    }
}

// The bound of a request runs on the monotonic clock (here one moved by hand): what the wall clock
// does cannot end it early or stretch it, and it ends when that clock has moved 3000 ms. The real
// three seconds are the simulated service's fault scenarios' to show.
TEST_F(ChannelTest, NoReplyFailsWhenItsBoundHasPassedOnTheClock) {
    LogCapture log;
    clocktest::ManualClock clock;
    service.Script(linktest::NoAnswer());
    std::atomic<int32_t> result{99};
    std::atomic<int32_t> ok{1};
    uint8_t buffer[36] = {};
    // Nothing else reads this clock: the requester's first read is where its bound starts.
    const uint64_t readsBefore = clock.Reads();
    std::thread requester([&] {
        int32_t replyOk = 1;
        result = SendRequest(testDevice, GetEffects, buffer, &replyOk, nullptr, 0, 36);
        ok = replyOk;
    });
    ASSERT_TRUE(service.WaitReceived(1));
    ASSERT_TRUE(clock.WaitForReadsAbove(readsBefore)) << "sent, now waiting from this clock time";
    clock.Advance(2990);
    // Two more reads: the first began after the step and saw it, the second shows that the wait
    // went on after seeing it.
    ASSERT_TRUE(clock.WaitForReadsAbove(clock.Reads() + 1));
    EXPECT_EQ(result, 99) << "ended before its 3000 ms had passed on the clock";
    const auto stepped = Clock::now();
    clock.Advance(10);
    requester.join();
    EXPECT_LT(MsSince(stepped), 2000) << "did not end when the clock reached its bound";
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(log.Count("Exception - RPC FendrelRPC failed"), 1);
}

// With nothing to receive, the receive thread sleeps until a reply or its stop request comes.
TEST_F(ChannelTest, AnIdleChannelCostsNoWakeUpsAndStopsAtOnce) {
    uint8_t state = 0;
    int32_t ok = 0;
    ASSERT_EQ(SendRequest(testDevice, GetAccessState, &state, &ok, nullptr, 0, 1), 1);
    std::this_thread::sleep_for(milliseconds(50));
    const long before = threadtest::ContextSwitches("rpc-receive");
    ASSERT_GE(before, 0) << "no receive thread by that name";
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_LE(threadtest::ContextSwitches("rpc-receive") - before, 2) << "the receive thread wakes while idle";
    EXPECT_TRUE(clocktest::ReturnsAtOnce([] { CloseServiceChannel(); }));
}

// A reply came too late, and the service then refuses the fresh connection that the next call needs.
TEST_F(ChannelTest, RefusedReconnectFailsThatCallThenEveryCallAtOnceWithTheReceiveThreadIdle) {
    LogCapture log;
    service.Script(linktest::NoAnswer());
    {
        clocktest::ManualClock clock;
        uint8_t first[1] = {};
        int32_t firstOk = 1;
        ASSERT_EQ(UnansweredRequest(clock, first, &firstOk), -1);
    }
    service.CloseListener();

    uint8_t buffer[1] = {0x5A};
    int32_t ok = 1;
    auto start = Clock::now();
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1), -1);
    EXPECT_EQ(ok, 0);
    EXPECT_LT(MsSince(start), 2000) << "well within its 3 s bound: a refused connection fails at once";
    EXPECT_EQ(log.Count("RPC connection reopened"), 1);
    EXPECT_TRUE(log.Contains("Connect(127.0.0.1, " + std::to_string(service.Port()) + ") failed"));
    EXPECT_EQ(g_pServiceChannel->Connection()->connected, 0);

    for (int i = 0; i < 3; ++i) {
        clocktest::ManualClock still;  // a call that waited for anything would not return
        EXPECT_EQ(clocktest::ReturnsWhileStill(still, [&] { return SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1); }),
                  0);
        EXPECT_EQ(ok, 0);
    }
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(service.ReceivedCount(), 1u) << "nothing more was sent";

    const long before = threadtest::ContextSwitches("rpc-receive");
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_LE(threadtest::ContextSwitches("rpc-receive") - before, 2) << "the receive thread spins";
    EXPECT_TRUE(clocktest::ReturnsAtOnce([] { CloseServiceChannel(); }));
}

TEST_F(ChannelTest, LateReplyNeverAnswersTheNextCall) {
    // The first reply has not come when the next call starts. Calls carry no identifier, so the
    // channel leaves the owed reply behind on a connection of its own: the second call gets its
    // own answer, on a fresh connection.
    LogCapture log;
    service.Script(linktest::NoAnswer());
    service.Script(Answer(ReplyFrame({0x22})));
    uint8_t first = 0, second = 0;
    int32_t ok = 1;
    {
        clocktest::ManualClock clock;
        EXPECT_EQ(UnansweredRequest(clock, &first, &ok), -1);
        EXPECT_EQ(ok, 0);
    }
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, &second, &ok, nullptr, 0, 1), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0x22);
    EXPECT_EQ(log.Count("Information - RPC connection reopened: the last call's reply is still owed"), 1);
    EXPECT_EQ(g_pServiceChannel->Connection()->connected, 1);
}

// The owed reply came before the next call: the debt is settled, and the service keeps the one
// connection it was given.
TEST_F(ChannelTest, LateReplyWithNobodyWaitingIsDropped) {
    LogCapture log;
    service.Script(linktest::NoAnswer());
    uint8_t buffer[1] = {0};
    int32_t ok = 1;
    {
        clocktest::ManualClock clock;
        EXPECT_EQ(UnansweredRequest(clock, buffer, &ok), -1);
    }
    ASSERT_TRUE(service.Push(ReplyFrame({0x22})));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(buffer[0], 0);  // the failed caller's buffer stays untouched
    service.Script(Answer(ReplyFrame({0x33})));
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1), 1);
    EXPECT_EQ(buffer[0], 0x33);
    EXPECT_EQ(log.Count("RPC connection reopened"), 0);
}

int32_t EchoHandler(const uint8_t* payload, int32_t length, uint8_t* output, int32_t capacity, const char*,
                    uintptr_t context) {
    if (length > capacity) return -1;
    std::memcpy(output, payload, size_t(length));
    output[length] = uint8_t(context);
    return length + 1;
}

TEST_F(ChannelTest, RegisteredHandlerAnswersACallFromTheService) {
    EXPECT_EQ(g_pServiceChannel->RegisterHandler(15, "Echo", &EchoHandler, 0), -1);
    EXPECT_EQ(g_pServiceChannel->RegisterHandler(-1, "Echo", &EchoHandler, 0), -1);
    ASSERT_EQ(g_pServiceChannel->RegisterHandler(3, "Echo", &EchoHandler, 0x7F), 3);
    ASSERT_TRUE(service.Push(linktest::Frame(1, {1, 2, 3}, "Echo")));
    ASSERT_TRUE(service.WaitReceived(1));
    EXPECT_EQ(service.Received()[0], linktest::Frame(2, {1, 2, 3, 0x7F}, "Echo"));
}

TEST_F(ChannelTest, ServiceClosingTheConnectionEndsAllRequests) {
    LogCapture log;
    service.Script(linktest::CloseAfterRequest());
    uint8_t buffer[1] = {0};
    int32_t ok = 1;
    {
        // The call in flight is not answered: it ends at its bound (here on a clock moved on).
        clocktest::ManualClock clock;
        EXPECT_EQ(UnansweredRequest(clock, buffer, &ok), -1);
        EXPECT_EQ(ok, 0);
    }
    EXPECT_EQ(log.Count("Exception - Client Closed for 0 byte was received"), 1);
    EXPECT_EQ(g_pServiceChannel->Connection()->connected, 0);
    EXPECT_EQ(g_pServiceChannel->Role(), VexoRPC::kRoleClient);

    const size_t frames = service.ReceivedCount();
    clocktest::ManualClock still;  // a call that waited for anything would not return
    EXPECT_EQ(clocktest::ReturnsWhileStill(still, [&] { return SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1); }),
              0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(service.ReceivedCount(), frames);
}

TEST_F(ChannelTest, OversizedCallIsRefusedWithoutSending) {
    const Bytes big(2029, 1);
    uint8_t reply[4];
    EXPECT_EQ(g_pServiceChannel->Call("FendrelRPC", big.data(), 2029, reply, 4, -1), -1);
    EXPECT_EQ(g_pServiceChannel->Call("FendrelRPC", big.data(), -1, reply, 4, -1), -1);
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(service.ReceivedCount(), 0u);
    // The largest call still goes out whole.
    service.Script(Answer(ReplyFrame({})));
    EXPECT_EQ(g_pServiceChannel->Call("FendrelRPC", big.data(), 2028, reply, 4, -1), 0);
    ASSERT_TRUE(service.WaitReceived(1));
    size_t total = 0;
    for (const Bytes& b : service.Received()) total += b.size();
    EXPECT_EQ(total, 2048u);
}

TEST_F(ChannelTest, SelectorOfTheChosenDeviceHeadsEveryRequest) {
    uint32_t selector = 0;
    ASSERT_TRUE(DeviceSelectorFromIdentifier("0102030405060708", selector));
    SetSelector(selector);
    uint8_t buffer[1];
    int32_t ok = 0;
    SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1);
    SendRequest(testDevice, ResetDevice, buffer, &ok, nullptr, 0, 1);
    ASSERT_EQ(service.ReceivedCount(), 2u);
    for (const Bytes& frame : service.Received()) EXPECT_EQ(U32At(frame, 20), 36u);
}

// A worker ended by its stop request while it waits for a reply: the reply slot pointed into its
// stack and must be cleared, so a reply that comes afterwards is dropped, not written there.
class RequestingWorker : public VexoThread {
public:
    void Run() override {
        uint8_t reply[4] = {};
        int32_t ok = 0;
        started = true;
        result = SendRequest(testDevice, GetDeviceInfo, reply, &ok, nullptr, 0, 4);
    }
    std::atomic<bool> started{false};
    std::atomic<int32_t> result{99};
};

TEST_F(ChannelTest, StoppedRequesterLeavesNoReplySlotBehind) {
    service.Script(linktest::NoAnswer());
    RequestingWorker worker;
    {
        // Standing still from before the request: its reply bound never passes, so only the stop
        // request can end its wait.
        clocktest::ManualClock still;
        worker.Start();
        ASSERT_TRUE(service.WaitReceived(1));
        EXPECT_TRUE(clocktest::ReturnsHereWhileStill(still, [&] { worker.Stop(); }, clocktest::kAtOnceHangGuardMs));
    }
    EXPECT_EQ(worker.result, -1);
    ASSERT_TRUE(service.Push(ReplyFrame({1, 2, 3, 4})));
    std::this_thread::sleep_for(milliseconds(50));
    uint8_t buffer[1] = {0};
    int32_t ok = 0;
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1), 1);
    EXPECT_EQ(ok, 1);
}

TEST(SendRequestWithoutChannel, ReturnsZeroAndSendsNothing) {
    ASSERT_EQ(g_pServiceChannel, nullptr);
    uint8_t buffer[1] = {0x5A};
    int32_t ok = 1;
    EXPECT_EQ(SendRequest(testDevice, GetAccessState, buffer, &ok, nullptr, 0, 1), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(buffer[0], 0x5A);
}

TEST(OpenServiceChannelAt, FailureLeavesNoChannel) {
    LogCapture log;
    const int port = linktest::UnusedPort();
    EXPECT_FALSE(OpenServiceChannelAt("127.0.0.1", port));
    EXPECT_EQ(g_pServiceChannel, nullptr);
    EXPECT_TRUE(log.Contains("Connect(127.0.0.1, " + std::to_string(port) + ") failed"));
}

// A channel whose receive thread cannot be had would hear no reply: it is not created, and the
// service is left unconnected.
TEST(OpenServiceChannelAt, WithoutAReceiveThreadLeavesNoChannel) {
    FakeService service;
    ASSERT_TRUE(service.Listening());
    LogCapture log;
    const auto previous = VexoThread::SetThreadCreator(
        [](pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; });
    const bool opened = OpenServiceChannelAt("127.0.0.1", service.Port());
    VexoThread::SetThreadCreator(previous);
    EXPECT_FALSE(opened);
    EXPECT_EQ(g_pServiceChannel, nullptr);
    EXPECT_TRUE(log.Contains("Exception - Thread rpc-receive could not be started"));
    EXPECT_TRUE(log.Contains("Exception - RPC client not created: no receive thread"));
}

TEST(DeviceSelector, IsTheSumOfTheIdentifiersBytePairs) {
    const struct {
        const char* id;
        bool ok;
        uint32_t selector;
    } rows[] = {
        {"0102030405060708", true, 36},
        {"ffffffffffffffff", true, 2040},
        {"FFFFFFFFFFFFFFFF", true, 2040},
        {"0102030405060708Z", true, 36},  // a 17th character is ignored
        {"010203040506070809", false, 0},  // longer: no byte at all
        {"01020304050607", false, 0},      // 7 bytes
        {"", false, 0},
        {"zz02030405060708", true, 35},    // a pair that does not convert counts 0
        {"1g02030405060708", true, 36},    // "1g" reads as 1
    };
    for (const auto& row : rows) {
        uint32_t selector = 0xDEAD;
        EXPECT_EQ(DeviceSelectorFromIdentifier(row.id, selector), row.ok) << row.id;
        EXPECT_EQ(selector, row.ok ? row.selector : 0xDEADu) << row.id;
    }
}

}  // namespace
