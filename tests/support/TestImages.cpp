#include "TestImages.h"

#include <cairo.h>

namespace velmora::test {

namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

std::vector<unsigned char> pngStrip(int width, int height, int frames,
                                    const std::function<Rgba(int)>& colour) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height * frames);
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    for (int i = 0; i < frames; ++i) {
        const Rgba c = colour(i);
        cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
        cairo_rectangle(cr, 0, i * height, width, height);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    std::vector<unsigned char> png;
    cairo_surface_write_to_png_stream(surface, append, &png);
    cairo_surface_destroy(surface);
    return png;
}

std::vector<unsigned char> pngSolid(int width, int height, Rgba colour) {
    return pngStrip(width, height, 1, [colour](int) { return colour; });
}

Rgba knobFrameColour(int frame) {
    return {frame * 3, 255 - frame * 3, (frame * 7) % 256, 255};
}

} // namespace velmora::test
