// Shared set-up of the main window's GUI tests: a configuration store and a language on demand,
// process-wide values back at their start, the orientation seam, and a frame driven without a
// modal loop.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/AppState.h"
#include "app/CPMainFrame.h"
#include "config/ProcessConfig.h"
#include "device/MainFrameRules.h"
#include "guisupport/GuiTest.h"
#include "platform/DisplayOrientation.h"
#include "servicelink/VexoRPC.h"
#include "support/ManualClock.h"

namespace apptest {

// A private folder with Data/Configuration.xml (version and language given); the language table
// is (re)loaded from the shipped Data/MultiLang.xml unless a language file text is given.
class AppEnvironment {
public:
    explicit AppEnvironment(const std::string& language = "English", const std::string& version = "2.0.0.0",
                            const std::string& languageFile = std::string()) {
        char pattern[] = "/tmp/qln-app-XXXXXX";
        folder_ = mkdtemp(pattern) ? pattern : "/tmp";
        char cwd[4096] = {};
        if (getcwd(cwd, sizeof(cwd))) cwd_ = cwd;
        mkdir((folder_ + "/Data").c_str(), 0755);
        std::ofstream(folder_ + "/Data/Configuration.xml")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Configuration>\n    <Version>" << version
            << "</Version>\n    <Language>" << language << "</Language>\n</Configuration>\n";
        if (languageFile.empty()) {
            std::ifstream in(cwd_ + "/Data/MultiLang.xml", std::ios::binary);
            std::ofstream(folder_ + "/Data/MultiLang.xml", std::ios::binary) << in.rdbuf();
        } else {
            std::ofstream(folder_ + "/Data/MultiLang.xml", std::ios::binary) << languageFile;
        }
        if (chdir(folder_.c_str()) != 0) ADD_FAILURE() << "chdir " << folder_;
        delete g_pConfig;
        g_pConfig = new VexoSource::VexoConfigOnXML("Data/Configuration.xml");
        g_MultiLang.Initialize();
        EXPECT_TRUE(g_MultiLang.LoadTexts());
        ResetProcessValues();
    }
    ~AppEnvironment() {
        delete g_pConfig;
        g_pConfig = nullptr;
        VexoPlatform::SetDisplayOrientationSource(nullptr);
        if (chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "chdir back";
        std::system(("rm -rf '" + folder_ + "'").c_str());
        ResetProcessValues();
    }
    static void ResetProcessValues() {
        g_RequiredConfigVersion = 0;
        g_ProductSeries = "Infrared";
        g_CurrentDeviceId.clear();
        g_FirstRefresh = 1;
        VexoSource::ChooseDevice(0);
    }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_, cwd_;
};

// A main window initialised against whatever service is connected and shown without a modal loop.
// Destroyed (watch stopped) at the end of the scope.
struct FrameDeleter {
    void operator()(CPMainFrame* f) const {
        f->Release();
        delete f;
    }
};
using FramePtr = std::unique_ptr<CPMainFrame, FrameDeleter>;

// The device watch's passes on demand. The clock runs with real time; Next() moves it over the
// wait between two passes, so that the next pass starts at once instead of three seconds later.
// It moves only once the window has handled the last pass's reading (the RefreshEvent the watch
// posts after its requests), so no request of the watch is in flight when the clock jumps.
class WatchPasses {
public:
    // Before the window's Initialize, so that the first pass's refresh is counted.
    void Attach(CPMainFrame& frame) {
        frame.Bind(wxEventTypeTag<wxCommandEvent>(RefreshEvent), [this](wxCommandEvent& event) {
            ++refreshes_;
            event.Skip();  // the window shows it as usual
        });
    }
    int Refreshes() const { return refreshes_; }
    // Waits for the refresh of the pass started last, then starts the next pass.
    bool Next() {
        if (!guitest::WaitUntil([this] { return refreshes_ > counted_; }, guitest::kEventMs)) return false;
        counted_ = refreshes_;
        clock_.Advance(VexoSource::kWatchPassMs + VexoSource::kWatchAfterRefreshMs);
        return true;
    }
    // Moves the clock by hand, for a pass that waits on a reply that cannot come.
    void Advance(uint32_t ms) { clock_.Advance(ms); }
    // Moves the clock on in steps (a second per 20 ms) until pred holds: for waits that no answer
    // can end. False when it does not hold within two minutes of the clock.
    bool AdvanceUntil(const std::function<bool()>& pred) {
        for (int step = 0; step < 120 && !pred(); ++step) {
            clock_.Advance(1000);
            guitest::Pump(20);
        }
        return pred();
    }

private:
    clocktest::JumpClock clock_;
    int refreshes_ = 0;
    int counted_ = 0;
};

inline FramePtr ShownFrame(WatchPasses* passes = nullptr) {
    FramePtr frame(new CPMainFrame());
    if (passes) passes->Attach(*frame);
    frame->Initialize();
    frame->Show();
    guitest::Pump(guitest::kShortMs);
    return frame;
}

inline std::string Value(wxTextCtrl* field) { return guitest::ToUtf8(field->GetValue()); }
inline std::string Label(wxWindow* control) { return guitest::ToUtf8(control->GetLabel()); }

}  // namespace apptest
