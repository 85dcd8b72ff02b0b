#include "sdk/vstguieditor.h"

#include "vstgui/x11/x11frame.h"

#include "pluginterfaces/gui/iplugview.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <cstring>

namespace Steinberg {
namespace Vst {

using VSTGUI::CFrame;
using VSTGUI::CVSTGUITimer;

// What the editor holds while attached: its X connection, the host's run
// loop and the handlers registered with it. Reference counted, because the
// host holds references to the handlers while they are registered.
class VSTGUIEditor::RunLoopLink : public FObject,
                                  public Linux::IEventHandler,
                                  public Linux::ITimerHandler,
                                  public CVSTGUITimer::Scheduler {
public:
    RunLoopLink(VSTGUIEditor* editor, Linux::IRunLoop* runLoop, Display* display, ::Window parent)
        : editor_(editor), runLoop_(runLoop), display_(display) {
        parentWindow.display = display;
        parentWindow.window = parent;
    }

    bool registerConnection() {
        fdRegistered_ = runLoop_->registerEventHandler(static_cast<Linux::IEventHandler*>(this),
                                                       ConnectionNumber(display_)) == kResultOk;
        return fdRegistered_;
    }

    void unregisterConnection() {
        if (fdRegistered_) {
            fdRegistered_ = false;
            runLoop_->unregisterEventHandler(static_cast<Linux::IEventHandler*>(this));
        }
    }

    // Unregisters everything and closes the connection; calls that arrive
    // later (a host may still hold a reference) do nothing.
    void shutDown() {
        unregisterConnection();
        if (timerRegistered_) {
            timerRegistered_ = false;
            runLoop_->unregisterTimer(static_cast<Linux::ITimerHandler*>(this));
        }
        editor_ = nullptr;
        if (display_ != nullptr) {
            XCloseDisplay(display_);
            display_ = nullptr;
        }
        runLoop_ = nullptr;
    }

    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) SMTG_OVERRIDE {
        if (editor_ != nullptr) {
            editor_->handleEvents();
        }
    }

    void PLUGIN_API onTimer() SMTG_OVERRIDE {
        if (editor_ != nullptr && editor_->timer != nullptr) {
            editor_->timer->fire();
        }
    }

    void timerChanged(CVSTGUITimer* timer) override {
        if (!runLoop_) {
            return;
        }
        if (timerRegistered_) {
            timerRegistered_ = false;
            runLoop_->unregisterTimer(static_cast<Linux::ITimerHandler*>(this));
        }
        if (timer->isRunning()) {
            timerRegistered_ =
                runLoop_->registerTimer(static_cast<Linux::ITimerHandler*>(this),
                                        static_cast<Linux::TimerInterval>(timer->getFireTime())) ==
                kResultOk;
        }
    }

    Display* display() const { return display_; }

    VSTGUI::X11::ParentWindow parentWindow;

    OBJ_METHODS(RunLoopLink, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Linux::IEventHandler)
    DEF_INTERFACE(Linux::ITimerHandler)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

private:
    VSTGUIEditor* editor_;
    IPtr<Linux::IRunLoop> runLoop_;
    Display* display_;
    bool fdRegistered_ = false;
    bool timerRegistered_ = false;
};

VSTGUIEditor::VSTGUIEditor(EditController* controller, ViewRect* size)
    : EditorView(controller, size), timer(new CVSTGUITimer(this, 100)) {}

VSTGUIEditor::~VSTGUIEditor() {
    // A host that releases the view without removing it first: let go of
    // the run loop and the connection at least.
    if (link_ != nullptr) {
        timer->stop();
        if (frame != nullptr) {
            frame->forget();
            frame = nullptr;
        }
        detach();
    }
    timer->forget();
}

void VSTGUIEditor::setIdleRate(int32 milliseconds) {
    timer->setFireTime(milliseconds);
}

int32 VSTGUIEditor::getIdleRate() const {
    return timer->getFireTime();
}

VSTGUI::CMessageResult VSTGUIEditor::notify(VSTGUI::CBaseObject*, VSTGUI::IdStringPtr message) {
    if (message == CVSTGUITimer::kMsgTimer ||
        (message != nullptr && std::strcmp(message, CVSTGUITimer::kMsgTimer) == 0)) {
        if (frame != nullptr) {
            // Also reads events a host's run loop may not have told us about.
            handleEvents();
            if (frame != nullptr) {
                frame->idle();
            }
        }
        return VSTGUI::kMessageNotified;
    }
    return VSTGUI::kMessageUnknown;
}

tresult PLUGIN_API VSTGUIEditor::isPlatformTypeSupported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue
                                                                                    : kResultFalse;
}

tresult PLUGIN_API VSTGUIEditor::attached(void* parent, FIDString type) {
    if (isPlatformTypeSupported(type) != kResultTrue || parent == nullptr) {
        return kResultFalse;
    }
    if (link_ != nullptr || isAttached()) {
        return kResultFalse;
    }
    Linux::IRunLoop* runLoop = nullptr;
    if (plugFrame == nullptr ||
        plugFrame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&runLoop)) !=
            kResultOk ||
        runLoop == nullptr) {
        return kResultFalse;
    }
    IPtr<Linux::IRunLoop> loop = owned(runLoop);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return kResultFalse;
    }
    VSTGUI::X11::guardConnection(display);
    link_ = new RunLoopLink(this, loop, display,
                            static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent)));
    if (!link_->registerConnection()) {
        detach();
        return kResultFalse;
    }
    timer->setScheduler(link_);
    timer->start();
    const bool opened = open(&link_->parentWindow);
    if (!opened || (frame != nullptr && frame->getWindow() == 0)) {
        // Refused, or no window could be made in the given parent.
        timer->stop();
        if (opened) {
            close();
        }
        if (frame != nullptr) {
            frame->forget();
            frame = nullptr;
        }
        detach();
        return kResultFalse;
    }
    if (frame != nullptr) {
        ViewRect r(0, 0, static_cast<int32>(frame->getWidth()),
                   static_cast<int32>(frame->getHeight()));
        setRect(r);
        if (plugFrame != nullptr) {
            plugFrame->resizeView(this, &r);
        }
    }
    return EditorView::attached(parent, type);
}

tresult PLUGIN_API VSTGUIEditor::removed() {
    if (link_ == nullptr) {
        return kResultFalse;
    }
    timer->stop();
    close();
    if (frame != nullptr) {
        // An editor that kept its frame past close.
        frame->forget();
        frame = nullptr;
    }
    detach();
    return EditorView::removed();
}

void VSTGUIEditor::detach() {
    timer->setScheduler(nullptr);
    if (link_ != nullptr) {
        link_->shutDown();
        link_->release();
        link_ = nullptr;
    }
}

void VSTGUIEditor::handleEvents() {
    if (link_ == nullptr) {
        return;
    }
    bool usable = true;
    if (frame != nullptr) {
        usable = frame->handleEvents();
    } else if (Display* display = link_->display(); !VSTGUI::X11::isBroken(display)) {
        while (XPending(display) > 0 && !VSTGUI::X11::isBroken(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }
    if (!usable || VSTGUI::X11::isBroken(link_->display())) {
        // A closed connection stays readable; do not let the host spin on it.
        link_->unregisterConnection();
    }
}

tresult PLUGIN_API VSTGUIEditor::onSize(ViewRect* newSize) {
    const tresult result = EditorView::onSize(newSize);
    if (newSize != nullptr && frame != nullptr) {
        frame->setSize(newSize->getWidth(), newSize->getHeight());
    }
    return result;
}

tresult PLUGIN_API VSTGUIEditor::onFocus(TBool state) {
    if (!state && frame != nullptr) {
        // Losing the focus finishes an entry in a text field.
        frame->setFocusView(nullptr);
    }
    return kResultTrue;
}

namespace {

VSTGUI::VstKeyCode toKeyCode(char16 key, int16 keyCode, int16 modifiers) {
    // The virtual keys and modifier bits of VST 3 are those of the library.
    VSTGUI::VstKeyCode code;
    code.character = key;
    code.virt = keyCode > 0 && keyCode < 256 ? static_cast<std::uint8_t>(keyCode) : 0;
    code.modifier = static_cast<std::uint8_t>(modifiers & 0x0F);
    return code;
}

} // namespace

tresult PLUGIN_API VSTGUIEditor::onKeyDown(char16 key, int16 keyCode, int16 modifiers) {
    if (frame == nullptr) {
        return kResultFalse;
    }
    VSTGUI::VstKeyCode code = toKeyCode(key, keyCode, modifiers);
    const bool handled = frame->onKeyDown(code) == 1;
    frame->paintDirty();
    return handled ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API VSTGUIEditor::onKeyUp(char16 key, int16 keyCode, int16 modifiers) {
    if (frame == nullptr) {
        return kResultFalse;
    }
    VSTGUI::VstKeyCode code = toKeyCode(key, keyCode, modifiers);
    return frame->onKeyUp(code) == 1 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API VSTGUIEditor::onWheel(float distance) {
    if (frame == nullptr) {
        return kResultFalse;
    }
    const bool handled = frame->onWheel(frame->getCurrentMouseLocation(), distance, 0);
    frame->paintDirty();
    return handled ? kResultTrue : kResultFalse;
}

} // namespace Vst
} // namespace Steinberg
