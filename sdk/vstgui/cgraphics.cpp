#include "vstgui/cgraphics.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace VSTGUI {

CRect& CRect::bound(const CRect& other) {
    left = std::max(left, other.left);
    top = std::max(top, other.top);
    right = std::min(right, other.right);
    bottom = std::min(bottom, other.bottom);
    if (isEmpty()) {
        right = left;
        bottom = top;
    }
    return *this;
}

CRect& CRect::unite(const CRect& other) {
    if (other.isEmpty()) {
        return *this;
    }
    if (isEmpty()) {
        return *this = other;
    }
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
    return *this;
}

// ---------------------------------------------------------------------------
// Fonts

CFontDesc::CFontDesc(UTF8StringPtr name, const CCoord& size, std::int32_t style)
    : name_(name != nullptr ? name : ""), size_(size), style_(style) {}

CFontDesc::~CFontDesc() {
    if (face_ != nullptr) {
        cairo_font_face_destroy(face_);
    }
}

cairo_font_face_t* CFontDesc::fontFace() const {
    if (face_ != nullptr) {
        return face_;
    }
    FcPattern* pattern = FcPatternCreate();
    if (pattern != nullptr) {
        // The asked family first, then the stand-ins in order of likeness.
        if (!name_.empty()) {
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name_.c_str()));
        }
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("Liberation Sans"));
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcPatternAddInteger(pattern, FC_WEIGHT,
                            (style_ & kBoldFace) != 0 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT,
                            (style_ & kItalicFace) != 0 ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        if (match != nullptr) {
            FcChar8* family = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch) {
                resolved_ = reinterpret_cast<const char*>(family);
            }
            face_ = cairo_ft_font_face_create_for_pattern(match);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    if (face_ == nullptr || cairo_font_face_status(face_) != CAIRO_STATUS_SUCCESS) {
        if (face_ != nullptr) {
            cairo_font_face_destroy(face_);
        }
        face_ = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL,
                                           CAIRO_FONT_WEIGHT_NORMAL);
    }
    return face_;
}

std::string CFontDesc::resolvedFamily() const {
    fontFace();
    return resolved_;
}

// ---------------------------------------------------------------------------
// Bitmaps

namespace {

ResourceLookup gResourceLookup = nullptr;

struct PngReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->size - reader->pos < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

void setSourceColor(cairo_t* cr, const CColor& c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

} // namespace

void setResourceLookup(ResourceLookup lookup) {
    gResourceLookup = lookup;
}

CBitmap::CBitmap(UTF8StringPtr resourceName) {
    const void* data = nullptr;
    std::size_t size = 0;
    if (resourceName != nullptr && gResourceLookup != nullptr &&
        gResourceLookup(resourceName, &data, &size)) {
        decode(data, size);
    }
}

CBitmap::CBitmap(const void* pngData, std::size_t size) {
    decode(pngData, size);
}

CBitmap::~CBitmap() {
    if (surface_ != nullptr) {
        cairo_surface_destroy(surface_);
    }
}

void CBitmap::decode(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) {
        return;
    }
    PngReader reader{static_cast<const unsigned char*>(data), size, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    surface_ = surface;
}

CCoord CBitmap::getWidth() const {
    return surface_ != nullptr ? cairo_image_surface_get_width(surface_) : 0;
}

CCoord CBitmap::getHeight() const {
    return surface_ != nullptr ? cairo_image_surface_get_height(surface_) : 0;
}

void CBitmap::draw(CDrawContext* context, const CRect& destRect, const CPoint& offset,
                   float alpha) {
    if (surface_ == nullptr || context == nullptr || destRect.isEmpty()) {
        return;
    }
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_rectangle(cr, destRect.left, destRect.top, destRect.getWidth(), destRect.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface_, destRect.left - offset.x, destRect.top - offset.y);
    if (alpha >= 1.0f) {
        cairo_paint(cr);
    } else {
        cairo_paint_with_alpha(cr, alpha);
    }
    cairo_restore(cr);
}

// ---------------------------------------------------------------------------
// Drawing

void CDrawContext::pushClip(const CRect& rect) {
    cairo_save(cr_);
    cairo_rectangle(cr_, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_clip(cr_);
    ++clipDepth_;
}

void CDrawContext::popClip() {
    if (clipDepth_ > 0) {
        --clipDepth_;
        cairo_restore(cr_);
    }
}

void CDrawContext::fillRect(const CRect& rect) {
    setSourceColor(cr_, fillColor_);
    cairo_rectangle(cr_, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_fill(cr_);
}

void CDrawContext::frameRect(const CRect& rect) {
    setSourceColor(cr_, frameColor_);
    cairo_set_line_width(cr_, 1.0);
    cairo_rectangle(cr_, rect.left + 0.5, rect.top + 0.5, rect.getWidth() - 1.0,
                    rect.getHeight() - 1.0);
    cairo_stroke(cr_);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    setSourceColor(cr_, frameColor_);
    cairo_set_line_width(cr_, 1.0);
    cairo_move_to(cr_, from.x, from.y);
    cairo_line_to(cr_, to.x, to.y);
    cairo_stroke(cr_);
}

void CDrawContext::selectFont(bool antialias) {
    static const CFontDesc fallback("Arial", 12);
    const CFontDesc* font = font_ != nullptr ? font_ : &fallback;
    cairo_set_font_face(cr_, font->fontFace());
    cairo_set_font_size(cr_, font->getSize() > 0 ? font->getSize() : 12.0);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options,
                                     antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

CCoord CDrawContext::getStringWidth(UTF8StringPtr text, bool antialias) {
    const std::string utf8 = toValidUtf8(text);
    cairo_save(cr_);
    selectFont(antialias);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr_, utf8.c_str(), &extents);
    cairo_restore(cr_);
    return extents.x_advance;
}

void CDrawContext::drawString(UTF8StringPtr text, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
    const std::string utf8 = toValidUtf8(text);
    if (utf8.empty() || rect.isEmpty()) {
        return;
    }
    cairo_save(cr_);
    selectFont(antialias);
    cairo_font_extents_t font{};
    cairo_font_extents(cr_, &font);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr_, utf8.c_str(), &extents);
    double x = rect.left;
    if (align == kCenterText) {
        x = rect.left + (rect.getWidth() - extents.x_advance) / 2.0;
    } else if (align == kRightText) {
        x = rect.right - extents.x_advance;
    }
    const double y = rect.top + (rect.getHeight() + font.ascent - font.descent) / 2.0;
    // Whole pixels keep unantialiased text crisp and antialiased text sharp.
    cairo_move_to(cr_, std::round(x), std::round(y));
    setSourceColor(cr_, fontColor_);
    cairo_show_text(cr_, utf8.c_str());
    cairo_restore(cr_);
}

std::string toValidUtf8(UTF8StringPtr text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto appendLatin1 = [&out](unsigned char c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    while (*p != 0) {
        const unsigned char c = *p;
        int length = 0;
        std::uint32_t min = 0;
        if (c < 0x80) {
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            min = 0x10000;
        }
        bool valid = length > 0;
        std::uint32_t code = length > 1 ? (c & (0x7F >> length)) : c;
        for (int i = 1; valid && i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                valid = false;
            } else {
                code = (code << 6) | (p[i] & 0x3F);
            }
        }
        if (valid && length > 1 &&
            (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
            p += length;
        } else {
            appendLatin1(c);
            ++p;
        }
    }
    return out;
}

} // namespace VSTGUI
