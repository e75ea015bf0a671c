// Program entry. The options are answered before the toolkit starts: --help and --version must
// work without a display. Without options the toolkit's entry creates the one VexoWxApp.
#include <cstdio>
#include <string>
#include <vector>

#include "app/VexoWxApp.h"
#include "config/CommandLineRules.h"
#include "config/DataLocation.h"
#include "platform/ToolkitEnvironment.h"

wxIMPLEMENT_APP_NO_MAIN(VexoWxApp);

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const VexoSource::CommandLineAnswer answer = VexoSource::ReadCommandLine(
        args, [] { return VexoSource::ConfigVersionText(VexoSource::CurrentDataFacts()); });
    if (!answer.run) {
        std::fputs(answer.out.c_str(), stdout);
        std::fputs(answer.err.c_str(), stderr);
        return answer.exitCode;
    }
    SetLanguageOption(answer.language);
    VexoPlatform::PrepareToolkitEnvironment();  // GTK reads it while wxEntry opens the display
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
