#include "TestEditor.h"

#include "TestImages.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ustring.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace velmora::test {

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace VSTGUI;

namespace {

CBitmap* bitmap(const std::vector<unsigned char>& png) {
    return new CBitmap(png.data(), png.size());
}

std::string narrow(const String128 text) {
    std::string out;
    for (int i = 0; i < 128 && text[i] != 0; ++i) {
        out += static_cast<char>(text[i] < 128 ? text[i] : '?');
    }
    return out;
}

} // namespace

tresult PLUGIN_API TestEditController::initialize(FUnknown* context) {
    const tresult result = EditControllerEx1::initialize(context);
    if (result != kResultOk) {
        return result;
    }
    parameters.addParameter(STR16("Gain"), nullptr, 0, 0.5, ParameterInfo::kCanAutomate, kGainId);
    parameters.addParameter(STR16("Level"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, kLevelId);
    return kResultOk;
}

tresult PLUGIN_API TestEditController::setComponentState(IBStream* state) {
    IBStreamer reader(state, kLittleEndian);
    float gain = 0.0f;
    if (!reader.readFloat(gain)) {
        return kResultFalse;
    }
    setParamNormalized(kGainId, gain);
    return kResultOk;
}

tresult PLUGIN_API TestEditController::setParamNormalized(ParamID id, ParamValue value) {
    const tresult result = EditControllerEx1::setParamNormalized(id, value);
    for (TestEditor* editor : editors_) {
        editor->updateParameter(id, value);
    }
    return result;
}

IPlugView* PLUGIN_API TestEditController::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, ViewType::kEditor) != 0) {
        return nullptr;
    }
    return new TestEditor(this);
}

void TestEditController::editorAttached(EditorView* editor) {
    if (auto* e = dynamic_cast<TestEditor*>(editor)) {
        editors_.push_back(e);
    }
}

void TestEditController::editorRemoved(EditorView* editor) {
    std::erase(editors_, dynamic_cast<TestEditor*>(editor));
}

FUnknown* TestEditController::createInstance(void*) {
    return static_cast<IEditController*>(new TestEditController);
}

TestEditor::TestEditor(EditController* controller) : VSTGUIEditor(controller) {
    setIdleRate(50);
    ViewRect size(0, 0, 200, 120);
    setRect(size);
}

bool PLUGIN_API TestEditor::open(void* parent) {
    if (frame != nullptr) {
        return false;
    }
    frame = new CFrame(CRect(0, 0, 200, 120), parent, this);
    CBitmap* background = bitmap(pngSolid(200, 120, {40, 40, 40, 255}));
    frame->setBackground(background);
    background->forget();

    CBitmap* strip = bitmap(pngStrip(40, 40, kKnobFrames, knobFrameColour));
    knob = new CAnimKnob(kKnobRect, this, kKnobTag, kKnobFrames, 40, strip);
    strip->forget();
    frame->addView(knob);

    field = new CTextEdit(kFieldRect, this, kFieldTag, "", nullptr, kNoFrame);
    CFontRef font = new CFontDesc("Arial", 10);
    field->setFont(font);
    font->forget();
    field->setBackColor(kTransparentCColor);
    frame->addView(field);

    CBitmap* on = bitmap(pngSolid(16, 100, {0, 200, 0, 255}));
    CBitmap* off = bitmap(pngSolid(16, 100, {60, 0, 0, 255}));
    meter = new CVuMeter(kMeterRect, on, off, 10, kVertical);
    on->forget();
    off->forget();
    frame->addView(meter);

    updateParameter(kGainId, controller->getParamNormalized(kGainId));
    return true;
}

void PLUGIN_API TestEditor::close() {
    if (frame != nullptr) {
        frame->forget();
        frame = nullptr;
    }
    knob = nullptr;
    field = nullptr;
    meter = nullptr;
}

CMessageResult TestEditor::notify(CBaseObject* sender, IdStringPtr message) {
    if (message == CVSTGUITimer::kMsgTimer) {
        ++timerTicks;
        if (meter != nullptr) {
            meter->setValue(level_);
        }
    }
    return VSTGUIEditor::notify(sender, message);
}

void TestEditor::updateParameter(ParamID id, ParamValue value) {
    if (id == kLevelId) {
        level_ = static_cast<float>(value);
    } else if (id == kGainId && knob != nullptr) {
        knob->setValue(static_cast<float>(value));
        String128 text{};
        controller->getParamStringByValue(kGainId, value, text);
        field->setText(narrow(text).c_str());
    }
}

void TestEditor::valueChanged(CControl* control) {
    if (control == knob) {
        controller->setParamNormalized(kGainId, knob->getValue());
        controller->performEdit(kGainId, knob->getValue());
    } else if (control == field) {
        String128 text{};
        UString(text, 128).fromAscii(field->getText());
        ParamValue value = knob->getValue();
        controller->getParamValueByString(kGainId, text, value);
        knob->setValue(static_cast<float>(value));
        valueChanged(knob);
    }
}

void TestEditor::controlBeginEdit(CControl* control) {
    if (control == knob) {
        controller->beginEdit(kGainId);
    }
}

void TestEditor::controlEndEdit(CControl* control) {
    if (control == knob) {
        controller->endEdit(kGainId);
    }
}

} // namespace velmora::test
