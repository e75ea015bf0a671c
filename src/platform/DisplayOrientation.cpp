#include "platform/DisplayOrientation.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace VexoPlatform {

namespace {
std::mutex g_sourceLock;
OrientationSource g_source;
// Set once on the GUI thread at start-up, read by the watch thread.
std::atomic<DisplayServer> g_server{DisplayServer::X11};

// Replies (and errors) of XCB are malloc'ed.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// An error comes back as a value beside the reply: it is dropped, and the reply is then none.
template <class T>
Reply<T> Take(T* reply, xcb_generic_error_t* error) {
    std::free(error);
    return Reply<T>(reply);
}

uint32_t FromRotation(uint16_t rotation) {
    switch (rotation & (XCB_RANDR_ROTATION_ROTATE_0 | XCB_RANDR_ROTATION_ROTATE_90 | XCB_RANDR_ROTATION_ROTATE_180 |
                        XCB_RANDR_ROTATION_ROTATE_270)) {
    case XCB_RANDR_ROTATION_ROTATE_90: return 1;
    case XCB_RANDR_ROTATION_ROTATE_180: return 2;
    case XCB_RANDR_ROTATION_ROTATE_270: return 3;
    default: return 0;
    }
}

xcb_screen_t* ScreenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
        if (i == number) return it.data;
    return nullptr;
}

// The rotation of the output's CRTC; false when the output shows nothing or has vanished.
bool OutputRotation(xcb_connection_t* c, xcb_randr_output_t output, xcb_timestamp_t config, bool mustBeConnected,
                    uint16_t& rotation) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_randr_get_output_info_reply_t> info =
        Take(xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, output, config), &error), error);
    if (!info || !info->crtc) return false;
    if (mustBeConnected && info->connection != XCB_RANDR_CONNECTION_CONNECTED) return false;
    error = nullptr;
    Reply<xcb_randr_get_crtc_info_reply_t> crtc =
        Take(xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, info->crtc, config), &error), error);
    if (!crtc) return false;
    rotation = crtc->rotation;
    return true;
}

uint32_t QueryOn(xcb_connection_t* c, int screenNumber) {
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!randr || !randr->present) return 0;
    xcb_screen_t* screen = ScreenOf(c, screenNumber);
    if (!screen) return 0;
    const xcb_window_t root = screen->root;

    // The primary output and the current resources need RandR 1.3.
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_randr_query_version_reply_t> version =
        Take(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), &error), error);
    const bool modern = version && (version->major_version > 1 || version->minor_version >= 3);

    if (modern) {
        error = nullptr;
        Reply<xcb_randr_get_screen_resources_current_reply_t> res = Take(
            xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root), &error),
            error);
        if (res) {
            const xcb_timestamp_t config = res->config_timestamp;
            uint16_t rotation = 0;
            error = nullptr;
            Reply<xcb_randr_get_output_primary_reply_t> primary =
                Take(xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), &error), error);
            if (primary && primary->output) {
                if (OutputRotation(c, primary->output, config, false, rotation)) return FromRotation(rotation);
            } else {
                // No primary output (an X server without one, Xvfb for instance): the first
                // connected output that shows something.
                const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(res.get());
                const int count = xcb_randr_get_screen_resources_current_outputs_length(res.get());
                for (int i = 0; i < count; ++i)
                    if (OutputRotation(c, outputs[i], config, true, rotation)) return FromRotation(rotation);
            }
        }
    }
    // The screen's own rotation, as RandR 1.1 reports it.
    error = nullptr;
    Reply<xcb_randr_get_screen_info_reply_t> info =
        Take(xcb_randr_get_screen_info_reply(c, xcb_randr_get_screen_info(c, root), &error), error);
    return info ? FromRotation(info->rotation) : 0;
}
}  // namespace

void SetDisplayServer(DisplayServer server) { g_server = server; }

DisplayServer CurrentDisplayServer() { return g_server; }

OrientationSource SetDisplayOrientationSource(OrientationSource source) {
    std::lock_guard<std::mutex> lock(g_sourceLock);
    OrientationSource previous = g_source;
    g_source = std::move(source);
    return previous;
}

OrientationReading ReadDisplayOrientation() {
    OrientationSource source;
    {
        std::lock_guard<std::mutex> lock(g_sourceLock);
        source = g_source;
    }
    if (source) {
        OrientationReading reading;
        reading.orientation = source();
        return reading;
    }
    return g_server == DisplayServer::Wayland ? QueryWayland() : QueryXRandR();
}

uint32_t GetDisplayOrientation() { return ReadDisplayOrientation().orientation; }

OrientationReading QueryXRandR() {
    OrientationReading reading;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        const char* name = std::getenv("DISPLAY");
        reading.ok = false;
        reading.failure = std::string("cannot connect to the X display ") + (name && *name ? name : "(DISPLAY unset)");
    } else {
        reading.orientation = QueryOn(c, screenNumber);
    }
    xcb_disconnect(c);
    return reading;
}

uint32_t QueryXRandROrientation() { return QueryXRandR().orientation; }

}  // namespace VexoPlatform
