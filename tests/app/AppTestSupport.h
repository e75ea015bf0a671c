// Shared set-up of the main window's GUI tests: a configuration store and a language on demand,
// process-wide values back at their start, the orientation seam, and a frame driven without a
// modal loop.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "app/AppState.h"
#include "app/CPMainFrame.h"
#include "config/ProcessConfig.h"
#include "guisupport/GuiTest.h"
#include "platform/DisplayOrientation.h"
#include "servicelink/VexoRPC.h"

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
        VexoSource::DeviceSelector = 0;
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

inline FramePtr ShownFrame() {
    FramePtr frame(new CPMainFrame());
    frame->Initialize();
    frame->Show();
    guitest::Pump(guitest::kShortMs);
    return frame;
}

inline std::string Value(wxTextCtrl* field) { return guitest::ToUtf8(field->GetValue()); }
inline std::string Label(wxWindow* control) { return guitest::ToUtf8(control->GetLabel()); }

}  // namespace apptest
