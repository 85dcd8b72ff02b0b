#include "vstgui/x11/x11frame.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace VSTGUI::X11 {

namespace {

// XEmbed messages (version 0 of the protocol).
constexpr long kXEmbedEmbeddedNotify = 0;
constexpr long kXEmbedRequestFocus = 3;
constexpr long kXEmbedFocusOut = 5;

ErrorTrap* gActiveTrap = nullptr;
std::vector<Display*> gBroken;

void markBroken(Display* display, void*) {
    if (std::find(gBroken.begin(), gBroken.end(), display) == gBroken.end()) {
        gBroken.push_back(display);
    }
}

CButtonState buttonState(unsigned int state) {
    std::int32_t buttons = 0;
    if ((state & Button1Mask) != 0) {
        buttons |= kLButton;
    }
    if ((state & Button2Mask) != 0) {
        buttons |= kMButton;
    }
    if ((state & Button3Mask) != 0) {
        buttons |= kRButton;
    }
    if ((state & ShiftMask) != 0) {
        buttons |= kShift;
    }
    if ((state & ControlMask) != 0) {
        buttons |= kControl;
    }
    if ((state & Mod1Mask) != 0) {
        buttons |= kAlt;
    }
    return buttons;
}

std::int32_t buttonBit(unsigned int button) {
    switch (button) {
    case Button1:
        return kLButton;
    case Button2:
        return kMButton;
    case Button3:
        return kRButton;
    default:
        return 0;
    }
}

} // namespace

// ---------------------------------------------------------------------------

ErrorTrap::ErrorTrap(Display* display)
    : display_(display), outer_(gActiveTrap), previous_(XSetErrorHandler(&ErrorTrap::handler)) {
    gActiveTrap = this;
}

ErrorTrap::~ErrorTrap() {
    failed();
    XSetErrorHandler(previous_);
    gActiveTrap = outer_;
}

bool ErrorTrap::failed() {
    if (display_ != nullptr && !isBroken(display_)) {
        XSync(display_, False);
    }
    return failed_;
}

int ErrorTrap::handler(Display* display, XErrorEvent* event) {
    for (ErrorTrap* trap = gActiveTrap; trap != nullptr; trap = trap->outer_) {
        if (trap->display_ == display) {
            trap->failed_ = true;
            return 0;
        }
    }
    // Not ours: whoever handled errors before us decides. Walk out to the
    // handler that was there before the first trap.
    ErrorTrap* outermost = gActiveTrap;
    while (outermost != nullptr && outermost->outer_ != nullptr) {
        outermost = outermost->outer_;
    }
    if (outermost != nullptr && outermost->previous_ != nullptr) {
        return outermost->previous_(display, event);
    }
    return 0;
}

bool guardConnection(Display* display) {
    if (display == nullptr || isBroken(display)) {
        return false;
    }
    XSetIOErrorExitHandler(display, &markBroken, nullptr);
    return true;
}

bool isBroken(Display* display) {
    return std::find(gBroken.begin(), gBroken.end(), display) != gBroken.end();
}

// ---------------------------------------------------------------------------

FrameWindow::FrameWindow(CFrame& frame, Display* display, ::Window parent, int width, int height)
    : frame_(frame), display_(display), width_(std::max(1, width)), height_(std::max(1, height)) {
    if (display_ == nullptr || isBroken(display_)) {
        return;
    }
    const int screen = DefaultScreen(display_);
    visual_ = DefaultVisual(display_, screen);
    ErrorTrap trap(display_);
    XSetWindowAttributes attributes{};
    // No background: the server leaves exposed parts alone until we copy
    // the off-screen image there, so nothing flickers.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display_, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
    const ::Window window = XCreateWindow(
        display_, parent, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height_), 0,
        DefaultDepth(display_, screen), InputOutput, visual_,
        CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    // XEmbed: the protocol version and flags go on the window before it is
    // ever mapped. Flags 0: the embedder need not map it; we do so ourselves
    // for the many hosts that do not speak XEmbed.
    const Atom info = XInternAtom(display_, "_XEMBED_INFO", False);
    xembed_ = XInternAtom(display_, "_XEMBED", False);
    const long infoData[2] = {0, 0};
    XChangeProperty(display_, window, info, info, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(infoData), 2);
    XMapWindow(display_, window);
    if (trap.failed()) {
        XDestroyWindow(display_, window);
        return;
    }
    window_ = window;
    gc_ = XCreateGC(display_, window_, 0, nullptr);
}

FrameWindow::~FrameWindow() {
    if (display_ == nullptr || isBroken(display_)) {
        return;
    }
    ErrorTrap trap(display_);
    if (gc_ != nullptr) {
        XFreeGC(display_, gc_);
    }
    if (window_ != 0) {
        XDestroyWindow(display_, window_);
        // Drop what is still queued for the window; the frame is going.
        XEvent event;
        while (XCheckWindowEvent(display_, window_, ~0L, &event)) {
        }
    }
}

void FrameWindow::resize(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    if (!usable()) {
        return;
    }
    ErrorTrap trap(display_);
    XResizeWindow(display_, window_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
}

void FrameWindow::copy(cairo_surface_t* image, const std::vector<CRect>& rects) {
    if (!usable() || gc_ == nullptr || image == nullptr || rects.empty()) {
        return;
    }
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    auto* pixels = reinterpret_cast<char*>(cairo_image_surface_get_data(image));
    if (pixels == nullptr) {
        return;
    }
    const int depth = DefaultDepth(display_, DefaultScreen(display_));
    ErrorTrap trap(display_);
    // The off-screen image is opaque 0xAARRGGBB words in the machine's byte
    // order: the usual 24-bit true-colour visual takes them as they are.
    XImage* x =
        XCreateImage(display_, visual_, static_cast<unsigned>(depth), ZPixmap, 0, pixels,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, stride);
    if (x == nullptr) {
        return;
    }
    x->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    const bool direct = x->bits_per_pixel == 32 && visual_->red_mask == 0xFF0000 &&
                        visual_->green_mask == 0xFF00 && visual_->blue_mask == 0xFF;
    for (const CRect& r : rects) {
        const int left = std::clamp(static_cast<int>(r.left), 0, width);
        const int top = std::clamp(static_cast<int>(r.top), 0, height);
        const int right = std::clamp(static_cast<int>(r.right), left, width);
        const int bottom = std::clamp(static_cast<int>(r.bottom), top, height);
        if (right == left || bottom == top) {
            continue;
        }
        if (direct) {
            XPutImage(display_, window_, gc_, x, left, top, left, top,
                      static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
        } else {
            putConverted(pixels, stride, left, top, right, bottom);
        }
    }
    x->data = nullptr; // the pixels belong to cairo
    XDestroyImage(x);
}

void FrameWindow::putConverted(const char* pixels, int stride, int left, int top, int right,
                               int bottom) {
    // Any other visual: each pixel through the visual's channel masks.
    const int depth = DefaultDepth(display_, DefaultScreen(display_));
    XImage* x = XCreateImage(display_, visual_, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(right - left),
                             static_cast<unsigned>(bottom - top), 32, 0);
    if (x == nullptr) {
        return;
    }
    x->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(x->bytes_per_line) *
                                             static_cast<std::size_t>(bottom - top)));
    if (x->data == nullptr) {
        XDestroyImage(x);
        return;
    }
    const auto scale = [](std::uint32_t value, unsigned long mask) {
        if (mask == 0) {
            return 0UL;
        }
        int shift = 0;
        while (((mask >> shift) & 1) == 0) {
            ++shift;
        }
        const unsigned long max = mask >> shift;
        return ((value * max + 127) / 255) << shift;
    };
    for (int py = top; py < bottom; ++py) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + py * stride);
        for (int px = left; px < right; ++px) {
            const std::uint32_t p = row[px];
            XPutPixel(x, px - left, py - top,
                      scale((p >> 16) & 0xFF, visual_->red_mask) |
                          scale((p >> 8) & 0xFF, visual_->green_mask) |
                          scale(p & 0xFF, visual_->blue_mask));
        }
    }
    XPutImage(display_, window_, gc_, x, 0, 0, left, top, static_cast<unsigned>(right - left),
              static_cast<unsigned>(bottom - top));
    XDestroyImage(x);
}

void FrameWindow::requestFocus() {
    if (!usable()) {
        return;
    }
    ErrorTrap trap(display_);
    // Fails harmlessly (BadMatch) while the window is not viewable.
    XSetInputFocus(display_, window_, RevertToParent, lastTime_);
    if (embedder_ != 0) {
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = embedder_;
        message.xclient.message_type = xembed_;
        message.xclient.format = 32;
        message.xclient.data.l[0] = static_cast<long>(lastTime_);
        message.xclient.data.l[1] = kXEmbedRequestFocus;
        XSendEvent(display_, embedder_, False, NoEventMask, &message);
    }
}

bool FrameWindow::handleEvents(bool read) {
    if (display_ == nullptr || isBroken(display_)) {
        return false;
    }
    while ((read ? XPending(display_) : XQLength(display_)) > 0 && !isBroken(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        dispatch(event);
    }
    return !isBroken(display_);
}

void FrameWindow::dispatch(XEvent& event) {
    if (window_ == 0 || event.xany.window != window_) {
        return;
    }
    switch (event.type) {
    case Expose: {
        exposed_.emplace_back(event.xexpose.x, event.xexpose.y,
                              event.xexpose.x + event.xexpose.width,
                              event.xexpose.y + event.xexpose.height);
        if (event.xexpose.count == 0) {
            for (const CRect& r : exposed_) {
                frame_.invalidArea(r);
            }
            exposed_.clear();
            frame_.paintDirty();
        }
        break;
    }
    case ButtonPress: {
        lastTime_ = event.xbutton.time;
        CPoint where(event.xbutton.x, event.xbutton.y);
        const CButtonState state = buttonState(event.xbutton.state);
        if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
            frame_.onWheel(where, event.xbutton.button == Button4 ? 1.0f : -1.0f, state);
        } else if (const std::int32_t bit = buttonBit(event.xbutton.button); bit != 0) {
            frame_.onMouseDown(where, CButtonState(state.getButtonState() | bit));
        }
        break;
    }
    case ButtonRelease: {
        lastTime_ = event.xbutton.time;
        if (const std::int32_t bit = buttonBit(event.xbutton.button); bit != 0) {
            CPoint where(event.xbutton.x, event.xbutton.y);
            frame_.onMouseUp(where, CButtonState(buttonState(event.xbutton.state)() | bit));
        }
        break;
    }
    case MotionNotify: {
        // Only the latest position matters.
        while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &event)) {
        }
        lastTime_ = event.xmotion.time;
        CPoint where(event.xmotion.x, event.xmotion.y);
        frame_.onMouseMoved(where, buttonState(event.xmotion.state));
        break;
    }
    case KeyPress:
    case KeyRelease: {
        lastTime_ = event.xkey.time;
        VstKeyCode key;
        if (translateKey(event.xkey, key)) {
            if (event.type == KeyPress) {
                frame_.onKeyDown(key);
            } else {
                frame_.onKeyUp(key);
            }
        }
        break;
    }
    case FocusOut:
        if (event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer &&
            event.xfocus.mode != NotifyGrab) {
            frame_.setFocusView(nullptr);
        }
        break;
    case ClientMessage:
        if (event.xclient.message_type == xembed_ && event.xclient.format == 32) {
            const long message = event.xclient.data.l[1];
            if (message == kXEmbedEmbeddedNotify) {
                embedder_ = static_cast<::Window>(event.xclient.data.l[3]);
            } else if (message == kXEmbedFocusOut) {
                frame_.setFocusView(nullptr);
            }
        }
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
            // The host destroyed its window (and ours with it) first.
            window_ = 0;
        }
        break;
    default:
        break;
    }
}

bool translateKey(XKeyEvent& event, VstKeyCode& key) {
    char text[8] = {};
    KeySym sym = NoSymbol;
    const int length = XLookupString(&event, text, sizeof(text), &sym, nullptr);
    key = VstKeyCode{};
    if ((event.state & ShiftMask) != 0) {
        key.modifier |= MODIFIER_SHIFT;
    }
    if ((event.state & ControlMask) != 0) {
        key.modifier |= MODIFIER_CONTROL;
    }
    if ((event.state & Mod1Mask) != 0) {
        key.modifier |= MODIFIER_ALTERNATE;
    }
    switch (sym) {
    case XK_BackSpace:
        key.virt = VKEY_BACK;
        return true;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        key.virt = VKEY_TAB;
        return true;
    case XK_Return:
        key.virt = VKEY_RETURN;
        return true;
    case XK_KP_Enter:
        key.virt = VKEY_ENTER;
        return true;
    case XK_Escape:
        key.virt = VKEY_ESCAPE;
        return true;
    case XK_Home:
    case XK_KP_Home:
        key.virt = VKEY_HOME;
        return true;
    case XK_End:
    case XK_KP_End:
        key.virt = VKEY_END;
        return true;
    case XK_Left:
    case XK_KP_Left:
        key.virt = VKEY_LEFT;
        return true;
    case XK_Right:
    case XK_KP_Right:
        key.virt = VKEY_RIGHT;
        return true;
    case XK_Up:
    case XK_KP_Up:
        key.virt = VKEY_UP;
        return true;
    case XK_Down:
    case XK_KP_Down:
        key.virt = VKEY_DOWN;
        return true;
    case XK_Page_Up:
        key.virt = VKEY_PAGEUP;
        return true;
    case XK_Page_Down:
        key.virt = VKEY_PAGEDOWN;
        return true;
    case XK_Insert:
        key.virt = VKEY_INSERT;
        return true;
    case XK_Delete:
    case XK_KP_Delete:
        key.virt = VKEY_DELETE;
        return true;
    default:
        break;
    }
    if (sym >= 0x20 && sym <= 0xFF && sym != 0x7F) {
        key.character = static_cast<std::int32_t>(sym);
        return true;
    }
    if ((sym & 0xFF000000) == 0x01000000) {
        key.character = static_cast<std::int32_t>(sym & 0x00FFFFFF);
        return true;
    }
    if (length == 1 && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7F) {
        // Keypad digits and the like, as the keyboard map spells them.
        key.character = static_cast<unsigned char>(text[0]);
        return true;
    }
    return false;
}

} // namespace VSTGUI::X11
