// The frame's cost per timer tick: an idle tick with nothing to redraw, a
// full redraw, and a tick with four moving meters, on a frame laid out like
// the plug-in's editor (630 x 330: 24 filmstrip knobs, 25 value fields, 45
// labels, 6 buttons, a slider and 4 meters), and the plug-in's editor itself
// on its controller (editorTick). Without a display the frame draws into its
// off-screen image only; with one (DISPLAY set) the *Window variants include
// the copy to an X11 window.
#include "TestImages.h"

#include "controller/againcontroller.h"
#include "editor/againeditor.h"

#include "vstgui/vstgui.h"

#include <X11/Xlib.h>

#include <benchmark/benchmark.h>

#include <memory>

using namespace VSTGUI;
using velmora::test::pngSolid;
using velmora::test::pngStrip;
using velmora::test::Rgba;

namespace {

CBitmap* bitmap(const std::vector<unsigned char>& png) {
    return new CBitmap(png.data(), png.size());
}

// One connection for the whole run: a server whose last client leaves may
// reset and refuse the next one for a moment.
Display* sharedDisplay() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

struct EditorLikeFrame {
    explicit EditorLikeFrame(bool withWindow) {
        X11::ParentWindow* parent = nullptr;
        if (withWindow) {
            display = sharedDisplay();
            if (display == nullptr) {
                return;
            }
            parentWindow.display = display;
            parentWindow.window =
                XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 630, 330, 0, 0, 0);
            XMapWindow(display, parentWindow.window);
            XSync(display, False);
            parent = &parentWindow;
        }
        frame = new CFrame(CRect(0, 0, 630, 330), parent, nullptr);
        CBitmap* background = bitmap(pngSolid(630, 330, {30, 32, 36, 255}));
        frame->setBackground(background);
        background->forget();

        CBitmap* strip = bitmap(pngStrip(40, 40, 80, [](int i) {
            return Rgba{i * 3, 120, 255 - i * 3, 255};
        }));
        CBitmap* button = bitmap(pngStrip(40, 32, 2, [](int i) {
            return Rgba{60 + 100 * i, 60, 60, 255};
        }));
        CFontRef labelFont = new CFontDesc("Arial", 9);
        CFontRef fieldFont = new CFontDesc("Arial", 10);
        const auto text = [&](const CRect& r, const char* s, bool field, CFontRef font) {
            CTextLabel* v = field ? new CTextEdit(r, nullptr, 0, s, nullptr, kNoFrame)
                                  : new CTextLabel(r, s, nullptr, kNoFrame);
            v->setFont(font);
            v->setBackColor(kTransparentCColor);
            frame->addView(v);
        };
        for (int i = 0; i < 45; ++i) {
            text(CRect(10 + (i % 12) * 50, 5 + (i / 12) * 80, 60 + (i % 12) * 50,
                       23 + (i / 12) * 80),
                 "Release", false, labelFont);
        }
        for (int i = 0; i < 24; ++i) {
            const CRect r(20 + (i % 12) * 50, 50 + (i / 12) * 150, 60 + (i % 12) * 50,
                          90 + (i / 12) * 150);
            auto* knob = new CAnimKnob(r, nullptr, 0, 80, 40, strip);
            knob->setValue(static_cast<float>(i) / 24.0f);
            frame->addView(knob);
            text(CRect(r.left - 5, r.bottom + 3, r.right + 5, r.bottom + 15), "-20.0 dB", true,
                 fieldFont);
        }
        text(CRect(195, 295, 235, 307), "-30.0 dB", true, fieldFont);
        for (int i = 0; i < 6; ++i) {
            frame->addView(
                new CMovieButton(CRect(245 + i * 50, 145, 285 + i * 50, 177), nullptr, 0, button));
        }
        CBitmap* on = bitmap(pngStrip(16, 219, 1, [](int) { return Rgba{0, 200, 0, 255}; }));
        CBitmap* off = bitmap(pngSolid(16, 219, {0, 0, 0, 35}));
        CBitmap* lampOn = bitmap(pngSolid(16, 16, {255, 168, 18, 255}));
        CBitmap* lampOff = bitmap(pngSolid(16, 16, {90, 90, 90, 255}));
        meters[0] = new CVuMeter(CRect(207, 63, 223, 282), on, off, 26);
        meters[1] = new CVuMeter(CRect(207, 65, 223, 284), on, off, 26);
        meters[2] = new CVuMeter(CRect(257, 196, 273, 212), lampOn, lampOff, 26);
        meters[3] = new CVuMeter(CRect(357, 196, 373, 212), lampOn, lampOff, 26);
        for (CVuMeter* m : meters) {
            frame->addView(m);
        }
        CBitmap* handle = bitmap(pngSolid(40, 20, {220, 220, 220, 255}));
        CBitmap* track = bitmap(pngSolid(16, 100, {0, 0, 0, 0}));
        frame->addView(new CVerticalSlider(CRect(195, 53, 235, 292), nullptr, 0, CPoint(0, 0), 239,
                                           handle, track, CPoint(0, 0), kTop | kVertical));
        for (CBaseObject* o : std::initializer_list<CBaseObject*>{
                 strip, button, labelFont, fieldFont, on, off, lampOn, lampOff, handle, track}) {
            o->forget();
        }
        frame->idle();
    }
    ~EditorLikeFrame() {
        if (frame != nullptr) {
            frame->forget();
        }
        if (display != nullptr) {
            XDestroyWindow(display, parentWindow.window);
            XSync(display, False);
        }
    }
    bool ok() const { return frame != nullptr; }

    Display* display = nullptr;
    X11::ParentWindow parentWindow;
    CFrame* frame = nullptr;
    CVuMeter* meters[4] = {};
};

// Runs `tick` once per iteration on an editor-like frame.
template <typename Tick> void run(benchmark::State& state, bool withWindow, Tick tick) {
    EditorLikeFrame f(withWindow);
    if (!f.ok()) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        tick(f);
    }
}

void idleTick(benchmark::State& state, bool withWindow) {
    run(state, withWindow, [](EditorLikeFrame& f) { f.frame->idle(); });
}

void fullRedraw(benchmark::State& state, bool withWindow) {
    run(state, withWindow, [](EditorLikeFrame& f) {
        f.frame->invalid();
        f.frame->idle();
    });
}

// A 50 ms tick of the editor with all four meters at new values.
void meterTick(benchmark::State& state, bool withWindow) {
    float level = 0.0f;
    run(state, withWindow, [&level](EditorLikeFrame& f) {
        level = level > 0.9f ? 0.1f : level + 0.13f;
        f.meters[0]->setValue(level);
        f.meters[1]->setValue(level * 0.5f);
        f.meters[2]->setValue(level > 0.5f ? 1.0f : 0.0f);
        f.meters[3]->setValue(level > 0.7f ? 1.0f : 0.0f);
        f.frame->idle();
    });
}

// The editor's 50 ms tick while the meters move: the four meter values reach
// the editor through the controller, as the host delivers them, then the
// timer's notification redraws.
void editorTick(benchmark::State& state, bool withWindow) {
    using namespace Steinberg;
    using namespace Steinberg::Vst;
    X11::ParentWindow parent;
    if (withWindow) {
        parent.display = sharedDisplay();
        if (parent.display == nullptr) {
            state.SkipWithError("no X display");
            return;
        }
        parent.window = XCreateSimpleWindow(parent.display, DefaultRootWindow(parent.display), 0, 0,
                                            630, 330, 0, 0, 0);
        XMapWindow(parent.display, parent.window);
        XSync(parent.display, False);
    }
    IPtr<againController> controller = owned(new againController);
    controller->initialize(nullptr);
    IPtr<IPlugView> view = owned(controller->createView(ViewType::kEditor));
    auto* editor = dynamic_cast<againEditorView*>(view.get());
    if (editor == nullptr || !editor->open(withWindow ? &parent : nullptr)) {
        state.SkipWithError("no editor");
        return;
    }
    controller->editorAttached(editor);
    editor->notify(nullptr, CVSTGUITimer::kMsgTimer);
    double level = 0.0;
    for (auto _ : state) {
        level = level > 0.9 ? 0.1 : level + 0.13;
        controller->setParamNormalized(velmora::kMaxVu, level);
        controller->setParamNormalized(velmora::kMinVu, level * 0.5);
        controller->setParamNormalized(velmora::kMaxGateLevel, level > 0.5 ? 1.0 : 0.0);
        controller->setParamNormalized(velmora::kMinGateLevel, level > 0.7 ? 1.0 : 0.0);
        editor->notify(nullptr, CVSTGUITimer::kMsgTimer);
    }
    controller->editorRemoved(editor);
    editor->close();
    controller->terminate();
    if (withWindow) {
        XDestroyWindow(parent.display, parent.window);
        XSync(parent.display, False);
    }
}

BENCHMARK_CAPTURE(idleTick, Offscreen, false);
BENCHMARK_CAPTURE(fullRedraw, Offscreen, false);
BENCHMARK_CAPTURE(meterTick, Offscreen, false);
BENCHMARK_CAPTURE(idleTick, Window, true);
BENCHMARK_CAPTURE(fullRedraw, Window, true);
BENCHMARK_CAPTURE(meterTick, Window, true);
BENCHMARK_CAPTURE(editorTick, Offscreen, false);
BENCHMARK_CAPTURE(editorTick, Window, true);

} // namespace
