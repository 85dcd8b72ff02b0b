// The editor's images as the plug-in carries them: found by the names the
// editor uses, decodable, of the sizes and frame layouts the layout relies on,
// and with the pixels the editor's look depends on.
#include "editor/EditorResources.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <set>
#include <string>

namespace velmora {
namespace {

struct Expected {
    const char* fileName;
    int width;
    int height;
    int frames;
};

// Names, sizes and frame counts as the editor's layout uses them.
constexpr Expected kImages[] = {
    {"background.png", 630, 330, 1},
    {"knobImg1.png", 40, 3200, 80},
    {"splashImg.png", 630, 330, 1},
    {"VVuSliderHandle.png", 40, 20, 1},
    {"vVuSliderBackground.png", 16, 100, 1},
    {"VVuSlider1On.png", 16, 219, 1},
    {"VVuSlider1Off.png", 16, 219, 1},
    {"VVuSlider2On.png", 16, 219, 1},
    {"VVuSlider2Off.png", 16, 219, 1},
    {"VuGateLevOpen.png", 16, 16, 1},
    {"VuGateLevClosed.png", 16, 16, 1},
    {"ButtonPeakRms.png", 40, 64, 2},
    {"Env.png", 40, 64, 2},
    {"ButtonLinkChInd.png", 40, 64, 2},
    {"ButtonDuck.png", 40, 64, 2},
    {"ButtonSingleBypass.png", 40, 40, 2},
    {"ButtonSingleCtrl.png", 40, 40, 2},
};

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

// A decoded image with straight (not premultiplied) pixel access.
class Decoded {
public:
    explicit Decoded(std::span<const unsigned char> png) {
        struct Reader {
            std::span<const unsigned char> rest;
        } reader{png};
        surface_.reset(cairo_image_surface_create_from_png_stream(
            [](void* closure, unsigned char* out, unsigned int length) {
                auto* r = static_cast<Reader*>(closure);
                if (length > r->rest.size()) {
                    return CAIRO_STATUS_READ_ERROR;
                }
                std::memcpy(out, r->rest.data(), length);
                r->rest = r->rest.subspan(length);
                return CAIRO_STATUS_SUCCESS;
            },
            &reader));
    }
    bool ok() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
    cairo_format_t format() const { return cairo_image_surface_get_format(surface_.get()); }
    int width() const { return cairo_image_surface_get_width(surface_.get()); }
    int height() const { return cairo_image_surface_get_height(surface_.get()); }
    Rgba at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface_.get()) +
                                   y * cairo_image_surface_get_stride(surface_.get());
        std::uint32_t p = 0;
        std::memcpy(&p, row + 4 * x, 4);
        const int a = static_cast<int>(p >> 24);
        auto straight = [a](std::uint32_t c) {
            return a == 0 ? 0 : static_cast<int>((c * 255 + static_cast<unsigned>(a) / 2) / a);
        };
        return {straight((p >> 16) & 0xff), straight((p >> 8) & 0xff), straight(p & 0xff), a};
    }

private:
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface_{nullptr,
                                                                          &cairo_surface_destroy};
};

Decoded decode(const char* fileName) {
    return Decoded(findEditorResource(fileName));
}

TEST(EditorResources, EveryImageIsFoundByItsNameAndDecodesToItsSizeAsRgba) {
    for (const Expected& e : kImages) {
        SCOPED_TRACE(e.fileName);
        const std::span<const unsigned char> png = findEditorResource(e.fileName);
        ASSERT_GT(png.size(), 33u);
        // IHDR: 8 bits per channel, colour type 6 (RGBA), even where every pixel is opaque.
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(png[24], 8);
        EXPECT_EQ(png[25], 6);
        const Decoded image(png);
        ASSERT_TRUE(image.ok());
        EXPECT_EQ(image.format(), CAIRO_FORMAT_ARGB32);
        EXPECT_EQ(image.width(), e.width);
        EXPECT_EQ(image.height(), e.height);
        EXPECT_EQ(image.height() % e.frames, 0);

        // Stored under the upper-case name; the lookup ignores letter case.
        std::string upper = e.fileName;
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(findEditorResource(upper).data(), png.data());
    }
    EXPECT_EQ(editorResources().size(), std::size(kImages));
    std::set<std::string_view> names;
    for (const EditorResource& r : editorResources()) {
        EXPECT_TRUE(names.insert(r.name).second) << r.name;
    }
    EXPECT_TRUE(findEditorResource("missing.png").empty());
    EXPECT_TRUE(findEditorResource("background.pn").empty());
    EXPECT_TRUE(findEditorResource("").empty());
}

// Every frame of a strip differs from the next, so each value shows.
TEST(EditorResources, FramesOfEveryStripDiffer) {
    for (const Expected& e : kImages) {
        if (e.frames == 1) {
            continue;
        }
        SCOPED_TRACE(e.fileName);
        const Decoded image = decode(e.fileName);
        const int frameHeight = e.height / e.frames;
        for (int f = 1; f < e.frames; ++f) {
            int differing = 0;
            for (int y = 0; y < frameHeight; ++y) {
                for (int x = 0; x < e.width; ++x) {
                    differing += !(image.at(x, (f - 1) * frameHeight + y) ==
                                   image.at(x, f * frameHeight + y));
                }
            }
            EXPECT_GT(differing, 4) << "frame " << f;
        }
    }
}

void expectEvery(const char* fileName, auto&& expected) {
    SCOPED_TRACE(fileName);
    const Decoded image = decode(fileName);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.at(x, y), expected(x, y)) << "at " << x << "," << y;
        }
    }
}

TEST(EditorResources, LampsSolidImagesTransparentAndMinMeterInset) {
    expectEvery("VuGateLevOpen.png", [](int, int) { return Rgba{255, 168, 18, 255}; });
    expectEvery("VuGateLevClosed.png", [](int, int) { return Rgba{90, 90, 90, 255}; });
    expectEvery("vVuSliderBackground.png", [](int, int) { return Rgba{0, 0, 0, 0}; });
    expectEvery("VVuSlider2Off.png", [](int, int) { return Rgba{0, 0, 0, 0}; });
    // Grey inset by one pixel left, right and top and by three at the bottom.
    expectEvery("VVuSlider2On.png", [](int x, int y) {
        const bool inside = x >= 1 && x <= 14 && y >= 1 && y <= 215;
        return inside ? Rgba{90, 90, 90, 255} : Rgba{0, 0, 0, 0};
    });
}

TEST(EditorResources, MaxMeterRampAndItsUnlitOutline) {
    const Decoded on = decode("VVuSlider1On.png");
    for (int y = 0; y < on.height(); ++y) {
        for (int x = 0; x < on.width(); ++x) {
            ASSERT_EQ(on.at(x, y).a, 255) << x << "," << y;
        }
    }
    const Rgba top = on.at(8, 0);
    const Rgba middle = on.at(8, 45);
    const Rgba bottom = on.at(8, 217);
    EXPECT_GT(top.r, 2 * top.g) << "red-orange at the top";
    EXPECT_GT(middle.r, 180);
    EXPECT_GT(middle.g, 140) << "yellow below it";
    EXPECT_GT(bottom.g, 2 * bottom.r) << "green at the bottom";

    const Decoded off = decode("VVuSlider1Off.png");
    for (int y = 0; y < off.height(); ++y) {
        for (int x = 0; x < off.width(); ++x) {
            const bool edge = x == 0 || y == 0 || x == off.width() - 1 || y == off.height() - 1;
            ASSERT_EQ(off.at(x, y).a, edge ? 255 : 35) << x << "," << y;
        }
    }
}

TEST(EditorResources, HandleBracketsTheBarsWithAClearMiddle) {
    const Decoded handle = decode("VVuSliderHandle.png");
    int left = 0;
    int right = 0;
    for (int y = 0; y < handle.height(); ++y) {
        for (int x = 0; x < handle.width(); ++x) {
            const int a = handle.at(x, y).a;
            if (x >= 12 && x < 28) {
                ASSERT_EQ(a, 0) << x << "," << y;
            }
            (x < 12 ? left : right) += a == 255;
        }
    }
    EXPECT_GT(left, 40);
    EXPECT_GT(right, 40);
    // The wedges point inwards: at the middle row the opaque run reaches the tip.
    EXPECT_GT(handle.at(10, 10).a, 200);
    EXPECT_EQ(handle.at(10, 3).a, 0);
    EXPECT_GT(handle.at(29, 10).a, 200);
    EXPECT_EQ(handle.at(29, 3).a, 0);
}

// The pointer's direction in a knob frame, in degrees clockwise from straight
// up, from the centroid of its near-white pixels.
double pointerAngle(const Decoded& strip, int frame) {
    double sx = 0.0;
    double sy = 0.0;
    int n = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Rgba p = strip.at(x, frame * 40 + y);
            const double dx = x + 0.5 - 20.0;
            const double dy = y + 0.5 - 20.0;
            if (p.a > 200 && p.r > 225 && p.g > 225 && p.b > 225 && dx * dx + dy * dy < 144.0) {
                sx += dx;
                sy += dy;
                ++n;
            }
        }
    }
    EXPECT_GT(n, 3) << "frame " << frame << " has no visible pointer";
    double degrees = std::atan2(sx, -sy) * 180.0 / std::numbers::pi;
    return degrees < 0.0 ? degrees + 360.0 : degrees;
}

TEST(EditorResources, KnobPointerTurnsClockwiseFromLowerLeftToLowerRight) {
    const Decoded strip = decode("knobImg1.png");
    const double first = pointerAngle(strip, 0);
    const double middle = pointerAngle(strip, 40);
    const double last = pointerAngle(strip, 79);
    EXPECT_NEAR(first, 225.0, 10.0) << "lower left";
    EXPECT_TRUE(middle < 10.0 || middle > 350.0) << "straight up, at " << middle;
    EXPECT_NEAR(last, 135.0, 10.0) << "lower right";
    // Clockwise all the way: unwrap past straight up and check the angle grows.
    double previous = first;
    for (int frame = 1; frame < 80; ++frame) {
        double angle = pointerAngle(strip, frame);
        if (angle < 180.0) {
            angle += 360.0;
        }
        EXPECT_GT(angle, previous) << "frame " << frame;
        previous = angle;
    }
}

TEST(EditorResources, BackgroundSeatsTheLampsOnWhiteSquares) {
    const Decoded background = decode("background.png");
    for (int x : {257, 357}) {
        const int y = 196;
        for (int i = -1; i <= 16; ++i) {
            EXPECT_EQ(background.at(x - 1, y + i), (Rgba{255, 255, 255, 255}));
            EXPECT_EQ(background.at(x + 16, y + i), (Rgba{255, 255, 255, 255}));
            EXPECT_EQ(background.at(x + i, y - 1), (Rgba{255, 255, 255, 255}));
            EXPECT_EQ(background.at(x + i, y + 16), (Rgba{255, 255, 255, 255}));
        }
    }
    for (const char* name : {"background.png", "splashImg.png"}) {
        const Decoded image = decode(name);
        for (int y = 0; y < image.height(); y += 7) {
            for (int x = 0; x < image.width(); x += 7) {
                ASSERT_EQ(image.at(x, y).a, 255) << name << " at " << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace velmora
