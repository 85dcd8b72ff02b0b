// What views draw with: fonts, PNG bitmaps and the drawing context, on cairo.
#pragma once

#include "vstgui/vstguibase.h"

#include <cstddef>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_font_face cairo_font_face_t;

namespace VSTGUI {

enum CTxtFace : std::int32_t {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
};

// A font by family name and pixel size. The family is found through
// fontconfig; where it is missing, a metric-compatible stand-in serves
// ("Arial" is drawn with Liberation Sans on systems without it).
class CFontDesc : public CBaseObject {
public:
    CFontDesc(UTF8StringPtr name = nullptr, const CCoord& size = 0, std::int32_t style = 0);
    ~CFontDesc() override;

    const std::string& getName() const { return name_; }
    CCoord getSize() const { return size_; }
    std::int32_t getStyle() const { return style_; }

    // The face that draws this font, created on first use; owned by the font.
    cairo_font_face_t* fontFace() const;
    // The family fontconfig picked for this font.
    std::string resolvedFamily() const;

private:
    std::string name_;
    CCoord size_;
    std::int32_t style_;
    mutable cairo_font_face_t* face_ = nullptr;
    mutable std::string resolved_;
};
using CFontRef = CFontDesc*;

// Finds the PNG bytes of an image by its name. The plug-in installs one that
// looks in the images it carries; false when it has no image of that name.
using ResourceLookup = bool (*)(UTF8StringPtr name, const void** data, std::size_t* size);
void setResourceLookup(ResourceLookup lookup);

// An image, decoded from PNG. A bitmap whose data cannot be found or decoded
// is empty: 0 x 0, drawing nothing.
class CBitmap : public CBaseObject {
public:
    // Looks the PNG up by name through the installed resource lookup.
    explicit CBitmap(UTF8StringPtr resourceName);
    CBitmap(const void* pngData, std::size_t size);
    ~CBitmap() override;

    CCoord getWidth() const;
    CCoord getHeight() const;
    bool isLoaded() const { return surface_ != nullptr; }

    // Draws the part of the image that starts at `offset` into `destRect`.
    void draw(class CDrawContext* context, const CRect& destRect,
              const CPoint& offset = CPoint(0, 0), float alpha = 1.0f);

    cairo_surface_t* surface() const { return surface_; }

private:
    void decode(const void* data, std::size_t size);

    cairo_surface_t* surface_ = nullptr;
};

// Drawing onto the frame's off-screen image. Coordinates are the frame's.
class CDrawContext {
public:
    explicit CDrawContext(cairo_t* cr) : cr_(cr) {}
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    cairo_t* cairo() const { return cr_; }

    // Drawing is limited to the intersection of the clip rectangles pushed.
    void pushClip(const CRect& rect);
    void popClip();

    void setFillColor(const CColor& color) { fillColor_ = color; }
    void setFrameColor(const CColor& color) { frameColor_ = color; }
    void setFontColor(const CColor& color) { fontColor_ = color; }
    void setFont(const CFontDesc* font) { font_ = font; }

    void fillRect(const CRect& rect);
    // A one-pixel line just inside the rectangle.
    void frameRect(const CRect& rect);
    void drawLine(const CPoint& from, const CPoint& to);
    // One line of text, vertically centred in `rect` and aligned as asked.
    void drawString(UTF8StringPtr text, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    CCoord getStringWidth(UTF8StringPtr text, bool antialias = true);

private:
    void selectFont(bool antialias);

    cairo_t* cr_;
    CColor fillColor_ = kWhiteCColor;
    CColor frameColor_ = kBlackCColor;
    CColor fontColor_ = kWhiteCColor;
    const CFontDesc* font_ = nullptr;
    int clipDepth_ = 0;
};

// Text as cairo draws it: valid UTF-8. Bytes that are not (such as text
// in an 8-bit code page) are read as Latin-1 characters.
std::string toValidUtf8(UTF8StringPtr text);

} // namespace VSTGUI
