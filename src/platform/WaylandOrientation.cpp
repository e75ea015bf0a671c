// The orientation query on Wayland: a connection of its own (the toolkit's belongs to the GUI
// thread, the query runs on the watch thread), asked for the outputs, their transforms and their
// logical places (xdg_output: the compositor's layout, which is what the toolkit's monitors are
// made of), then closed again. Every wait is bounded: a compositor that stops answering costs the
// watch one second, never the thread.
#include "platform/DisplayOrientation.h"

#include <poll.h>

#include <wayland-client.h>

#include "xdg-output-unstable-v1-client-protocol.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace VexoPlatform {

namespace {

constexpr int kAnswerMs = 1000;  // a compositor answers a round trip within microseconds

struct Output {
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    bool haveTransform = false;
    int32_t transform = 0;
    int32_t x = 0, y = 0;                     // wl_output geometry (compositors may leave it 0,0)
    int32_t modeWidth = 0, modeHeight = 0;    // current mode, in the output's own pixels
    int32_t scale = 1;
    bool haveLogical = false;
    int32_t logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
    std::string name;

    // Its place in the compositor's layout: xdg_output's, else worked out as the toolkit does
    // without it (the mode turned with the transform, divided by the scale).
    DisplayPlace Place() const {
        if (haveLogical) return DisplayPlace{logicalX, logicalY, logicalWidth, logicalHeight};
        const bool turned = transform % 2 == 1;  // 90, 270 and their flipped forms
        const int32_t s = scale > 0 ? scale : 1;
        return DisplayPlace{x, y, (turned ? modeHeight : modeWidth) / s, (turned ? modeWidth : modeHeight) / s};
    }
};

struct Registry {
    std::vector<std::unique_ptr<Output>> outputs;
    zxdg_output_manager_v1* xdgManager = nullptr;
};

void OnGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t transform) {
    auto* o = static_cast<Output*>(data);
    o->x = x;
    o->y = y;
    o->transform = transform;
    o->haveTransform = true;
}
void OnMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* o = static_cast<Output*>(data);
    o->modeWidth = width;
    o->modeHeight = height;
}
void OnDone(void*, wl_output*) {}
void OnScale(void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = factor; }

const wl_output_listener kOutputListener = {OnGeometry, OnMode, OnDone, OnScale, nullptr, nullptr};

void OnLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* o = static_cast<Output*>(data);
    o->logicalX = x;
    o->logicalY = y;
    o->haveLogical = true;
}
void OnLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* o = static_cast<Output*>(data);
    o->logicalWidth = width;
    o->logicalHeight = height;
}
void OnXdgDone(void*, zxdg_output_v1*) {}
void OnName(void* data, zxdg_output_v1*, const char* name) { static_cast<Output*>(data)->name = name ? name : ""; }
void OnDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kXdgOutputListener = {OnLogicalPosition, OnLogicalSize, OnXdgDone, OnName,
                                                    OnDescription};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* r = static_cast<Registry*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        const uint32_t bound = version < 2 ? version : 2;  // geometry since 1, done and scale since 2
        auto o = std::make_unique<Output>();
        o->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, bound));
        if (!o->output) return;
        wl_output_add_listener(o->output, &kOutputListener, o.get());
        r->outputs.push_back(std::move(o));
    } else if (!r->xdgManager && std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        const uint32_t bound = version < 2 ? version : 2;  // names since 2
        r->xdgManager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, bound));
    }
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnSyncDone(void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener = {OnSyncDone};

// wl_display_roundtrip with a bound: the events before the server's answer to a sync are
// dispatched. False when the connection failed or the answer did not come in time.
bool BoundedRoundTrip(wl_display* display) {
    bool done = false;
    wl_callback* sync = wl_display_sync(display);
    if (!sync) return false;
    wl_callback_add_listener(sync, &kSyncListener, &done);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    bool ok = true;
    while (ok && !done) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0) {
                ok = false;
                break;
            }
        if (!ok) break;
        if (done) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            ok = false;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&p, 1, int(left)) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR) continue;
            ok = false;
            break;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) ok = false;
    }
    wl_callback_destroy(sync);
    return ok && done;
}

std::string DisplayName() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name && *name ? name : "wayland-0";
}

}  // namespace

uint32_t OrientationFromWaylandTransform(int32_t transform) {
    switch (transform) {
    case WL_OUTPUT_TRANSFORM_90:
    case WL_OUTPUT_TRANSFORM_FLIPPED_90: return 1;
    case WL_OUTPUT_TRANSFORM_180:
    case WL_OUTPUT_TRANSFORM_FLIPPED_180: return 2;
    case WL_OUTPUT_TRANSFORM_270:
    case WL_OUTPUT_TRANSFORM_FLIPPED_270: return 3;
    default: return 0;
    }
}

OrientationReading QueryWayland(const DisplayPlace& frame) {
    OrientationReading reading;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        reading.ok = false;
        reading.failure = "cannot connect to the Wayland display " + DisplayName();
        return reading;
    }
    Registry r;
    wl_registry* registry = wl_display_get_registry(display);
    if (!registry) {
        reading.ok = false;
        reading.failure = "the Wayland display " + DisplayName() + " gave no registry";
    } else {
        wl_registry_add_listener(registry, &kRegistryListener, &r);
        // The first round trip brings the globals (and binds the outputs), the second their events.
        bool answered = BoundedRoundTrip(display);
        if (answered && !r.outputs.empty()) {
            if (r.xdgManager)
                for (const std::unique_ptr<Output>& o : r.outputs) {
                    o->xdg = zxdg_output_manager_v1_get_xdg_output(r.xdgManager, o->output);
                    if (o->xdg) zxdg_output_v1_add_listener(o->xdg, &kXdgOutputListener, o.get());
                }
            answered = BoundedRoundTrip(display);
        }
        std::vector<OutputInfo> described;
        for (const std::unique_ptr<Output>& o : r.outputs)
            if (o->haveTransform)
                described.push_back(OutputInfo{o->name, o->Place(), OrientationFromWaylandTransform(o->transform), false});
        if (!answered) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " did not answer";
        } else if (r.outputs.empty()) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " has no output";
        } else if (described.size() != r.outputs.size()) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " sent no output geometry";
        } else {
            const int chosen = ChooseOutput(described, frame);
            if (chosen < 0) {
                reading.ok = false;
                reading.failure = "no output of the Wayland display " + DisplayName() +
                                  " shows the window's display at " + DisplayPlaceText(frame);
            } else {
                reading.orientation = described[size_t(chosen)].orientation;
                reading.output = described[size_t(chosen)].name;
            }
        }
    }
    for (const std::unique_ptr<Output>& o : r.outputs) {
        if (o->xdg) zxdg_output_v1_destroy(o->xdg);
        wl_output_destroy(o->output);
    }
    if (r.xdgManager) zxdg_output_manager_v1_destroy(r.xdgManager);
    if (registry) wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return reading;
}

}  // namespace VexoPlatform
