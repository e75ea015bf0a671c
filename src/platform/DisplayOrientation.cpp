#include "platform/DisplayOrientation.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace VexoPlatform {

namespace {
std::mutex g_sourceLock;
OrientationSource g_source;
// Set once on the GUI thread at start-up, read by the watch thread.
std::atomic<DisplayServer> g_server{DisplayServer::X11};

// The frame's display: written by the GUI thread, read by the watch thread.
std::mutex g_frameLock;
std::condition_variable g_frameSaid;
DisplayPlace g_frame;
uint64_t g_frameCount = 0;

std::string PlaceText(const DisplayPlace& p) {
    return std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height);
}

int64_t Overlap(const DisplayPlace& a, const DisplayPlace& b) {
    const int64_t w = std::min<int64_t>(int64_t(a.x) + a.width, int64_t(b.x) + b.width) - std::max(a.x, b.x);
    const int64_t h = std::min<int64_t>(int64_t(a.y) + a.height, int64_t(b.y) + b.height) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

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

// The output as it shows now; false when it shows nothing (no CRTC, not connected) or has vanished.
bool DescribeOutput(xcb_connection_t* c, xcb_randr_output_t output, xcb_timestamp_t config, OutputInfo& out) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_randr_get_output_info_reply_t> info =
        Take(xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, output, config), &error), error);
    if (!info || !info->crtc || info->connection != XCB_RANDR_CONNECTION_CONNECTED) return false;
    error = nullptr;
    Reply<xcb_randr_get_crtc_info_reply_t> crtc =
        Take(xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, info->crtc, config), &error), error);
    if (!crtc) return false;
    const uint8_t* name = xcb_randr_get_output_info_name(info.get());
    out.name.assign(reinterpret_cast<const char*>(name), size_t(xcb_randr_get_output_info_name_length(info.get())));
    // The CRTC's size on the screen: already turned with its rotation.
    out.place = DisplayPlace{crtc->x, crtc->y, crtc->width, crtc->height};
    out.orientation = FromRotation(crtc->rotation);
    return true;
}

OrientationReading QueryOn(xcb_connection_t* c, int screenNumber, const DisplayPlace& frame) {
    OrientationReading reading;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!randr || !randr->present) return reading;
    xcb_screen_t* screen = ScreenOf(c, screenNumber);
    if (!screen) return reading;
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
            error = nullptr;
            Reply<xcb_randr_get_output_primary_reply_t> primary =
                Take(xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), &error), error);
            std::vector<OutputInfo> shown;
            const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(res.get());
            const int count = xcb_randr_get_screen_resources_current_outputs_length(res.get());
            for (int i = 0; i < count; ++i) {
                OutputInfo info;
                if (!DescribeOutput(c, outputs[i], res->config_timestamp, info)) continue;
                info.primary = primary && primary->output == outputs[i];
                shown.push_back(info);
            }
            if (!shown.empty()) {
                const int chosen = ChooseOutput(shown, frame);
                if (chosen < 0) {
                    reading.ok = false;
                    reading.failure = "no output shows the window's display at " + PlaceText(frame);
                    return reading;
                }
                reading.orientation = shown[size_t(chosen)].orientation;
                reading.output = shown[size_t(chosen)].name;
                return reading;
            }
        }
    }
    // No output to choose from: the screen's own rotation, as RandR 1.1 reports it.
    error = nullptr;
    Reply<xcb_randr_get_screen_info_reply_t> info =
        Take(xcb_randr_get_screen_info_reply(c, xcb_randr_get_screen_info(c, root), &error), error);
    reading.orientation = info ? FromRotation(info->rotation) : 0;
    return reading;
}
}  // namespace

std::string DisplayPlaceText(const DisplayPlace& place) { return PlaceText(place); }

void SetDisplayServer(DisplayServer server) { g_server = server; }

void SetFrameDisplay(const DisplayPlace& place) {
    {
        std::lock_guard<std::mutex> lock(g_frameLock);
        if (place.Known()) g_frame = place;
        ++g_frameCount;
    }
    g_frameSaid.notify_all();
}

DisplayPlace FrameDisplay() {
    std::lock_guard<std::mutex> lock(g_frameLock);
    return g_frame;
}

uint64_t FrameDisplayCount() {
    std::lock_guard<std::mutex> lock(g_frameLock);
    return g_frameCount;
}

bool WaitForFrameDisplayAfter(uint64_t seen, uint32_t timeoutMs, const std::function<bool()>& stop) {
    // In slices, so that a stop request is seen within one of them.
    constexpr auto kSlice = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(g_frameLock);
    while (g_frameCount == seen) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || (stop && stop())) return false;
        g_frameSaid.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kSlice, deadline - now));
    }
    return true;
}

int ChooseOutput(const std::vector<OutputInfo>& outputs, const DisplayPlace& frame) {
    if (outputs.empty()) return -1;
    if (!frame.Known()) {
        for (size_t i = 0; i < outputs.size(); ++i)
            if (outputs[i].primary) return int(i);
        return 0;
    }
    for (size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].place == frame) return int(i);
    const int64_t cx = int64_t(frame.x) + frame.width / 2, cy = int64_t(frame.y) + frame.height / 2;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const DisplayPlace& p = outputs[i].place;
        if (cx >= p.x && cx < int64_t(p.x) + p.width && cy >= p.y && cy < int64_t(p.y) + p.height) return int(i);
    }
    int best = -1;
    int64_t most = 0;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const int64_t area = Overlap(outputs[i].place, frame);
        if (area > most) {
            most = area;
            best = int(i);
        }
    }
    return best;
}

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
    const DisplayPlace frame = FrameDisplay();
    return g_server == DisplayServer::Wayland ? QueryWayland(frame) : QueryXRandR(frame);
}

uint32_t GetDisplayOrientation() { return ReadDisplayOrientation().orientation; }

OrientationReading QueryXRandR(const DisplayPlace& frame) {
    OrientationReading reading;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        const char* name = std::getenv("DISPLAY");
        reading.ok = false;
        reading.failure = std::string("cannot connect to the X display ") + (name && *name ? name : "(DISPLAY unset)");
    } else {
        reading = QueryOn(c, screenNumber, frame);
    }
    xcb_disconnect(c);
    return reading;
}

uint32_t QueryXRandROrientation() { return QueryXRandR().orientation; }

}  // namespace VexoPlatform
