// The calibration's requests against the simulated service (on ports of its own): the calls and
// bytes of every way through, read from the service's trace, and the time the session asks to let
// pass (the waits are the pace's; here they take no time at all).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/CalibrationSession.h"
#include "device/PendingRestore.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/VexoRPC.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/PackedValue.h"
#include "support/RpcOnlySimulator.h"
#include "touchsim/Simulator.h"

using namespace VexoSource;

namespace {

// The record in force before calibrating, easy to tell from a computed one.
CalibrationRecord SavedRecord() {
    CalibrationRecord r{};
    r.enabled = 1;
    r.topLeft = {101, 102, 103, 104};
    r.topRight = {201, 202, 203, 204};
    r.bottomLeft = {301, 302, 303, 304};
    r.bottomRight = {401, 402, 403, 404};
    return r;
}

// What the tap judge hands over (enabled 0: the session switches it on).
CalibrationRecord NewRecord() {
    CalibrationRecord r{};
    r.topLeft = {4095, 4095, 1109, 1972};
    r.topRight = {28671, 4095, 31657, 1972};
    r.bottomLeft = {4095, 28671, 1109, 30794};
    r.bottomRight = {28671, 28671, 31657, 30794};
    return r;
}

CalibrationRecord SwitchedOn(CalibrationRecord r) {
    r.enabled = 1;
    return r;
}

struct Call {
    std::string name;
    std::vector<uint8_t> payload;
    bool operator==(const Call& o) const { return name == o.name && payload == o.payload; }
};
std::ostream& operator<<(std::ostream& os, const Call& c) {
    os << c.name;
    if (!c.payload.empty()) os << "[" << c.payload.size() << " bytes, enabled " << int(c.payload[0]) << "]";
    return os;
}
Call GetCal() { return {"GetCalibration", {}}; }
Call SetCal(const CalibrationRecord& r) { return {"SetCalibration", BytesOf(r)}; }
Call Reset() { return {"ResetDevice", {}}; }
Call Access() { return {"GetAccessState", {}}; }

std::vector<Call> operator+(std::vector<Call> a, const std::vector<Call>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<Call> Repeat(const Call& c, int n) { return std::vector<Call>(size_t(n), c); }

// The calls that switch the calibration off before the targets are shown.
std::vector<Call> SwitchOff() { return {GetCal(), SetCal(CalibrationRecord{}), Reset(), Access()}; }
std::vector<Call> PutBack() { return {SetCal(SavedRecord()), Reset()}; }

constexpr int kPolls = CalibrationSession::kAccessPolls + 1;  // the first poll, then one per wait

class CalibrationSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start());
        sim.Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", sim.RpcPort()));
        sim.ClearTrace();
    }
    void TearDown() override { CloseServiceChannel(); }

    // A pace that notes every wait asked for; the user leaves once `leaveAfterWaits` waits have
    // passed (never when negative), and onWait runs after each wait (the device coming back).
    CalibrationPace Pace() {
        return CalibrationPace{[this](int ms) {
                                   waits.push_back(ms);
                                   if (onWait) onWait(waits.size());
                               },
                               [this] { return leaveAfterWaits >= 0 && int(waits.size()) >= leaveAfterWaits; }, nullptr, nullptr};
    }

    std::vector<Call> Calls() const {
        std::vector<Call> calls;
        for (const touchsim::TraceEntry& e : sim.Trace()) calls.push_back({e.name, e.payload});
        return calls;
    }
    std::vector<uint8_t> InForce() const { return BytesOf(sim.Model().calibration); }

    touchsim::Simulator sim{simtest::RpcOnly()};
    std::vector<int> waits;
    int leaveAfterWaits = -1;
    std::function<void(size_t)> onWait;
};

TEST_F(CalibrationSessionTest, AKeptRecordStaysAndAnyOtherEndPutsTheSavedOneBack) {
    struct Row {
        const char* name;
        bool apply;
        bool keep;
        std::vector<Call> after;  // the calls after the switch-off
        CalibrationRecord inForce;
    } rows[] = {
        {"new record kept", true, true, {SetCal(SwitchedOn(NewRecord())), Reset(), Access()}, SwitchedOn(NewRecord())},
        {"new record not kept (Cancel, box ran out)", true, false,
         std::vector<Call>{SetCal(SwitchedOn(NewRecord())), Reset(), Access()} + PutBack(), SavedRecord()},
        {"left during the targets (Escape, stream lost, abandoned)", false, false, PutBack(), SavedRecord()},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim.ClearTrace();
        sim.Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        waits.clear();
        CalibrationSession session(DeviceHandle(0), Pace());

        ASSERT_EQ(session.Start(), CalibStartResult::Ready);
        EXPECT_EQ(waits, std::vector<int>{CalibrationSession::kSettleMs}) << "the device was back at once";
        EXPECT_TRUE(session.MustPutBack());
        EXPECT_EQ(InForce(), BytesOf(CalibrationRecord{})) << "switched off while the targets are shown";
        EXPECT_EQ(BytesOf(session.Saved()), BytesOf(SavedRecord()));

        if (r.apply) {
            EXPECT_EQ(session.Apply(NewRecord()), CalibApplyResult::Applied);
        }
        if (r.keep) session.Keep();
        EXPECT_EQ(session.RestoreSaved(), r.keep ? RestoreResult::NothingToRestore : RestoreResult::Restored);
        EXPECT_EQ(session.RestoreSaved(), RestoreResult::NothingToRestore) << "put back once only";

        EXPECT_EQ(Calls(), SwitchOff() + r.after);
        EXPECT_EQ(InForce(), BytesOf(r.inForce));
    }
}

TEST_F(CalibrationSessionTest, AStartThatCannotGoOnSaysWhyAndWritesOnlyWhatMustBeUndone) {
    struct Row {
        const char* name;
        std::function<void(touchsim::Simulator&)> fault;
        int leaveAfterWaits;       // -1: the user stays
        size_t backAfterWaits;     // the device answers "busy" until this many waits (0: at once)
        CalibStartResult result;
        std::vector<Call> calls;   // the calls of the start
        std::vector<int> waits;
        const char* logged;        // a line the start logs ("" for none to check)
    } rows[] = {
        {"saved record short", [](touchsim::Simulator& s) { s.CutNextReply(GetCalibration, 20); }, -1, 0,
         CalibStartResult::ReadFailed, {GetCal()}, {}, "Short reply to request"},
        {"saved record unanswered", [](touchsim::Simulator& s) { s.CutNextReply(GetCalibration, 0); }, -1, 0,
         CalibStartResult::ReadFailed, {GetCal()}, {}, "Exception - Get response failed! "},
        {"user left after the read", nullptr, 0, 0, CalibStartResult::Cancelled, {GetCal()}, {}, ""},
        {"switch-off unanswered", [](touchsim::Simulator& s) { s.CutNextReply(SetCalibration, 0); }, -1, 0,
         CalibStartResult::SwitchOffFailed, {GetCal(), SetCal(CalibrationRecord{})}, {},
         "Exception - Get response failed! "},
        {"device back after three waits", nullptr, -1, 3, CalibStartResult::Ready,
         std::vector<Call>{GetCal(), SetCal(CalibrationRecord{}), Reset()} + Repeat(Access(), 4), {500, 500, 500, 2000},
         ""},
        {"device never back", nullptr, -1, 1000, CalibStartResult::NoAccess,
         std::vector<Call>{GetCal(), SetCal(CalibrationRecord{}), Reset()} + Repeat(Access(), kPolls),
         std::vector<int>(CalibrationSession::kAccessPolls, CalibrationSession::kAccessPollMs), ""},
        {"user left while the device came back", nullptr, 1, 1000, CalibStartResult::Ready,
         std::vector<Call>{GetCal(), SetCal(CalibrationRecord{}), Reset()} + Repeat(Access(), 1), {500}, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim.ClearTrace();
        sim.Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        waits.clear();
        leaveAfterWaits = r.leaveAfterWaits;
        sim.SetBusy(r.backAfterWaits > 0);
        onWait = [this, &r](size_t waited) {
            if (waited >= r.backAfterWaits) sim.SetBusy(false);
        };
        if (r.fault) r.fault(sim);
        LogCapture log;
        CalibrationSession session(DeviceHandle(0), Pace());

        EXPECT_EQ(session.Start(), r.result);
        EXPECT_EQ(Calls(), r.calls);
        EXPECT_EQ(waits, r.waits);
        if (*r.logged) {
            EXPECT_TRUE(log.Contains(r.logged)) << r.logged;
        }

        // Whatever was written is undone, and nothing when nothing was written.
        const bool wrote = r.calls.size() > 1;
        EXPECT_EQ(session.MustPutBack(), wrote);
        sim.ClearTrace();
        EXPECT_EQ(session.RestoreSaved(), wrote ? RestoreResult::Restored : RestoreResult::NothingToRestore);
        EXPECT_EQ(Calls(), wrote ? PutBack() : std::vector<Call>{});
        EXPECT_EQ(InForce(), BytesOf(SavedRecord()));
    }
    sim.SetBusy(false);
}

// A new record that nobody can confirm does not stay in force: the saved one is back before Apply
// returns, and nothing is left to put back.
TEST_F(CalibrationSessionTest, ANewRecordThatCannotBeConfirmedIsReplacedByTheSavedOne) {
    struct Row {
        const char* name;
        std::function<void(touchsim::Simulator&)> fault;
        CalibApplyResult result;
        std::vector<Call> calls;
        const char* logged;
    } rows[] = {
        {"new record unanswered", [](touchsim::Simulator& s) { s.CutNextReply(SetCalibration, 0); },
         CalibApplyResult::WriteFailed, std::vector<Call>{SetCal(SwitchedOn(NewRecord()))} + PutBack(),
         "Exception - Get response failed! "},
        {"device not back after the new record", [](touchsim::Simulator& s) { s.SetBusy(true); },
         CalibApplyResult::NoAccess,
         std::vector<Call>{SetCal(SwitchedOn(NewRecord())), Reset()} + Repeat(Access(), kPolls) + PutBack(),
         "Calibration: the device did not come back after the reset; restoring"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim.SetBusy(false);
        sim.Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        CalibrationSession session(DeviceHandle(0), Pace());
        ASSERT_EQ(session.Start(), CalibStartResult::Ready);
        sim.ClearTrace();
        r.fault(sim);
        LogCapture log;

        EXPECT_EQ(session.Apply(NewRecord()), r.result);
        sim.SetBusy(false);
        EXPECT_EQ(Calls(), r.calls);
        EXPECT_TRUE(log.Contains(r.logged)) << r.logged;
        EXPECT_FALSE(session.MustPutBack());
        EXPECT_EQ(session.RestoreSaved(), RestoreResult::NothingToRestore);
        EXPECT_EQ(InForce(), BytesOf(SavedRecord()));
    }
}

// The service goes away after the switch-off (it hangs and drops its connections, as in a crash
// or an upgrade): the put-back is tried again on fresh connections until it is answered, and only
// then counts as done; one that is never answered says so and stays pending. The clock runs fast
// (each tick of a helper thread moves it on), so that the service's 3 s reply bound and the retry
// bound pass in a moment; what happens is decided by the number of pauses, not by the time.
TEST_F(CalibrationSessionTest, APutBackThatIsNotAnsweredIsTriedAgainAndCountsOnlyOnceAnswered) {
    struct Row {
        const char* name;
        int answersAgainAfterPauses;  // -1: never
        RestoreResult result;
    } rows[] = {
        {"service hangs, drops its connections, then answers", 2, RestoreResult::Restored},
        {"service never answers again", -1, RestoreResult::NotRestored},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim.Plug();
        sim.Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        clocktest::ManualClock clock;
        std::atomic<bool> running{true};
        std::thread ticker([&] {
            while (running) {
                clock.Advance(50);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        int pauses = 0;
        std::vector<bool> shown;
        CalibrationPace pace = Pace();
        pace.pause = [&](int) {
            ++pauses;
            if (pauses == r.answersAgainAfterPauses) sim.Plug();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        pace.restoring = [&](bool on) { shown.push_back(on); };
        CalibrationSession session(DeviceHandle(0), pace);
        ASSERT_EQ(session.Start(), CalibStartResult::Ready);

        sim.Unplug();
        sim.ResetClients();
        LogCapture log;
        const RestoreResult result = session.RestoreSaved();

        EXPECT_EQ(result, r.result);
        EXPECT_EQ(shown, (std::vector<bool>{true, false})) << "the screen says it is restoring meanwhile";
        EXPECT_TRUE(log.Contains("Calibration: the saved record was not taken; trying again"));
        if (r.result == RestoreResult::Restored) {
            EXPECT_EQ(pauses, r.answersAgainAfterPauses);
            EXPECT_EQ(InForce(), BytesOf(SavedRecord()));
            EXPECT_FALSE(session.MustPutBack());
        } else {
            EXPECT_GT(pauses, 2);
            EXPECT_TRUE(session.MustPutBack()) << "the saved record stays pending";
            EXPECT_TRUE(log.Contains("Calibration: the saved record could not be put back; it stays pending"));
            // Pending until written: once the service answers, the next put-back writes it.
            sim.Plug();
            EXPECT_EQ(session.RestoreSaved(), RestoreResult::Restored);
            EXPECT_EQ(InForce(), BytesOf(SavedRecord()));
        }
        // The channel's short pauses read the clock too: it runs until the row is over.
        running = false;
        ticker.join();
    }
}

// A record the service never took back is kept and written once the service answers again, to the
// frame it belongs to, then forgotten.
TEST_F(CalibrationSessionTest, AKeptRecordIsWrittenOnceTheServiceAnswersAndThenForgotten) {
    sim.Edit([](touchsim::DeviceModel& m) { m.calibration = CalibrationRecord{}; });
    const DeviceHandle device(touchsim::SelectorOf(sim.Model().deviceIds.at(0)));
    KeepPendingRestore(device, SavedRecord());
    ASSERT_TRUE(RestorePendingExists());
    // The service drops its connection and takes no call: nothing is answered.
    sim.Unplug();
    sim.ResetClients();
    EXPECT_FALSE(RestorePending());
    EXPECT_TRUE(RestorePendingExists()) << "still pending";
    sim.Plug();
    ASSERT_TRUE(ServiceChannelConnected() || ReconnectServiceChannel());
    sim.ClearTrace();
    EXPECT_TRUE(RestorePending());
    EXPECT_FALSE(RestorePendingExists());
    EXPECT_EQ(Calls(), PutBack());
    for (const touchsim::TraceEntry& e : sim.Trace()) EXPECT_EQ(e.selector, device.Selector()) << e.Line();
    EXPECT_EQ(InForce(), BytesOf(SavedRecord()));
    sim.ClearTrace();
    EXPECT_TRUE(RestorePending());
    EXPECT_TRUE(Calls().empty()) << "written once";
}

}  // namespace
