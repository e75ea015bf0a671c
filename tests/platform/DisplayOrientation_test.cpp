// The orientation read on Wayland: the transform mapping, and the query against a small
// compositor of the test's own (libwayland-server in a thread) that announces outputs.
#include "platform/DisplayOrientation.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <wayland-server.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(DisplayOrientation, WaylandTransformsGiveTheValuesOfTheSameRotationOnX) {
    struct Row {
        const char* name;
        int32_t transform;
        uint32_t orientation;
    };
    const Row rows[] = {
        {"normal", WL_OUTPUT_TRANSFORM_NORMAL, 0},
        {"90", WL_OUTPUT_TRANSFORM_90, 1},
        {"180", WL_OUTPUT_TRANSFORM_180, 2},
        {"270", WL_OUTPUT_TRANSFORM_270, 3},
        // A mirror image cannot be said in the four values: its rotation counts.
        {"flipped", WL_OUTPUT_TRANSFORM_FLIPPED, 0},
        {"flipped-90", WL_OUTPUT_TRANSFORM_FLIPPED_90, 1},
        {"flipped-180", WL_OUTPUT_TRANSFORM_FLIPPED_180, 2},
        {"flipped-270", WL_OUTPUT_TRANSFORM_FLIPPED_270, 3},
        // Outside the protocol's range: upright rather than a value the device does not know.
        {"negative", -1, 0},
        {"eight", 8, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(VexoPlatform::OrientationFromWaylandTransform(row.transform), row.orientation);
    }
}

// Sets an environment variable for the lifetime of the object (empty value: unset).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) saved_ = old;
        if (value.empty())
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, saved_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string saved_;
};

// A compositor reduced to its outputs: each announced with a transform, as sway does, in a
// runtime folder of its own. `answer` false: it accepts connections and never answers (hung).
class TinyCompositor {
public:
    TinyCompositor(std::vector<int32_t> transforms, bool answer = true)
        : transforms_(std::move(transforms)), answer_(answer) {
        char pattern[] = "/tmp/qln-wl-XXXXXX";
        if (mkdtemp(pattern)) runtime_ = pattern;
        runtimeEnv_.reset(new ScopedEnv("XDG_RUNTIME_DIR", runtime_));
        displayEnv_.reset(new ScopedEnv("WAYLAND_DISPLAY", "tiny-0"));
        display_ = wl_display_create();
        for (int32_t& t : transforms_) wl_global_create(display_, &wl_output_interface, 2, &t, Bind);
        ok_ = wl_display_add_socket(display_, "tiny-0") == 0;
        thread_ = std::thread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(display_);
            while (!stop_) {
                if (answer_) {
                    wl_event_loop_dispatch(loop, 20);
                    wl_display_flush_clients(display_);
                } else {
                    usleep(20000);
                }
            }
        });
    }
    ~TinyCompositor() {
        stop_ = true;
        thread_.join();
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
        displayEnv_.reset();
        runtimeEnv_.reset();
        if (!runtime_.empty()) {
            const std::string cmd = "rm -rf '" + runtime_ + "'";
            (void)std::system(cmd.c_str());
        }
    }
    bool Ok() const { return ok_; }

private:
    static void Bind(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* output = wl_resource_create(client, &wl_output_interface, int(version), id);
        if (!output) return;
        wl_resource_set_implementation(output, nullptr, nullptr, nullptr);
        const int32_t transform = *static_cast<int32_t*>(data);
        wl_output_send_geometry(output, 0, 0, 600, 340, WL_OUTPUT_SUBPIXEL_UNKNOWN, "make", "model", transform);
        wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT, 1920, 1080, 60000);
        if (version >= 2) wl_output_send_done(output);
    }

    std::vector<int32_t> transforms_;
    bool answer_;
    std::string runtime_;
    std::unique_ptr<ScopedEnv> runtimeEnv_, displayEnv_;
    wl_display* display_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(DisplayOrientation, WaylandQueryReadsTheFirstOutputsTransform) {
    struct Row {
        const char* name;
        std::vector<int32_t> transforms;
        uint32_t orientation;
    };
    const Row rows[] = {
        {"upright", {WL_OUTPUT_TRANSFORM_NORMAL}, 0},
        {"rotated 90", {WL_OUTPUT_TRANSFORM_90}, 1},
        {"rotated 270", {WL_OUTPUT_TRANSFORM_270}, 3},
        {"mirrored and rotated 180", {WL_OUTPUT_TRANSFORM_FLIPPED_180}, 2},
        {"the first of two outputs", {WL_OUTPUT_TRANSFORM_180, WL_OUTPUT_TRANSFORM_90}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TinyCompositor compositor(row.transforms);
        ASSERT_TRUE(compositor.Ok());
        const VexoPlatform::OrientationReading reading = VexoPlatform::QueryWayland();
        EXPECT_TRUE(reading.ok) << reading.failure;
        EXPECT_EQ(reading.orientation, row.orientation);
    }
}

// Each way the compositor can fail to say: a failed reading with its reason, never a guess.
TEST(DisplayOrientation, WaylandQueryFailsWithAReasonWhenTheCompositorCannotSay) {
    {
        SCOPED_TRACE("no outputs");
        TinyCompositor compositor({});
        ASSERT_TRUE(compositor.Ok());
        const VexoPlatform::OrientationReading reading = VexoPlatform::QueryWayland();
        EXPECT_FALSE(reading.ok);
        EXPECT_NE(reading.failure.find("has no output"), std::string::npos) << reading.failure;
        EXPECT_EQ(reading.orientation, 0u);
    }
    {
        SCOPED_TRACE("a compositor that never answers");
        TinyCompositor compositor({WL_OUTPUT_TRANSFORM_90}, false);
        ASSERT_TRUE(compositor.Ok());
        const VexoPlatform::OrientationReading reading = VexoPlatform::QueryWayland();
        EXPECT_FALSE(reading.ok);
        EXPECT_NE(reading.failure.find("did not answer"), std::string::npos) << reading.failure;
        EXPECT_EQ(reading.orientation, 0u);
    }
    {
        SCOPED_TRACE("no compositor");
        char pattern[] = "/tmp/qln-wl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        ScopedEnv runtime("XDG_RUNTIME_DIR", pattern);
        ScopedEnv display("WAYLAND_DISPLAY", "nobody-here");
        const VexoPlatform::OrientationReading reading = VexoPlatform::QueryWayland();
        rmdir(pattern);
        EXPECT_FALSE(reading.ok);
        EXPECT_NE(reading.failure.find("cannot connect to the Wayland display nobody-here"), std::string::npos)
            << reading.failure;
    }
}

// The program reads from the display server the toolkit opened; a test's source always answers.
TEST(DisplayOrientation, TheReadingFollowsTheToolkitsDisplayServer) {
    TinyCompositor compositor({WL_OUTPUT_TRANSFORM_270});
    ASSERT_TRUE(compositor.Ok());
    ScopedEnv noX("DISPLAY", ":31999");
    VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::Wayland);
    VexoPlatform::OrientationReading reading = VexoPlatform::ReadDisplayOrientation();
    EXPECT_TRUE(reading.ok) << reading.failure;
    EXPECT_EQ(reading.orientation, 3u);

    VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::X11);
    reading = VexoPlatform::ReadDisplayOrientation();
    EXPECT_FALSE(reading.ok);
    EXPECT_NE(reading.failure.find("cannot connect to the X display :31999"), std::string::npos) << reading.failure;

    VexoPlatform::OrientationSource previous = VexoPlatform::SetDisplayOrientationSource([] { return 1u; });
    reading = VexoPlatform::ReadDisplayOrientation();
    EXPECT_TRUE(reading.ok);
    EXPECT_EQ(reading.orientation, 1u);
    VexoPlatform::SetDisplayOrientationSource(previous);
}

}  // namespace
