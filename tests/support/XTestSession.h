// A connection to the X server for GUI tests: windows to put frames in,
// pixels read back with XGetImage, and real input made with the XTEST
// extension (the pointer and the keyboard of the server, as a user's).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

// In a GUI test: skips without DISPLAY, fails when DISPLAY names a server
// that cannot be used.
#define VELMORA_REQUIRE_X(session)                                                                 \
    if (!(session).available()) {                                                                  \
        if ((session).failed()) {                                                                  \
            FAIL() << (session).whyNot();                                                          \
        }                                                                                          \
        GTEST_SKIP() << (session).whyNot();                                                        \
    }

namespace velmora::test {

// An X window ID (Xlib's Window), without Xlib's macros in the tests' way.
using XWindow = unsigned long;

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};
std::string toString(const Rgb& c);
// Within `tolerance` in every channel.
bool near(const Rgb& a, const Rgb& b, int tolerance = 2);

class XTestSession {
public:
    XTestSession();
    XTestSession(const XTestSession&) = delete;
    XTestSession& operator=(const XTestSession&) = delete;
    ~XTestSession();

    // False (and the reason) when there is no X server with XTEST.
    bool available() const { return display_ != nullptr; }
    // True when DISPLAY names a server that cannot be used: a failure, not
    // a reason to skip.
    bool failed() const { return failed_; }
    const std::string& whyNot() const { return whyNot_; }
    Display* display() const { return display_; }

    // A mapped top-level window at the screen's top left, without a window
    // manager's decoration; destroyed with the session.
    XWindow createWindow(int width, int height);

    Rgb pixel(XWindow window, int x, int y);

    // Pointer and buttons, in a window's coordinates.
    void moveTo(XWindow window, int x, int y);
    void press(unsigned button);
    void release(unsigned button);
    void click(XWindow window, int x, int y, unsigned button = 1);
    // Presses and releases the key of a keysym, Shift held when asked.
    void key(unsigned long keysym, bool shift = false);
    void holdKey(unsigned long keysym, bool down);
    // Letters, digits and the usual punctuation of a US keyboard.
    void type(const std::string& text);
    // Waits until the server has handled every request so far.
    void sync();

    // Calls `step` until `done` answers true or `timeout` passes; true when done.
    static bool pumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

private:
    Display* display_ = nullptr;
    std::string whyNot_;
    bool failed_ = false;
    std::vector<XWindow> windows_;
};

} // namespace velmora::test
