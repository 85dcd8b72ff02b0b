// The edit controller: publishes the parameters and their unit, mirrors the
// processor's state, forwards every value set to the attached editors, maps
// MIDI channel volume to Input Level and keeps a small state of its own.
#pragma once

#include "controller/ParameterUpdateListener.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include <vector>

namespace Steinberg {
namespace Vst {

class againController : public EditControllerEx1, public IMidiMapping {
public:
    // Bytes of the controller's own state: a byte-order marker and the text.
    static constexpr int kMessageUnits = 128;
    static constexpr int kStateBytes = 1 + kMessageUnits * 2;

    againController();
    ~againController() override;

    // For the class factory; returns the IEditController interface.
    static FUnknown* createInstance(void* context);

    tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
    tresult PLUGIN_API terminate() SMTG_OVERRIDE;

    tresult PLUGIN_API setComponentState(IBStream* state) SMTG_OVERRIDE;
    tresult PLUGIN_API setState(IBStream* state) SMTG_OVERRIDE;
    tresult PLUGIN_API getState(IBStream* state) SMTG_OVERRIDE;
    tresult PLUGIN_API getParamStringByValue(ParamID tag, ParamValue valueNormalized,
                                             String128 string) SMTG_OVERRIDE;
    tresult PLUGIN_API getParamValueByString(ParamID tag, TChar* string,
                                             ParamValue& valueNormalized) SMTG_OVERRIDE;
    tresult PLUGIN_API setParamNormalized(ParamID tag, ParamValue value) SMTG_OVERRIDE;
    // The base classes look these up with a throwing at(); an index out of
    // range must answer kResultFalse, never throw across the interface.
    tresult PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) SMTG_OVERRIDE;
    tresult PLUGIN_API getUnitInfo(int32 unitIndex, UnitInfo& info) SMTG_OVERRIDE;
    IPlugView* PLUGIN_API createView(FIDString name) SMTG_OVERRIDE;

    tresult PLUGIN_API getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                   CtrlNumber midiControllerNumber,
                                                   ParamID& id) SMTG_OVERRIDE;

    tresult receiveText(const char8* text) SMTG_OVERRIDE;

    void editorAttached(EditorView* editor) SMTG_OVERRIDE;
    void editorRemoved(EditorView* editor) SMTG_OVERRIDE;

    // The attached editors, in attachment order (not owned).
    const std::vector<ParameterUpdateListener*>& editors() const { return editors_; }
    const char16* messageText() const { return messageText_; }

    OBJ_METHODS(againController, EditControllerEx1)
    DEFINE_INTERFACES
    DEF_INTERFACE(IMidiMapping)
    DEF_INTERFACE(IUnitInfo)
    END_DEFINE_INTERFACES(EditControllerEx1)
    REFCOUNT_METHODS(EditControllerEx1)

private:
    std::vector<ParameterUpdateListener*> editors_;
    bool initialized_ = false;
    // Persistent text; all zero (empty) until a state is restored.
    char16 messageText_[kMessageUnits] = {};
};

} // namespace Vst
} // namespace Steinberg
