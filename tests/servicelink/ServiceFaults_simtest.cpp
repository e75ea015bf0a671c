// Fault scenarios of the service link against the simulated service on the fixed port (each test
// runs in its own network namespace): a service killed in the middle of a request sequence, a
// hanging service, late, oversized and head-only replies, garbage and unsolicited frames, a
// closed or reset connection. Each ends in a defined state: return values, log lines, what the
// service received, and every thread stopped within its bound.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/VexoThread.h"
#include "servicelink/FaultsSupport.h"
#include "servicelink/LinkTestSupport.h"
#include "servicelink/VexoRPC.h"
#include "support/ManualClock.h"
#include "touchsim/Simulator.h"
#include "touchstream/VexoTUIO.h"

using namespace VexoSource;
using faults::Clock;
using faults::kCallBoundMs;
using faults::ReturnsAtOnce;
using faults::kSlackMs;
using faults::kStopBoundMs;
using faults::MsSince;

namespace {

constexpr const char* kCallFailed = "Exception - RPC FendrelRPC failed";

// One read as the windows make it, with the reply checked against the default device model, so
// that an answer meant for another call shows.
struct Read {
    uint32_t code;
    uint32_t length;
    const char* name;
};
constexpr Read kDeviceInfo{GetDeviceInfo, 38, "GetDeviceInfo"};
constexpr Read kRuntimeStatus{GetRuntimeStatus, 18, "GetRuntimeStatus"};
constexpr Read kDeviceConfig{GetDeviceConfig, 31, "GetDeviceConfig"};
constexpr Read kAccessState{GetAccessState, 1, "GetAccessState"};

struct ReadResult {
    int32_t result = 0;
    int32_t ok = 0;
    bool untouched = true;  // no byte of the reply buffer was written
    bool own = false;       // the reply is this request's answer from the default model
    long long ms = 0;
};

ReadResult Send(const Read& r) {
    uint8_t buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    ReadResult out;
    const Clock::time_point start = Clock::now();
    out.result = SendRequest(DeviceHandle(0), r.code, buffer, &out.ok, nullptr, 0, r.length);
    out.ms = MsSince(start);
    for (uint8_t b : buffer) out.untouched = out.untouched && b == 0xEE;
    if (out.result == int32_t(r.length)) {
        switch (r.code) {
            case GetDeviceInfo: out.own = buffer[1] == 26 && buffer[35] == 65; break;
            case GetRuntimeStatus: out.own = buffer[9] == 10 && buffer[15] == 3; break;
            case GetDeviceConfig: {
                DeviceConfigRecord c;
                std::memcpy(&c, buffer, sizeof c);
                const uint32_t multi = c.multiTouchMode, mouse = c.mouseMode, first = c.byte0;
                out.own = first == 1 && multi == 1 && mouse == 0;
                break;
            }
            case GetAccessState: out.own = buffer[0] == 1; break;
        }
    }
    return out;
}

// A worker that makes one request and waits for it (the main window's watch does the same).
class OneRequest : public VexoThread {
public:
    explicit OneRequest(Read read) : m_read(read) {}
    void Run() override {
        result = Send(m_read).result;
        done = true;
    }
    std::atomic<int32_t> result{99};
    std::atomic<bool> done{false};

private:
    Read m_read;
};

// A request sequence that stops at its first unanswered request, as every sequence of the windows
// does. Each answer is checked as it comes.
class ReadSequence : public VexoThread {
public:
    void Run() override {
        const Read reads[] = {kDeviceInfo, kRuntimeStatus, kDeviceConfig};
        for (int i = 0; i < 200 && !StopRequested(); ++i) {
            const ReadResult r = Send(reads[i % 3]);
            ++sent;
            if (!r.ok) {
                failedResult = r.result;
                failedAfterMs = r.ms;
                break;
            }
            if (!r.own) ++wrongAnswers;
        }
        finished = Clock::now();
        done = true;
    }
    std::atomic<int> sent{0};
    std::atomic<int> wrongAnswers{0};
    std::atomic<int32_t> failedResult{99};
    std::atomic<long long> failedAfterMs{-1};
    std::atomic<bool> done{false};
    Clock::time_point finished;
};

// ---------------------------------------------------------------------------------------------
// The service as the touchsim program, killed with SIGKILL while a sequence runs.

class KilledService : public ::testing::Test {
protected:
    void SetUp() override {
        if (!faults::TouchsimProcess::Available()) GTEST_SKIP() << "touchsim is not beside the test binary";
        ASSERT_TRUE(service.Start({"--no-stream"}));
        // Slow replies keep the sequence going long enough to be cut in the middle.
        ASSERT_TRUE(service.Command("delay 150"));
        ASSERT_TRUE(OpenServiceChannel());
    }
    void TearDown() override { CloseServiceChannel(); }
    faults::TouchsimProcess service;
};

TEST_F(KilledService, SequenceStopsAtTheFirstFailureAndLaterRequestsFailAtOnce) {
    LogCapture log;
    ReadSequence sequence;
    sequence.Start();
    ASSERT_TRUE(service.WaitForCalls(4, 5000));
    const Clock::time_point killed = Clock::now();
    service.Kill();
    const size_t received = service.Calls().size();

    ASSERT_TRUE(faults::WaitFor([&] { return sequence.done.load(); }, kCallBoundMs + kSlackMs));
    EXPECT_LE(MsSince(killed), kCallBoundMs + kSlackMs);
    EXPECT_EQ(sequence.wrongAnswers, 0) << "every answer before the kill was the request's own";
    EXPECT_GE(sequence.sent, 4);
    EXPECT_LE(sequence.sent, int(received) + 1) << "nothing is sent after the first failure";
    EXPECT_LE(sequence.failedResult, 0);
    EXPECT_LE(sequence.failedAfterMs, kCallBoundMs + kSlackMs);

    // The receive thread saw the end of the connection; from now on requests fail without waiting.
    EXPECT_EQ(g_pServiceChannel->Connection()->connected, 0);
    EXPECT_TRUE(log.Contains("Exception - Client Closed for 0 byte was received") ||
                log.Contains("ECONNRESET: connection closed by remote host"));
    ReadResult later;
    EXPECT_TRUE(ReturnsAtOnce([&] { later = Send(kDeviceInfo); }));
    EXPECT_EQ(later.result, 0);
    EXPECT_EQ(later.ok, 0);
    EXPECT_TRUE(later.untouched);

    // The channel closes cleanly: its receive thread ends on its stop request.
    sequence.Stop();
    EXPECT_TRUE(ReturnsAtOnce([] { CloseServiceChannel(); }));
}

// The program's own switches: both of its connections ended with a reset, as a crashing service
// host would leave them.
TEST(ServiceProgram, ResetOfBothConnectionsEndsThemAtOnce) {
    if (!faults::TouchsimProcess::Available()) GTEST_SKIP() << "touchsim is not beside the test binary";
    faults::TouchsimProcess service;
    ASSERT_TRUE(service.Start());
    ASSERT_TRUE(OpenServiceChannel());
    VexoTUIO reader;
    ASSERT_EQ(reader.Initialize(), 1);
    reader.Start();
    LogCapture log;
    ASSERT_TRUE(Send(kDeviceInfo).own);

    ASSERT_TRUE(service.Command("reset"));
    ASSERT_TRUE(service.Command("streamreset"));
    EXPECT_TRUE(faults::WaitFor([] { return g_pServiceChannel->Connection()->connected == 0; }, 2000));
    EXPECT_TRUE(faults::WaitFor([&] { return log.Contains("Information - Touch stream closed by the service"); }, 2000));
    EXPECT_TRUE(log.Contains("ECONNRESET: connection closed by remote host"));
    ReadResult after;
    EXPECT_TRUE(ReturnsAtOnce([&] { after = Send(kDeviceInfo); }));
    EXPECT_EQ(after.result, 0);

    EXPECT_TRUE(ReturnsAtOnce([&] {
        reader.Release();
        CloseServiceChannel();
    }));
    EXPECT_EQ(service.Calls(), std::vector<std::string>{"GetDeviceInfo"});
}

// ---------------------------------------------------------------------------------------------
// The in-process simulator, for the faults it can be switched into.

class ServiceFaults : public ::testing::Test {
protected:
    void SetUp() override {
        touchsim::Options options;
        options.stream = false;
        sim = std::make_unique<touchsim::Simulator>(options);
        ASSERT_TRUE(sim->Start()) << "port 28875 taken: run inside tests/run_isolated.sh";
        ASSERT_TRUE(OpenServiceChannel());
    }
    void TearDown() override {
        CloseServiceChannel();
        sim->Stop();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const touchsim::TraceEntry& e : sim->Trace()) names.push_back(e.name);
        return names;
    }
    std::unique_ptr<touchsim::Simulator> sim;
};

TEST_F(ServiceFaults, HangingServiceEndsEachCallAtItsBoundAndAStopAtOnce) {
    LogCapture log;
    sim->SetAnswering(false);  // accepts and reads every call, answers none

    const ReadResult hung = Send(kDeviceInfo);
    EXPECT_EQ(hung.result, -1);
    EXPECT_EQ(hung.ok, 0);
    EXPECT_TRUE(hung.untouched);
    EXPECT_GE(hung.ms, kCallBoundMs - 100);
    EXPECT_LE(hung.ms, kCallBoundMs + kSlackMs);
    EXPECT_EQ(log.Count(kCallFailed), 1);

    // A worker waiting for its reply ends on its stop request, long before the forced end.
    OneRequest worker(kDeviceConfig);
    worker.Start();
    ASSERT_TRUE(sim->WaitForCalls(2, 2000));
    const Clock::time_point stopping = Clock::now();
    worker.Stop();
    EXPECT_LT(MsSince(stopping), kStopBoundMs);
    EXPECT_TRUE(worker.done) << "ended by its own stop check, not by force";
    EXPECT_EQ(worker.result, -1);

    // The service answers again: the next call gets its own answer, and each call went out once.
    sim->SetAnswering(true);
    const ReadResult next = Send(kDeviceInfo);
    EXPECT_EQ(next.result, 38);
    EXPECT_TRUE(next.own);
    EXPECT_EQ(Names(), (std::vector<std::string>{"GetDeviceInfo", "GetDeviceConfig", "GetDeviceInfo"}));
}

TEST_F(ServiceFaults, LateReplyIsNeverTakenForALaterCall) {
    LogCapture log;
    // Past the 3 s that a call waits, by a margin that a loaded machine does not eat up: each next
    // call goes out while the previous reply is still owed, so each of them reopens the connection.
    const int kLateMs = 5000;
    sim->SetReplyDelayMs(kLateMs);

    // Each reply comes while the next call waits; none may be taken for that call's answer.
    const ReadResult access = Send(kAccessState);
    EXPECT_EQ(access.result, -1);
    const ReadResult info = Send(kDeviceInfo);  // the 1-byte access reply arrives during this wait
    EXPECT_EQ(info.result, -1);
    EXPECT_EQ(info.ok, 0);
    EXPECT_TRUE(info.untouched);

    sim->SetReplyDelayMs(0);
    const ReadResult own = Send(kDeviceInfo);
    EXPECT_EQ(own.result, 38);
    EXPECT_TRUE(own.own);
    // The late 38-byte answer of the second call comes due in the meantime; calls expecting one
    // byte would refuse it, so any of them failing would show it arrived.
    const Clock::time_point start = Clock::now();
    int calls = 0;
    while (MsSince(start) < kLateMs - 3000 + 700) {
        const ReadResult r = Send(kAccessState);
        ASSERT_EQ(r.result, 1) << "call " << calls;
        ASSERT_TRUE(r.own);
        ++calls;
    }
    EXPECT_EQ(log.Count(kCallFailed), 2);
    EXPECT_EQ(log.Count("Information - RPC connection reopened: the last call's reply is still owed"), 2);
    const std::vector<std::string> names = Names();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"GetAccessState", "GetDeviceInfo", "GetDeviceInfo"}))
        << "each call went out once";
}

TEST_F(ServiceFaults, MalformedRepliesAndStrayFramesAreRefusedAndTheNextCallGetsItsOwn) {
    struct Row {
        const char* what;
        std::function<void(touchsim::Simulator&)> arm;
        bool duringTheWait;  // the fault arrives while the call waits for its (delayed) reply
        int32_t result;      // of the call that meets the fault
        bool answered;
    } rows[] = {
        {"reply two bytes longer than expected", [](touchsim::Simulator& s) { s.SendOversizedNextReply(); }, false,
         -1, false},
        {"reply of exactly 20 bytes", [](touchsim::Simulator& s) { s.SendTwentyByteNextReply(); }, false, 0, false},
        {"garbage frame", [](touchsim::Simulator& s) { s.SendGarbageFrame(); }, true, 38, true},
        {"call frame from the service", [](touchsim::Simulator& s) { s.SendCallFrame(); }, true, 38, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LogCapture log;
        sim->ClearTrace();
        std::thread fault;
        if (row.duringTheWait) {
            sim->SetReplyDelayMs(400);
            fault = std::thread([&] {
                sim->WaitForCalls(1, 2000);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                row.arm(*sim);
            });
        } else {
            row.arm(*sim);
        }
        const ReadResult met = Send(kDeviceInfo);
        if (fault.joinable()) fault.join();
        sim->SetReplyDelayMs(0);
        EXPECT_EQ(met.result, row.result);
        EXPECT_EQ(met.ok, row.answered ? 1 : 0);
        EXPECT_EQ(met.own, row.answered);
        if (!row.answered) {
            EXPECT_TRUE(met.untouched);
        }
        EXPECT_LT(met.ms, kCallBoundMs - 500) << "the reply ends the wait, refused or not";

        const ReadResult next = Send(kDeviceInfo);
        EXPECT_EQ(next.result, 38);
        EXPECT_TRUE(next.own);
        EXPECT_EQ(log.Count(kCallFailed), 0);
        EXPECT_EQ(sim->Trace().size(), 2u);
    }
    // The channel never answered the service's call: no handler is registered.
    EXPECT_EQ(sim->IgnoredFrames(), 0u);
}

TEST_F(ServiceFaults, ClosedOrResetConnectionFailsCallsWithoutWaiting) {
    struct Row {
        const char* what;
        bool reset;
        bool duringACall;
        const char* logged;
    } rows[] = {
        {"close between calls", false, false, "Exception - Client Closed for 0 byte was received"},
        {"reset between calls", true, false, "ECONNRESET: connection closed by remote host"},
        {"close during a call", false, true, "Exception - Client Closed for 0 byte was received"},
        {"reset during a call", true, true, "ECONNRESET: connection closed by remote host"},
    };
    // Moved over a call's bound below. It outlives every channel of the test: the channel's
    // receive thread reads the clock until the channel is closed (at the end of the test).
    clocktest::JumpClock clock;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A fresh channel for each way the connection ends.
        CloseServiceChannel();
        ASSERT_TRUE(OpenServiceChannel());
        ASSERT_TRUE(faults::WaitFor([&] { return sim->RpcClients() == 1; }, 2000));
        sim->ClearTrace();
        LogCapture log;
        ASSERT_TRUE(Send(kDeviceInfo).own);

        auto end = [&] { row.reset ? sim->ResetClients() : sim->CloseClients(); };
        if (row.duringACall) {
            sim->SetReplyDelayMs(1000);
            // The call in flight can get no reply on an ended connection: the end of the
            // connection ends its wait. The clock stands still meanwhile, so a wait for the
            // call's bound could never end by itself; should the call still wait after a few
            // seconds, the clock is moved over the bound to end the test, and that is the fault.
            std::atomic<bool> sent{false};
            bool neededTheClock = false;
            std::thread fault([&] {
                sim->WaitForCalls(2, 2000);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                end();
                for (int i = 0; i < 500 && !sent; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                while (!sent) {
                    neededTheClock = true;
                    clock.Advance(500);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
            const ReadResult cut = Send(kDeviceConfig);
            sent = true;
            fault.join();
            sim->SetReplyDelayMs(0);
            EXPECT_EQ(cut.result, -1);
            EXPECT_TRUE(cut.untouched);
            EXPECT_FALSE(neededTheClock) << "the call waited for its bound on a connection that had ended";
            EXPECT_TRUE(log.Contains("Information - RPC FendrelRPC: the connection ended before the reply"));
            EXPECT_FALSE(log.Contains(kCallFailed));
        } else {
            end();
        }
        ASSERT_TRUE(faults::WaitFor([] { return g_pServiceChannel->Connection()->connected == 0; }, 2000));
        EXPECT_TRUE(log.Contains(row.logged));

        const size_t traced = sim->Trace().size();
        ReadResult after;
        EXPECT_TRUE(ReturnsAtOnce([&] { after = Send(kDeviceInfo); }));
        EXPECT_EQ(after.result, 0);
        EXPECT_EQ(after.ok, 0);
        EXPECT_TRUE(after.untouched);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(sim->Trace().size(), traced) << "nothing is written after the connection ended";
        EXPECT_EQ(g_pServiceChannel->Role(), VexoRPC::kRoleClient);
    }
    CloseServiceChannel();
}

}  // namespace
