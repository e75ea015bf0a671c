// Text on a covered screen (the calibration's guidance, its check view): a font that grows with
// the screen and shrinks until every line fits.
#pragma once

#include <vector>

#include <wx/dc.h>
#include <wx/font.h>
#include <wx/string.h>

// Sets on dc the base font at a size for a screen screenHeight pixels tall (a sixtieth of it, at
// least 12 points), made smaller (down to 8 points) until the widest of lines is at most maxWidth
// pixels: a portrait screen (a turned display) is tall for its width.
void SetFittingFont(wxDC& dc, const wxFont& base, int screenHeight, const std::vector<wxString>& lines, int maxWidth);
