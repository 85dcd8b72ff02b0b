// Drawing helpers shared by the editor's images: an RGBA canvas that cairo
// draws into, text in the editor's typeface, and the PNG encoding the plug-in
// carries.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::images {

struct Colour {
    double r, g, b, a = 1.0;
};

// 8-bit channels, as the layout names its colours.
constexpr Colour rgb(int r, int g, int b, int a = 255) {
    return {r / 255.0, g / 255.0, b / 255.0, a / 255.0};
}

constexpr Colour withAlpha(Colour c, double alpha) {
    return {c.r, c.g, c.b, alpha};
}

// One image being drawn: an ARGB32 surface and its cairo context.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The image as an 8-bit RGBA PNG. Always RGBA, also when every pixel is
    // opaque, so every image blends the same way in the editor.
    std::vector<std::uint8_t> encodePng();

private:
    int width_;
    int height_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

void setColour(cairo_t* cr, Colour c);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
// A vertical linear gradient from `top` at y0 to `bottom` at y1 as the source.
void setVerticalGradient(cairo_t* cr, double y0, double y1, Colour top, Colour bottom);

enum class Face { Regular, Bold, Narrow, NarrowBold };

struct TextStyle {
    Face face = Face::Regular;
    double size = 9.0;
    Colour colour = rgb(255, 255, 255);
    double tracking = 0.0; // extra pixels after every character
};

// Sets up the canvas for text in the Liberation faces (the stand-in for
// "Arial" that every Linux system with fonts-liberation has).
void useFace(cairo_t* cr, const TextStyle& style);
double textWidth(cairo_t* cr, const std::string& text, const TextStyle& style);
// Draws `text` centred on (cx, cy): horizontally by advance, vertically by the
// face's cap height, so short and long words share one optical middle line.
void drawCentredText(cairo_t* cr, const std::string& text, double cx, double cy,
                     const TextStyle& style);
void drawText(cairo_t* cr, const std::string& text, double x, double baseline,
              const TextStyle& style);

// Checks that fontconfig resolves the faces to Liberation Sans; the images
// are not drawn in whatever face happens to be installed. Empty when fine.
std::string checkFaces();
// Frees cairo's and fontconfig's caches, so leak checkers see a clean exit.
void releaseFonts();

} // namespace velmora::images
