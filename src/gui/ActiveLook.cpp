#include "gui/ActiveLook.h"

#include <gtk/gtk.h>

namespace {

gboolean DropBackdropNow(gpointer data) {
    GtkWidget* widget = static_cast<GtkWidget*>(data);
    // The toplevel's flag is what its children inherit: unset there, it goes from all of them.
    if (gtk_widget_get_state_flags(widget) & GTK_STATE_FLAG_BACKDROP)
        gtk_widget_unset_state_flags(widget, GTK_STATE_FLAG_BACKDROP);
    return G_SOURCE_REMOVE;
}

void DropBackdrop(GtkWidget* widget, GtkStateFlags, gpointer) {
    // Not while GTK is still handing the new flags down to the children: once it is done.
    if (gtk_widget_get_state_flags(widget) & GTK_STATE_FLAG_BACKDROP)
        g_idle_add_full(G_PRIORITY_HIGH_IDLE, DropBackdropNow, g_object_ref(widget), g_object_unref);
}

}  // namespace

void DrawAsActive(wxWindow* window) {
    if (!window) return;
    GtkWidget* widget = static_cast<GtkWidget*>(window->GetHandle());
    if (!widget || !GTK_IS_WINDOW(widget)) return;
    // GTK sets the flag again whenever the window's focus state changes.
    g_signal_connect_after(widget, "state-flags-changed", G_CALLBACK(DropBackdrop), nullptr);
    DropBackdrop(widget, GtkStateFlags(0), nullptr);
}
