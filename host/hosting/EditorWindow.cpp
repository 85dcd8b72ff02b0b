#include "hosting/EditorWindow.h"

#include "sdk/keycodes.h"
#include "vstgui/x11/x11frame.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace velmora::host {

using namespace Steinberg;

namespace {

class FunctionTimer : public FObject, public Linux::ITimerHandler {
public:
    explicit FunctionTimer(std::function<void()> callback) : callback_(std::move(callback)) {}
    void PLUGIN_API onTimer() SMTG_OVERRIDE {
        if (callback_) {
            callback_();
        }
    }
    OBJ_METHODS(FunctionTimer, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Linux::ITimerHandler)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

private:
    std::function<void()> callback_;
};

// A key as IPlugView::onKeyDown wants it: a character, or a virtual key code
// (the numbers are the widget library's), and the modifier bits.
struct HostKey {
    char16 key = 0;
    int16 code = 0;
    int16 modifiers = 0;
};

bool toHostKey(XKeyEvent& event, HostKey& out) {
    VSTGUI::VstKeyCode key;
    if (!VSTGUI::X11::translateKey(event, key) || key.character > 0xFFFF) {
        return false;
    }
    out.key = static_cast<char16>(key.character);
    out.code = key.virt;
    out.modifiers =
        static_cast<int16>(((key.modifier & VSTGUI::MODIFIER_SHIFT) != 0 ? kShiftKey : 0) |
                           ((key.modifier & VSTGUI::MODIFIER_ALTERNATE) != 0 ? kAlternateKey : 0) |
                           ((key.modifier & VSTGUI::MODIFIER_CONTROL) != 0 ? kControlKey : 0));
    return true;
}

} // namespace

IPtr<EditorWindow> EditorWindow::create(std::string title, std::string& error) {
    IPtr<EditorWindow> window = owned(new EditorWindow(std::move(title)));
    window->display_ = XOpenDisplay(nullptr);
    if (window->display_ == nullptr) {
        error = "cannot open the X display (is DISPLAY set?)";
        return nullptr;
    }
    return window;
}

EditorWindow::~EditorWindow() {
    close();
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

IPtr<Linux::ITimerHandler> EditorWindow::makeTimer(std::function<void()> callback) {
    return owned(static_cast<Linux::ITimerHandler*>(new FunctionTimer(std::move(callback))));
}

bool EditorWindow::open(IPlugView* view, std::string& error) {
    if (view == nullptr || isOpen()) {
        error = view == nullptr ? "no editor view" : "the window already shows an editor";
        return false;
    }
    if (view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue) {
        error = "the editor cannot be shown in an X11 window";
        return false;
    }
    ViewRect size;
    if (view->getSize(&size) != kResultTrue || size.getWidth() <= 0 || size.getHeight() <= 0) {
        size = ViewRect(0, 0, 400, 300);
    }
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                  static_cast<unsigned>(size.getWidth()),
                                  static_cast<unsigned>(size.getHeight()), 0,
                                  BlackPixel(display_, screen), BlackPixel(display_, screen));
    XStoreName(display_, window_, title_.c_str());
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title_.data()),
                    static_cast<int>(title_.size()));
    Atom deleteAtom = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    deleteAtom_ = deleteAtom;
    XSetWMProtocols(display_, window_, &deleteAtom, 1);
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    setFixedSize(size.getWidth(), size.getHeight(), view->canResize() == kResultTrue);
    XSync(display_, False);

    view_ = view;
    view->setFrame(this);
    if (view->attached(reinterpret_cast<void*>(window_), kPlatformTypeX11EmbedWindowID) !=
        kResultOk) {
        view->setFrame(nullptr);
        view_ = nullptr;
        XDestroyWindow(display_, window_);
        XSync(display_, False);
        window_ = 0;
        error = "the editor could not be attached to the window";
        return false;
    }
    XMapWindow(display_, window_);
    XSync(display_, False);
    return true;
}

void EditorWindow::close() {
    if (view_) {
        IPtr<IPlugView> view = view_;
        view_ = nullptr;
        view->removed();
        view->setFrame(nullptr);
    }
    // What the view left registered goes with it.
    fds_.clear();
    timers_.clear();
    if (window_ != 0 && display_ != nullptr) {
        XDestroyWindow(display_, window_);
        XSync(display_, False);
        window_ = 0;
    }
}

void EditorWindow::setFixedSize(int width, int height, bool resizable) {
    XSizeHints* hints = XAllocSizeHints();
    if (hints == nullptr) {
        return;
    }
    if (!resizable) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
    }
    XSetWMNormalHints(display_, window_, hints);
    XFree(hints);
}

tresult PLUGIN_API EditorWindow::resizeView(IPlugView* view, ViewRect* newSize) {
    if (view == nullptr || view != view_ || newSize == nullptr || newSize->getWidth() <= 0 ||
        newSize->getHeight() <= 0) {
        return kInvalidArgument;
    }
    const bool resizable = view->canResize() == kResultTrue;
    setFixedSize(newSize->getWidth(), newSize->getHeight(), resizable);
    XResizeWindow(display_, window_, static_cast<unsigned>(newSize->getWidth()),
                  static_cast<unsigned>(newSize->getHeight()));
    XFlush(display_);
    ViewRect current;
    if (view->getSize(&current) != kResultTrue || current.getWidth() != newSize->getWidth() ||
        current.getHeight() != newSize->getHeight()) {
        view->onSize(newSize);
    }
    return kResultTrue;
}

tresult PLUGIN_API EditorWindow::registerEventHandler(Linux::IEventHandler* handler,
                                                      Linux::FileDescriptor fd) {
    if (handler == nullptr || fd < 0) {
        return kInvalidArgument;
    }
    fds_.push_back({nextId_++, handler, fd});
    return kResultOk;
}

tresult PLUGIN_API EditorWindow::unregisterEventHandler(Linux::IEventHandler* handler) {
    const auto before = fds_.size();
    std::erase_if(fds_, [handler](const FdEntry& e) { return e.handler == handler; });
    return fds_.size() != before ? kResultOk : kResultFalse;
}

tresult PLUGIN_API EditorWindow::registerTimer(Linux::ITimerHandler* handler,
                                               Linux::TimerInterval milliseconds) {
    if (handler == nullptr || milliseconds == 0) {
        return kInvalidArgument;
    }
    const std::chrono::milliseconds interval(milliseconds);
    timers_.push_back({nextId_++, handler, interval, Clock::now() + interval});
    return kResultOk;
}

tresult PLUGIN_API EditorWindow::unregisterTimer(Linux::ITimerHandler* handler) {
    const auto before = timers_.size();
    std::erase_if(timers_, [handler](const TimerEntry& e) { return e.handler == handler; });
    return timers_.size() != before ? kResultOk : kResultFalse;
}

std::size_t EditorWindow::eventHandlerCount() const {
    return fds_.size();
}

std::size_t EditorWindow::timerCount() const {
    return timers_.size();
}

std::vector<std::chrono::milliseconds> EditorWindow::timerIntervals() const {
    std::vector<std::chrono::milliseconds> out;
    for (const TimerEntry& t : timers_) {
        out.push_back(t.interval);
    }
    return out;
}

bool EditorWindow::hasFd(std::uint64_t id) const {
    return std::any_of(fds_.begin(), fds_.end(), [id](const FdEntry& e) { return e.id == id; });
}

bool EditorWindow::hasTimer(std::uint64_t id) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [id](const TimerEntry& e) { return e.id == id; });
}

void EditorWindow::run() {
    while (isOpen()) {
        runOnce(std::chrono::milliseconds(1000));
    }
}

void EditorWindow::runFor(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    for (auto now = Clock::now(); now < end && isOpen(); now = Clock::now()) {
        runOnce(std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    }
}

void EditorWindow::runOnce(std::chrono::milliseconds timeout) {
    handleWindowEvents();
    if (closeRequested_.exchange(false)) {
        close();
    }
    if (display_ == nullptr) {
        return;
    }

    auto now = Clock::now();
    auto wait = timeout;
    for (const TimerEntry& t : timers_) {
        const auto due = std::chrono::ceil<std::chrono::milliseconds>(t.next - now);
        wait = std::min(wait, std::max(due, std::chrono::milliseconds(0)));
    }
    std::vector<pollfd> polled;
    polled.push_back({ConnectionNumber(display_), POLLIN, 0});
    const std::vector<FdEntry> fds = fds_;
    for (const FdEntry& e : fds) {
        polled.push_back({e.fd, POLLIN, 0});
    }
    // Events Xlib has already read would not wake poll.
    if (XQLength(display_) > 0) {
        wait = std::chrono::milliseconds(0);
    }
    const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) {
        return;
    }

    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        // A handler may unregister itself or others while the loop runs.
        if ((polled[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && hasFd(fds[i].id)) {
            fds[i].handler->onFDIsSet(fds[i].fd);
        }
    }

    now = Clock::now();
    const std::vector<TimerEntry> timers = timers_;
    for (const TimerEntry& t : timers) {
        if (t.next > now || !hasTimer(t.id)) {
            continue;
        }
        for (TimerEntry& live : timers_) {
            if (live.id == t.id) {
                // A late loop skips the ticks it missed instead of bunching them.
                live.next = std::max(live.next + live.interval, now);
            }
        }
        t.handler->onTimer();
    }
    handleWindowEvents();
    if (closeRequested_.exchange(false)) {
        close();
    }
}

void EditorWindow::handleWindowEvents() {
    while (display_ != nullptr && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.xany.window != window_ || window_ == 0) {
            continue;
        }
        if (event.type == ClientMessage && event.xclient.format == 32 &&
            static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_) {
            close();
            return;
        }
        if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
            // Destroyed behind our back: the view still has to be removed.
            window_ = 0;
            close();
            return;
        }
        if ((event.type == KeyPress || event.type == KeyRelease) && view_) {
            // Hosts hand the keys their window receives to the view.
            HostKey key;
            if (toHostKey(event.xkey, key)) {
                if (event.type == KeyPress) {
                    view_->onKeyDown(key.key, key.code, key.modifiers);
                } else {
                    view_->onKeyUp(key.key, key.code, key.modifiers);
                }
            }
        } else if (event.type == ConfigureNotify && view_ && view_->canResize() == kResultTrue) {
            ViewRect wanted(0, 0, event.xconfigure.width, event.xconfigure.height);
            ViewRect current;
            view_->getSize(&current);
            if (wanted.getWidth() != current.getWidth() ||
                wanted.getHeight() != current.getHeight()) {
                view_->checkSizeConstraint(&wanted);
                view_->onSize(&wanted);
            }
        }
    }
}

} // namespace velmora::host
