#include "app/VexoWxApp.h"

#include <boost/interprocess/exceptions.hpp>
#include <boost/interprocess/sync/named_mutex.hpp>

#include "app/AppState.h"
#include "app/CPMainFrame.h"
#include "app/MainFrameRules.h"
#include "app/MessageBox.h"
#include "app/WxText.h"
#include "config/DataLocation.h"
#include "config/ProcessConfig.h"
#include "foundation/VexoLog.h"
#include "foundation/VexoThread.h"
#include "platform/ModuleFolder.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;
namespace bip = boost::interprocess;

bip::named_mutex* g_pInstanceGuard = nullptr;

bool AppStartUp() {
    VexoSetModuleFolderAsCurrent();
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

    const VexoWString versionText = g_pConfig->ReadText("Configuration:Version", VexoWString(u"2.0.0.0"), 0);
    g_ConfigVersion = ParseConfigVersion(ToNarrow(versionText.str));
    VexoLogDebug(L"Current version %d.%d", g_ConfigVersion / 10, g_ConfigVersion % 10);

    bool result = false;
    if (!g_MultiLang.Initialize()) {
        // No message can be shown without the language table; the log says why start-up ended.
        VexoLogInfo(L"Language selection failed");
    } else if (!g_MultiLang.LoadTexts()) {
        VexoLogInfo(L"Language file %hs could not be loaded", g_MultiLang.Path());
    } else if (!OpenServiceChannel()) {
        VexoMessageBox(LangText("Service_RPC_Not_Created", u""), wxEmptyString, wxOK);
        CloseServiceChannel();
    } else {
        try {
            g_pInstanceGuard = new bip::named_mutex(bip::create_only, kInstanceGuardName);
            result = true;
        } catch (const bip::interprocess_exception&) {
            VexoMessageBox(LangText("Application_Is_Running", u""), wxEmptyString, wxOK);
            bip::named_mutex::remove(kInstanceGuardName);
        }
    }
    // OnExit does not follow a failed start-up: stop the channel's receive thread here, so that
    // it never runs into the process's static destruction.
    if (!result) CloseServiceChannel();
    VexoLogInfo(L"Configuration Exit");
    return result;
}

int AppRunMainWindow() {
    // A local window: leaving this scope destroys it, and its destructor stops the device watch.
    CPMainFrame frame;
    frame.Initialize();
    if (!frame.Running()) {
        VexoMessageBox(LangText("Device_Undetected", u""), wxEmptyString, wxOK);
        return 0;
    }
    if (g_RequiredConfigVersion > g_ConfigVersion) {
        VexoMessageBox(LangText("Firmware_not_supported", u""), wxEmptyString, wxOK);
        return 0;
    }
    frame.ShowModal();
    return 0;
}

int AppShutDown() {
    if (g_pInstanceGuard) {
        delete g_pInstanceGuard;
        g_pInstanceGuard = nullptr;
        bip::named_mutex::remove(kInstanceGuardName);
    }
    delete g_pConfig;
    g_pConfig = nullptr;
    // The receive thread must not outlive main: static destruction would race it.
    CloseServiceChannel();
    return 0;
}

bool VexoWxApp::OnInit() { return AppStartUp(); }
int VexoWxApp::OnRun() { return AppRunMainWindow(); }
int VexoWxApp::OnExit() { return AppShutDown(); }
