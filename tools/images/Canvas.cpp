#include "Canvas.h"

#include <fontconfig/fontconfig.h>
#include <png.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace velmora::images {

Canvas::Canvas(int width, int height)
    : width_(width), height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      cr_(cairo_create(surface_)) {
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
        throw std::runtime_error("cannot create a drawing surface");
    }
    // Crisp small text: grey-scale smoothing, outlines nudged to the pixel grid
    // only vertically so letter shapes keep their widths.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

namespace {

void appendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

// cairo keeps premultiplied native-endian ARGB; PNG wants straight RGBA.
std::vector<png_byte> straightRgba(cairo_surface_t* surface, int width, int height) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<png_byte> rgba(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            const unsigned a = p >> 24;
            unsigned channel[3] = {(p >> 16) & 0xffu, (p >> 8) & 0xffu, p & 0xffu};
            png_byte* out = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            for (int c = 0; c < 3; ++c) {
                out[c] = a == 0 ? 0 : static_cast<png_byte>((channel[c] * 255u + a / 2) / a);
            }
            out[3] = static_cast<png_byte>(a);
        }
    }
    return rgba;
}

} // namespace

namespace {

// libpng reports errors by longjmp, so only plain data lives in this frame.
bool encodeRows(std::vector<std::uint8_t>* out, png_bytep* rows, png_uint_32 width,
                png_uint_32 height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendToVector, flushNothing);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<std::uint8_t> Canvas::encodePng() {
    std::vector<png_byte> rgba = straightRgba(surface_, width_, height_);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        rows[static_cast<std::size_t>(y)] = &rgba[static_cast<std::size_t>(y) * width_ * 4];
    }
    std::vector<std::uint8_t> out;
    if (!encodeRows(&out, rows.data(), static_cast<png_uint_32>(width_),
                    static_cast<png_uint_32>(height_))) {
        throw std::runtime_error("PNG encoding failed");
    }
    return out;
}

void setColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    const double r = std::min(radius, std::min(w, h) / 2.0);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -std::numbers::pi / 2.0, 0.0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0.0, std::numbers::pi / 2.0);
    cairo_arc(cr, x + r, y + h - r, r, std::numbers::pi / 2.0, std::numbers::pi);
    cairo_arc(cr, x + r, y + r, r, std::numbers::pi, 1.5 * std::numbers::pi);
    cairo_close_path(cr);
}

void setVerticalGradient(cairo_t* cr, double y0, double y1, Colour top, Colour bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0.0, y0, 0.0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0.0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1.0, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

namespace {

struct FaceName {
    const char* family;
    bool bold;
};

FaceName faceName(Face face) {
    switch (face) {
    case Face::Bold:
        return {"Liberation Sans", true};
    case Face::Narrow:
        return {"Liberation Sans Narrow", false};
    case Face::NarrowBold:
        return {"Liberation Sans Narrow", true};
    case Face::Regular:
        break;
    }
    return {"Liberation Sans", false};
}

} // namespace

void useFace(cairo_t* cr, const TextStyle& style) {
    const FaceName name = faceName(style.face);
    cairo_select_font_face(cr, name.family, CAIRO_FONT_SLANT_NORMAL,
                           name.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, style.size);
}

double textWidth(cairo_t* cr, const std::string& text, const TextStyle& style) {
    useFace(cr, style);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double tracking = text.empty() ? 0.0 : style.tracking * (text.size() - 1);
    return extents.x_advance + tracking;
}

void drawText(cairo_t* cr, const std::string& text, double x, double baseline,
              const TextStyle& style) {
    useFace(cr, style);
    setColour(cr, style.colour);
    if (style.tracking == 0.0) {
        cairo_move_to(cr, x, baseline);
        cairo_show_text(cr, text.c_str());
        return;
    }
    // Letter-spaced: one glyph at a time (the texts here are plain ASCII).
    for (char ch : text) {
        const char glyph[2] = {ch, '\0'};
        cairo_move_to(cr, x, baseline);
        cairo_show_text(cr, glyph);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, glyph, &extents);
        x += extents.x_advance + style.tracking;
    }
}

void drawCentredText(cairo_t* cr, const std::string& text, double cx, double cy,
                     const TextStyle& style) {
    const double width = textWidth(cr, text, style);
    // Liberation Sans capitals are 0.729 em high.
    const double capHeight = 0.729 * style.size;
    drawText(cr, text, cx - width / 2.0, cy + capHeight / 2.0, style);
}

std::string checkFaces() {
    for (Face face : {Face::Regular, Face::Bold, Face::Narrow, Face::NarrowBold}) {
        const FaceName name = faceName(face);
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.family));
        FcPatternAddInteger(pattern, FC_WEIGHT, name.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* family = nullptr;
        const bool found = match != nullptr &&
                           FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
                           std::string(reinterpret_cast<const char*>(family)) == name.family;
        if (match != nullptr) {
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        if (!found) {
            return std::string("the font \"") + name.family +
                   "\" is not installed (Debian package fonts-liberation)";
        }
    }
    return {};
}

void releaseFonts() {
    cairo_debug_reset_static_data();
    FcFini();
}

} // namespace velmora::images
