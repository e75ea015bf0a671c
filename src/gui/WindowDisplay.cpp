#include "gui/WindowDisplay.h"

#include <wx/display.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "gui/ToolkitDisplay.h"

WindowDisplay DisplayOfWindow(const wxWindow* window) {
    WindowDisplay result;
    const wxWindow* top = window ? wxGetTopLevelParent(const_cast<wxWindow*>(window)) : nullptr;
#ifdef __WXGTK__
    GtkWidget* widget = top ? static_cast<GtkWidget*>(top->GetHandle()) : nullptr;
    GdkWindow* gdkWindow = widget ? gtk_widget_get_window(widget) : nullptr;
    if (!gdkWindow || !top->IsShown()) return result;
    GdkDisplay* display = gdk_window_get_display(gdkWindow);
    GdkMonitor* monitor = gdk_display_get_monitor_at_window(display, gdkWindow);
    if (!monitor) return result;
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i)
        if (gdk_display_get_monitor(display, i) == monitor) result.index = i;
    if (result.index < 0) return result;
    GdkRectangle r;
    gdk_monitor_get_geometry(monitor, &r);
    result.geometry = wxRect(r.x, r.y, r.width, r.height);
    // On X the toolkit's pixels are the server's divided by the scale; on Wayland the geometry
    // is the compositor's logical one already.
    const int scale = ToolkitOnWayland() ? 1 : gdk_monitor_get_scale_factor(monitor);
    result.place = VexoPlatform::DisplayPlace{r.x * scale, r.y * scale, r.width * scale, r.height * scale};
#else
    const int index = top ? wxDisplay::GetFromWindow(top) : wxNOT_FOUND;
    if (index == wxNOT_FOUND) return result;
    result.index = index;
    result.geometry = wxDisplay(unsigned(index)).GetGeometry();
    const wxRect& g = result.geometry;
    result.place = VexoPlatform::DisplayPlace{g.x, g.y, g.width, g.height};
#endif
    return result;
}

void ShowFullScreenOn(wxTopLevelWindow* window, int index) {
    if (!window) return;
    window->ShowFullScreen(true, wxFULLSCREEN_ALL);
#ifdef __WXGTK__
    // After wx's own request, which asks for no output and would undo the choice.
    if (index >= 0 && ToolkitOnWayland()) {
        GtkWindow* gtkWindow = GTK_WINDOW(window->GetHandle());
        gtk_window_fullscreen_on_monitor(gtkWindow, gtk_window_get_screen(gtkWindow), index);
    }
#else
    (void)index;
#endif
}
