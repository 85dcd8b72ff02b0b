#include "vstgui/ccontrols.h"

#include "vstgui/cframe.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace VSTGUI {

namespace {

void release(CBitmap*& slot) {
    exchangeReference(slot, static_cast<CBitmap*>(nullptr));
}

// Byte offsets of character boundaries in UTF-8 text.
std::size_t previousBoundary(const std::string& text, std::size_t pos) {
    if (pos == 0) {
        return 0;
    }
    --pos;
    while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
        --pos;
    }
    return pos;
}

std::size_t nextBoundary(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) {
        return text.size();
    }
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
        ++pos;
    }
    return pos;
}

std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string encodeUtf8(std::int32_t code) {
    std::string out;
    const auto c = static_cast<std::uint32_t>(code);
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Text

CParamDisplay::CParamDisplay(const CRect& rect, CBitmap* background, std::int32_t style)
    : CControl(rect, nullptr, 0, background), style_(style) {}

CParamDisplay::~CParamDisplay() {
    exchangeReference(font_, static_cast<CFontDesc*>(nullptr));
}

void CParamDisplay::setFont(CFontRef font) {
    exchangeReference(font_, font);
    setDirty();
}

void CParamDisplay::setFontColor(const CColor& color) {
    fontColor_ = color;
    setDirty();
}

void CParamDisplay::setBackColor(const CColor& color) {
    backColor_ = color;
    setDirty();
}

void CParamDisplay::setFrameColor(const CColor& color) {
    frameColor_ = color;
    setDirty();
}

void CParamDisplay::setHoriAlign(CHoriTxtAlign align) {
    align_ = align;
    setDirty();
}

void CParamDisplay::setAntialias(bool state) {
    antialias_ = state;
    setDirty();
}

void CParamDisplay::setStyle(std::int32_t style) {
    style_ = style;
    setDirty();
}

CMouseEventResult CParamDisplay::onMouseDown(CPoint&, const CButtonState&) {
    return kMouseEventNotHandled;
}

void CParamDisplay::drawBack(CDrawContext* context) {
    if (!getTransparency()) {
        context->setFillColor(backColor_);
        context->fillRect(size);
        if (getBackground() != nullptr) {
            getBackground()->draw(context, size);
        }
    }
    if ((style_ & kNoFrame) == 0) {
        context->setFrameColor(frameColor_);
        context->frameRect(size);
    }
}

void CParamDisplay::drawText(CDrawContext* context, const char* text) {
    if ((style_ & kNoDrawStyle) != 0 || text == nullptr || *text == 0) {
        return;
    }
    context->setFont(font_);
    context->setFontColor(fontColor_);
    context->drawString(text, size, align_, antialias_);
}

CCoord CParamDisplay::textStart(CDrawContext* context, const char* text) {
    context->setFont(font_);
    const CCoord width = context->getStringWidth(text, antialias_);
    switch (align_) {
    case kLeftText:
        return size.left;
    case kRightText:
        return size.right - width;
    default:
        return size.left + (size.getWidth() - width) / 2.0;
    }
}

CTextLabel::CTextLabel(const CRect& rect, UTF8StringPtr text, CBitmap* background,
                       std::int32_t style)
    : CParamDisplay(rect, background, style), text_(text != nullptr ? text : "") {}

void CTextLabel::setText(UTF8StringPtr text) {
    const std::string newText = text != nullptr ? text : "";
    if (newText != text_) {
        text_ = newText;
        setDirty();
    }
}

void CTextLabel::draw(CDrawContext* context) {
    drawBack(context);
    drawText(context, text_.c_str());
}

CTextEdit::CTextEdit(const CRect& rect, CControlListener* listener, std::int32_t tag,
                     UTF8StringPtr text, CBitmap* background, std::int32_t style)
    : CTextLabel(rect, text, background, style) {
    setListener(listener);
    setTag(tag);
}

void CTextEdit::setText(UTF8StringPtr text) {
    CTextLabel::setText(text);
}

void CTextEdit::draw(CDrawContext* context) {
    if (!typing_) {
        CTextLabel::draw(context);
        return;
    }
    drawBack(context);
    // A darker box and an outline show that the field takes the keys.
    const CColor ink = getFontColor();
    context->setFillColor(CColor(0, 0, 0, 160));
    context->fillRect(size);
    context->setFrameColor(CColor(ink.red, ink.green, ink.blue, 128));
    context->frameRect(size);
    drawText(context, typed_.c_str());
    context->setFont(getFont());
    const CCoord x =
        std::round(textStart(context, typed_.c_str()) +
                   context->getStringWidth(typed_.substr(0, cursor_).c_str(), getAntialias())) +
        0.5;
    context->setFrameColor(ink);
    context->drawLine(CPoint(x, size.top + 1), CPoint(x, size.bottom - 1));
}

std::size_t CTextEdit::cursorAt(const CPoint& where) {
    // Measuring needs a drawing context; a scratch one serves.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    std::size_t best = typed_.size();
    {
        CDrawContext context(cr);
        const CCoord start = textStart(&context, typed_.c_str());
        CCoord bestDistance = -1;
        for (std::size_t pos = 0;; pos = nextBoundary(typed_, pos)) {
            const CCoord x =
                start + context.getStringWidth(typed_.substr(0, pos).c_str(), getAntialias());
            const CCoord distance = std::abs(x - where.x);
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = pos;
            }
            if (pos >= typed_.size()) {
                break;
            }
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    return best;
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) {
        return kMouseEventNotHandled;
    }
    CFrame* frame = getFrame();
    if (frame == nullptr) {
        return kMouseEventNotHandled;
    }
    if (frame->getFocusView() != this) {
        frame->setFocusView(this);
    }
    frame->requestKeyboardFocus();
    if (typing_) {
        cursor_ = cursorAt(where);
        setDirty();
    }
    return kMouseEventHandled;
}

void CTextEdit::takeFocus() {
    typing_ = true;
    cancelled_ = false;
    typed_ = text_;
    cursor_ = typed_.size();
    setDirty();
}

void CTextEdit::looseFocus() {
    finish(!cancelled_);
}

void CTextEdit::finish(bool commit) {
    if (!typing_) {
        return;
    }
    typing_ = false;
    setDirty();
    if (commit && typed_ != text_) {
        text_ = typed_;
        valueChanged();
    }
}

std::int32_t CTextEdit::onKeyDown(VstKeyCode& key) {
    if (!typing_) {
        return -1;
    }
    CFrame* frame = getFrame();
    switch (key.virt) {
    case 0:
        break;
    case VKEY_RETURN:
    case VKEY_ENTER:
    case VKEY_ESCAPE:
        // Giving up the focus ends the typing; Escape throws the text away.
        cancelled_ = key.virt == VKEY_ESCAPE;
        if (frame != nullptr) {
            frame->setFocusView(nullptr);
        } else {
            finish(!cancelled_);
        }
        return 1;
    case VKEY_BACK:
        if (cursor_ > 0) {
            const std::size_t from = previousBoundary(typed_, cursor_);
            typed_.erase(from, cursor_ - from);
            cursor_ = from;
        }
        setDirty();
        return 1;
    case VKEY_DELETE:
        if (cursor_ < typed_.size()) {
            typed_.erase(cursor_, nextBoundary(typed_, cursor_) - cursor_);
        }
        setDirty();
        return 1;
    case VKEY_LEFT:
        cursor_ = previousBoundary(typed_, cursor_);
        setDirty();
        return 1;
    case VKEY_RIGHT:
        cursor_ = nextBoundary(typed_, cursor_);
        setDirty();
        return 1;
    case VKEY_HOME:
        cursor_ = 0;
        setDirty();
        return 1;
    case VKEY_END:
        cursor_ = typed_.size();
        setDirty();
        return 1;
    case VKEY_SPACE:
        key.character = ' ';
        break;
    default:
        // Other keys count by their character (hosts send keypad digits with
        // both), or not at all.
        break;
    }
    const bool command = (key.modifier & (MODIFIER_CONTROL | MODIFIER_COMMAND)) != 0;
    if (key.character < 0x20 || key.character == 0x7F || key.character > 0x10FFFF || command ||
        (key.character >= 0xD800 && key.character <= 0xDFFF)) {
        return -1;
    }
    if (characterCount(typed_) < kMaxTypedChars) {
        const std::string bytes = encodeUtf8(key.character);
        typed_.insert(cursor_, bytes);
        cursor_ += bytes.size();
        setDirty();
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Knob

CAnimKnob::CAnimKnob(const CRect& rect, CControlListener* listener, std::int32_t tag,
                     std::int32_t subPixmaps, CCoord heightOfOneImage, CBitmap* background,
                     const CPoint& offset)
    : CControl(rect, listener, tag, background), subPixmaps_(std::max(1, subPixmaps)),
      heightOfOneImage_(heightOfOneImage), offset_(offset) {}

std::int32_t CAnimKnob::currentImage() const {
    return static_cast<std::int32_t>(
        std::lround(getValueNormalized() * static_cast<float>(subPixmaps_ - 1)));
}

void CAnimKnob::draw(CDrawContext* context) {
    if (getBackground() != nullptr) {
        getBackground()->draw(context, size,
                              CPoint(offset_.x, offset_.y + currentImage() * heightOfOneImage_));
    }
}

CMouseEventResult CAnimKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    beginDrag(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isDragging()) {
        return kMouseEventNotHandled;
    }
    changeByUser(dragStartFraction() - static_cast<float>(dragTravel(where, buttons) / kDragRange));
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint&, const CButtonState&) {
    return endDrag();
}

bool CAnimKnob::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    return applyWheel(distance * wheelStep(buttons));
}

// ---------------------------------------------------------------------------
// Button

CMovieButton::CMovieButton(const CRect& rect, CControlListener* listener, std::int32_t tag,
                           CBitmap* background, const CPoint& offset)
    : CMovieButton(rect, listener, tag, rect.getHeight(), background, offset) {}

CMovieButton::CMovieButton(const CRect& rect, CControlListener* listener, std::int32_t tag,
                           CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(rect, listener, tag, background), heightOfOneImage_(heightOfOneImage),
      offset_(offset) {}

void CMovieButton::draw(CDrawContext* context) {
    if (getBackground() != nullptr) {
        const CCoord y = offset_.y + (value != vmin ? heightOfOneImage_ : 0);
        getBackground()->draw(context, size, CPoint(offset_.x, y));
    }
}

CMouseEventResult CMovieButton::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    setValue(value != vmin ? vmin : vmax);
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint&, const CButtonState&) {
    endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------
// Slider

CVerticalSlider::CVerticalSlider(const CRect& rect, CControlListener* listener, std::int32_t tag,
                                 const CPoint& offsetHandle, std::int32_t rangeHandle,
                                 CBitmap* handle, CBitmap* background, const CPoint& offset,
                                 std::int32_t style)
    : CControl(rect, listener, tag, background), offsetHandle_(offsetHandle),
      rangeHandle_(rangeHandle), offset_(offset), style_(style | kVertical) {
    exchangeReference(handle_, handle);
}

CVerticalSlider::~CVerticalSlider() {
    release(handle_);
}

CCoord CVerticalSlider::travel() const {
    const CCoord handleHeight = handle_ != nullptr ? handle_->getHeight() : 0;
    return std::max<CCoord>(0, rangeHandle_ - handleHeight);
}

CCoord CVerticalSlider::positionFor(float fraction) const {
    const bool topOrigin = (style_ & kTop) != 0;
    return std::round((topOrigin ? fraction : 1.0f - fraction) * travel());
}

float CVerticalSlider::fractionFor(CCoord position) const {
    if (travel() <= 0) {
        return 0.0f;
    }
    const auto along = static_cast<float>(std::clamp<CCoord>(position / travel(), 0, 1));
    return (style_ & kTop) != 0 ? along : 1.0f - along;
}

CRect CVerticalSlider::handleRect() const {
    const CCoord width = handle_ != nullptr ? handle_->getWidth() : 0;
    const CCoord height = handle_ != nullptr ? handle_->getHeight() : 0;
    const CCoord top = size.top + offsetHandle_.y + positionFor(getValueNormalized());
    return CRect(size.left + offsetHandle_.x, top, size.left + offsetHandle_.x + width,
                 top + height);
}

void CVerticalSlider::draw(CDrawContext* context) {
    if (getBackground() != nullptr) {
        getBackground()->draw(context, size, offset_);
    }
    if (handle_ != nullptr) {
        handle_->draw(context, handleRect());
    }
}

CMouseEventResult CVerticalSlider::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    const CRect handle = handleRect();
    if (where.y < handle.top || where.y >= handle.bottom) {
        // A click on the track puts the handle's middle under the mouse.
        changeByUser(fractionFor(where.y - size.top - offsetHandle_.y - handle.getHeight() / 2));
    }
    beginDrag(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSlider::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isDragging()) {
        return kMouseEventNotHandled;
    }
    changeByUser(fractionFor(positionFor(dragStartFraction()) + dragTravel(where, buttons)));
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSlider::onMouseUp(CPoint&, const CButtonState&) {
    return endDrag();
}

bool CVerticalSlider::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    // Turning the wheel away from the user moves the handle up.
    const float up = (style_ & kTop) != 0 ? -1.0f : 1.0f;
    return applyWheel(up * distance * wheelStep(buttons));
}

// ---------------------------------------------------------------------------
// Meter

CVuMeter::CVuMeter(const CRect& rect, CBitmap* onBitmap, CBitmap* offBitmap, std::int32_t nbLed,
                   std::int32_t style)
    : CControl(rect), nbLed_(std::max(1, nbLed)), style_(style) {
    exchangeReference(onBitmap_, onBitmap);
    exchangeReference(offBitmap_, offBitmap);
    setMouseEnabled(false);
}

CVuMeter::~CVuMeter() {
    release(onBitmap_);
    release(offBitmap_);
}

std::int32_t CVuMeter::litSegments() const {
    // Half a segment or more lights it.
    return nbLed_ - static_cast<std::int32_t>(static_cast<float>(nbLed_) * (1.0f - shown_) + 0.5f);
}

void CVuMeter::draw(CDrawContext* context) {
    const float target = getValueNormalized();
    const CFrame* frame = getFrame();
    const std::uint64_t tick = frame != nullptr ? frame->getTickCount() : lastTick_ + 1;
    if (!drawn_ || target >= shown_) {
        shown_ = target;
    } else if (tick != lastTick_) {
        shown_ = std::max(target, shown_ - decreaseStep_);
    }
    drawn_ = true;
    lastTick_ = tick;

    const std::int32_t lit = litSegments();
    CRect off = size;
    CRect on = size;
    if ((style_ & kHorizontal) != 0) {
        const CCoord split = size.left + std::floor(lit * size.getWidth() / nbLed_);
        on.right = split;
        off.left = split;
    } else {
        const CCoord split = size.top + std::floor((nbLed_ - lit) * size.getHeight() / nbLed_);
        off.bottom = split;
        on.top = split;
    }
    // Each image is drawn in place: its pixel rows are the meter's rows.
    if (offBitmap_ != nullptr && !off.isEmpty()) {
        offBitmap_->draw(context, off, CPoint(off.left - size.left, off.top - size.top));
    }
    if (onBitmap_ != nullptr && !on.isEmpty()) {
        onBitmap_->draw(context, on, CPoint(on.left - size.left, on.top - size.top));
    }
    if (shown_ != target) {
        // Still falling: draw again on the next pass.
        invalid();
    }
}

CMouseEventResult CVuMeter::onMouseDown(CPoint&, const CButtonState&) {
    return kMouseEventNotHandled;
}

// ---------------------------------------------------------------------------
// Splash

namespace {

class SplashView : public CView {
public:
    SplashView(const CRect& rect, CBitmap* image, const CPoint& offset, CSplashScreen* owner)
        : CView(rect), offset_(offset), owner_(owner) {
        setBackground(image);
    }
    void draw(CDrawContext* context) override {
        if (getBackground() != nullptr) {
            getBackground()->draw(context, size, offset_);
        }
    }
    CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override {
        if (buttons.isLeftButton() && owner_ != nullptr) {
            owner_->unSplash();
        }
        return kMouseEventHandled;
    }
    void forgetOwner() { owner_ = nullptr; }

private:
    CPoint offset_;
    CSplashScreen* owner_;
};

} // namespace

CSplashScreen::CSplashScreen(const CRect& rect, CControlListener* listener, std::int32_t tag,
                             CBitmap* background, const CRect& toDisplay, const CPoint& offset)
    : CControl(rect, listener, tag), toDisplay_(toDisplay), offset_(offset) {
    exchangeReference(image_, background);
    setTransparency(true);
}

CSplashScreen::~CSplashScreen() {
    if (shownView_ != nullptr) {
        static_cast<SplashView*>(shownView_)->forgetOwner();
    }
    release(image_);
}

void CSplashScreen::draw(CDrawContext*) {}

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) {
        return kMouseEventNotHandled;
    }
    CFrame* frame = getFrame();
    if (frame == nullptr || shownView_ != nullptr) {
        return kMouseEventHandled;
    }
    auto* view = new SplashView(toDisplay_, image_, offset_, this);
    if (frame->setModalView(view)) {
        shownView_ = view;
        setValue(1.0f);
        valueChanged();
    }
    view->forget();
    return kMouseEventHandled;
}

bool CSplashScreen::hide() {
    if (shownView_ == nullptr) {
        return false;
    }
    static_cast<SplashView*>(shownView_)->forgetOwner();
    CView* view = shownView_;
    shownView_ = nullptr;
    CFrame* frame = getFrame();
    if (frame != nullptr && frame->getModalView() == view) {
        frame->setModalView(nullptr);
    }
    setValue(0.0f);
    return true;
}

void CSplashScreen::unSplash() {
    if (hide()) {
        valueChanged();
    }
}

void CSplashScreen::removed(CFrame* frame) {
    // Leaving the frame closes the image without a word to the listener.
    hide();
    CControl::removed(frame);
}

} // namespace VSTGUI
