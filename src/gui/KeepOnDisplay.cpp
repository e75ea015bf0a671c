#include "gui/KeepOnDisplay.h"

#include <algorithm>

#include <wx/weakref.h>

#include "foundation/VexoLog.h"
#include "gui/ToolkitDisplay.h"

// Last: GTK's headers after the toolkit's.
#include <gtk/gtk.h>

namespace {

int Clamp(int position, int size, int start, int length) {
    // Larger than the display: its start on the display's start (its title and first controls).
    if (size >= length) return start;
    return std::min(std::max(position, start), start + length - size);
}

// The monitor the window overlaps most, read from GDK now: the toolkit's display list may still
// hold the geometry from before the change.
GdkRectangle DisplayOf(GtkWidget* widget, const wxRect& window) {
    GdkDisplay* display = gtk_widget_get_display(widget);
    GdkRectangle best{0, 0, 0, 0};
    long bestArea = -1;
    const int count = gdk_display_get_n_monitors(display);
    for (int k = 0; k < count; ++k) {
        GdkRectangle g;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, k), &g);
        const wxRect overlap = window.Intersect(wxRect(g.x, g.y, g.width, g.height));
        const long area = overlap.IsEmpty() ? 0 : long(overlap.width) * overlap.height;
        if (area > bestArea) {
            bestArea = area;
            best = g;
        }
    }
    return best;
}

struct Watch {
    wxWeakRef<wxTopLevelWindow> window;
};

void OnScreenChanged(GdkScreen*, gpointer data) {
    wxTopLevelWindow* window = static_cast<Watch*>(data)->window.get();
    if (!window || !window->IsShown()) return;
    // After the toolkit has taken the change in (its own handlers of the same signal).
    wxWeakRef<wxTopLevelWindow> weak(window);
    window->CallAfter([weak] {
        wxTopLevelWindow* w = weak.get();
        if (!w || !w->IsShown() || !w->GetHandle()) return;
        const wxRect outer = w->GetScreenRect();
        const GdkRectangle g = DisplayOf(static_cast<GtkWidget*>(w->GetHandle()), outer);
        if (g.width <= 0 || g.height <= 0) return;
        const wxPoint inside = PlaceInside(outer, wxRect(g.x, g.y, g.width, g.height));
        if (inside == outer.GetPosition()) return;
        VexoLogInfo(L"Display now %dx%d at %d,%d: window moved from %d,%d to %d,%d to stay on it", g.width, g.height,
                    g.x, g.y, outer.x, outer.y, inside.x, inside.y);
        w->Move(inside);
    });
}

}  // namespace

wxPoint PlaceInside(const wxRect& window, const wxRect& display) {
    return wxPoint(Clamp(window.x, window.width, display.x, display.width),
                   Clamp(window.y, window.height, display.y, display.height));
}

void KeepOnDisplay(wxTopLevelWindow* window) {
    if (!window || ToolkitOnWayland()) return;
    GtkWidget* widget = static_cast<GtkWidget*>(window->GetHandle());
    GdkScreen* screen = widget ? gtk_widget_get_screen(widget) : gdk_screen_get_default();
    if (!screen) return;
    auto* watch = new Watch{window};
    // "size-changed": the root window's size (RandR rotation, a mode change); "monitors-changed":
    // an output's geometry. The handlers go with the window.
    const gulong sizeId = g_signal_connect(screen, "size-changed", G_CALLBACK(OnScreenChanged), watch);
    const gulong monitorsId = g_signal_connect(screen, "monitors-changed", G_CALLBACK(OnScreenChanged), watch);
    window->Bind(wxEVT_DESTROY, [screen, sizeId, monitorsId, watch, window](wxWindowDestroyEvent& event) {
        event.Skip();
        if (event.GetEventObject() != window) return;
        g_signal_handler_disconnect(screen, sizeId);
        g_signal_handler_disconnect(screen, monitorsId);
        delete watch;
    });
}
