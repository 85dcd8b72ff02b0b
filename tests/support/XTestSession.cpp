#include "XTestSession.h"

#include <X11/Xlib.h>
#include <fontconfig/fontconfig.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace velmora::test {

namespace {

// fontconfig leaks a little while it reads its configuration files, once per
// process; that is not ours to fix. It reads them here, where the leak
// checker looks away, so that every other leak still shows.
const bool gFontConfigLoaded = [] {
    if (__lsan_disable != nullptr) {
        __lsan_disable();
    }
    FcInit();
    if (__lsan_enable != nullptr) {
        __lsan_enable();
    }
    return true;
}();

} // namespace

std::string toString(const Rgb& c) {
    char text[32];
    std::snprintf(text, sizeof(text), "(%d, %d, %d)", c.r, c.g, c.b);
    return text;
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

namespace {

// Windows of other processes come and go while a test looks at them; a
// request about one that has gone must not end the test.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

XTestSession::XTestSession() {
    XSetErrorHandler(ignoreError);
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0) {
        whyNot_ = "no X display (run the GUI tests under xvfb-run)";
        return;
    }
    // A server that has just lost its last client may refuse for a moment.
    for (int attempt = 0; attempt < 100 && display_ == nullptr; ++attempt) {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (display_ == nullptr) {
        whyNot_ = std::string("cannot open the X display ") + name;
        failed_ = true;
        return;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
        whyNot_ = "the X server lacks the XTEST extension";
        failed_ = true;
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

XTestSession::~XTestSession() {
    if (display_ == nullptr) {
        return;
    }
    for (XWindow w : windows_) {
        XDestroyWindow(display_, w);
    }
    // Leave the buttons and keys up for the next test.
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
    XCloseDisplay(display_);
}

XWindow XTestSession::createWindow(int width, int height) {
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display_, screen);
    const XWindow w =
        XCreateWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display_, w);
    XSync(display_, False);
    windows_.push_back(w);
    return w;
}

Rgb XTestSession::pixel(XWindow window, int x, int y) {
    XSync(display_, False);
    // XGetImage fails (and Xlib ends the process) unless the point is on a
    // viewable window.
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, window, &attributes) == 0 ||
        attributes.map_state != IsViewable || x < 0 || y < 0 || x >= attributes.width ||
        y >= attributes.height) {
        return {-1, -1, -1};
    }
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return {-1, -1, -1};
    }
    const unsigned long p = XGetPixel(image, 0, 0);
    const auto channel = [p](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<int>(((p >> shift) & mask) * 255 / (mask == 0 ? 1 : mask));
    };
    const Rgb c{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)};
    XDestroyImage(image);
    return c;
}

void XTestSession::moveTo(XWindow window, int x, int y) {
    int rootX = 0;
    int rootY = 0;
    XWindow child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    sync();
}

void XTestSession::press(unsigned button) {
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    sync();
}

void XTestSession::release(unsigned button) {
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    sync();
}

void XTestSession::click(XWindow window, int x, int y, unsigned button) {
    moveTo(window, x, y);
    press(button);
    release(button);
}

void XTestSession::holdKey(unsigned long keysym, bool down) {
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    sync();
}

void XTestSession::key(unsigned long keysym, bool shift) {
    if (shift) {
        holdKey(XK_Shift_L, true);
    }
    holdKey(keysym, true);
    holdKey(keysym, false);
    if (shift) {
        holdKey(XK_Shift_L, false);
    }
}

void XTestSession::type(const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '-':
            key(XK_minus);
            break;
        case '.':
            key(XK_period);
            break;
        case ' ':
            key(XK_space);
            break;
        default:
            if (c >= 'A' && c <= 'Z') {
                key(XK_a + (c - 'A'), true);
            } else {
                key(static_cast<unsigned char>(c));
            }
            break;
        }
    }
}

void XTestSession::sync() {
    XSync(display_, False);
}

bool XTestSession::pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
                             std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        step();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace velmora::test
