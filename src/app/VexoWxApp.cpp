#include "app/VexoWxApp.h"

#include <memory>

#include "app/AppState.h"
#include "app/CPMainFrame.h"
#include "app/ShutdownOnSignal.h"
#include "config/DataLocation.h"
#include "config/ProcessConfig.h"
#include "device/MainFrameRules.h"
#include "device/PendingRestore.h"
#include "foundation/VexoLog.h"
#include "gui/CommandLock.h"
#include "gui/EventfulWait.h"
#include "gui/MessageBox.h"
#include "gui/ToolkitDisplay.h"
#include "gui/ToolkitLanguage.h"
#include "gui/WxText.h"
#include "platform/DisplayOrientation.h"
#include "platform/EndBound.h"
#include "platform/InstanceGuard.h"
#include "platform/ModuleFolder.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;
using VexoPlatform::InstanceGuard;

InstanceGuard* g_pInstanceGuard = nullptr;

namespace {

std::string& LanguageOption() {
    static std::string language;
    return language;
}

// --language: into the configuration before the language table reads it, saved now.
void KeepLanguageOption() {
    const std::string& language = LanguageOption();
    if (language.empty() || !g_pConfig) return;
    g_pConfig->WriteText("Configuration:Language", FromNarrow(language, false), 0);
    if (g_pConfig->Save())
        VexoLogInfo(L"Interface language %hs kept in the configuration", language);
    else
        VexoLogException(L"Interface language %hs used for this run only: the configuration cannot be written",
                         language);
}

// From a termination signal to the process's end, at most (the session's end waits for no one):
// what the ordinary end has not done by then is given up.
constexpr uint32_t kSignalEndBoundMs = 4500;

void SayEndBoundReached(uint32_t ms) {
    VexoLogException(L"Not ended within %u ms of the signal: ending now", ms);
}

// The data files are named relative to the executable's folder; the log says why they would not
// be found.
void MakeModuleFolderCurrent() {
    std::string folder;
    switch (VexoPlatform::MakeExecutableFolderCurrent(folder)) {
        case VexoPlatform::FolderChange::Changed:
            VexoLogDebug(L"Current path %s ", folder);
            break;
        case VexoPlatform::FolderChange::NoExecutablePath:
            VexoLogException(L"GetModuleFileName failed");
            break;
        case VexoPlatform::FolderChange::NotChanged:
            VexoLogException(L"SetCurrentDirectory %hs failed", folder);
            break;
    }
}

}  // namespace

bool AppStartUp() {
    MakeModuleFolderCurrent();
    g_VexoLog.minimumLevel = VEXO_LOG_INFORMATION;
    g_VexoLog.flags = VEXO_LOG_DEBUGGER;
    g_VexoLog.tag = L"Config ";
    g_VexoLog.enabled = 1;

    delete g_pConfig;
    // Data/ beside the program when it is writable; installed, the user's own configuration file.
    const DataFiles files = PrepareDataFiles(CurrentDataFacts());
    g_MultiLang.SetPath(files.languageFile);
    g_pConfig = new VexoConfigOnXML(files.configFile, files.writeBack);
    VexoLogInfo(L"Configuration Entry");
    KeepLanguageOption();

    const VexoWString versionText = g_pConfig->ReadText("Configuration:Version", VexoWString(u"2.0.0.0"), 0);
    g_ConfigVersion = ParseConfigVersion(ToNarrow(versionText.str));
    VexoLogDebug(L"Current version %d.%d", g_ConfigVersion / 10, g_ConfigVersion % 10);

    bool result = false;
    const bool languageChosen = g_MultiLang.Initialize() != 0;
    // Before the first box: its buttons speak the interface's language too.
    if (languageChosen) UseInterfaceLanguageForToolkit();
    if (!languageChosen) {
        // No message can be shown without the language table; the log says why start-up ended.
        VexoLogInfo(L"Language selection failed");
    } else if (!g_MultiLang.LoadTexts()) {
        VexoLogInfo(L"Language file %hs could not be loaded", g_MultiLang.Path());
    } else if (!OpenServiceChannel()) {
        VexoMessageBox(LangText("Service_RPC_Not_Created", u""), wxEmptyString, wxOK);
        CloseServiceChannel();
    } else {
        auto guard = std::make_unique<InstanceGuard>(kInstanceGuardName);
        switch (guard->Acquire()) {
            case InstanceGuard::State::Held:
                g_pInstanceGuard = guard.release();
                result = true;
                break;
            case InstanceGuard::State::HeldElsewhere: {
                // The running instance keeps its guard: nothing is removed here.
                const std::string holder = guard->Holder().empty() ? "" : " (" + guard->Holder() + ")";
                VexoLogInfo(L"Another instance holds %hs%hs", guard->Address().c_str(), holder.c_str());
                VexoMessageBox(LangText("Application_Is_Running", u""), wxEmptyString, wxOK);
                break;
            }
            default:
                // No socket could be bound (a sandbox that forbids them): refusing would lock the
                // user out for good, so this instance runs unguarded and says why.
                VexoLogInfo(L"Single-instance guard unavailable (%hs); starting without it",
                            guard->Problem().c_str());
                result = true;
                break;
        }
    }
    // OnExit does not follow a failed start-up: stop the channel's receive thread here, so that
    // it never runs into the process's static destruction.
    if (!result) CloseServiceChannel();
    VexoLogInfo(L"Configuration Exit");
    return result;
}

void SetLanguageOption(const std::string& language) { LanguageOption() = language; }

int AppRunMainWindow() {
    // A termination signal during start-up: end as a closed window would, without building one.
    if (ShutdownRequested()) return 0;
    // A local window: leaving this scope destroys it, and its destructor stops the device watch.
    CPMainFrame frame;
    frame.Initialize();
    // A signal while the first reading ran (its requests are each bounded): no message, no window.
    if (ShutdownRequested()) return 0;
    if (!frame.Running()) {
        VexoMessageBox(LangText("Device_Undetected", u""), wxEmptyString, wxOK);
        return 0;
    }
    if (g_RequiredConfigVersion > g_ConfigVersion) {
        VexoMessageBox(LangText("Firmware_not_supported", u""), wxEmptyString, wxOK);
        return 0;
    }
    // Its loop is the outermost one: a lost device is told there, once every window over it ended.
    SetOutermostWindow(&frame);
    frame.ShowModal();
    SetOutermostWindow(nullptr);
    return 0;
}

int AppShutDown() {
    delete g_pConfig;
    g_pConfig = nullptr;
    // A calibration whose put-back the service never answered: one last try, on a new connection
    // when the old one ended (the window and its watch are gone: nothing else sends now).
    if (VexoSource::RestorePendingExists()) {
        if (!VexoSource::ServiceChannelConnected()) VexoSource::ReconnectServiceChannel();
        if (!VexoSource::RestorePending())
            VexoLogException(L"A frame's saved calibration could not be put back before the end");
    }
    // The receive thread must not outlive main: static destruction would race it.
    CloseServiceChannel();
    // Released last, once this instance has written its file and stopped its threads: a new
    // instance that starts now finds the configuration complete.
    delete g_pInstanceGuard;
    g_pInstanceGuard = nullptr;
    return 0;
}

bool VexoWxApp::OnInit() {
    // Before start-up, so that a signal in any phase ends the program the ordinary way.
    if (InstallShutdownOnSignal() && !VexoPlatform::StartEndBound(kSignalEndBoundMs, 0, SayEndBoundReached))
        VexoLogException(L"No bound on the end after a signal: the ordinary end alone counts");
    // A command waiting for the watch's pass gives up once the program ends.
    SetCommandWaitAbandon(ProgramEnding);
    // A slow service must not freeze the windows: replies are waited for with the loop running.
    WaitForRepliesWithEventsRunning();
    // The orientation watch asks the display server the toolkit opened.
    VexoPlatform::SetDisplayServer(ToolkitOnWayland() ? VexoPlatform::DisplayServer::Wayland
                                                      : VexoPlatform::DisplayServer::X11);
    const bool started = AppStartUp();
    if (!started) {
        RemoveShutdownOnSignal();
        VexoPlatform::DisarmEndBound();
    }
    return started;
}

int VexoWxApp::OnRun() { return AppRunMainWindow(); }

int VexoWxApp::OnExit() {
    const int result = AppShutDown();
    RemoveShutdownOnSignal();
    // Written back, threads stopped, guard released: what is left is the toolkit's own clean-up.
    VexoPlatform::DisarmEndBound();
    return result;
}
