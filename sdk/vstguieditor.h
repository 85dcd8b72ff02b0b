// The VST 3 SDK's editor base for views built with the widget library, which
// the SDK subset lacks. On Linux it embeds the editor's frame in the host's
// X11 window ("X11EmbedWindowID"), on the run loop the host offers through
// its IPlugFrame: the editor's own X connection is read when the host sees
// its file descriptor ready, and the idle timer (100 ms unless set with
// setIdleRate) runs as a host timer. No thread of its own, nothing that
// blocks or ends the host on an X error.
//
// A derived editor builds its frame in open:
//     bool PLUGIN_API open(void* parent) override {
//         frame = new CFrame(CRect(0, 0, 630, 330), parent, this);
//         ...
//     }
// and releases it in close (frame->forget(); frame = nullptr). `parent` is
// what CFrame needs to open its window; pass it on as it is.
#pragma once

#include "public.sdk/source/vst/vsteditcontroller.h"

#include "vstgui/vstgui.h"

#include <memory>

namespace Steinberg {
namespace Vst {

class VSTGUIEditor : public EditorView,
                     public VSTGUI::VSTGUIEditorInterface,
                     public VSTGUI::CBaseObject {
public:
    explicit VSTGUIEditor(EditController* controller, ViewRect* size = nullptr);
    ~VSTGUIEditor() override;

    // Builds the frame in the host's window; false leaves the view detached.
    virtual bool PLUGIN_API open(void* parent) = 0;
    // Releases the frame.
    virtual void PLUGIN_API close() = 0;

    // Milliseconds between two timer notifications (and frame redraws).
    void setIdleRate(int32 milliseconds);
    int32 getIdleRate() const;

    // The timer's message redraws what changed in the frame.
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender,
                                  VSTGUI::IdStringPtr message) override;

    //---from IPlugView-------
    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) SMTG_OVERRIDE;
    // Needs a parent of type "X11EmbedWindowID" and a host frame that offers
    // Linux::IRunLoop; answers kResultFalse otherwise.
    tresult PLUGIN_API attached(void* parent, FIDString type) SMTG_OVERRIDE;
    tresult PLUGIN_API removed() SMTG_OVERRIDE;
    tresult PLUGIN_API onSize(ViewRect* newSize) SMTG_OVERRIDE;
    tresult PLUGIN_API onFocus(TBool state) SMTG_OVERRIDE;
    // Keys and wheel turns the host hands over go to the frame: the keys to
    // the text field being typed in, the wheel to the control under the mouse.
    tresult PLUGIN_API onKeyDown(char16 key, int16 keyCode, int16 modifiers) SMTG_OVERRIDE;
    tresult PLUGIN_API onKeyUp(char16 key, int16 keyCode, int16 modifiers) SMTG_OVERRIDE;
    tresult PLUGIN_API onWheel(float distance) SMTG_OVERRIDE;

protected:
    VSTGUI::CVSTGUITimer* timer;

private:
    class RunLoopLink;

    void handleEvents();
    void detach();

    RunLoopLink* link_ = nullptr;
};

} // namespace Vst
} // namespace Steinberg
