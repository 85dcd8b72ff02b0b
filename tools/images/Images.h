// The editor's images: their file names, pixel sizes and how each is drawn.
#pragma once

#include "Canvas.h"

#include <span>
#include <string>
#include <string_view>

namespace velmora::images {

// What the images say about the product.
struct Product {
    std::string name = "BK Velmora";
    std::string vendor = "Brackwell";
    std::string version;
};

struct Image {
    const char* fileName;
    int width;
    int height;
    void (*draw)(Canvas& canvas, const Product& product);
};

std::span<const Image> editorImages();
const Image* findImage(std::string_view fileName);

// The panel's colours, shared so controls and panel match.
namespace palette {
constexpr Colour kAccent = rgb(255, 168, 18); // the open lamp's orange
constexpr Colour kAccentDeep = rgb(232, 128, 6);
constexpr Colour kLampOff = rgb(90, 90, 90);
constexpr Colour kInk = rgb(22, 18, 12); // text on lit (orange) faces
constexpr Colour kDimText = rgb(138, 144, 154);
constexpr Colour kBrightText = rgb(242, 244, 247);
constexpr Colour kWell = rgb(13, 14, 16);
constexpr Colour kEdge = rgb(8, 9, 10);
} // namespace palette

// Drawing functions, one per image (Controls.cpp and Panel.cpp).
void drawKnobStrip(Canvas& canvas, const Product& product);
void drawPeakRmsButton(Canvas& canvas, const Product& product);
void drawEnvelopeButton(Canvas& canvas, const Product& product);
void drawChannelButton(Canvas& canvas, const Product& product);
void drawDuckButton(Canvas& canvas, const Product& product);
void drawBypassButton(Canvas& canvas, const Product& product);
void drawCtrlOutButton(Canvas& canvas, const Product& product);
void drawMeterOn(Canvas& canvas, const Product& product);
void drawMeterOff(Canvas& canvas, const Product& product);
void drawMinMeterOn(Canvas& canvas, const Product& product);
void drawNothing(Canvas& canvas, const Product& product);
void drawSliderHandle(Canvas& canvas, const Product& product);
void drawLampOpen(Canvas& canvas, const Product& product);
void drawLampClosed(Canvas& canvas, const Product& product);
void drawBackground(Canvas& canvas, const Product& product);
void drawSplash(Canvas& canvas, const Product& product);

} // namespace velmora::images
