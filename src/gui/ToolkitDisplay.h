// Which display server the toolkit opened.
#pragma once

// True when GTK talks Wayland to a compositor (its default on a Wayland desktop, unless
// GDK_BACKEND says otherwise); false on X, XWayland included. There the compositor places every
// window and reports the screen's rotation itself.
bool ToolkitOnWayland();
