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
using Pixels = std::vector<std::uint32_t>; // 0xRRGGBB, row by row

// Pixels that differ by more than 3 in a channel.
int differing(const Pixels& a, const Pixels& b) {
    if (a.size() != b.size()) {
        return -1;
    }
    int count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            if (std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                         static_cast<int>((b[i] >> shift) & 0xFF)) > 3) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// An image of the library painted into `to` from (0, srcY) of the image.
struct Layer {
    const char* image;
    Box to;
    int srcY = 0;
};

// What the box should show: the background and the layers over it, painted
// the way the widgets paint their bitmaps.
Pixels expected(Box box, std::initializer_list<Layer> layers) {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, box.w, box.h);
    cairo_t* cr = cairo_create(out);
    cairo_translate(cr, -box.x, -box.y);
    std::vector<Layer> all{{"background.png", {0, 0, 630, 330}}};
    all.insert(all.end(), layers);
    for (const Layer& layer : all) {
        const std::string path = std::string(VELMORA_IMAGE_DIR) + "/" + layer.image;
        cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
        cairo_save(cr);
        cairo_rectangle(cr, layer.to.x, layer.to.y, layer.to.w, layer.to.h);
        cairo_clip(cr);
        cairo_set_source_surface(cr, png, layer.to.x, layer.to.y - layer.srcY);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(png);
    }
    cairo_destroy(cr);
    cairo_surface_flush(out);
    Pixels pixels;
    for (int y = 0; y < box.h; ++y) {
        const auto* row =
            cairo_image_surface_get_data(out) + y * cairo_image_surface_get_stride(out);
        for (int x = 0; x < box.w; ++x) {
            std::uint32_t p = 0;
            std::memcpy(&p, row + 4 * x, 4);
            pixels.push_back(p & 0xFFFFFF);
        }
    }
    cairo_surface_destroy(out);
    return pixels;
}

// Records what the editor tells the host and queues the values for the next
// process call, as a host does.
class RecordingHandler : public IComponentHandler {
public:
    tresult PLUGIN_API beginEdit(ParamID id) override { return record("begin ", id); }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override {
        values.push_back(value);
        plugin->inputChanges().addChange(id, 0, value);
        return record("perform ", id);
    }
    tresult PLUGIN_API endEdit(ParamID id) override { return record("end ", id); }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    HostedPlugin* plugin = nullptr;
    std::vector<std::string> calls;
    std::vector<ParamValue> values;

private:
    tresult record(const char* what, ParamID id) {
        calls.push_back(what + std::to_string(id));
        return kResultOk;
    }
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
    // Values set by the host, then shown by the next ticks.
    void show(std::initializer_list<std::pair<ParamID, ParamValue>> values) {
        for (auto [id, value] : values) {
            set(id, value);
        }
        if (window && window->isOpen()) {
            settle();
        }
    }
    // The value the processor holds after the next block.
    float processed(ParamID id) {
        EXPECT_EQ(plugin->process(64), kResultOk);
        std::vector<char> state;
        float value = -1.0f;
        if (plugin->getState(state) && state.size() >= 4 * (id + 1)) {
            std::memcpy(&value, state.data() + 4 * id, 4);
        }
        return value;
    }
    ParamValue get(ParamID id) { return plugin->controller()->getParamNormalized(id); }
    Pixels screen(Box box) {
        XSync(x.display(), False);
        XImage* image =
            XGetImage(x.display(), window->window(), box.x, box.y, static_cast<unsigned>(box.w),
                      static_cast<unsigned>(box.h), AllPlanes, ZPixmap);
        Pixels pixels;
        for (int i = 0; image != nullptr && i < box.w * box.h; ++i) {
            pixels.push_back(XGetPixel(image, i % box.w, i / box.w) & 0xFFFFFF);
        }
        if (image != nullptr) {
            XDestroyImage(image);
        }
        return pixels;
    }
    // The knob's strip frame for the value, as the knob picks it; the box
    // starts 4 rows into the knob, below its caption.
    int knobMismatch(Box knob, double value) {
        const int frame = static_cast<int>(std::lround(static_cast<float>(value) * 79.0f));
        return differing(
            screen(knob),
            expected(knob, {{"knobImg1.png", {knob.x, knob.y - 4, 40, 40}, frame * 40}}));
    }
    Rgb lamp(Box box) { return x.pixel(window->window(), box.x + 8, box.y + 8); }

    XTestSession x;
    RecordingHandler handler;
    std::unique_ptr<HostedPlugin> plugin;
    IPtr<IPlugView> view;
    IPtr<EditorWindow> window;
};

TEST_F(EditorWindowTest, ViewsDrawAtTheirPlacesFromTheLibrarysImages) {
    const auto button = [&](Box b, const char* image, int frame) {
        return differing(screen(b), expected(b, {{image, b, frame * b.h}}));
    };
    show({{6, 0.25}, {0, 0.0}, {2, 1.0}});
    EXPECT_EQ(knobMismatch(kInGainKnob, 0.25), 0);
    EXPECT_GT(knobMismatch(kInGainKnob, 0.3), 20) << "the check tells neighbouring frames apart";
    EXPECT_EQ(button(kBypass, "ButtonSingleBypass.png", 0), 0);
    EXPECT_EQ(button(kDetection, "ButtonPeakRms.png", 1), 0);
    show({{0, 1.0}, {2, 0.0}});
    EXPECT_EQ(button(kBypass, "ButtonSingleBypass.png", 1), 0);
    EXPECT_EQ(button(kDetection, "ButtonPeakRms.png", 0), 0);

    // Only the attack pair of the chosen envelope is drawn; 0.5 is still synth.
    show({{10, 0.0}, {11, 1.0}, {5, 0.5}});
    EXPECT_EQ(knobMismatch(kAttackKnob, 1.0), 0);
    show({{5, 0.5000001}});
    EXPECT_EQ(knobMismatch(kAttackKnob, 0.0), 0);

    // Meters after a tick: the handle at 0 dB brackets the full bar, a lamp
    // at 1 is orange, one at 0 grey.
    show({{8, 0.0}, {31, 1.0}, {32, 0.0}, {33, 1.0}, {34, 0.0}});
    EXPECT_EQ(differing(screen(kThresholdTop),
                        expected(kThresholdTop, {{"VVuSlider1On.png", {207, 63, 16, 219}},
                                                 {"VVuSliderHandle.png", {195, 53, 40, 20}}})),
              0);
    EXPECT_TRUE(near(lamp(kMaxGateLamp), kOrange));
    EXPECT_TRUE(near(lamp(kMinGateLamp), kGrey));
}

// The other edge's knob and text follow on screen; its parameter does not.
TEST_F(EditorWindowTest, BandEdgesPushEachOtherOnScreenOnly) {
    const auto cellAt = [&](Box cell, ParamID id, double value) {
        show({{id, value}});
        return screen(cell);
    };
    const Pixels edge2At06 = cellAt(kEdge2Cell, 19, 0.6);
    const Pixels edge2At03 = cellAt(kEdge2Cell, 19, 0.3);
    ASSERT_GT(differing(edge2At06, edge2At03), 20);
    show({{18, 0.3}}); // equal: nothing moves
    EXPECT_EQ(differing(screen(kEdge2Cell), edge2At03), 0);
    show({{18, 0.6}});
    EXPECT_EQ(differing(screen(kEdge2Cell), edge2At06), 0);
    EXPECT_DOUBLE_EQ(get(19), 0.3);

    const Pixels edge1At02 = cellAt(kEdge1Cell, 18, 0.2);
    show({{18, 0.6}, {19, 0.2}});
    EXPECT_EQ(differing(screen(kEdge1Cell), edge1At02), 0);
    EXPECT_DOUBLE_EQ(get(18), 0.6);

    const Pixels outEdge2At07 = cellAt(kOutEdge2Cell, 24, 0.7);
    show({{24, 0.1}, {23, 0.7}});
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
    FUnknownPtr<IParameterFinder> finder(view);
    FUnknownPtr<IContextMenuTarget> menuTarget(view);
    ASSERT_TRUE(finder && menuTarget);
    ParamID id = 1234;
    EXPECT_EQ(finder->findParameter(140, 70, id), kResultFalse) << "over the In Gain knob";
    EXPECT_EQ(menuTarget->executeMenuItem(0), kResultFalse);
}

// The field ends with the controller's text of what the parameter read;
// unreadable text changes nothing and reaches no one.
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
    show({{8, 0.2}});
    const Pixels before = screen(kThresholdField);
    typeInto(kThresholdField, "abc");
    EXPECT_DOUBLE_EQ(get(8), 0.2);
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(differing(screen(kThresholdField), before), 0) << "the text it had";

    typeInto(kThresholdField, "-30");
    EXPECT_DOUBLE_EQ(get(8), 0.5) << "-30 dB";
    EXPECT_EQ(handler.calls, std::vector<std::string>{"perform 8"}) << "no edit bracket";
    const Pixels typed = screen(kThresholdField);
    show({{8, 0.2}, {8, 0.5}});
    EXPECT_EQ(differing(screen(kThresholdField), typed), 0) << "the formatted -30.0 dB";
    EXPECT_FLOAT_EQ(processed(8), 0.5f);
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
    EXPECT_FLOAT_EQ(processed(6), static_cast<float>(dragged));

    for (double want : {1.0, 0.0}) { // one edit per click
        handler.calls.clear();
        x.click(window->window(), kBypass.x + 20, kBypass.y + 10);
        settle();
        EXPECT_DOUBLE_EQ(get(0), want);
        EXPECT_EQ(handler.calls, (std::vector<std::string>{"begin 0", "perform 0", "end 0"}));
    }
}

TEST_F(EditorWindowTest, SplashShowsOnTheVersionTextWithoutAnEdit) {
    constexpr Box middle{250, 120, 130, 60};
    const Pixels editor = screen(middle);
    const Pixels splash = expected(middle, {{"splashImg.png", {0, 0, 630, 330}}});
    ASSERT_GT(differing(editor, splash), 100);
    x.click(window->window(), 90, 310);
    settle();
    EXPECT_EQ(differing(screen(middle), splash), 0);
    x.click(window->window(), 140, 70); // the In Gain knob lies under the splash
    settle();
    EXPECT_EQ(differing(screen(middle), editor), 0);
    EXPECT_TRUE(handler.calls.empty());
}

// Meters show what the last tick gave them, also after the editor was removed
// and attached again; the host's window closing removes the editor.
TEST_F(EditorWindowTest, MetersMoveOnTicksAndOutliveRemoval) {
    EXPECT_TRUE(near(lamp(kMaxGateLamp), kGrey));
    bool seenBeforeTick = false;
    for (int attempt = 0; attempt < 5 && !seenBeforeTick; ++attempt) {
        window->close();
        set(33, 0.0);
        open();
        set(33, 1.0);
        const auto sent = std::chrono::steady_clock::now();
        window->runOnce(0ms);
        const Rgb before = lamp(kMaxGateLamp);
        if (std::chrono::steady_clock::now() - sent < 40ms) { // no tick yet
            EXPECT_TRUE(near(before, kGrey)) << toString(before);
            seenBeforeTick = true;
        }
    }
    EXPECT_TRUE(seenBeforeTick) << "the loop was always too slow to look before a tick";
    settle();
    EXPECT_TRUE(near(lamp(kMaxGateLamp), kOrange));

    window->close();
    open(); // the same view: lit again without a new value
    EXPECT_TRUE(near(lamp(kMaxGateLamp), kOrange));
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window->window();
    close.xclient.message_type = XInternAtom(x.display(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] =
        static_cast<long>(XInternAtom(x.display(), "WM_DELETE_WINDOW", False));
    XSendEvent(x.display(), window->window(), False, NoEventMask, &close);
    XSync(x.display(), False);
    ASSERT_TRUE(
        XTestSession::pumpUntil([&] { window->runOnce(5ms); }, [&] { return !window->isOpen(); }));
    show({{33, 0.0}, {6, 0.9}}); // no editor listens
    open();
    EXPECT_EQ(knobMismatch(kInGainKnob, 0.9), 0);
}

} // namespace
} // namespace velmora::test
