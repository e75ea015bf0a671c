// Program entry: the toolkit's entry creates the one VexoWxApp.
#include "app/VexoWxApp.h"

wxIMPLEMENT_APP(VexoWxApp);
