#include "platform/ToolkitEnvironment.h"

#include <cstdlib>

namespace VexoPlatform {

void PrepareToolkitEnvironment() {
    ::setenv("GDK_GL", "disable", 0);  // 0: never replace a value the user set
}

bool SessionOnWayland() {
    const char* display = ::getenv("WAYLAND_DISPLAY");
    return display && *display;
}

}  // namespace VexoPlatform
