// The window base: access check answers, the modified state behind Apply, the apply protocol with
// its lock lines, and the refresh that gives way to a busy request lock.
#include <gtest/gtest.h>

#include <wx/dialog.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/AppTestSupport.h"
#include "gui/CPWindow.h"

using guitest::SimService;

namespace {

class ProbeWindow : public wxDialog, public CPWindow {
public:
    ProbeWindow() : wxDialog(nullptr, wxID_ANY, wxT("probe")) {
        m_pApply = new wxButton(this, wxID_ANY, wxT("Apply"));
        m_pApply->Enable(false);
    }
    int32_t Initialize() override { return 1; }
    void Release() override {}
    int32_t WriteSettings(const VexoSource::DeviceHandle&) override {
        ++writes;
        // The lock is held while settings are written.
        lockedDuringWrite = m_requestLock.TryLock() == wxMUTEX_BUSY;
        if (!lockedDuringWrite) m_requestLock.Unlock();
        return written;
    }
    int32_t LoadFromService() override { return 1; }
    int writes = 0;
    int32_t written = 1;  // what WriteSettings reports
    bool lockedDuringWrite = false;
};

}  // namespace

TEST(CPWindow, CheckAccessReadsTheAccessState) {
    struct Row {
        const char* name;
        bool answering, busy;
        int32_t result, answered;
    } rows[] = {
        {"usable", true, false, 1, 1},
        {"busy", true, true, 0, 1},
        {"no answer", false, false, 0, 0},
    };
    SimService service;
    ASSERT_TRUE(service.started());
    ProbeWindow window;
    for (const Row& r : rows) {
        service.sim().SetAnswering(r.answering);
        service.sim().SetBusy(r.busy);
        LogCapture log;
        // No answer can end an unanswered request but its bound: the clock is moved over it.
        std::unique_ptr<clocktest::JumpClock> clock;
        std::atomic<bool> done{false};
        std::thread mover;
        if (!r.answering) {
            clock = std::make_unique<clocktest::JumpClock>();
            mover = std::thread([&] {
                while (!done) {
                    clock->Advance(500);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        }
        int32_t answered = -1;
        EXPECT_EQ(window.CheckAccess(VexoSource::ChosenDevice(), &answered), r.result) << r.name;
        EXPECT_EQ(answered, r.answered) << r.name;
        EXPECT_EQ(log.Contains("Current multi-access not available"), r.busy) << r.name;
        EXPECT_EQ(window.CheckAccess(VexoSource::ChosenDevice(), nullptr), r.result) << r.name << " without an answered flag";
        done = true;
        if (mover.joinable()) mover.join();
    }
}

TEST(CPWindow, ModifiedStateAndApply) {
    SimService service;
    ProbeWindow window;

    window.MarkModified();  // while the window is being filled
    EXPECT_FALSE(window.m_pApply->IsEnabled());
    EXPECT_EQ(window.CPWindow::m_modified, 0);
    window.ApplyChanges();
    EXPECT_EQ(window.writes, 0);
    EXPECT_TRUE(service.CallNames().empty()) << "nothing modified: nothing sent";

    window.m_ready = 1;
    window.MarkModified();
    EXPECT_TRUE(window.m_pApply->IsEnabled());
    window.ApplyChanges();
    EXPECT_EQ(window.writes, 1);
    EXPECT_TRUE(window.lockedDuringWrite);
    EXPECT_EQ(window.CPWindow::m_modified, 0);
    EXPECT_FALSE(window.m_pApply->IsEnabled());
    EXPECT_EQ(service.CallNames(), std::vector<std::string>{"ResetDevice"});
    EXPECT_EQ(window.m_requestLock.TryLock(), wxMUTEX_NO_ERROR) << "released";
    window.m_requestLock.Unlock();
}

TEST(CPWindow, AFailedWriteKeepsTheChangesPendingResetsNothingAndTellsTheUser) {
    apptest::AppEnvironment env;  // the shipped language file
    SimService service;
    ProbeWindow window;
    guitest::MessageBoxes boxes;
    window.m_ready = 1;
    window.MarkModified();
    window.written = 0;
    EXPECT_FALSE(window.ApplyChanges());
    EXPECT_EQ(window.writes, 1);
    EXPECT_TRUE(service.CallNames().empty()) << "no ResetDevice after a failed write";
    EXPECT_EQ(window.CPWindow::m_modified, 1);
    EXPECT_TRUE(window.m_pApply->IsEnabled());
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"The settings could not be written to the device. Please try again."});
    EXPECT_EQ(window.m_requestLock.TryLock(), wxMUTEX_NO_ERROR) << "released before the box";
    window.m_requestLock.Unlock();

    // The next Apply that succeeds applies as usual.
    window.written = 1;
    EXPECT_TRUE(window.ApplyChanges());
    EXPECT_EQ(service.CallNames(), std::vector<std::string>{"ResetDevice"});
    EXPECT_EQ(window.CPWindow::m_modified, 0);
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

TEST(CPWindow, ALockThatCannotBeTakenIsReportedAndNothingIsSentWithoutIt) {
    SimService service;
    ProbeWindow window;
    guitest::MessageBoxes boxes;
    window.m_ready = 1;
    window.MarkModified();
    LogCapture log;
    // Held by this very thread: taking the non-recursive lock again fails with a dead lock.
    ASSERT_EQ(window.m_requestLock.Lock(), wxMUTEX_NO_ERROR);
    EXPECT_FALSE(window.ApplyChanges());
    window.m_requestLock.Unlock();
    EXPECT_EQ(window.writes, 0);
    EXPECT_TRUE(service.CallNames().empty());
    EXPECT_TRUE(log.Contains("Exception - RPC Locking...9 failed with error 2"));
    EXPECT_FALSE(log.Contains("RPC Locking...9 with thread:12"));
    EXPECT_FALSE(log.Contains("RPC Unlocking...9")) << "a lock not taken is not released";
    EXPECT_EQ(window.CPWindow::m_modified, 1);
}

TEST(CPWindow, RefreshGivesWayToABusyLock) {
    apptest::AppEnvironment env;
    SimService service;
    apptest::FramePtr frame = apptest::ShownFrame();
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(guitest::WaitUntil([&] { return apptest::Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs));
    frame->m_pTouches->SetValue(wxT("x"));
    LogCapture log;
    {
        RequestLock held(frame->m_requestLock, 4);  // a command holds the window's lock
        frame->PostRefresh();
        guitest::Pump(guitest::kShortMs);
        EXPECT_TRUE(log.Contains("Debug - Try locking failed with 11"));
        EXPECT_EQ(apptest::Value(frame->m_pTouches), "x") << "the refresh is dropped";
    }
    frame->PostRefresh();
    EXPECT_TRUE(guitest::WaitUntil([&] { return apptest::Value(frame->m_pTouches) == "10"; }, guitest::kEventMs));
    EXPECT_EQ(frame->m_requestLock.TryLock(), wxMUTEX_NO_ERROR) << "the refresh released the lock it took";
    frame->m_requestLock.Unlock();
}

// The one test of the lock lines' format: the place that takes the lock and the constant 12, on
// taking and on releasing; a lock that is only tried and found busy writes nothing.
TEST(CPWindow, TheRequestLockWritesItsLinesWithThePlace) {
    wxMutex lock;
    LogCapture log;
    {
        RequestLock held(lock, 9);
        EXPECT_EQ(log.Lines().size(), 1u);
        RequestLock tried(lock, 11, RequestLock::TryTag{});
        EXPECT_FALSE(tried.Owns());
    }
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_NE(log.Lines()[0].find("Debug - RPC Locking...9 with thread:12\n"), std::string::npos);
    EXPECT_NE(log.Lines()[1].find("Debug - RPC Unlocking...9 with thread:12\n"), std::string::npos);
}
