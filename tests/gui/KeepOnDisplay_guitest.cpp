// Where a window goes when its display's geometry changes under it (a turned screen).
#include <gtest/gtest.h>

#include "gui/KeepOnDisplay.h"

TEST(KeepOnDisplay, WindowIsMovedInsideItsDisplayAsLittleAsItTakes) {
    const wxRect landscape(0, 0, 1920, 1080), portrait(0, 0, 1080, 1920), second(1920, 0, 1080, 1920);
    struct Row {
        const char* name;
        wxRect window;
        wxRect display;
        wxPoint placed;
    } rows[] = {
        {"inside already: stays", wxRect(100, 200, 380, 486), landscape, wxPoint(100, 200)},
        {"low on a portrait screen turned back to landscape", wxRect(350, 1300, 380, 486), landscape,
         wxPoint(350, 1080 - 486)},
        {"far right on a landscape screen turned to portrait", wxRect(1500, 300, 380, 486), portrait,
         wxPoint(1080 - 380, 300)},
        {"off both edges", wxRect(1800, 1000, 380, 486), portrait, wxPoint(700, 1000)},
        {"left of the display", wxRect(-50, -20, 380, 486), landscape, wxPoint(0, 0)},
        {"second display, beside the first", wxRect(2800, 1700, 380, 486), second, wxPoint(1920 + 1080 - 380, 1920 - 486)},
        {"larger than the display: its top-left on it", wxRect(300, 300, 1200, 1200), wxRect(0, 0, 1024, 768),
         wxPoint(0, 0)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(PlaceInside(r.window, r.display), r.placed);
    }
}
