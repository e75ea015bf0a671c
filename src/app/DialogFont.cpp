#include "app/DialogFont.h"

wxFont DialogFont() {
    return wxFont(wxFontInfo(wxSize(0, kDialogFontPixels)).Family(wxFONTFAMILY_SWISS));
}

void ApplyDialogFont(wxWindow* window) {
    if (window) window->SetFont(DialogFont());
}
