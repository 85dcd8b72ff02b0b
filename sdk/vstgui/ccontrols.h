// The controls an editor is built from: text labels and fields, a filmstrip
// knob, a two-state filmstrip button, a vertical slider, a segmented meter and
// a splash screen. Bitmaps handed to a control are remembered by it; the
// caller keeps (and may forget) its own reference.
#pragma once

#include "vstgui/cview.h"

#include <cstddef>
#include <string>

namespace VSTGUI {

// Shows a line of text in a font and colour on an optional back colour.
class CParamDisplay : public CControl {
public:
    CParamDisplay(const CRect& size, CBitmap* background = nullptr, std::int32_t style = 0);
    ~CParamDisplay() override;

    // The display holds a reference to the font.
    void setFont(CFontRef font);
    CFontRef getFont() const { return font_; }
    void setFontColor(const CColor& color);
    const CColor& getFontColor() const { return fontColor_; }
    void setBackColor(const CColor& color);
    const CColor& getBackColor() const { return backColor_; }
    void setFrameColor(const CColor& color);
    const CColor& getFrameColor() const { return frameColor_; }
    void setHoriAlign(CHoriTxtAlign align);
    CHoriTxtAlign getHoriAlign() const { return align_; }
    void setAntialias(bool state);
    bool getAntialias() const { return antialias_; }
    // kNoFrame leaves out the one-pixel frame; kNoDrawStyle draws no text.
    void setStyle(std::int32_t style);
    std::int32_t getStyle() const { return style_; }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

protected:
    // Back colour (unless transparent), background bitmap, frame.
    void drawBack(CDrawContext* context);
    void drawText(CDrawContext* context, const char* text);
    // Where a line of text begins inside the view when drawn aligned.
    CCoord textStart(CDrawContext* context, const char* text);

private:
    CFontRef font_ = nullptr;
    CColor fontColor_ = kWhiteCColor;
    CColor backColor_ = kBlackCColor;
    CColor frameColor_ = kBlackCColor;
    CHoriTxtAlign align_ = kCenterText;
    bool antialias_ = true;
    std::int32_t style_;
};

class CTextLabel : public CParamDisplay {
public:
    CTextLabel(const CRect& size, UTF8StringPtr text = nullptr, CBitmap* background = nullptr,
               std::int32_t style = 0);

    virtual void setText(UTF8StringPtr text);
    UTF8StringPtr getText() const { return text_.c_str(); }

    void draw(CDrawContext* context) override;

protected:
    std::string text_;
};

// A text field the user can type into. A left click gives it the keyboard
// focus and an editing cursor at the click; Enter, or a click elsewhere or
// the window losing the focus, commits the typed text (the listener hears
// valueChanged and reads getText); Escape goes back to the text it had.
class CTextEdit : public CTextLabel {
public:
    // Longest text the user can type, in characters.
    static constexpr std::size_t kMaxTypedChars = 127;

    CTextEdit(const CRect& size, CControlListener* listener, std::int32_t tag,
              UTF8StringPtr text = nullptr, CBitmap* background = nullptr, std::int32_t style = 0);

    // Takes effect at once; while the user types, the typed text stays on
    // screen until committed or cancelled.
    void setText(UTF8StringPtr text) override;

    bool isTyping() const { return typing_; }
    const std::string& typedText() const { return typed_; }
    // The cursor as a byte offset into typedText().
    std::size_t cursorPosition() const { return cursor_; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    std::int32_t onKeyDown(VstKeyCode& keyCode) override;
    void takeFocus() override;
    void looseFocus() override;

private:
    std::size_t cursorAt(const CPoint& where);
    void finish(bool commit);

    bool typing_ = false;
    bool cancelled_ = false;
    std::string typed_;
    std::size_t cursor_ = 0;
};

// A knob drawn from a vertical strip of `subPixmaps` images, each
// `heightOfOneImage` high, the first for the lowest value. Turned by dragging
// up and down (200 pixels for the whole range, ten times finer with Shift)
// and by the wheel.
class CAnimKnob : public CControl {
public:
    static constexpr CCoord kDragRange = 200;

    CAnimKnob(const CRect& size, CControlListener* listener, std::int32_t tag,
              std::int32_t subPixmaps, CCoord heightOfOneImage, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));

    std::int32_t getNumSubPixmaps() const { return subPixmaps_; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage_; }
    // The strip image shown for the present value.
    std::int32_t currentImage() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;

private:
    std::int32_t subPixmaps_;
    CCoord heightOfOneImage_;
    CPoint offset_;
};

// A button showing the upper image of its bitmap for value 0 and the lower
// one for any other value; a left click toggles between 0 and 1.
class CMovieButton : public CControl {
public:
    // One image is as high as the button.
    CMovieButton(const CRect& size, CControlListener* listener, std::int32_t tag,
                 CBitmap* background, const CPoint& offset = CPoint(0, 0));
    CMovieButton(const CRect& size, CControlListener* listener, std::int32_t tag,
                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;

private:
    CCoord heightOfOneImage_;
    CPoint offset_;
};

// A slider whose handle bitmap moves over `rangeHandle` pixels (the handle's
// own height included) from `offsetHandle` down. With kTop in the style the
// lowest value puts the handle at the top; otherwise at the bottom. Dragging
// the handle moves it (ten times finer with Shift), a click on the track
// puts the handle's middle there, the wheel moves it up and down.
class CVerticalSlider : public CControl {
public:
    CVerticalSlider(const CRect& size, CControlListener* listener, std::int32_t tag,
                    const CPoint& offsetHandle, std::int32_t rangeHandle, CBitmap* handle,
                    CBitmap* background, const CPoint& offset = CPoint(0, 0),
                    std::int32_t style = kBottom);
    ~CVerticalSlider() override;

    std::int32_t getStyle() const { return style_; }
    CBitmap* getHandle() const { return handle_; }
    // The handle's rectangle for the present value.
    CRect handleRect() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;

private:
    CCoord travel() const;
    // The handle's distance from the top of its range for a fraction 0..1.
    CCoord positionFor(float fraction) const;
    float fractionFor(CCoord position) const;

    CPoint offsetHandle_;
    std::int32_t rangeHandle_;
    CBitmap* handle_ = nullptr;
    CPoint offset_;
    std::int32_t style_;
};

// A meter of `nbLed` segments: the lit bitmap from the bottom up to the
// value, the unlit one above. It rises at once and falls by at most the
// decrease step (0.1 of the range) per redraw pass of the frame.
class CVuMeter : public CControl {
public:
    CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, std::int32_t nbLed,
             std::int32_t style = kVertical);
    ~CVuMeter() override;

    void setDecreaseStepValue(float step) { decreaseStep_ = step; }
    float getDecreaseStepValue() const { return decreaseStep_; }
    std::int32_t getNbLed() const { return nbLed_; }
    // The fraction shown by the last redraw and its lit segments.
    float shownValue() const { return shown_; }
    std::int32_t litSegments() const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    CBitmap* onBitmap_ = nullptr;
    CBitmap* offBitmap_ = nullptr;
    std::int32_t nbLed_;
    std::int32_t style_;
    float decreaseStep_ = 0.1f;
    float shown_ = 0.0f;
    std::uint64_t lastTick_ = 0;
    bool drawn_ = false;
};

// An invisible hot area: a left click on it shows `background` as a modal
// view over `toDisplay` (value 1); a left click on the shown image closes it
// (value 0). Both changes reach the listener's valueChanged.
class CSplashScreen : public CControl {
public:
    CSplashScreen(const CRect& size, CControlListener* listener, std::int32_t tag,
                  CBitmap* background, const CRect& toDisplay, const CPoint& offset = CPoint(0, 0));
    ~CSplashScreen() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    void removed(CFrame* frame) override;
    // Closes the shown image.
    void unSplash();
    bool isShown() const { return shownView_ != nullptr; }

private:
    // Takes the shown image away; false when none was shown.
    bool hide();

    CBitmap* image_ = nullptr;
    CRect toDisplay_;
    CPoint offset_;
    CView* shownView_ = nullptr;
};

} // namespace VSTGUI
