// Views and controls: a view is a rectangle of the frame that draws itself and
// may take mouse, wheel and key events; a control is a view with a normalised
// value 0..1, a tag and a listener that hears about the user's changes.
#pragma once

#include "vstgui/cgraphics.h"

namespace VSTGUI {

class CFrame;
class CControl;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    virtual void draw(CDrawContext* context);

    // `where` is in frame coordinates. A view that returns
    // kMouseEventHandled from onMouseDown receives the moves and the release
    // that follow, wherever the mouse goes.
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    // Positive distances are turns away from the user. True when handled.
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
    // 1 when the key was used, -1 when not.
    virtual std::int32_t onKeyDown(VstKeyCode& keyCode);
    virtual std::int32_t onKeyUp(VstKeyCode& keyCode);

    // Keyboard focus, given and taken by the frame.
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    // A hidden view is neither drawn nor hit.
    virtual void setVisible(bool state);
    bool isVisible() const { return visible_; }

    // Marks the view for drawing on the frame's next redraw.
    virtual void setDirty(bool state = true);
    bool isDirty() const { return dirty_; }
    void invalid() { setDirty(true); }
    // Marks part of the frame (frame coordinates) for drawing.
    virtual void invalidRect(const CRect& rect);

    const CRect& getViewSize() const { return size; }
    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }

    void setMouseEnabled(bool state) { mouseEnabled_ = state; }
    bool getMouseEnabled() const { return mouseEnabled_; }
    // A transparent view draws no background of its own.
    virtual void setTransparency(bool state);
    bool getTransparency() const { return transparent_; }

    // The view holds a reference to its background bitmap.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return background_; }

    CFrame* getFrame() const { return frame_; }
    bool isAttached() const { return frame_ != nullptr; }
    // Called by the frame when the view is added to it and removed from it.
    virtual void attached(CFrame* frame);
    virtual void removed(CFrame* frame);

protected:
    CRect size;

private:
    CFrame* frame_ = nullptr;
    CBitmap* background_ = nullptr;
    bool visible_ = true;
    bool dirty_ = false;
    bool mouseEnabled_ = true;
    bool transparent_ = false;
};

// Hears what the user does with a control. Changes the program makes with
// setValue are not reported.
class CControlListener {
public:
    virtual void valueChanged(CControl* control) = 0;
    // Around gestures that last (a drag, a burst of wheel turns, a click on a
    // button): begin before the first change, end after the last.
    virtual void controlBeginEdit(CControl* /*control*/) {}
    virtual void controlEndEdit(CControl* /*control*/) {}

protected:
    ~CControlListener() = default;
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, std::int32_t tag = 0,
             CBitmap* background = nullptr);
    ~CControl() override;

    // The value is stored as given; drawing and the user's gestures keep to
    // min..max (0..1 unless set otherwise). A changed value is redrawn.
    virtual void setValue(float value);
    float getValue() const { return value; }
    virtual void setMin(float min) { vmin = min; }
    float getMin() const { return vmin; }
    virtual void setMax(float max) { vmax = max; }
    float getMax() const { return vmax; }
    // The value as a fraction of min..max, within 0..1.
    float getValueNormalized() const;
    void setValueNormalized(float fraction);
    // Keeps the value within min..max.
    void bounceValue();

    void setDefaultValue(float value) { defaultValue = value; }
    float getDefaultValue() const { return defaultValue; }
    // What one wheel notch adds, as a fraction of the range.
    void setWheelInc(float inc) { wheelInc = inc; }
    float getWheelInc() const { return wheelInc; }

    void setTag(std::int32_t tag) { tag_ = tag; }
    std::int32_t getTag() const { return tag_; }
    void setListener(CControlListener* listener) { listener_ = listener; }
    CControlListener* getListener() const { return listener_; }

    // Tells the listener the value has changed.
    virtual void valueChanged();
    // Edit brackets; nested pairs reach the listener as one.
    void beginEdit();
    void endEdit();
    bool isEditing() const { return editDepth_ > 0; }

    // Drags and wheel turns with Shift held move the value this much finer.
    static constexpr float kFineFactor = 10.0f;

protected:
    // A change the user made: the value within the range, the listener told
    // when it changed.
    void changeByUser(float fraction);
    // A wheel turn: moves the value by `delta` inside one wheel edit.
    bool applyWheel(float delta);
    float wheelStep(const CButtonState& buttons) const;
    // A vertical mouse drag: where it began and the value then; the pixels
    // moved down since, ten times fewer with Shift (pressing or letting go of
    // Shift starts the count afresh from the present value); its end closes
    // the edit bracket.
    void beginDrag(const CPoint& where, const CButtonState& buttons);
    bool isDragging() const { return dragging_; }
    float dragStartFraction() const { return dragAnchorFraction_; }
    CCoord dragTravel(const CPoint& where, const CButtonState& buttons);
    CMouseEventResult endDrag();

    float value = 0.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float defaultValue = 0.5f;
    float wheelInc = 0.1f;

private:
    CControlListener* listener_;
    std::int32_t tag_;
    int editDepth_ = 0;
    bool dragging_ = false;
    bool dragFine_ = false;
    CCoord dragAnchorY_ = 0;
    float dragAnchorFraction_ = 0;
};

} // namespace VSTGUI
