// What the VST 2 adapter offers an editor view in place of a VST 3 host's
// window: the plug frame it asks to resize through, and the run loop that
// Linux views need for their timers and X connection, driven by the VST 2
// host's effEditIdle calls on its user-interface thread.
#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <chrono>
#include <functional>
#include <vector>

namespace vst2 {

class EditorFrame final : public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop {
public:
    // Asks the host for a window of the new size; true when it agreed.
    using ResizeRequest = std::function<bool(int width, int height)>;

    explicit EditorFrame(ResizeRequest resize);

    EditorFrame(const EditorFrame&) = delete;
    EditorFrame& operator=(const EditorFrame&) = delete;

    // Forgets the host and every handler; a view that still holds the frame
    // may call it, harmlessly.
    void detach();

    // Calls the handlers of readable descriptors, then the timers that are due.
    void idle();

    std::size_t timerCount() const { return timers_.size(); }
    std::size_t eventHandlerCount() const { return watches_.size(); }

    //--- IPlugFrame: onSize follows when the host has resized its window.
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                             Steinberg::ViewRect* newSize) override;

    //--- IRunLoop
    Steinberg::tresult PLUGIN_API registerEventHandler(
        Steinberg::Linux::IEventHandler* handler, Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API
    unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval ms) override;
    Steinberg::tresult PLUGIN_API
    unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

    DECLARE_FUNKNOWN_METHODS

private:
    virtual ~EditorFrame();

    using Clock = std::chrono::steady_clock;
    struct Timer {
        Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
        Clock::duration interval;
        Clock::time_point due;
    };
    struct Watch {
        Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
        Steinberg::Linux::FileDescriptor fd;
    };

    void runDescriptors();
    void runTimers();

    ResizeRequest resize_;
    std::vector<Timer> timers_;
    std::vector<Watch> watches_;
};

} // namespace vst2
