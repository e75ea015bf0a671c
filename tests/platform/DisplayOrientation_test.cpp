// The orientation read on Wayland: the transform mapping, the choice of the output the window is
// on, and the query against a small compositor of the test's own (libwayland-server in a thread)
// that announces outputs, their places and names.
#include "platform/DisplayOrientation.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <wayland-server.h>

#include "xdg-output-unstable-v1-server-protocol.h"

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

// One output of the small compositor: its transform and, when it has a name, its place in the
// layout (told through xdg_output, as sway does; wl_output's own position stays 0,0 as with
// wlroots, so only xdg_output can tell two outputs apart).
struct TinyOutput {
    int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    const char* name = nullptr;
    VexoPlatform::DisplayPlace place;
};

// A compositor reduced to its outputs, in a runtime folder of its own. Outputs given by transform
// alone have no xdg_output manager; named ones have one. `answer` false: it accepts connections
// and never answers (hung).
class TinyCompositor {
public:
    TinyCompositor(const std::vector<int32_t>& transforms, bool answer = true) : answer_(answer) {
        for (int32_t t : transforms) outputs_.push_back(TinyOutput{t, nullptr, {}});
        Start(false);
    }
    struct Named {};
    TinyCompositor(Named, std::vector<TinyOutput> outputs) : outputs_(std::move(outputs)), answer_(true) {
        Start(true);
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
    void Start(bool withXdgOutput) {
        char pattern[] = "/tmp/qln-wl-XXXXXX";
        if (mkdtemp(pattern)) runtime_ = pattern;
        runtimeEnv_.reset(new ScopedEnv("XDG_RUNTIME_DIR", runtime_));
        displayEnv_.reset(new ScopedEnv("WAYLAND_DISPLAY", "tiny-0"));
        display_ = wl_display_create();
        for (TinyOutput& o : outputs_) wl_global_create(display_, &wl_output_interface, 2, &o, Bind);
        if (withXdgOutput) wl_global_create(display_, &zxdg_output_manager_v1_interface, 2, this, BindXdgManager);
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

    static void Bind(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* output = wl_resource_create(client, &wl_output_interface, int(version), id);
        if (!output) return;
        wl_resource_set_implementation(output, nullptr, data, nullptr);
        const TinyOutput* o = static_cast<const TinyOutput*>(data);
        wl_output_send_geometry(output, 0, 0, 600, 340, WL_OUTPUT_SUBPIXEL_UNKNOWN, "make", "model", o->transform);
        wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT, 1920, 1080, 60000);
        if (version >= 2) wl_output_send_done(output);
    }

    static void Destroy(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }
    static void GetXdgOutput(wl_client* client, wl_resource* manager, uint32_t id, wl_resource* output) {
        wl_resource* xdg = wl_resource_create(client, &zxdg_output_v1_interface, wl_resource_get_version(manager), id);
        if (!xdg) return;
        static const struct zxdg_output_v1_interface kXdgOutput = {Destroy};
        wl_resource_set_implementation(xdg, &kXdgOutput, nullptr, nullptr);
        const TinyOutput* o = static_cast<const TinyOutput*>(wl_resource_get_user_data(output));
        zxdg_output_v1_send_logical_position(xdg, o->place.x, o->place.y);
        zxdg_output_v1_send_logical_size(xdg, o->place.width, o->place.height);
        if (o->name && wl_resource_get_version(xdg) >= 2) zxdg_output_v1_send_name(xdg, o->name);
        zxdg_output_v1_send_done(xdg);
    }
    static void BindXdgManager(wl_client* client, void*, uint32_t version, uint32_t id) {
        wl_resource* manager = wl_resource_create(client, &zxdg_output_manager_v1_interface, int(version), id);
        if (!manager) return;
        static const struct zxdg_output_manager_v1_interface kManager = {Destroy, GetXdgOutput};
        wl_resource_set_implementation(manager, &kManager, nullptr, nullptr);
    }

    std::vector<TinyOutput> outputs_;
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

// Which output's orientation is read: the one showing the window's display, found by its place
// as the toolkit gives it. Two displays side by side, the second turned to portrait.
TEST(DisplayOrientation, TheOutputShowingTheWindowsDisplayIsChosen) {
    using VexoPlatform::DisplayPlace;
    using VexoPlatform::OutputInfo;
    const std::vector<OutputInfo> twoDisplays = {
        {"DP-1", DisplayPlace{0, 0, 1920, 1080}, 0, true},
        {"DP-2", DisplayPlace{1920, 0, 1024, 1280}, 1, false},
    };
    const std::vector<OutputInfo> noPrimary = {
        {"A", DisplayPlace{0, 0, 1920, 1080}, 2, false},
        {"B", DisplayPlace{1920, 0, 1280, 1024}, 3, false},
    };
    const std::vector<OutputInfo> secondIsPrimary = {
        {"A", DisplayPlace{0, 0, 1920, 1080}, 2, false},
        {"B", DisplayPlace{1920, 0, 1280, 1024}, 3, true},
    };
    struct Row {
        const char* name;
        const std::vector<OutputInfo>* outputs;
        DisplayPlace frame;
        int chosen;
    };
    const Row rows[] = {
        {"on the second display", &twoDisplays, {1920, 0, 1024, 1280}, 1},
        {"on the first display", &twoDisplays, {0, 0, 1920, 1080}, 0},
        {"on the second, which is not the primary", &noPrimary, {1920, 0, 1280, 1024}, 1},
        {"on the first, the second being the primary", &secondIsPrimary, {0, 0, 1920, 1080}, 0},
        // A toolkit that divides by its scale and rounds: the output that holds the centre.
        {"a place off by a pixel", &twoDisplays, {1921, 0, 1023, 1279}, 1},
        // Only partly on an output (its centre on none): the output it overlaps most.
        {"overlapping the second", &twoDisplays, {2500, 1000, 1000, 1000}, 1},
        // Not said yet: the primary output, else the first, as before a window was shown.
        {"not said, a primary", &secondIsPrimary, {}, 1},
        {"not said, no primary", &noPrimary, {}, 0},
        // The display the window was on is gone (unplugged): none, rather than another's.
        {"a display that is gone", &twoDisplays, {5000, 0, 800, 600}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(VexoPlatform::ChooseOutput(*row.outputs, row.frame), row.chosen);
    }
    EXPECT_EQ(VexoPlatform::ChooseOutput({}, DisplayPlace{}), -1);
}

// On Wayland the outputs are told apart by the logical places of xdg_output (wl_output's own
// position is 0,0 on wlroots): the transform read is the one of the output the window is on, and
// the reading names it.
TEST(DisplayOrientation, WaylandQueryReadsTheOutputTheWindowIsOn) {
    using VexoPlatform::DisplayPlace;
    TinyCompositor compositor(TinyCompositor::Named{}, {
        {WL_OUTPUT_TRANSFORM_NORMAL, "HEADLESS-1", DisplayPlace{0, 0, 1920, 1080}},
        {WL_OUTPUT_TRANSFORM_270, "HEADLESS-2", DisplayPlace{1920, 0, 1024, 1280}},
    });
    ASSERT_TRUE(compositor.Ok());
    struct Row {
        const char* name;
        DisplayPlace frame;
        uint32_t orientation;
        const char* output;
    };
    const Row rows[] = {
        {"on the turned second output", {1920, 0, 1024, 1280}, 3, "HEADLESS-2"},
        {"moved back to the first", {0, 0, 1920, 1080}, 0, "HEADLESS-1"},
        {"not said yet: the first announced", {}, 0, "HEADLESS-1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VexoPlatform::OrientationReading reading = VexoPlatform::QueryWayland(row.frame);
        EXPECT_TRUE(reading.ok) << reading.failure;
        EXPECT_EQ(reading.orientation, row.orientation);
        EXPECT_EQ(reading.output, row.output);
    }
    // An output that is gone: a failed reading (the device keeps its orientation), not another
    // output's orientation.
    const VexoPlatform::OrientationReading gone = VexoPlatform::QueryWayland(DisplayPlace{4000, 0, 800, 600});
    EXPECT_FALSE(gone.ok);
    EXPECT_NE(gone.failure.find("shows the window's display at 4000,0 800x600"), std::string::npos) << gone.failure;
}

// The reading follows what the GUI thread said last; a window hidden for a moment (nothing to
// say) leaves the last known display in force, and a waiting reader goes on either way.
TEST(DisplayOrientation, TheFrameDisplayIsTheLastOneSaidAndEverySayingWakesAWaiter) {
    using VexoPlatform::DisplayPlace;
    TinyCompositor compositor(TinyCompositor::Named{}, {
        {WL_OUTPUT_TRANSFORM_NORMAL, "HEADLESS-1", DisplayPlace{0, 0, 1920, 1080}},
        {WL_OUTPUT_TRANSFORM_90, "HEADLESS-2", DisplayPlace{1920, 0, 1024, 1280}},
    });
    ASSERT_TRUE(compositor.Ok());
    VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::Wayland);

    VexoPlatform::SetFrameDisplay(DisplayPlace{1920, 0, 1024, 1280});
    VexoPlatform::OrientationReading reading = VexoPlatform::ReadDisplayOrientation();
    EXPECT_EQ(reading.orientation, 1u);
    EXPECT_EQ(reading.output, "HEADLESS-2");

    uint64_t seen = VexoPlatform::FrameDisplayCount();
    std::thread gui([] { VexoPlatform::SetFrameDisplay(DisplayPlace{}); });
    // Bounded far beyond need: the saying wakes it.
    EXPECT_TRUE(VexoPlatform::WaitForFrameDisplayAfter(seen, 60000, [] { return false; }));
    gui.join();
    EXPECT_EQ(VexoPlatform::FrameDisplay(), (DisplayPlace{1920, 0, 1024, 1280})) << "kept while hidden";
    EXPECT_EQ(VexoPlatform::ReadDisplayOrientation().orientation, 1u);

    // A stop request ends the wait when nobody says anything.
    seen = VexoPlatform::FrameDisplayCount();
    EXPECT_FALSE(VexoPlatform::WaitForFrameDisplayAfter(seen, 60000, [] { return true; }));

    VexoPlatform::SetFrameDisplay(DisplayPlace{0, 0, 1920, 1080});
    reading = VexoPlatform::ReadDisplayOrientation();
    EXPECT_EQ(reading.orientation, 0u);
    EXPECT_EQ(reading.output, "HEADLESS-1");
    VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::X11);
}

}  // namespace
