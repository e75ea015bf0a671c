#include "platform/DisplayOrientation.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <mutex>

namespace VexoPlatform {

namespace {
std::mutex g_sourceLock;
OrientationSource g_source;

// Xlib's error handler is process-wide. While a query runs, errors of our own connection are
// ignored (an output may vanish between two RandR calls) and every other connection's errors go
// on to the handler that was installed before, so the toolkit's error handling keeps working.
std::mutex g_xLock;
Display* g_queryDisplay = nullptr;
int (*g_previousHandler)(Display*, XErrorEvent*) = nullptr;

int QueryErrorHandler(Display* display, XErrorEvent* event) {
    if (display == g_queryDisplay) return 0;
    return g_previousHandler ? g_previousHandler(display, event) : 0;
}

uint32_t FromRotation(Rotation rotation) {
    switch (rotation & (RR_Rotate_0 | RR_Rotate_90 | RR_Rotate_180 | RR_Rotate_270)) {
    case RR_Rotate_90: return 1;
    case RR_Rotate_180: return 2;
    case RR_Rotate_270: return 3;
    default: return 0;
    }
}
}  // namespace

OrientationSource SetDisplayOrientationSource(OrientationSource source) {
    std::lock_guard<std::mutex> lock(g_sourceLock);
    OrientationSource previous = g_source;
    g_source = std::move(source);
    return previous;
}

uint32_t GetDisplayOrientation() {
    OrientationSource source;
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        source = g_source;
    }
    if (source) return source();
    return QueryXRandROrientation();
}

uint32_t QueryXRandROrientation() {
    std::lock_guard<std::mutex> xlock(g_xLock);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    g_queryDisplay = display;
    g_previousHandler = XSetErrorHandler(&QueryErrorHandler);
    uint32_t result = 0;
    int eventBase = 0, errorBase = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        const Window root = DefaultRootWindow(display);
        bool found = false;
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, root)) {
            RROutput primary = XRRGetOutputPrimary(display, root);
            RROutput chosen = 0;
            if (primary) {
                chosen = primary;
            } else {
                for (int i = 0; i < res->noutput && !chosen; ++i) {
                    if (XRROutputInfo* info = XRRGetOutputInfo(display, res, res->outputs[i])) {
                        if (info->connection == RR_Connected && info->crtc) chosen = res->outputs[i];
                        XRRFreeOutputInfo(info);
                    }
                }
            }
            if (chosen) {
                if (XRROutputInfo* info = XRRGetOutputInfo(display, res, chosen)) {
                    if (info->crtc) {
                        if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, res, info->crtc)) {
                            result = FromRotation(crtc->rotation);
                            found = true;
                            XRRFreeCrtcInfo(crtc);
                        }
                    }
                    XRRFreeOutputInfo(info);
                }
            }
            XRRFreeScreenResources(res);
        }
        if (!found) {
            Rotation current = RR_Rotate_0;
            XRRRotations(display, DefaultScreen(display), &current);
            result = FromRotation(current);
        }
    }
    XSync(display, False);
    XSetErrorHandler(g_previousHandler);
    XCloseDisplay(display);
    g_queryDisplay = nullptr;
    return result;
}

}  // namespace VexoPlatform
