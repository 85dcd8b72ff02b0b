// The plug-in's editor as a Linux host shows it: the real bundle loaded by our
// host, its editor in our host's X11 window, the screen read back and real
// input made with XTEST. What the screen should show is composed here from
// the images the library carries, drawn the way the widgets draw them.
#include "XTestSession.h"

#include "hosting/EditorWindow.h"
#include "hosting/HostedPlugin.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::host::EditorWindow;
using velmora::host::HostedPlugin;
using velmora::host::PluginModule;

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

struct Box {
    int x, y, w, h;
};

// Pixels as 0xRRGGBB, row by row.
struct Pixels {
    int w = 0, h = 0;
    std::vector<std::uint32_t> rgb;
};

int channel(std::uint32_t p, int shift) {
    return static_cast<int>((p >> shift) & 0xFF);
}

// Pixels that differ by more than 3 in any channel.
int differing(const Pixels& a, const Pixels& b) {
    if (a.w != b.w || a.h != b.h) {
        return a.w * a.h + 1;
    }
    int count = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            if (std::abs(channel(a.rgb[i], shift) - channel(b.rgb[i], shift)) > 3) {
                ++count;
                break;
            }
        }
    }
    return count;
}

Pixels grab(Display* display, unsigned long window, Box box) {
    XSync(display, False);
    Pixels out{box.w, box.h, {}};
    XImage* image = XGetImage(display, window, box.x, box.y, static_cast<unsigned>(box.w),
                              static_cast<unsigned>(box.h), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return {};
    }
    for (int y = 0; y < box.h; ++y) {
        for (int x = 0; x < box.w; ++x) {
            out.rgb.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        }
    }
    XDestroyImage(image);
    return out;
}

// The editor as it should look, built up from the library's images.
class Reference {
public:
    Reference() {
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 630, 330);
        paint("background.png", {0, 0, 630, 330});
    }
    ~Reference() { cairo_surface_destroy(surface_); }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    // Draws the part of an image from (srcX, srcY) into the box.
    Reference& paint(const char* image, Box to, int srcX = 0, int srcY = 0) {
        cairo_surface_t* png = cairo_image_surface_create_from_png(
            (std::string(VELMORA_IMAGE_DIR) + "/" + image).c_str());
        EXPECT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS) << image;
        cairo_t* cr = cairo_create(surface_);
        cairo_rectangle(cr, to.x, to.y, to.w, to.h);
        cairo_clip(cr);
        cairo_set_source_surface(cr, png, to.x - srcX, to.y - srcY);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(png);
        return *this;
    }

    Pixels crop(Box box) {
        cairo_surface_flush(surface_);
        const auto* data = cairo_image_surface_get_data(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        Pixels out{box.w, box.h, {}};
        for (int y = box.y; y < box.y + box.h; ++y) {
            for (int x = box.x; x < box.x + box.w; ++x) {
                std::uint32_t p = 0;
                std::memcpy(&p, data + y * stride + x * 4, 4);
                out.rgb.push_back(p & 0xFFFFFF); // the background is opaque
            }
        }
        return out;
    }

private:
    cairo_surface_t* surface_;
};

// A knob's strip frame for a value, as the knob picks it.
int knobFrame(double value) {
    return static_cast<int>(std::lround(static_cast<float>(value) * 79.0f));
}

// Records what the editor tells the host and hands the values to the next
// process call, as a host does.
class RecordingHandler : public IComponentHandler {
public:
    tresult PLUGIN_API beginEdit(ParamID id) override {
        calls.push_back("begin " + std::to_string(id));
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override {
        calls.push_back("perform " + std::to_string(id));
        values.push_back(value);
        if (plugin != nullptr) {
            plugin->inputChanges().addChange(id, 0, value);
        }
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID id) override {
        calls.push_back("end " + std::to_string(id));
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
        QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    HostedPlugin* plugin = nullptr;
    std::vector<std::string> calls;
    std::vector<ParamValue> values;
};

constexpr Box kInGainKnob{120, 54, 40, 36}; // below its caption
constexpr Box kAttackKnob{245, 54, 40, 36};
constexpr Box kBypass{45, 205, 40, 20};
constexpr Box kDetection{395, 145, 40, 32};
constexpr Box kThresholdTop{195, 53, 40, 30};
constexpr Box kMaxGateLamp{257, 196, 16, 16};
constexpr Box kMinGateLamp{357, 196, 16, 16};
constexpr Box kThresholdField{195, 295, 40, 12};
constexpr Box kEdge2Cell{65, 54, 50, 51}; // DF2K and DF2T
constexpr Box kEdge1Cell{15, 54, 50, 51}; // DF1K and DF1T
constexpr Box kOutEdge2Cell{515, 54, 50, 51};
constexpr Rgb kOrange{255, 168, 18};
constexpr Rgb kGrey{90, 90, 90};

class EditorWindowTest : public ::testing::Test {
protected:
    static std::shared_ptr<PluginModule> module() {
        // Loaded once: hosts keep plug-in libraries loaded.
        static std::shared_ptr<PluginModule> m = [] {
            std::string error;
            auto loaded = PluginModule::load(VELMORA_BUNDLE_SO, error);
            EXPECT_TRUE(loaded) << error;
            return loaded;
        }();
        return m;
    }

    void SetUp() override {
        VELMORA_REQUIRE_X(x);
        std::string error;
        velmora::host::HostOptions options;
        options.deliverTextMessages = false;
        plugin = HostedPlugin::create(module(), error, options);
        ASSERT_TRUE(plugin) << error;
        velmora::host::ProcessConfig config;
        ASSERT_TRUE(plugin->startProcessing(config, error)) << error;
        handler.plugin = plugin.get();
        plugin->controller()->setComponentHandler(&handler);
        view = owned(plugin->controller()->createView(ViewType::kEditor));
        ASSERT_TRUE(view);
        open();
    }
    void TearDown() override {
        if (window) {
            window->close();
        }
        view = nullptr;
        if (plugin) {
            plugin->controller()->setComponentHandler(nullptr);
        }
    }

    void open() {
        std::string error;
        window = EditorWindow::create("BK Velmora test", error);
        ASSERT_TRUE(window) << error;
        ASSERT_TRUE(window->open(view, error)) << error;
        settle();
    }
    // A few timer ticks: the frame redraws what changed on each.
    void settle(std::chrono::milliseconds time = 160ms) {
        window->runFor(time);
        XSync(window->display(), False);
    }
    void set(ParamID id, ParamValue value) { plugin->controller()->setParamNormalized(id, value); }
    ParamValue get(ParamID id) { return plugin->controller()->getParamNormalized(id); }
    Pixels screen(Box box) { return grab(x.display(), window->window(), box); }
    int knobMismatch(Box knob, double value) {
        const int top = knob.y - 4; // the knob's rectangle starts 4 rows above the box
        return differing(screen(knob),
                         Reference()
                             .paint("knobImg1.png", {knob.x, top, 40, 40}, 0, knobFrame(value) * 40)
                             .crop(knob));
    }
    void pump() { window->runOnce(5ms); }
    Rgb lampColour(Box lamp) { return x.pixel(window->window(), lamp.x + 8, lamp.y + 8); }

    XTestSession x;
    RecordingHandler handler;
    std::unique_ptr<HostedPlugin> plugin;
    IPtr<IPlugView> view;
    IPtr<EditorWindow> window;
};

TEST_F(EditorWindowTest, ViewsDrawAtTheirPlacesFromTheLibrarysImages) {
    set(6, 0.25);
    set(0, 0.0);
    set(2, 1.0);
    settle();
    EXPECT_EQ(knobMismatch(kInGainKnob, 0.25), 0);
    EXPECT_GT(knobMismatch(kInGainKnob, 0.3), 20) << "the check tells neighbouring frames apart";
    const auto button = [&](Box b, const char* image, int frame) {
        return differing(screen(b), Reference().paint(image, b, 0, frame * b.h).crop(b));
    };
    EXPECT_EQ(button(kBypass, "ButtonSingleBypass.png", 0), 0);
    EXPECT_EQ(button(kDetection, "ButtonPeakRms.png", 1), 0);
    set(0, 1.0);
    set(2, 0.0);
    settle();
    EXPECT_EQ(button(kBypass, "ButtonSingleBypass.png", 1), 0);
    EXPECT_EQ(button(kDetection, "ButtonPeakRms.png", 0), 0);

    // Only the attack pair of the chosen envelope is drawn; 0.5 is still synth.
    set(10, 0.0); // gradual
    set(11, 1.0); // synth
    set(5, 0.5);
    settle();
    EXPECT_EQ(knobMismatch(kAttackKnob, 1.0), 0);
    set(5, 0.5000001);
    settle();
    EXPECT_EQ(knobMismatch(kAttackKnob, 0.0), 0);

    // Full meters after a tick: the handle at 0 dB brackets the lit bar, the
    // lamps light orange; a meter at 0 stays grey.
    set(8, 0.0);
    set(31, 1.0);
    set(32, 0.0);
    set(33, 1.0);
    set(34, 0.0);
    settle();
    Reference meters;
    meters.paint("VVuSlider1On.png", {207, 63, 16, 219})
        .paint("VVuSliderHandle.png", {195, 53, 40, 20});
    EXPECT_EQ(differing(screen(kThresholdTop), meters.crop(kThresholdTop)), 0);
    EXPECT_TRUE(near(lampColour(kMaxGateLamp), kOrange));
    EXPECT_TRUE(near(lampColour(kMinGateLamp), kGrey));
}

// Band edges keep their order on screen only: the other edge's knob and text
// follow, its parameter does not.
TEST_F(EditorWindowTest, BandEdgesPushEachOtherOnScreenOnly) {
    const auto cellAt = [&](Box cell, ParamID id, double value) {
        set(id, value);
        settle();
        return screen(cell);
    };
    const Pixels edge2At06 = cellAt(kEdge2Cell, 19, 0.6);
    const Pixels edge2At03 = cellAt(kEdge2Cell, 19, 0.3);
    ASSERT_GT(differing(edge2At06, edge2At03), 20);
    set(18, 0.3); // equal: nothing moves
    settle();
    EXPECT_EQ(differing(screen(kEdge2Cell), edge2At03), 0);
    set(18, 0.6);
    settle();
    EXPECT_EQ(differing(screen(kEdge2Cell), edge2At06), 0);
    EXPECT_DOUBLE_EQ(get(19), 0.3);

    const Pixels edge1At02 = cellAt(kEdge1Cell, 18, 0.2);
    set(18, 0.6);
    set(19, 0.2);
    settle();
    EXPECT_EQ(differing(screen(kEdge1Cell), edge1At02), 0);
    EXPECT_DOUBLE_EQ(get(18), 0.6);

    const Pixels outEdge2At07 = cellAt(kOutEdge2Cell, 24, 0.7);
    set(24, 0.1);
    set(23, 0.7);
    settle();
    EXPECT_EQ(differing(screen(kOutEdge2Cell), outEdge2At07), 0);
    EXPECT_DOUBLE_EQ(get(24), 0.1);
    EXPECT_TRUE(handler.calls.empty()) << "shown, never edited";
}

TEST_F(EditorWindowTest, SizeProposalsAreClampedAndNoParameterIsFoundOrMenuItemRun) {
    for (auto [w, h, wantW, wantH] :
         {std::array{1000, 1000, 680, 380}, std::array{100, 100, 630, 330},
          std::array{650, 350, 650, 350}}) {
        ViewRect rect(10, 20, 10 + w, 20 + h);
        EXPECT_EQ(view->checkSizeConstraint(&rect), kResultTrue);
        EXPECT_EQ(rect.left, 10);
        EXPECT_EQ(rect.getWidth(), wantW);
        EXPECT_EQ(rect.getHeight(), wantH);
    }
    EXPECT_EQ(view->canResize(), kResultFalse);

    FUnknownPtr<IParameterFinder> finder(view);
    FUnknownPtr<IContextMenuTarget> menuTarget(view);
    ASSERT_TRUE(finder && menuTarget);
    ParamID id = 1234;
    EXPECT_EQ(finder->findParameter(140, 70, id), kResultFalse) << "over the In Gain knob";
    EXPECT_EQ(id, 1234u);
    EXPECT_EQ(menuTarget->executeMenuItem(0), kResultFalse);
}

// Typing into a value field: the typed text is read by the parameter and the
// field ends with the controller's own text; unreadable text changes nothing.
TEST_F(EditorWindowTest, TypedValuesEndAsTheControllersText) {
    const auto typeInto = [&](Box field, const std::string& text) {
        x.click(window->window(), field.x + field.w / 2, field.y + field.h / 2);
        settle(60ms);
        x.key(XK_End);
        for (int i = 0; i < 12; ++i) {
            x.key(XK_BackSpace);
        }
        x.type(text);
        x.key(XK_Return);
        settle();
    };
    set(8, 0.2);
    settle();
    const Pixels before = screen(kThresholdField);
    typeInto(kThresholdField, "abc");
    EXPECT_DOUBLE_EQ(get(8), 0.2);
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(differing(screen(kThresholdField), before), 0) << "the text it had";

    typeInto(kThresholdField, "-30");
    EXPECT_DOUBLE_EQ(get(8), 0.5) << "-30 dB";
    EXPECT_EQ(handler.calls, std::vector<std::string>{"perform 8"}) << "no edit bracket";
    const Pixels typed = screen(kThresholdField);
    set(8, 0.2);
    set(8, 0.5);
    settle();
    EXPECT_EQ(differing(screen(kThresholdField), typed), 0) << "the formatted -30.0 dB";

    // Processed in the next block.
    ASSERT_EQ(plugin->process(64), kResultOk);
    std::vector<char> state;
    ASSERT_TRUE(plugin->getState(state));
    float threshold = 0.0f;
    std::memcpy(&threshold, state.data() + 8 * 4, 4);
    EXPECT_FLOAT_EQ(threshold, 0.5f);
}

TEST_F(EditorWindowTest, KnobDragsAndButtonClicksReachTheHostAndTheProcessor) {
    const double start = get(6);
    const int cx = kInGainKnob.x + 20, cy = kInGainKnob.y + 16;
    x.moveTo(window->window(), cx, cy);
    x.press(1);
    for (int dy = 10; dy <= 40; dy += 10) {
        settle(20ms);
        x.moveTo(window->window(), cx, cy - dy);
    }
    settle(20ms);
    x.release(1);
    settle();
    ASSERT_GE(handler.calls.size(), 3u);
    EXPECT_EQ(handler.calls.front(), "begin 6");
    EXPECT_EQ(handler.calls.back(), "end 6");
    for (std::size_t i = 1; i + 1 < handler.calls.size(); ++i) {
        EXPECT_EQ(handler.calls[i], "perform 6");
    }
    const double dragged = handler.values.back();
    EXPECT_NEAR(dragged, std::min(1.0, start + 40.0 / 200.0), 0.011);
    EXPECT_DOUBLE_EQ(get(6), dragged);
    ASSERT_EQ(plugin->process(64), kResultOk);
    std::vector<char> state;
    ASSERT_TRUE(plugin->getState(state));
    float inGain = 0.0f;
    std::memcpy(&inGain, state.data() + 6 * 4, 4);
    EXPECT_FLOAT_EQ(inGain, static_cast<float>(dragged));

    // A click toggles a switch, in one edit.
    for (double want : {1.0, 0.0}) {
        handler.calls.clear();
        x.click(window->window(), kBypass.x + 20, kBypass.y + 10);
        settle();
        EXPECT_DOUBLE_EQ(get(0), want);
        EXPECT_EQ(handler.calls, (std::vector<std::string>{"begin 0", "perform 0", "end 0"}));
    }
}

// The splash opens on a click on the version text and closes on a click on
// it; no edit reaches the host.
TEST_F(EditorWindowTest, SplashShowsOnTheVersionTextWithoutAnEdit) {
    constexpr Box middle{250, 120, 130, 60};
    const Pixels editor = screen(middle);
    const Pixels splash = Reference().paint("splashImg.png", {0, 0, 630, 330}).crop(middle);
    x.click(window->window(), 90, 310);
    settle();
    EXPECT_EQ(differing(screen(middle), splash), 0);
    x.click(window->window(), 140, 70); // the In Gain knob lies under the splash
    settle();
    EXPECT_EQ(differing(screen(middle), editor), 0);
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_GT(differing(editor, splash), 100);
}

// Meters show what the last tick gave them; new values wait for the next tick.
// The editor keeps its meter values when removed and attached again.
TEST_F(EditorWindowTest, MetersMoveOnTicksAndOutliveRemoval) {
    EXPECT_TRUE(near(lampColour(kMaxGateLamp), kGrey));
    bool seenBeforeTick = false;
    for (int attempt = 0; attempt < 5 && !seenBeforeTick; ++attempt) {
        window->close();
        set(33, 0.0);
        open();
        set(33, 1.0);
        const auto sent = std::chrono::steady_clock::now();
        for (int i = 0; i < 3; ++i) {
            window->runOnce(0ms);
        }
        const Rgb lamp = lampColour(kMaxGateLamp);
        if (std::chrono::steady_clock::now() - sent < 40ms) {
            // No tick could have passed yet.
            EXPECT_TRUE(near(lamp, kGrey)) << toString(lamp);
            seenBeforeTick = true;
        }
    }
    EXPECT_TRUE(seenBeforeTick) << "the loop was always too slow to look before a tick";
    settle();
    EXPECT_TRUE(near(lampColour(kMaxGateLamp), kOrange));

    // Removed and attached again (the same view): the lamp lights without a
    // new value; the host's window then closes by the window manager's
    // request, which removes the view.
    window->close();
    open();
    EXPECT_TRUE(near(lampColour(kMaxGateLamp), kOrange));
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window->window();
    close.xclient.message_type = XInternAtom(x.display(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] =
        static_cast<long>(XInternAtom(x.display(), "WM_DELETE_WINDOW", False));
    XSendEvent(x.display(), window->window(), False, NoEventMask, &close);
    XSync(x.display(), False);
    ASSERT_TRUE(XTestSession::pumpUntil([&] { pump(); }, [&] { return !window->isOpen(); }));
    set(33, 0.0); // reaches no editor
    set(6, 0.9);
    open();
    EXPECT_NEAR(get(6), 0.9, 1e-12);
    EXPECT_EQ(knobMismatch(kInGainKnob, 0.9), 0);
}

} // namespace
} // namespace velmora::test
