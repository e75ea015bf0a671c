#include "gui/ToolkitDisplay.h"

#include <wx/utils.h>

bool ToolkitOnWayland() {
#ifdef __WXGTK__
    return wxGetDisplayInfo().type == wxDisplayWayland;
#else
    return false;
#endif
}
