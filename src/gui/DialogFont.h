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

// Grows a control whose fixed size is below GTK's minimum for it (GTK's check and radio indicators
// and its sliders need more height than the layouts give them, and GTK complains on the terminal
// otherwise) to that minimum, in that direction only; its position stays.
void GrowToToolkitMinimum(wxWindow* control);
