#include "dialogs/ScreenText.h"

#include <algorithm>

void SetFittingFont(wxDC& dc, const wxFont& base, int screenHeight, const std::vector<wxString>& lines, int maxWidth) {
    wxFont font = base;
    font.SetPointSize(std::max(12, screenHeight / 60));
    dc.SetFont(font);
    auto widest = [&] {
        int w = 0;
        for (const wxString& line : lines) w = std::max(w, dc.GetTextExtent(line).x);
        return w;
    };
    while (font.GetPointSize() > 8 && widest() > maxWidth) {
        font.SetPointSize(font.GetPointSize() - 1);
        dc.SetFont(font);
    }
}
