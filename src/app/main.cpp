// Program entry: the toolkit's entry creates the one VexoWxApp.
#include "app/VexoWxApp.h"
#include "platform/ToolkitEnvironment.h"

wxIMPLEMENT_APP_NO_MAIN(VexoWxApp);

int main(int argc, char** argv) {
    VexoPlatform::PrepareToolkitEnvironment();  // GTK reads it while wxEntry opens the display
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
