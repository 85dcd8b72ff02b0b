// The controls' images: the knob strip, the buttons, the meter bars, the
// threshold handle and the gate lamps.
#include "Images.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace velmora::images {

namespace {

constexpr double kPi = std::numbers::pi;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

void fillCircle(cairo_t* cr, double cx, double cy, double r) {
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, 0.0, 2.0 * kPi);
    cairo_fill(cr);
}

// Fills a pixel rectangle with exactly this colour, replacing what is there,
// for the images whose colours the editor's look depends on.
void fillExact(cairo_t* cr, int x, int y, int w, int h, Colour c) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    setColour(cr, c);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
}

Colour mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

Colour scaled(Colour c, double f) {
    return {c.r * f, c.g * f, c.b * f, c.a};
}

// --- Knob ------------------------------------------------------------------

constexpr int kKnobFrames = 80;
constexpr int kKnobSize = 40;
// Frame 0 points to the lower left, the last frame to the lower right; cairo
// angles grow clockwise on screen, so the pointer sweeps up over the top.
constexpr double kKnobStart = 135.0;
constexpr double kKnobSweep = 270.0;

void drawKnobFrame(cairo_t* cr, double top, double value) {
    const double cx = kKnobSize / 2.0;
    const double cy = top + kKnobSize / 2.0;
    const double start = radians(kKnobStart);
    const double angle = radians(kKnobStart + kKnobSweep * value);

    // Value ring: a dark track with the set part lit.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, 3.0);
    setColour(cr, rgb(10, 11, 13));
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 17.0, start, start + radians(kKnobSweep));
    cairo_stroke(cr);
    if (value > 0.0) {
        cairo_set_line_width(cr, 5.0);
        setColour(cr, withAlpha(palette::kAccent, 0.18));
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, 17.0, start, angle);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 2.2);
        setColour(cr, palette::kAccent);
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, 17.0, start, angle);
        cairo_stroke(cr);
    }

    // Soft shadow under the cap.
    setColour(cr, rgb(0, 0, 0, 50));
    fillCircle(cr, cx, cy + 1.5, 14.2);
    setColour(cr, rgb(0, 0, 0, 110));
    fillCircle(cr, cx, cy + 1.0, 13.3);

    // Cap: a bevelled rim lit from above and a flatter face.
    setVerticalGradient(cr, cy - 12.5, cy + 12.5, rgb(128, 134, 145), rgb(30, 32, 37));
    fillCircle(cr, cx, cy, 12.5);
    setVerticalGradient(cr, cy - 10.5, cy + 10.5, rgb(70, 75, 84), rgb(46, 49, 56));
    fillCircle(cr, cx, cy, 10.5);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, rgb(8, 9, 10, 220));
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 12.5, 0.0, 2.0 * kPi);
    cairo_stroke(cr);

    // Pointer line with round ends.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2.2);
    setColour(cr, rgb(246, 247, 249));
    cairo_new_path(cr);
    cairo_move_to(cr, cx + 3.5 * std::cos(angle), cy + 3.5 * std::sin(angle));
    cairo_line_to(cr, cx + 10.0 * std::cos(angle), cy + 10.0 * std::sin(angle));
    cairo_stroke(cr);
}

// --- Buttons ---------------------------------------------------------------

constexpr Colour kFaceTop = rgb(54, 58, 65);
constexpr Colour kFaceBottom = rgb(33, 36, 41);
constexpr Colour kLitTop = rgb(255, 190, 70);
constexpr Colour kLitBottom = rgb(236, 138, 8);

void drawButtonBody(cairo_t* cr, double top, double height) {
    roundedRect(cr, 0.5, top + 0.5, 39.0, height - 1.0, 4.0);
    setVerticalGradient(cr, top, top + height, kFaceTop, kFaceBottom);
    cairo_fill_preserve(cr);
    setColour(cr, palette::kEdge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    // Light catching the upper edge.
    setColour(cr, rgb(255, 255, 255, 28));
    cairo_move_to(cr, 4.0, top + 1.5);
    cairo_line_to(cr, 36.0, top + 1.5);
    cairo_stroke(cr);
}

void drawLitFace(cairo_t* cr, double x, double y, double w, double h, double radius) {
    roundedRect(cr, x, y, w, h, radius);
    setVerticalGradient(cr, y, y + h, kLitTop, kLitBottom);
    cairo_fill(cr);
    setColour(cr, rgb(255, 236, 190, 120));
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x + radius, y + 0.5);
    cairo_line_to(cr, x + w - radius, y + 0.5);
    cairo_stroke(cr);
}

// Both option names in every frame; the frame's own option sits on a lit face.
void drawTwoOptionButton(Canvas& canvas, const char* first, const char* second) {
    cairo_t* cr = canvas.cr();
    constexpr double kFrame = 32.0;
    TextStyle style{Face::Regular, 9.0, palette::kDimText};
    // A long name moves both to the narrow face, so one button uses one face.
    if (std::max(textWidth(cr, first, style), textWidth(cr, second, style)) > 33.0) {
        style.face = Face::Narrow;
        style.size = 9.5;
    }
    for (int frame = 0; frame < 2; ++frame) {
        const double top = frame * kFrame;
        drawButtonBody(cr, top, kFrame);
        // The two option rows, split by a groove.
        setColour(cr, rgb(0, 0, 0, 120));
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, 3.0, top + 16.0);
        cairo_line_to(cr, 37.0, top + 16.0);
        cairo_stroke(cr);
        const double rowTop[2] = {top + 2.5, top + 17.0};
        const char* names[2] = {first, second};
        for (int row = 0; row < 2; ++row) {
            TextStyle rowStyle = style;
            if (row == frame) {
                drawLitFace(cr, 2.5, rowTop[row], 35.0, 12.5, 2.5);
                rowStyle.colour = palette::kInk;
            }
            drawCentredText(cr, names[row], 20.0, rowTop[row] + 6.25, rowStyle);
        }
    }
}

// Frame 0 unlit, frame 1 lit.
void drawSwitchButton(Canvas& canvas, const char* caption) {
    cairo_t* cr = canvas.cr();
    constexpr double kFrame = 20.0;
    for (int frame = 0; frame < 2; ++frame) {
        const double top = frame * kFrame;
        drawButtonBody(cr, top, kFrame);
        TextStyle style{Face::Bold, 9.0, palette::kDimText};
        if (frame == 1) {
            drawLitFace(cr, 2.0, top + 2.0, 36.0, kFrame - 4.0, 2.5);
            style.colour = palette::kInk;
        }
        drawCentredText(cr, caption, 20.0, top + kFrame / 2.0, style);
    }
}

// --- Meters ----------------------------------------------------------------

constexpr int kMeterWidth = 16;
constexpr int kMeterHeight = 219;

// Level colours from full scale (top) down to the floor (bottom).
Colour meterColour(double depth) {
    struct Stop {
        double at;
        Colour colour;
    };
    static constexpr std::array kStops{
        Stop{0.00, rgb(255, 58, 32)},  Stop{0.08, rgb(255, 120, 28)}, Stop{0.20, rgb(255, 208, 40)},
        Stop{0.36, rgb(176, 222, 52)}, Stop{0.60, rgb(74, 204, 74)},  Stop{1.00, rgb(34, 150, 64)},
    };
    for (std::size_t i = 1; i < kStops.size(); ++i) {
        if (depth <= kStops[i].at) {
            const double t = (depth - kStops[i - 1].at) / (kStops[i].at - kStops[i - 1].at);
            return mix(kStops[i - 1].colour, kStops[i].colour, t);
        }
    }
    return kStops.back().colour;
}

} // namespace

void drawKnobStrip(Canvas& canvas, const Product&) {
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        drawKnobFrame(canvas.cr(), frame * kKnobSize,
                      static_cast<double>(frame) / (kKnobFrames - 1));
    }
}

void drawPeakRmsButton(Canvas& canvas, const Product&) {
    drawTwoOptionButton(canvas, "Peak", "RMS");
}
void drawEnvelopeButton(Canvas& canvas, const Product&) {
    drawTwoOptionButton(canvas, "Synth", "Gradual");
}
void drawChannelButton(Canvas& canvas, const Product&) {
    drawTwoOptionButton(canvas, "Indi", "Linked");
}
void drawDuckButton(Canvas& canvas, const Product&) {
    drawTwoOptionButton(canvas, "Standard", "Duck");
}
void drawBypassButton(Canvas& canvas, const Product&) {
    drawSwitchButton(canvas, "Bypass");
}
void drawCtrlOutButton(Canvas& canvas, const Product&) {
    drawSwitchButton(canvas, "Ctrl Out");
}

// An opaque ramp with a fine row texture, so the bar reads as a column of
// light rather than a flat strip.
void drawMeterOn(Canvas& canvas, const Product&) {
    cairo_t* cr = canvas.cr();
    for (int y = 0; y < kMeterHeight; ++y) {
        const Colour row = meterColour((y + 0.5) / kMeterHeight);
        const double rowShade = (y % 3 == 2) ? 0.70 : 1.0;
        for (int x = 0; x < kMeterWidth; ++x) {
            // The outer columns stay dark: they frame the bar, also where the
            // minimum meter greys out its middle.
            const bool edge = x == 0 || x == kMeterWidth - 1;
            const double columnShade =
                edge ? 0.38 : 0.74 + 0.26 * std::sin(kPi * (x + 0.5) / kMeterWidth);
            fillExact(cr, x, y, 1, 1, scaled(row, rowShade * columnShade));
        }
    }
}

void drawMeterOff(Canvas& canvas, const Product&) {
    cairo_t* cr = canvas.cr();
    fillExact(cr, 0, 0, kMeterWidth, kMeterHeight, rgb(62, 67, 76));
    fillExact(cr, 1, 1, kMeterWidth - 2, kMeterHeight - 2, rgb(6, 7, 9, 35));
}

void drawMinMeterOn(Canvas& canvas, const Product&) {
    fillExact(canvas.cr(), 1, 1, kMeterWidth - 2, kMeterHeight - 4, palette::kLampOff);
}

void drawNothing(Canvas&, const Product&) {}

// Two wedges pointing at the meter bars; the middle stays clear so the bars
// show through the handle.
void drawSliderHandle(Canvas& canvas, const Product&) {
    cairo_t* cr = canvas.cr();
    const double w = canvas.width();
    const double mid = canvas.height() / 2.0;
    for (int side = 0; side < 2; ++side) {
        const double outer = side == 0 ? 0.5 : w - 0.5;
        const double tip = side == 0 ? 11.5 : w - 11.5;
        cairo_save(cr);
        cairo_rectangle(cr, side == 0 ? 0.0 : w - 12.0, 0.0, 12.0, canvas.height());
        cairo_clip(cr);
        cairo_new_path(cr);
        cairo_move_to(cr, outer, mid - 7.0);
        cairo_line_to(cr, tip, mid);
        cairo_line_to(cr, outer, mid + 7.0);
        cairo_close_path(cr);
        setVerticalGradient(cr, mid - 7.0, mid + 7.0, rgb(250, 251, 252), rgb(172, 178, 188));
        cairo_fill_preserve(cr);
        setColour(cr, rgb(0, 0, 0, 190));
        cairo_set_line_width(cr, 1.0);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
}

void drawLampOpen(Canvas& canvas, const Product&) {
    fillExact(canvas.cr(), 0, 0, canvas.width(), canvas.height(), palette::kAccent);
}
void drawLampClosed(Canvas& canvas, const Product&) {
    fillExact(canvas.cr(), 0, 0, canvas.width(), canvas.height(), palette::kLampOff);
}

} // namespace velmora::images
