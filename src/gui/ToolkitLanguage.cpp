#include "gui/ToolkitLanguage.h"

#include <wx/intl.h>
#include <wx/translation.h>

#include "config/ProcessConfig.h"
#include "foundation/VexoLog.h"

void UseInterfaceLanguageForToolkit() {
    const bool chinese = g_MultiLang.LanguagePrefix == "Lang:CN:";
    // Only the catalog, not a wxLocale: setlocale would change how numbers are read and written
    // (the data files keep a '.'), and fails where the system has no Chinese locale.
    auto* translations = new wxTranslations;
    translations->SetLanguage(chinese ? wxLANGUAGE_CHINESE_SIMPLIFIED : wxLANGUAGE_ENGLISH_US);
    if (!translations->AddStdCatalog())
        VexoLogInfo(L"The toolkit's translations for %hs are missing: its buttons stay English",
                    chinese ? "Chinese" : "English");
    wxTranslations::Set(translations);  // takes it over, and drops the previous one
}
