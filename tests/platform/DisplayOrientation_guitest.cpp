// The display orientation query on a real X server (the test Xvfb, which is not rotated).
#include "platform/DisplayOrientation.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <thread>

#include <X11/Xlib.h>

namespace {
std::atomic<int> g_handlerSets{0};
}  // namespace

// Every call in this process of Xlib's setter of its process-wide error handler comes here first
// (the toolkit's among them) and goes on to Xlib.
extern "C" XErrorHandler XSetErrorHandler(XErrorHandler handler) {
    ++g_handlerSets;
    using Setter = XErrorHandler (*)(XErrorHandler);
    static const Setter xlib = reinterpret_cast<Setter>(dlsym(RTLD_NEXT, "XSetErrorHandler"));
    return xlib ? xlib(handler) : nullptr;
}

// The watch thread asks while the toolkit sets and restores Xlib's handler on the GUI thread:
// had the query swapped the handler too, the two could restore each other's, and the toolkit's
// handler end up calling itself.
TEST(DisplayOrientation, TheQueryNeverTouchesXlibsErrorHandler) {
    const int before = g_handlerSets;
    EXPECT_EQ(VexoPlatform::QueryXRandROrientation(), 0u);
    std::thread watch([] {
        for (int i = 0; i < 10; ++i) EXPECT_EQ(VexoPlatform::QueryXRandROrientation(), 0u);
    });
    watch.join();
    EXPECT_EQ(g_handlerSets - before, 0);
}
