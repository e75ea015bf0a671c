#include "gui/DialogFont.h"

#include <algorithm>

#include <gtk/gtk.h>

wxFont DialogFont() {
    return wxFont(wxFontInfo(wxSize(0, kDialogFontPixels)).Family(wxFONTFAMILY_SWISS));
}

void ApplyDialogFont(wxWindow* window) {
    if (window) window->SetFont(DialogFont());
}

void GrowToToolkitMinimum(wxWindow* control) {
    if (!control) return;
    GtkWidget* widget = static_cast<GtkWidget*>(control->GetHandle());
    if (!widget) return;
    int minWidth = 0, naturalWidth = 0, minHeight = 0, naturalHeight = 0;
    gtk_widget_get_preferred_width(widget, &minWidth, &naturalWidth);
    gtk_widget_get_preferred_height(widget, &minHeight, &naturalHeight);
    const wxSize size = control->GetSize();
    const wxSize grown(std::max(size.x, minWidth), std::max(size.y, minHeight));
    if (grown != size) control->SetSize(grown);
}
