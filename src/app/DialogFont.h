// The font of the program's windows. The fixed layouts were drawn for a small dialog font; GTK's
// default is larger and would cut labels off, so every window sets this one before it creates its
// controls (children inherit it).
#pragma once

#include <wx/font.h>
#include <wx/window.h>

// Pixel height of the font: the smallest caption of the layouts is 12 pixels high.
constexpr int kDialogFontPixels = 11;

wxFont DialogFont();
void ApplyDialogFont(wxWindow* window);
