// Main of the GUI test binary: a plain wxApp on the X display named by DISPLAY, every test on the
// GUI thread with an event loop active.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/log.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "guisupport/GuiTest.h"
#include "platform/ToolkitEnvironment.h"

namespace {

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
    ADD_FAILURE_AT(guitest::ToUtf8(file).c_str(), line)
        << "wx assert in " << guitest::ToUtf8(func) << ": " << guitest::ToUtf8(cond) << " " << guitest::ToUtf8(msg);
}

// Ends the process when a test hangs, so that CI gets a failure instead of a stuck job.
class Watchdog {
public:
    explicit Watchdog(int seconds) : thread_([this, seconds] {
        std::unique_lock<std::mutex> hold(lock_);
        if (!wake_.wait_for(hold, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "gui test watchdog: no end after %d s, aborting\n", seconds);
            std::fflush(stderr);
            std::_Exit(3);
        }
    }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display (ctest discovers them before the X server may exist).
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    Watchdog watchdog(guitest::kProcessWatchdogSeconds);
    VexoPlatform::PrepareToolkitEnvironment();  // the toolkit set up as the program sets it up
    // A runtime folder of this process's own, for what the toolkit keeps there. (The single-instance
    // guard belongs to the network namespace, which each test has of its own.)
    char runtimePattern[] = "/tmp/qln-runtime-XXXXXX";
    const char* runtime = mkdtemp(runtimePattern);
    if (runtime) setenv("XDG_RUNTIME_DIR", runtime, 1);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "gui tests: cannot open the X display (DISPLAY=%s)\n",
                     std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
        return 1;
    }
    wxSetAssertHandler(FailOnAssert);
    delete wxLog::SetActiveTarget(new wxLogStderr);
    int rc = 1;
    if (wxTheApp->CallOnInit()) {
        wxGUIEventLoop loop;
        wxEventLoopActivator activate(&loop);
        rc = RUN_ALL_TESTS();
        wxTheApp->OnExit();
    }
    wxEntryCleanup();
    if (runtime) std::system((std::string("rm -rf '") + runtime + "'").c_str());
    return rc;
}
