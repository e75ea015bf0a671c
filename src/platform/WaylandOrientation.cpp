// The orientation query on Wayland: a connection of its own (the toolkit's belongs to the GUI
// thread, the query runs on the watch thread), asked for the outputs and the first one's
// transform, then closed again. Every wait is bounded: a compositor that stops answering costs
// the watch one second, never the thread.
#include "platform/DisplayOrientation.h"

#include <poll.h>

#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace VexoPlatform {

namespace {

constexpr int kAnswerMs = 1000;  // a compositor answers a round trip within microseconds

struct OutputState {
    wl_output* output = nullptr;
    bool haveTransform = false;
    int32_t transform = 0;
};

void OnGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t transform) {
    auto* state = static_cast<OutputState*>(data);
    state->transform = transform;
    state->haveTransform = true;
}
void OnMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void OnDone(void*, wl_output*) {}
void OnScale(void*, wl_output*, int32_t) {}

const wl_output_listener kOutputListener = {OnGeometry, OnMode, OnDone, OnScale, nullptr, nullptr};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* state = static_cast<OutputState*>(data);
    // The first output announced; its geometry (with the transform) comes right after binding.
    if (state->output || std::strcmp(interface, wl_output_interface.name) != 0) return;
    const uint32_t bound = version < 2 ? version : 2;  // geometry since 1, done since 2
    state->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, bound));
    if (state->output) wl_output_add_listener(state->output, &kOutputListener, state);
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

OrientationReading QueryWayland() {
    OrientationReading reading;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        reading.ok = false;
        reading.failure = "cannot connect to the Wayland display " + DisplayName();
        return reading;
    }
    OutputState state;
    wl_registry* registry = wl_display_get_registry(display);
    if (!registry) {
        reading.ok = false;
        reading.failure = "the Wayland display " + DisplayName() + " gave no registry";
    } else {
        wl_registry_add_listener(registry, &kRegistryListener, &state);
        // The first round trip brings the globals (and binds the output), the second its events.
        if (!BoundedRoundTrip(display) || (state.output && !BoundedRoundTrip(display))) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " did not answer";
        } else if (!state.output) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " has no output";
        } else if (!state.haveTransform) {
            reading.ok = false;
            reading.failure = "the Wayland display " + DisplayName() + " sent no output geometry";
        } else {
            reading.orientation = OrientationFromWaylandTransform(state.transform);
        }
    }
    if (state.output) wl_output_destroy(state.output);
    if (registry) wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return reading;
}

}  // namespace VexoPlatform
