#include "sdk/vst2/vst2editorframe.h"

#include <algorithm>
#include <poll.h>
#include <utility>

namespace vst2 {

using namespace Steinberg;
using namespace Steinberg::Linux;

EditorFrame::EditorFrame(ResizeRequest resize)
    : resize_(std::move(resize)){FUNKNOWN_CTOR}

      EditorFrame::~EditorFrame(){FUNKNOWN_DTOR}

      IMPLEMENT_REFCOUNT(EditorFrame)

          tresult PLUGIN_API EditorFrame::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, IRunLoop::iid, IRunLoop)
    *obj = nullptr;
    return kNoInterface;
}

void EditorFrame::detach() {
    resize_ = nullptr;
    timers_.clear();
    watches_.clear();
}

tresult PLUGIN_API EditorFrame::resizeView(IPlugView* view, ViewRect* newSize) {
    if (view == nullptr || newSize == nullptr) {
        return kInvalidArgument;
    }
    if (!resize_ || !resize_(newSize->getWidth(), newSize->getHeight())) {
        return kResultFalse;
    }
    view->onSize(newSize);
    return kResultTrue;
}

tresult PLUGIN_API EditorFrame::registerEventHandler(IEventHandler* handler, FileDescriptor fd) {
    if (handler == nullptr || fd < 0) {
        return kInvalidArgument;
    }
    watches_.push_back({IPtr<IEventHandler>(handler), fd});
    return kResultTrue;
}

tresult PLUGIN_API EditorFrame::unregisterEventHandler(IEventHandler* handler) {
    const auto removed =
        std::erase_if(watches_, [&](const Watch& w) { return w.handler == handler; });
    return removed > 0 ? kResultTrue : kInvalidArgument;
}

tresult PLUGIN_API EditorFrame::registerTimer(ITimerHandler* handler, TimerInterval ms) {
    if (handler == nullptr) {
        return kInvalidArgument;
    }
    const auto interval = std::chrono::milliseconds(std::max<TimerInterval>(ms, 1));
    timers_.push_back({IPtr<ITimerHandler>(handler), interval, Clock::now() + interval});
    return kResultTrue;
}

tresult PLUGIN_API EditorFrame::unregisterTimer(ITimerHandler* handler) {
    const auto removed =
        std::erase_if(timers_, [&](const Timer& t) { return t.handler == handler; });
    return removed > 0 ? kResultTrue : kInvalidArgument;
}

void EditorFrame::idle() {
    runDescriptors();
    runTimers();
}

// Handlers may register and unregister others, or themselves, while they
// run: each works from a copy that holds a reference, and a handler removed
// in the meantime is not called.
void EditorFrame::runDescriptors() {
    if (watches_.empty()) {
        return;
    }
    const std::vector<Watch> watches = watches_;
    std::vector<pollfd> fds;
    fds.reserve(watches.size());
    for (const Watch& w : watches) {
        fds.push_back({w.fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 0) <= 0) {
        return;
    }
    for (std::size_t i = 0; i < watches.size(); ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const bool stillWatched =
            std::any_of(watches_.begin(), watches_.end(), [&](const Watch& w) {
                return w.handler == watches[i].handler && w.fd == watches[i].fd;
            });
        if (stillWatched) {
            watches[i].handler->onFDIsSet(watches[i].fd);
        }
    }
}

void EditorFrame::runTimers() {
    if (timers_.empty()) {
        return;
    }
    const Clock::time_point now = Clock::now();
    std::vector<IPtr<ITimerHandler>> due;
    for (Timer& t : timers_) {
        if (t.due <= now) {
            due.push_back(t.handler);
            // A late idle call fires a timer once, not once per missed period.
            t.due = now + t.interval;
        }
    }
    for (const auto& handler : due) {
        const bool stillRegistered = std::any_of(
            timers_.begin(), timers_.end(), [&](const Timer& t) { return t.handler == handler; });
        if (stillRegistered) {
            handler->onTimer();
        }
    }
}

} // namespace vst2
