// What the frame puts on the screen, read back from the X server.
#include "FrameFixture.h"

#include <X11/Xlib.h>

#include <cmath>
#include <limits>

using namespace VSTGUI;

namespace velmora::test {
namespace {

class DrawingTest : public FrameFixture {};

TEST_F(DrawingTest, KnobShowsTheStripImageNearestItsValue) {
    CBitmap* strip = makeBitmap(pngStrip(40, 40, 10, knobFrameColour));
    auto* knob = add(new CAnimKnob(CRect(10, 10, 50, 50), nullptr, 0, 10, 40, strip));
    strip->forget();
    EXPECT_EQ(strip->getNbReference(), 1); // the knob's

    const struct {
        float value;
        int image;
    } cases[] = {{0.0f, 0},
                 {0.5f, 5},
                 {0.94f, 8},
                 {1.0f, 9},
                 {1.5f, 9},
                 {-1.0f, 0},
                 {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases) {
        knob->setValue(c.value);
        EXPECT_EQ(knob->currentImage(), c.image) << c.value;
        EXPECT_TRUE(near(at(30, 30), rgb(knobFrameColour(c.image)))) << c.value;
    }
}

TEST_F(DrawingTest, LaterViewsLieOnTopAndHiddenViewsAreNeitherDrawnNorHit) {
    CBitmap* red = makeBitmap(pngSolid(40, 40, {200, 0, 0, 255}));
    CBitmap* blue = makeBitmap(pngStrip(40, 40, 2, [](int) { return Rgba{0, 0, 200, 255}; }));
    add(new CMovieButton(CRect(60, 10, 100, 50), &listener, 1, 40, red));
    auto* top = add(new CMovieButton(CRect(80, 30, 120, 70), &listener, 2, 40, blue));
    red->forget();
    blue->forget();

    EXPECT_TRUE(near(at(70, 20), {200, 0, 0}));
    EXPECT_TRUE(near(at(90, 40), {0, 0, 200})) << "the later view covers the earlier";
    EXPECT_TRUE(near(at(110, 60), {0, 0, 200}));

    top->setVisible(false);
    EXPECT_TRUE(near(at(90, 40), {200, 0, 0})) << "what lay under the hidden view comes back";
    EXPECT_TRUE(near(at(110, 60), kBackground));

    // A click where only the hidden view lies reaches nobody; in the overlap
    // it reaches the visible view beneath.
    x.click(frame->getWindow(), 110, 60);
    settle();
    EXPECT_TRUE(listener.calls.empty());
    x.click(frame->getWindow(), 90, 40);
    settle();
    ASSERT_FALSE(listener.calls.empty());
    EXPECT_EQ(listener.calls.front().tag, 1);
}

TEST_F(DrawingTest, OnlyChangedPartsAreRedrawn) {
    CBitmap* strip = makeBitmap(pngStrip(40, 40, 10, knobFrameColour));
    auto* knob = add(new CAnimKnob(CRect(10, 10, 50, 50), nullptr, 0, 10, 40, strip));
    strip->forget();
    settle();
    // Paint behind the frame's back; only a redraw of that spot would undo it.
    GC gc = XCreateGC(x.display(), frame->getWindow(), 0, nullptr);
    XSetForeground(x.display(), gc, 0xFF00FF);
    XFillRectangle(x.display(), frame->getWindow(), gc, 200, 200, 10, 10);
    XFreeGC(x.display(), gc);

    knob->setValue(1.0f);
    EXPECT_TRUE(near(at(30, 30), rgb(knobFrameColour(9))));
    EXPECT_TRUE(near(at(205, 205), {255, 0, 255})) << "an unchanged part was drawn again";
    frame->idle();
    EXPECT_TRUE(near(at(205, 205), {255, 0, 255})) << "an idle pass with nothing to do drew";

    // An expose (the window uncovered) is redrawn from the off-screen image.
    XClearArea(x.display(), frame->getWindow(), 195, 195, 20, 20, True);
    EXPECT_TRUE(near(at(205, 205), kBackground));
}

TEST_F(DrawingTest, MeterLightsSegmentsFromTheBottomAndFallsOneStepPerPass) {
    CBitmap* on = makeBitmap(pngSolid(16, 104, {0, 200, 0, 255}));
    CBitmap* off = makeBitmap(pngSolid(16, 104, {90, 0, 0, 255}));
    // 26 segments of 4 pixels.
    auto* meter = add(new CVuMeter(CRect(150, 10, 166, 114), on, off, 26, kVertical));
    on->forget();
    off->forget();
    const Rgb lit{0, 200, 0};
    const Rgb unlit{90, 0, 0};
    const auto boundaryAt = [&](int segments) {
        // The first lit row from the top, and the row just above it.
        const int split = 10 + (26 - segments) * 4;
        return std::make_pair(at(158, split), at(158, split - 1));
    };

    EXPECT_TRUE(near(at(158, 112), unlit)) << "empty before any value";
    meter->setValue(0.5f);
    frame->idle();
    EXPECT_EQ(meter->litSegments(), 13);
    auto [first, above] = boundaryAt(13);
    EXPECT_TRUE(near(first, lit));
    EXPECT_TRUE(near(above, unlit));

    // Falls by 0.1 per pass, never below the value.
    meter->setValue(0.0f);
    const int expected[] = {10, 8, 5, 3, 0, 0};
    for (int segments : expected) {
        frame->idle();
        EXPECT_EQ(meter->litSegments(), segments);
    }
    EXPECT_TRUE(near(at(158, 112), unlit));

    // Rises at once; values outside the range show as empty and full.
    meter->setValue(0.9f);
    frame->idle();
    EXPECT_EQ(meter->litSegments(), 23);
    meter->setValue(2.0f);
    frame->idle();
    EXPECT_EQ(meter->litSegments(), 26);
    EXPECT_TRUE(near(at(158, 10), lit));
    meter->setValue(-7.33f);
    for (int i = 0; i < 10; ++i) {
        frame->idle();
    }
    EXPECT_EQ(meter->litSegments(), 0);
}

TEST_F(DrawingTest, TextIsDrawnInItsColourWithAndWithoutAntialiasing) {
    EXPECT_TRUE(CFontDesc("Arial", 9).resolvedFamily() == "Arial" ||
                CFontDesc("Arial", 9).resolvedFamily() == "Liberation Sans")
        << CFontDesc("Arial", 9).resolvedFamily();

    const auto label = [&](const CRect& r, bool antialias) {
        auto* l = add(new CTextLabel(r, "88 Hz", nullptr, kNoFrame));
        CFontRef font = new CFontDesc("Arial", 10);
        l->setFont(font);
        font->forget();
        l->setBackColor(kTransparentCColor);
        l->setFontColor(kWhiteCColor);
        l->setAntialias(antialias);
        return l;
    };
    const auto inks = [&](const CRect& r, int& white, int& between, int& other) {
        white = between = other = 0;
        settle();
        for (int py = static_cast<int>(r.top); py < r.bottom; ++py) {
            for (int px = static_cast<int>(r.left); px < r.right; ++px) {
                const Rgb c = x.pixel(frame->getWindow(), px, py);
                if (c == Rgb{255, 255, 255}) {
                    ++white;
                } else if (c == kBackground) {
                } else if (c.r == c.g && c.g == c.b && c.r > 40) {
                    ++between;
                } else {
                    ++other;
                }
            }
        }
    };
    const CRect sharp(10, 150, 70, 164);
    const CRect smooth(10, 180, 70, 194);
    label(sharp, false);
    label(smooth, true);
    int white = 0;
    int between = 0;
    int other = 0;
    inks(sharp, white, between, other);
    EXPECT_GT(white, 10);
    EXPECT_EQ(between, 0) << "unantialiased text has only the font colour";
    EXPECT_EQ(other, 0);
    inks(smooth, white, between, other);
    EXPECT_GT(between, 10) << "antialiased text has blended edges";
    EXPECT_EQ(other, 0);
}

TEST(Graphics, TextIsMadeValidUtf8AndRectanglesIntersect) {
    EXPECT_EQ(toValidUtf8("-20.0 dB"), "-20.0 dB");
    EXPECT_EQ(toValidUtf8("5 \xB5s"), "5 \xC2\xB5s"); // Latin-1 micro sign
    EXPECT_EQ(toValidUtf8("\xE2\x88\x9E"), "\xE2\x88\x9E");
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF"); // overlong form
    EXPECT_EQ(toValidUtf8(nullptr), "");

    CRect a(0, 0, 10, 10);
    EXPECT_EQ(CRect(a).bound(CRect(5, 5, 20, 20)), CRect(5, 5, 10, 10));
    EXPECT_TRUE(CRect(a).bound(CRect(10, 0, 20, 10)).isEmpty());
    EXPECT_EQ(CRect(a).unite(CRect(5, 5, 20, 20)), CRect(0, 0, 20, 20));
    EXPECT_TRUE(a.pointInside(CPoint(9, 9)));
    EXPECT_FALSE(a.pointInside(CPoint(10, 5)));

    // A PNG that is not one gives an empty bitmap, not a crash.
    const char junk[] = "not a png";
    CBitmap broken(junk, sizeof(junk));
    EXPECT_FALSE(broken.isLoaded());
    EXPECT_EQ(broken.getWidth(), 0);
}

} // namespace
} // namespace velmora::test
