// A command's wait for its window's request lock while the window's worker holds it: the event
// loop keeps running, the windows are insensitive meanwhile, the worker is told that a command
// waits, and the wait gives up when the program ends.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "gui/CPWindow.h"
#include "gui/CommandLock.h"

namespace {

class LockWindow : public wxDialog, public CPWindow {
public:
    LockWindow() : wxDialog(nullptr, wxID_ANY, wxT("lock")) { button = new wxButton(this, wxID_ANY, wxT("Apply")); }
    int32_t Initialize() override { return 1; }
    void Release() override {}
    int32_t WriteSettings(const VexoSource::DeviceHandle&) override { return 1; }
    int32_t LoadFromService() override { return 1; }
    wxButton* button = nullptr;
};

// Holds the window's lock on a thread of its own (as the watch's pass does, marking it) until
// released.
class Worker {
public:
    explicit Worker(LockWindow& window) : m_window(window) {
        m_thread = std::thread([this] {
            m_window.m_workerHolds = true;
            m_window.m_requestLock.Lock();
            m_holding = true;
            while (!m_release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            m_window.m_requestLock.Unlock();
            m_window.m_workerHolds = false;
        });
        while (!m_holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Worker() {
        m_release = true;
        m_thread.join();
    }
    void Release() { m_release = true; }

private:
    LockWindow& m_window;
    std::thread m_thread;
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_release{false};
};

}  // namespace

TEST(CommandLock, WaitsForTheWorkerWithTheEventLoopRunningAndGivesUpWhenTheProgramEnds) {
    struct Row {
        const char* name;
        bool workerHolds;
        bool programEndsMeanwhile;
        bool owns;
        bool waited;  // the event loop ran during the wait
    } rows[] = {
        {"the lock is free: taken at once", false, false, true, false},
        {"a pass holds it: the command waits and gets it", true, false, true, true},
        {"the program ends while it waits: given up", true, true, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        LockWindow window;
        window.Show();
        std::atomic<bool> ending{false};
        const auto previous = SetCommandWaitAbandon([&ending] { return ending.load(); });
        std::unique_ptr<Worker> worker;
        if (r.workerHolds) worker = std::make_unique<Worker>(window);

        bool ran = false, sawWaiting = false, sawInsensitive = false;
        wxTheApp->CallAfter([&] {
            ran = true;
            sawWaiting = window.CommandWaiting();
            sawInsensitive = !window.button->IsEnabled();
            if (r.programEndsMeanwhile)
                ending = true;
            else if (worker)
                worker->Release();
        });
        {
            CommandLock lock(window, 4);
            EXPECT_EQ(lock.Owns(), r.owns);
            EXPECT_EQ(ran, r.waited);
            EXPECT_EQ(sawWaiting, r.waited) << "the worker was told that a command waits";
            EXPECT_EQ(sawInsensitive, r.waited) << "no input reaches the window while the command waits";
            EXPECT_FALSE(window.CommandWaiting());
            EXPECT_TRUE(window.button->IsEnabled());
        }
        worker.reset();
        // Free again: the command held it only for its scope.
        EXPECT_EQ(window.m_requestLock.TryLock(), wxMUTEX_NO_ERROR);
        window.m_requestLock.Unlock();
        SetCommandWaitAbandon(previous);
        wxTheApp->ProcessPendingEvents();  // the first row's call runs now, not in the next row
        window.Destroy();
    }
}
