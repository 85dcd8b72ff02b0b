#include "vstgui/cview.h"

#include "vstgui/cframe.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

CView::CView(const CRect& rect) : size(rect) {}

CView::~CView() {
    exchangeReference(background_, static_cast<CBitmap*>(nullptr));
}

void CView::draw(CDrawContext* context) {
    if (background_ != nullptr) {
        background_->draw(context, size);
    }
    dirty_ = false;
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

bool CView::onWheel(const CPoint&, const float&, const CButtonState&) {
    return false;
}

std::int32_t CView::onKeyDown(VstKeyCode&) {
    return -1;
}

std::int32_t CView::onKeyUp(VstKeyCode&) {
    return -1;
}

void CView::setVisible(bool state) {
    if (visible_ == state) {
        return;
    }
    if (!state) {
        // Mark the area while the view still counts, so what lies under it
        // is drawn again.
        invalidRect(size);
        visible_ = false;
        if (frame_ != nullptr && frame_->getFocusView() == this) {
            frame_->setFocusView(nullptr);
        }
    } else {
        visible_ = true;
        invalidRect(size);
    }
}

void CView::setDirty(bool state) {
    dirty_ = state;
    if (state) {
        invalidRect(size);
    }
}

void CView::invalidRect(const CRect& rect) {
    if (frame_ != nullptr && visible_) {
        frame_->invalidArea(rect);
    }
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) {
        invalidRect(size);
    }
    size = rect;
    if (invalidate) {
        invalidRect(size);
    }
}

void CView::setTransparency(bool state) {
    if (transparent_ != state) {
        transparent_ = state;
        setDirty();
    }
}

void CView::setBackground(CBitmap* background) {
    exchangeReference(background_, background);
    setDirty();
}

void CView::attached(CFrame* frame) {
    frame_ = frame;
    setDirty();
}

void CView::removed(CFrame*) {
    invalidRect(size);
    frame_ = nullptr;
}

// ---------------------------------------------------------------------------

CControl::CControl(const CRect& rect, CControlListener* listener, std::int32_t tag,
                   CBitmap* background)
    : CView(rect), listener_(listener), tag_(tag) {
    if (background != nullptr) {
        setBackground(background);
    }
}

CControl::~CControl() = default;

void CControl::setValue(float newValue) {
    if (newValue != value) {
        value = newValue;
        setDirty();
    }
}

float CControl::getValueNormalized() const {
    const float range = vmax - vmin;
    if (!(range > 0.0f)) {
        return 0.0f;
    }
    const float fraction = (value - vmin) / range;
    // NaN goes to the bottom of the range, like any other value out of it.
    return fraction > 0.0f ? std::min(fraction, 1.0f) : 0.0f;
}

void CControl::setValueNormalized(float fraction) {
    fraction = fraction > 0.0f ? std::min(fraction, 1.0f) : 0.0f;
    setValue(vmin + fraction * (vmax - vmin));
}

void CControl::bounceValue() {
    if (value > vmax) {
        setValue(vmax);
    } else if (!(value >= vmin)) {
        setValue(vmin);
    }
}

void CControl::valueChanged() {
    if (listener_ != nullptr) {
        listener_->valueChanged(this);
    }
}

void CControl::beginEdit() {
    if (editDepth_++ == 0 && listener_ != nullptr) {
        listener_->controlBeginEdit(this);
    }
}

void CControl::endEdit() {
    if (editDepth_ > 0 && --editDepth_ == 0 && listener_ != nullptr) {
        listener_->controlEndEdit(this);
    }
}

void CControl::changeByUser(float fraction) {
    fraction = std::clamp(fraction, 0.0f, 1.0f);
    if (fraction != getValueNormalized()) {
        setValueNormalized(fraction);
        valueChanged();
    }
}

bool CControl::applyWheel(float delta) {
    CFrame* frame = getFrame();
    if (frame != nullptr) {
        frame->beginWheelEdit(this);
    } else {
        beginEdit();
    }
    changeByUser(getValueNormalized() + delta);
    if (frame == nullptr) {
        endEdit();
    }
    return true;
}

float CControl::wheelStep(const CButtonState& buttons) const {
    return wheelInc * ((buttons() & kShift) != 0 ? 1.0f / kFineFactor : 1.0f);
}

void CControl::beginDrag(const CPoint& where, const CButtonState& buttons) {
    dragging_ = true;
    dragFine_ = (buttons() & kShift) != 0;
    dragAnchorY_ = where.y;
    dragAnchorFraction_ = getValueNormalized();
}

CCoord CControl::dragTravel(const CPoint& where, const CButtonState& buttons) {
    const bool fine = (buttons() & kShift) != 0;
    if (fine != dragFine_) {
        // Pressing or letting go of Shift mid-drag must not make the value jump.
        beginDrag(where, buttons);
    }
    return (where.y - dragAnchorY_) / (dragFine_ ? kFineFactor : 1.0f);
}

CMouseEventResult CControl::endDrag() {
    if (!dragging_) {
        return kMouseEventNotHandled;
    }
    dragging_ = false;
    endEdit();
    return kMouseEventHandled;
}

} // namespace VSTGUI
