// The editor's panel and its splash image.
//
// The panel carries no text the editor draws itself (captions, headings,
// values); it gives those texts their places: group frames, heading bars,
// value wells, the meter slot and the lamp bezels.
#include "Images.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <utility>

namespace velmora::images {

namespace {

struct Rect {
    double x, y, w, h;
};

// The three control groups and the logo box under the splash hot area.
constexpr Rect kLeftGroup{6, 6, 168, 232};
constexpr Rect kLogoBox{6, 246, 168, 78};
constexpr Rect kMiddleGroup{182, 6, 266, 318};
constexpr Rect kRightGroup{456, 6, 168, 318};

// Heading bars, centred on the editor's heading labels (left x, right x and
// the label's vertical centre) and the headings' texts, to keep them clear.
struct Heading {
    const Rect* group;
    double centreY;
    const char* text;
};
constexpr std::array kHeadings{
    Heading{&kLeftGroup, 23, "Control Signal"},    Heading{&kLeftGroup, 118, "Control Bands"},
    Heading{&kMiddleGroup, 23, "Gating Controls"}, Heading{&kRightGroup, 23, "Output Signal"},
    Heading{&kRightGroup, 118, "Gate Open"},       Heading{&kRightGroup, 208, "Gate Closed"},
};

// Value fields: the centre of each field and the top of its row.
struct Field {
    double centreX, top;
};
constexpr std::array kFields{
    // Control signal and control bands.
    Field{40, 93},
    Field{90, 93},
    Field{140, 93},
    Field{40, 183},
    Field{90, 183},
    Field{140, 183},
    // Attack, release, hold, RMS window; threshold; the lower knob row.
    Field{265, 93},
    Field{315, 93},
    Field{365, 93},
    Field{415, 93},
    Field{215, 295},
    Field{265, 295},
    Field{315, 295},
    Field{365, 295},
    Field{415, 295},
    // Output signal, gate open, gate closed.
    Field{490, 93},
    Field{540, 93},
    Field{590, 93},
    Field{490, 183},
    Field{540, 183},
    Field{590, 183},
    Field{490, 273},
    Field{540, 273},
    Field{590, 273},
};
constexpr double kFieldWidth = 46.0;
constexpr double kFieldHeight = 14.0;

// Meter bars (both meters and the 219-pixel handle travel) and the lamps.
constexpr Rect kMeterBars{207, 63, 16, 221};
constexpr std::array kLampCorners{std::array{257.0, 196.0}, std::array{357.0, 196.0}};
constexpr double kLampSize = 16.0;

// The editor labels its texts in this size; headings are measured with it.
constexpr TextStyle kLabelStyle{Face::Regular, 9.0, rgb(255, 255, 255)};

std::string upperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// The product name as its maker's initials (drawn in the accent colour) and
// the name proper: "BK Velmora" gives "BK" and "Velmora".
std::pair<std::string, std::string> splitName(const std::string& name) {
    const std::size_t space = name.find(' ');
    if (space == std::string::npos) {
        return {"", name};
    }
    return {name.substr(0, space), name.substr(space + 1)};
}

void strokeLine(cairo_t* cr, double x0, double y0, double x1, double y1, Colour c,
                double width = 1.0) {
    setColour(cr, c);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

// A rounded plate with a gradient face and a dark edge; leaves the path of
// its inner rim for the caller to light.
void drawPlate(cairo_t* cr, const Rect& r, Colour top, Colour bottom, Colour edge) {
    roundedRect(cr, r.x + 0.5, r.y + 0.5, r.w - 1.0, r.h - 1.0, 7.0);
    setVerticalGradient(cr, r.y, r.y + r.h, top, bottom);
    cairo_fill_preserve(cr);
    setColour(cr, edge);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    roundedRect(cr, r.x + 1.5, r.y + 1.5, r.w - 3.0, r.h - 3.0, 6.0);
}

void drawGroup(cairo_t* cr, const Rect& g) {
    // Drop shadow, then a raised plate with a lit top edge.
    roundedRect(cr, g.x - 1.0, g.y, g.w + 2.0, g.h + 2.0, 8.0);
    setColour(cr, rgb(0, 0, 0, 70));
    cairo_fill(cr);
    drawPlate(cr, g, rgb(52, 56, 63), rgb(37, 40, 46), rgb(12, 13, 15));
    cairo_pattern_t* rim = cairo_pattern_create_linear(0, g.y, 0, g.y + g.h);
    cairo_pattern_add_color_stop_rgba(rim, 0.0, 1, 1, 1, 0.13);
    cairo_pattern_add_color_stop_rgba(rim, 0.25, 1, 1, 1, 0.03);
    cairo_pattern_add_color_stop_rgba(rim, 1.0, 1, 1, 1, 0.02);
    cairo_set_source(cr, rim);
    cairo_pattern_destroy(rim);
    cairo_stroke(cr);
}

void drawHeadingBar(cairo_t* cr, const Heading& h) {
    const Rect& g = *h.group;
    const double cx = g.x + g.w / 2.0;
    const double top = h.centreY - 9.0;
    roundedRect(cr, g.x + 6.0, top, g.w - 12.0, 18.0, 4.0);
    setColour(cr, rgb(0, 0, 0, 72));
    cairo_fill(cr);
    strokeLine(cr, g.x + 10.0, top + 18.5, g.x + g.w - 10.0, top + 18.5, rgb(255, 255, 255, 14));
    // Accent rules either side of the heading text, stopping short of it.
    const double gap = textWidth(cr, h.text, kLabelStyle) / 2.0 + 7.0;
    const double y = std::floor(h.centreY) + 0.5;
    const Colour rule = withAlpha(palette::kAccent, 0.55);
    strokeLine(cr, g.x + 14.0, y, cx - gap, y, rule);
    strokeLine(cr, cx + gap, y, g.x + g.w - 14.0, y, rule);
}

// A recessed dark window behind each value text.
void drawFieldWell(cairo_t* cr, const Field& f) {
    const double x = f.centreX - kFieldWidth / 2.0;
    const double y = f.top - 1.0;
    roundedRect(cr, x + 0.5, y + 0.5, kFieldWidth - 1.0, kFieldHeight - 1.0, 3.0);
    setColour(cr, palette::kWell);
    cairo_fill_preserve(cr);
    setColour(cr, rgb(0, 0, 0, 160));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    strokeLine(cr, x + 3.0, y + kFieldHeight + 0.5, x + kFieldWidth - 3.0, y + kFieldHeight + 0.5,
               rgb(255, 255, 255, 22));
}

// The slot the two meter bars sit in, with ticks every 6 dB of the 60 dB
// range on both sides for the threshold handle to point at.
void drawMeterSlot(cairo_t* cr) {
    const Rect& m = kMeterBars;
    roundedRect(cr, m.x - 3.5, m.y - 3.5, m.w + 7.0, m.h + 7.0, 3.0);
    setColour(cr, palette::kWell);
    cairo_fill_preserve(cr);
    setColour(cr, rgb(0, 0, 0, 200));
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    strokeLine(cr, m.x - 1.0, m.y + m.h + 4.5, m.x + m.w + 1.0, m.y + m.h + 4.5,
               rgb(255, 255, 255, 24));
    constexpr double kTravel = 219.0;
    for (int tick = 0; tick <= 10; ++tick) {
        const double y = std::round(m.y + tick * kTravel / 10.0) + 0.5;
        const double len = tick % 5 == 0 ? 5.0 : 3.0;
        const Colour c = rgb(200, 205, 214, tick % 5 == 0 ? 150 : 90);
        strokeLine(cr, m.x - 5.0 - len, y, m.x - 5.0, y, c);
        strokeLine(cr, m.x + m.w + 5.0, y, m.x + m.w + 5.0 + len, y, c);
    }
}

// The strip holding both gate lamps, each lamp seated on a white square one
// pixel larger all round.
void drawLampRow(cairo_t* cr) {
    roundedRect(cr, 249.5, 189.5, 187.0, 29.0, 4.0);
    setColour(cr, rgb(0, 0, 0, 60));
    cairo_fill(cr);
    for (const auto& corner : kLampCorners) {
        roundedRect(cr, corner[0] - 3.0, corner[1] - 2.0, kLampSize + 6.0, kLampSize + 6.0, 3.0);
        setColour(cr, rgb(0, 0, 0, 120));
        cairo_fill(cr);
        setColour(cr, rgb(255, 255, 255));
        cairo_rectangle(cr, corner[0] - 1.0, corner[1] - 1.0, kLampSize + 2.0, kLampSize + 2.0);
        cairo_fill(cr);
    }
}

void drawLogo(cairo_t* cr, const Rect& box, const Product& product) {
    drawPlate(cr, box, rgb(30, 32, 37), rgb(17, 18, 21), rgb(10, 11, 12));
    setColour(cr, rgb(255, 255, 255, 16));
    cairo_stroke(cr);

    // Word mark: "BK" in the accent colour, the rest in white, letter-spaced.
    const auto [mark, rest] = splitName(product.name);
    TextStyle markStyle{Face::Bold, 17.0, palette::kAccent, 1.0};
    TextStyle restStyle{Face::Bold, 17.0, palette::kBrightText, 1.6};
    const std::string upper = upperCase(rest);
    const double markWidth = textWidth(cr, mark, markStyle);
    const double restWidth = textWidth(cr, upper, restStyle);
    const double gap = 6.0;
    double x = box.x + (box.w - markWidth - gap - restWidth) / 2.0;
    const double baseline = box.y + 27.0;
    drawText(cr, mark, x, baseline, markStyle);
    drawText(cr, upper, x + markWidth + gap, baseline, restStyle);

    const TextStyle tagStyle{Face::Regular, 7.0, rgb(150, 156, 166), 1.2};
    const std::string tag = "THREE-BAND NOISE GATE";
    drawText(cr, tag, box.x + (box.w - textWidth(cr, tag, tagStyle)) / 2.0, box.y + 41.0, tagStyle);
    strokeLine(cr, box.x + 30.0, box.y + 49.5, box.x + box.w - 30.0, box.y + 49.5,
               withAlpha(palette::kAccent, 0.45));
}

} // namespace

void drawBackground(Canvas& canvas, const Product& product) {
    cairo_t* cr = canvas.cr();
    setVerticalGradient(cr, 0, canvas.height(), rgb(34, 37, 42), rgb(19, 20, 23));
    cairo_paint(cr);

    for (const Rect* group : {&kLeftGroup, &kMiddleGroup, &kRightGroup}) {
        drawGroup(cr, *group);
    }
    for (const Heading& heading : kHeadings) {
        drawHeadingBar(cr, heading);
    }
    for (const Field& field : kFields) {
        drawFieldWell(cr, field);
    }
    drawMeterSlot(cr);
    drawLampRow(cr);
    drawLogo(cr, kLogoBox, product);

    // The maker's name in the free corner under the output controls.
    drawCentredText(cr, upperCase(product.vendor), kRightGroup.x + kRightGroup.w / 2.0, 307.0,
                    {Face::Bold, 8.0, rgb(104, 110, 121), 2.5});
}

void drawSplash(Canvas& canvas, const Product& product) {
    cairo_t* cr = canvas.cr();
    const double w = canvas.width();
    const double h = canvas.height();

    cairo_pattern_t* glow =
        cairo_pattern_create_radial(w / 2.0, h * 0.38, 10.0, w / 2.0, h * 0.38, w * 0.62);
    cairo_pattern_add_color_stop_rgb(glow, 0.0, 54 / 255.0, 58 / 255.0, 66 / 255.0);
    cairo_pattern_add_color_stop_rgb(glow, 1.0, 12 / 255.0, 13 / 255.0, 15 / 255.0);
    cairo_set_source(cr, glow);
    cairo_pattern_destroy(glow);
    cairo_paint(cr);

    // The three output bands of a crossover over three decades, each with its
    // own level, the way the gate sees the spectrum.
    const double floorY = h - 36.0;
    const double graphHeight = 84.0;
    for (int line = 1; line <= 3; ++line) {
        const double y = std::floor(floorY - line * graphHeight / 4.0) + 0.5;
        strokeLine(cr, 0, y, w, y, rgb(255, 255, 255, 10));
    }
    for (int decade = 1; decade < 3; ++decade) {
        const double x = std::floor(w * decade / 3.0) + 0.5;
        strokeLine(cr, x, floorY - graphHeight, x, floorY, rgb(255, 255, 255, 10));
    }
    const std::array<double, 3> levels{1.0, 0.72, 0.86};
    const std::array<Colour, 3> tints{palette::kAccentDeep, palette::kAccent, rgb(255, 208, 96)};
    for (int band = 0; band < 3; ++band) {
        // Fourth-order slopes at the two edges, on a log-frequency axis.
        auto gain = [band](double x) {
            const double f = std::pow(10.0, 3.0 * x);
            const double lowEdge = std::pow(10.0, 0.95);
            const double highEdge = std::pow(10.0, 2.05);
            const double lowPass = 1.0 / std::sqrt(1.0 + std::pow(f / lowEdge, 8.0));
            const double highPass = 1.0 / std::sqrt(1.0 + std::pow(highEdge / f, 8.0));
            if (band == 0) {
                return lowPass;
            }
            if (band == 2) {
                return highPass;
            }
            return std::sqrt(1.0 - lowPass * lowPass) * std::sqrt(1.0 - highPass * highPass);
        };
        cairo_new_path(cr);
        cairo_move_to(cr, -2.0, floorY);
        for (int x = -2; x <= static_cast<int>(w) + 2; ++x) {
            const double db = 20.0 * std::log10(std::max(gain(x / w), 1e-6));
            const double height = std::max(0.0, 1.0 + db / 36.0) * graphHeight * levels[band];
            cairo_line_to(cr, x, floorY - height);
        }
        cairo_line_to(cr, w + 2.0, floorY);
        cairo_close_path(cr);
        const Colour tint = tints[band];
        setVerticalGradient(cr, floorY - graphHeight, floorY, withAlpha(tint, 0.30),
                            withAlpha(tint, 0.0));
        cairo_fill_preserve(cr);
        setColour(cr, withAlpha(tint, 0.9));
        cairo_set_line_width(cr, 1.4);
        cairo_stroke(cr);
    }
    strokeLine(cr, 0, floorY + 0.5, w, floorY + 0.5, rgb(255, 255, 255, 36));

    // Name, what it is, who makes it and which version this is.
    const auto [firstWord, rest] = splitName(product.name);
    const std::string mark = firstWord.empty() ? "" : firstWord + " ";
    const TextStyle markStyle{Face::Bold, 46.0, palette::kAccent};
    const TextStyle restStyle{Face::Bold, 46.0, palette::kBrightText};
    const double markWidth = textWidth(cr, mark, markStyle);
    const double titleWidth = markWidth + textWidth(cr, rest, restStyle);
    const double titleX = (w - titleWidth) / 2.0;
    drawText(cr, mark, titleX, 104.0, markStyle);
    drawText(cr, rest, titleX + markWidth, 104.0, restStyle);

    drawCentredText(cr, "Three-band noise gate", w / 2.0, 130.0,
                    {Face::Regular, 15.0, rgb(196, 201, 210)});
    strokeLine(cr, w / 2.0 - 60.0, 150.5, w / 2.0 + 60.0, 150.5, palette::kAccent, 1.0);
    drawCentredText(cr, product.vendor, w / 2.0, 172.0,
                    {Face::Bold, 13.0, palette::kBrightText, 2.0});
    drawCentredText(cr, "Version " + product.version, w / 2.0, 192.0,
                    {Face::Regular, 11.0, rgb(170, 176, 186)});
    drawCentredText(cr, "Click to close", w / 2.0, h - 15.0,
                    {Face::Regular, 9.0, rgb(130, 136, 146)});
}

} // namespace velmora::images
