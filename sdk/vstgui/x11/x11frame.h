// The frame's X11 side: its child window (an XEmbed client), the events that
// reach it and the copy of the off-screen image to the screen. Nothing here
// lets an X error or a broken connection end the host process.
#pragma once

#include "vstgui/cframe.h"

#include <X11/Xlib.h>

#include <vector>

namespace VSTGUI::X11 {

// Catches the X errors caused by the requests made while it lives, on one
// connection; errors of other connections go to the handler that was
// installed before. Syncs with the server when it ends, so every error of
// those requests has arrived by then.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    ~ErrorTrap();

    // Syncs and answers whether any request so far failed.
    bool failed();

private:
    static int handler(Display* display, XErrorEvent* event);

    Display* display_;
    ErrorTrap* outer_;
    XErrorHandler previous_;
    bool failed_ = false;
};

// Keeps a broken connection from ending the process: Xlib calls this instead
// of exit(). Returns false when the connection is already broken.
bool guardConnection(Display* display);
bool isBroken(Display* display);

class FrameWindow {
public:
    FrameWindow(CFrame& frame, Display* display, ::Window parent, int width, int height);
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;
    ~FrameWindow();

    ::Window window() const { return window_; }
    bool usable() const { return window_ != 0 && !isBroken(display_); }

    void resize(int width, int height);
    // Copies the rectangles of the off-screen image to the window.
    void copy(cairo_surface_t* image, const std::vector<CRect>& rects);
    void requestFocus();

    // Handles the events waiting on the connection; with `read` false only
    // those Xlib has already read (no system call).
    bool handleEvents(bool read);

private:
    void dispatch(XEvent& event);
    void putConverted(const char* pixels, int stride, int left, int top, int right, int bottom);

    CFrame& frame_;
    Display* display_;
    ::Window window_ = 0;
    Visual* visual_ = nullptr;
    GC gc_ = nullptr;
    int width_;
    int height_;
    Atom xembed_ = 0;
    ::Window embedder_ = 0;
    Time lastTime_ = CurrentTime;
    std::vector<CRect> exposed_;
};

// The key of a key event, in the library's terms: a character or a virtual
// key, and the modifiers. False for keys that are neither (a lone Shift).
bool translateKey(XKeyEvent& event, VstKeyCode& key);

} // namespace VSTGUI::X11
