// A small editor and controller on the widget library and the editor base,
// for tests of both and of the hosts that show editors: a knob and a text
// field for parameter 0 ("Gain"), a meter for the output parameter 1
// ("Level"), on a 200 x 120 frame of solid test colours.
#pragma once

#include "sdk/vstguieditor.h"

#include "public.sdk/source/vst/vsteditcontroller.h"

#include <vector>

namespace velmora::test {

constexpr Steinberg::Vst::ParamID kGainId = 0;
constexpr Steinberg::Vst::ParamID kLevelId = 1;
constexpr std::int32_t kKnobTag = 0x4B6E6F62;  // 'Knob'
constexpr std::int32_t kFieldTag = 0x54657874; // 'Text'
constexpr int kKnobFrames = 10;
inline constexpr VSTGUI::CRect kKnobRect(10, 10, 50, 50);
inline constexpr VSTGUI::CRect kFieldRect(10, 60, 90, 80);
inline constexpr VSTGUI::CRect kMeterRect(120, 10, 136, 110);

class TestEditor;

class TestEditController : public Steinberg::Vst::EditControllerEx1 {
public:
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API
    setParamNormalized(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;
    void editorAttached(Steinberg::Vst::EditorView* editor) SMTG_OVERRIDE;
    void editorRemoved(Steinberg::Vst::EditorView* editor) SMTG_OVERRIDE;

    const std::vector<TestEditor*>& editors() const { return editors_; }

    static Steinberg::FUnknown* createInstance(void*);

private:
    std::vector<TestEditor*> editors_;
};

class TestEditor : public Steinberg::Vst::VSTGUIEditor, public VSTGUI::CControlListener {
public:
    explicit TestEditor(Steinberg::Vst::EditController* controller);

    bool PLUGIN_API open(void* parent) override;
    void PLUGIN_API close() override;
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender,
                                  VSTGUI::IdStringPtr message) override;

    void valueChanged(VSTGUI::CControl* control) override;
    void controlBeginEdit(VSTGUI::CControl* control) override;
    void controlEndEdit(VSTGUI::CControl* control) override;

    void updateParameter(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

    VSTGUI::CAnimKnob* knob = nullptr;
    VSTGUI::CTextEdit* field = nullptr;
    VSTGUI::CVuMeter* meter = nullptr;
    int timerTicks = 0;

private:
    float level_ = 0.0f;
};

} // namespace velmora::test
