#include "vstgui/cframe.h"

#include "vstgui/x11/x11frame.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace VSTGUI {

namespace {

// A wheel edit ends when the wheel has rested this long.
constexpr std::chrono::milliseconds kWheelEditPause(300);
// More dirty rectangles than this are drawn as their union.
constexpr std::size_t kMaxDirtyRects = 16;

CRect wholePixels(const CRect& r) {
    return CRect(std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom));
}

// The views of a list, each held by a reference, so that handlers may
// remove views while the list is walked.
class HeldViews {
public:
    explicit HeldViews(const std::vector<CView*>& views) : views_(views) {
        for (CView* v : views_) {
            v->remember();
        }
    }
    HeldViews(const HeldViews&) = delete;
    HeldViews& operator=(const HeldViews&) = delete;
    ~HeldViews() {
        for (CView* v : views_) {
            v->forget();
        }
    }
    const std::vector<CView*>& views() const { return views_; }

private:
    std::vector<CView*> views_;
};

} // namespace

CFrame::CFrame(const CRect& rect, void* systemWindow, VSTGUIEditorInterface* editor)
    : CView(CRect(0, 0, rect.getWidth(), rect.getHeight())), editor_(editor) {
    createBackBuffer();
    if (auto* parent = static_cast<X11::ParentWindow*>(systemWindow);
        parent != nullptr && parent->display != nullptr) {
        window_ = std::make_unique<X11::FrameWindow>(*this, parent->display, parent->window,
                                                     static_cast<int>(size.getWidth()),
                                                     static_cast<int>(size.getHeight()));
    }
    invalidArea(size);
}

CFrame::~CFrame() {
    endGesture();
    // Closing the window drops an unfinished text entry instead of calling
    // a listener that is itself being torn down.
    focusView_ = nullptr;
    removeAll(true);
    if (modalView_ != nullptr) {
        CView* modal = modalView_;
        modalView_ = nullptr;
        modal->removed(this);
        modal->forget();
    }
    window_.reset();
    if (backBuffer_ != nullptr) {
        cairo_surface_destroy(backBuffer_);
    }
}

void CFrame::createBackBuffer() {
    if (backBuffer_ != nullptr) {
        cairo_surface_destroy(backBuffer_);
    }
    backBuffer_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                             std::max(1, static_cast<int>(size.getWidth())),
                                             std::max(1, static_cast<int>(size.getHeight())));
    backBufferValid_ = false;
}

// ---------------------------------------------------------------------------
// Views

bool CFrame::addView(CView* view) {
    if (view == nullptr || isChild(view) || view == this) {
        return false;
    }
    views_.push_back(view);
    view->attached(this);
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    const auto it = std::find(views_.begin(), views_.end(), view);
    if (it == views_.end()) {
        return false;
    }
    if (mouseDownView_ == view) {
        endGesture();
    }
    if (wheelControl_ == view) {
        endWheelEdit();
    }
    if (focusView_ == view) {
        setFocusView(nullptr);
    }
    view->removed(this);
    // The handlers above may have changed the list.
    const auto at = std::find(views_.begin(), views_.end(), view);
    if (at != views_.end()) {
        views_.erase(at);
    }
    if (withForget) {
        view->forget();
    }
    return true;
}

bool CFrame::removeAll(bool withForget) {
    while (!views_.empty()) {
        removeView(views_.back(), withForget);
    }
    return true;
}

CView* CFrame::getView(std::int32_t index) const {
    if (index < 0 || index >= getNbViews()) {
        return nullptr;
    }
    return views_[static_cast<std::size_t>(index)];
}

bool CFrame::isChild(const CView* view) const {
    return std::find(views_.begin(), views_.end(), view) != views_.end();
}

bool CFrame::setModalView(CView* view) {
    if (view != nullptr && modalView_ != nullptr) {
        return false;
    }
    if (view == modalView_) {
        return true;
    }
    if (view == nullptr) {
        CView* old = modalView_;
        modalView_ = nullptr;
        old->removed(this);
        invalidArea(old->getViewSize());
        old->forget();
        return true;
    }
    // Whatever the user was doing ends under the modal view.
    endGesture();
    endWheelEdit();
    setFocusView(nullptr);
    view->remember();
    modalView_ = view;
    view->attached(this);
    invalidArea(view->getViewSize());
    return true;
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView_) {
        return;
    }
    CView* old = focusView_;
    focusView_ = view;
    if (old != nullptr) {
        old->looseFocus();
    }
    if (view != nullptr && focusView_ == view) {
        view->takeFocus();
    }
}

// ---------------------------------------------------------------------------
// Mouse, wheel and keys

CView* CFrame::topmostAt(const CPoint& where) const {
    for (auto it = views_.rbegin(); it != views_.rend(); ++it) {
        CView* v = *it;
        if (v->isVisible() && v->getMouseEnabled() && v->getViewSize().pointInside(where)) {
            return v;
        }
    }
    return nullptr;
}

void CFrame::endGesture() {
    if (mouseDownView_ == nullptr) {
        return;
    }
    // The view hears a release, so a drag ends its edit as usual.
    CView* view = mouseDownView_;
    mouseDownView_ = nullptr;
    CPoint where = mouse_;
    view->onMouseUp(where, CButtonState(0));
    view->forget();
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    mouse_ = where;
    endWheelEdit();
    if (mouseDownView_ != nullptr) {
        // A second button while one is held belongs to the same gesture.
        return kMouseEventHandled;
    }
    if (modalView_ != nullptr) {
        CView* modal = modalView_;
        if (modal->isVisible() && modal->getViewSize().pointInside(where)) {
            modal->remember();
            CPoint p = where;
            if (modal->onMouseDown(p, buttons) == kMouseEventHandled && modalView_ == modal) {
                mouseDownView_ = modal;
            } else {
                modal->forget();
            }
        }
        return kMouseEventHandled;
    }
    CView* hit = topmostAt(where);
    if (focusView_ != nullptr && hit != focusView_) {
        setFocusView(nullptr);
    }
    HeldViews held(views_);
    const auto& views = held.views();
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (!isChild(v) || !v->isVisible() || !v->getMouseEnabled() ||
            !v->getViewSize().pointInside(where)) {
            continue;
        }
        CPoint p = where;
        const CMouseEventResult result = v->onMouseDown(p, buttons);
        if (result == kMouseEventHandled) {
            if (isChild(v) && modalView_ == nullptr) {
                v->remember();
                mouseDownView_ = v;
            }
            return kMouseEventHandled;
        }
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    mouse_ = where;
    if (mouseDownView_ == nullptr) {
        return kMouseEventNotHandled;
    }
    CView* view = mouseDownView_;
    mouseDownView_ = nullptr;
    CPoint p = where;
    view->onMouseUp(p, buttons);
    view->forget();
    return kMouseEventHandled;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    mouse_ = where;
    if (mouseDownView_ == nullptr) {
        return kMouseEventNotHandled;
    }
    CPoint p = where;
    return mouseDownView_->onMouseMoved(p, buttons);
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    mouse_ = where;
    if (modalView_ != nullptr) {
        return false;
    }
    HeldViews held(views_);
    const auto& views = held.views();
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (isChild(v) && v->isVisible() && v->getMouseEnabled() &&
            v->getViewSize().pointInside(where) && v->onWheel(where, distance, buttons)) {
            return true;
        }
    }
    return false;
}

std::int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
    if (modalView_ != nullptr || focusView_ == nullptr) {
        return -1;
    }
    return focusView_->onKeyDown(keyCode);
}

std::int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
    if (modalView_ != nullptr || focusView_ == nullptr) {
        return -1;
    }
    return focusView_->onKeyUp(keyCode);
}

void CFrame::beginWheelEdit(CControl* control) {
    if (control != wheelControl_) {
        endWheelEdit();
        control->remember();
        wheelControl_ = control;
        control->beginEdit();
    }
    lastWheel_ = std::chrono::steady_clock::now();
}

void CFrame::endWheelEdit() {
    if (wheelControl_ == nullptr) {
        return;
    }
    CControl* control = wheelControl_;
    wheelControl_ = nullptr;
    control->endEdit();
    control->forget();
}

// ---------------------------------------------------------------------------
// Drawing

void CFrame::draw(CDrawContext* context) {
    context->setFillColor(kBlackCColor);
    context->fillRect(size);
    if (getBackground() != nullptr) {
        getBackground()->draw(context, size);
    }
}

void CFrame::setViewSize(const CRect& rect, bool) {
    setSize(rect.getWidth(), rect.getHeight());
}

bool CFrame::setSize(CCoord width, CCoord height) {
    if (!(width >= 1 && height >= 1)) {
        return false;
    }
    const CRect newSize(0, 0, std::round(width), std::round(height));
    if (newSize == size) {
        return true;
    }
    size = newSize;
    createBackBuffer();
    if (window_) {
        window_->resize(static_cast<int>(size.getWidth()), static_cast<int>(size.getHeight()));
    }
    dirty_.clear();
    invalidArea(size);
    return true;
}

void CFrame::invalidArea(const CRect& area) {
    CRect r = wholePixels(area);
    r.bound(size);
    if (r.isEmpty()) {
        return;
    }
    for (const CRect& d : dirty_) {
        if (d.left <= r.left && d.top <= r.top && d.right >= r.right && d.bottom >= r.bottom) {
            return;
        }
    }
    // Overlapping rectangles become one, so no pixel is drawn twice.
    bool merged = true;
    while (merged) {
        merged = false;
        for (auto it = dirty_.begin(); it != dirty_.end(); ++it) {
            if (it->rectOverlap(r)) {
                r.unite(*it);
                dirty_.erase(it);
                merged = true;
                break;
            }
        }
    }
    dirty_.push_back(r);
    if (dirty_.size() > kMaxDirtyRects) {
        CRect all;
        for (const CRect& d : dirty_) {
            all.unite(d);
        }
        dirty_.assign(1, all);
    }
}

void CFrame::paintRect(CDrawContext& context, const CRect& rect) {
    context.pushClip(rect);
    draw(&context);
    const auto drawView = [&](CView* v) {
        if (!v->isVisible() || !v->getViewSize().rectOverlap(rect)) {
            return;
        }
        v->setDirty(false);
        context.pushClip(v->getViewSize());
        v->draw(&context);
        context.popClip();
    };
    for (CView* v : views_) {
        drawView(v);
    }
    if (modalView_ != nullptr) {
        drawView(modalView_);
    }
    context.popClip();
}

void CFrame::paintDirty() {
    if (!backBufferValid_) {
        dirty_.assign(1, size);
    }
    if (dirty_.empty() || backBuffer_ == nullptr) {
        return;
    }
    // Views that mark themselves while drawing (a falling meter) go to the
    // next pass.
    std::vector<CRect> rects;
    rects.swap(dirty_);
    cairo_t* cr = cairo_create(backBuffer_);
    {
        CDrawContext context(cr);
        for (const CRect& r : rects) {
            paintRect(context, r);
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(backBuffer_);
    backBufferValid_ = true;
    if (window_) {
        window_->copy(backBuffer_, rects);
    }
}

void CFrame::idle() {
    ++ticks_;
    if (wheelControl_ != nullptr &&
        std::chrono::steady_clock::now() - lastWheel_ >= kWheelEditPause) {
        endWheelEdit();
    }
    if (window_) {
        window_->handleEvents(false);
    }
    paintDirty();
}

bool CFrame::handleEvents() {
    if (!window_) {
        return true;
    }
    const bool ok = window_->handleEvents(true);
    paintDirty();
    return ok;
}

unsigned long CFrame::getWindow() const {
    return window_ ? window_->window() : 0;
}

void CFrame::requestKeyboardFocus() {
    if (window_) {
        window_->requestFocus();
    }
}

} // namespace VSTGUI
