// The frame: the window content that owns the views, routes the mouse and the
// keyboard to them, and redraws what changed into an off-screen image that it
// copies to its X11 window, so that a half-drawn frame is never seen.
#pragma once

#include "vstgui/cview.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

typedef struct _XDisplay Display;

namespace VSTGUI {

class CFrame;

// What an editor offers its frame; the editor keeps the frame in `frame`.
class VSTGUIEditorInterface {
public:
    virtual CFrame* getFrame() const { return frame; }

protected:
    VSTGUIEditorInterface() = default;
    virtual ~VSTGUIEditorInterface() = default;

    CFrame* frame = nullptr;
};

namespace X11 {
// What the system window handed to CFrame points to: the X connection to use
// and the window to open inside. The connection's events reach the frame
// through CFrame::handleEvents.
struct ParentWindow {
    Display* display = nullptr;
    unsigned long window = 0;
};
class FrameWindow;
} // namespace X11

class CFrame : public CView {
public:
    // Opens a child window of `size` inside the parent that `systemWindow`
    // (an X11::ParentWindow) names. Without one the frame draws only into
    // its off-screen image.
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // The frame takes over the caller's reference; later views lie on top.
    bool addView(CView* view);
    bool removeView(CView* view, bool withForget = true);
    bool removeAll(bool withForget = true);
    std::int32_t getNbViews() const { return static_cast<std::int32_t>(views_.size()); }
    CView* getView(std::int32_t index) const;
    bool isChild(const CView* view) const;

    // A modal view lies over everything and is the only one that takes the
    // mouse while it is shown. The frame holds a reference to it. Setting one
    // while another is shown fails.
    bool setModalView(CView* view);
    CView* getModalView() const { return modalView_; }

    // The view that receives the keys. Taking the focus from a view tells
    // it (a text field then finishes its edit).
    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView_; }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    std::int32_t onKeyDown(VstKeyCode& keyCode) override;
    std::int32_t onKeyUp(VstKeyCode& keyCode) override;
    // Where the mouse was last seen over the frame.
    const CPoint& getCurrentMouseLocation() const { return mouse_; }

    void draw(CDrawContext* context) override;
    void setViewSize(const CRect& rect, bool invalidate = true) override;
    bool setSize(CCoord width, CCoord height);

    // Redraws the parts marked since the last redraw and ends a burst of
    // wheel turns that has paused; the editor calls it on its timer.
    void idle();
    // Reads and handles the X events waiting on the connection, then
    // redraws what they changed. False once the connection is unusable.
    bool handleEvents();
    // Redraw passes of idle() so far; a meter falls one step per pass.
    std::uint64_t getTickCount() const { return ticks_; }

    VSTGUIEditorInterface* getEditor() const { return editor_; }
    // The frame's own X window, 0 when it has none.
    unsigned long getWindow() const;
    // Asks the X server for the keyboard focus (a text field does so when
    // clicked, since most hosts do not hand keys to their plug-ins).
    void requestKeyboardFocus();

    // A control turned by the wheel stays in one edit until the wheel pauses,
    // the mouse is pressed or another control is turned.
    void beginWheelEdit(CControl* control);
    void endWheelEdit();

    // Collects a part of the frame to redraw.
    void invalidArea(const CRect& rect);
    void invalidRect(const CRect& rect) override { invalidArea(rect); }
    // Draws the marked parts into the off-screen image and copies them to
    // the window.
    void paintDirty();
    // The off-screen image (ARGB32, premultiplied), for readers of pixels.
    cairo_surface_t* backBuffer() const { return backBuffer_; }

private:
    friend class X11::FrameWindow;

    void createBackBuffer();
    void endGesture();
    CView* topmostAt(const CPoint& where) const;
    void paintRect(CDrawContext& context, const CRect& rect);

    VSTGUIEditorInterface* editor_;
    std::vector<CView*> views_;
    CView* modalView_ = nullptr;
    CView* focusView_ = nullptr;
    CView* mouseDownView_ = nullptr;
    CControl* wheelControl_ = nullptr;
    std::chrono::steady_clock::time_point lastWheel_{};
    CPoint mouse_;
    std::vector<CRect> dirty_;
    cairo_surface_t* backBuffer_ = nullptr;
    bool backBufferValid_ = false;
    std::uint64_t ticks_ = 0;
    std::unique_ptr<X11::FrameWindow> window_;
};

} // namespace VSTGUI
