// A top-level X11 window that shows a plug-in's editor view, as a Linux DAW
// does: the window is the view's IPlugFrame and offers the view the run loop
// (Linux::IRunLoop) that watches its file descriptors and fires its timers,
// all on the thread that calls run. The window follows the view's size
// requests, hands it the keys it receives and closes cleanly when the user
// closes it.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace velmora::host {

class EditorWindow : public Steinberg::FObject,
                     public Steinberg::IPlugFrame,
                     public Steinberg::Linux::IRunLoop {
public:
    // Connects to the X server named by DISPLAY; null with a message when
    // there is none.
    static Steinberg::IPtr<EditorWindow> create(std::string title, std::string& error);

    // Creates the window at the view's size and attaches the view to it. False
    // with a message when the view refuses X11 windows or the attachment.
    bool open(Steinberg::IPlugView* view, std::string& error);
    // Removes the view (it gets `removed`) and destroys the window.
    void close();
    bool isOpen() const { return view_ != nullptr; }

    // Runs until the window is closed, by the user or by requestClose.
    void run();
    // Waits up to `timeout` for a file descriptor or a timer, handles what
    // is due and the window's own events.
    void runOnce(std::chrono::milliseconds timeout);
    // Runs for about `duration`, or until the window closes.
    void runFor(std::chrono::milliseconds duration);
    // Closes the window from the loop's next pass; safe in a signal handler.
    void requestClose() { closeRequested_.store(true); }

    // A timer of the host's own, called on the loop's thread.
    static Steinberg::IPtr<Steinberg::Linux::ITimerHandler>
    makeTimer(std::function<void()> callback);

    Display* display() const { return display_; }
    unsigned long window() const { return window_; }
    Steinberg::IPlugView* view() const { return view_; }
    std::size_t eventHandlerCount() const;
    std::size_t timerCount() const;
    // The periods of the registered timers, in registration order.
    std::vector<std::chrono::milliseconds> timerIntervals() const;

    //---IPlugFrame-------
    // Resizes the window and tells the view (onSize) at once.
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                             Steinberg::ViewRect* newSize) SMTG_OVERRIDE;

    //---Linux::IRunLoop-------
    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd)
        SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler)
        SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds)
        SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler)
        SMTG_OVERRIDE;

    OBJ_METHODS(EditorWindow, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugFrame)
    DEF_INTERFACE(Steinberg::Linux::IRunLoop)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

private:
    using Clock = std::chrono::steady_clock;
    struct FdEntry {
        std::uint64_t id;
        Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
        int fd;
    };
    struct TimerEntry {
        std::uint64_t id;
        Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
        std::chrono::milliseconds interval;
        Clock::time_point next;
    };

    explicit EditorWindow(std::string title) : title_(std::move(title)) {}
    ~EditorWindow() override;

    void handleWindowEvents();
    void setFixedSize(int width, int height, bool resizable);
    bool hasFd(std::uint64_t id) const;
    bool hasTimer(std::uint64_t id) const;

    std::string title_;
    Display* display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long deleteAtom_ = 0;
    Steinberg::IPtr<Steinberg::IPlugView> view_;
    std::vector<FdEntry> fds_;
    std::vector<TimerEntry> timers_;
    std::uint64_t nextId_ = 1;
    std::atomic<bool> closeRequested_{false};
};

} // namespace velmora::host
