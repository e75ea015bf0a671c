#include "platform/ToolkitEnvironment.h"

#include <cstdlib>

namespace VexoPlatform {

void PrepareToolkitEnvironment() {
    ::setenv("GDK_GL", "disable", 0);  // 0: never replace a value the user set
}

}  // namespace VexoPlatform
