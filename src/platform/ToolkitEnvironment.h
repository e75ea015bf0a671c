// Environment settings the GUI toolkit reads while it starts, so they must be in place before it
// initialises (first thing in main, before wxEntry).
#pragma once

namespace VexoPlatform {

// Asks GTK not to set up OpenGL ("GDK_GL=disable"). No window of ours draws with OpenGL, yet GTK
// probes it while opening the display, and the probe maps the whole GL driver: with Mesa's
// software driver that is LLVM, about half the program's resident memory and a slower start; on a
// real GPU the vendor's stack instead. A GDK_GL value already in the environment is left as it is,
// so a user can still choose otherwise.
void PrepareToolkitEnvironment();

// True when the session's display is a Wayland compositor (WAYLAND_DISPLAY is set), whether the
// toolkit talks Wayland to it or X through its XWayland.
bool SessionOnWayland();

}  // namespace VexoPlatform
