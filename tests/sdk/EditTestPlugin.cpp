// A plug-in module with an editor, for tests of hosts that show editors
// (velmora-edit): a gain whose knob and field are in the editor, and an
// output parameter reporting each block's input peak, shown by the meter.
// Its state is the gain as one little-endian float.
#include "TestEditor.h"

#include "sdk/audioeffect.h"
#include "sdk/pluginfactory.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

#define EDITTEST_PROCESSOR_UID INLINE_UID(0x6A1D2C3E, 0x4B5F4A17, 0x8E9D0C1B, 0x2F3A4B5C)
#define EDITTEST_CONTROLLER_UID INLINE_UID(0x1C2B3A49, 0x58674E2D, 0x9F0E1D2C, 0x3B4A5968)

class EditTestProcessor : public AudioEffect {
public:
    EditTestProcessor() {
        const TUID controller = EDITTEST_CONTROLLER_UID;
        setControllerClass(FUID::fromTUID(controller));
    }

    tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE {
        const tresult result = AudioEffect::initialize(context);
        if (result != kResultOk) {
            return result;
        }
        addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
        addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
        addAudioInput(STR16("Stereo Aux In"), SpeakerArr::kStereo, kAux, 0);
        return kResultOk;
    }

    tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE {
        if (IParameterChanges* changes = data.inputParameterChanges) {
            for (int32 i = 0; i < changes->getParameterCount(); ++i) {
                IParamValueQueue* queue = changes->getParameterData(i);
                int32 offset = 0;
                ParamValue value = 0;
                if (queue != nullptr && queue->getParameterId() == velmora::test::kGainId &&
                    queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk) {
                    gain_ = static_cast<float>(value);
                }
            }
        }
        if (data.numSamples <= 0 || data.numInputs < 1 || data.numOutputs < 1) {
            return kResultOk;
        }
        float peak = 0.0f;
        AudioBusBuffers& in = data.inputs[0];
        AudioBusBuffers& out = data.outputs[0];
        for (int32 c = 0; c < std::min(in.numChannels, out.numChannels); ++c) {
            for (int32 i = 0; i < data.numSamples; ++i) {
                peak = std::max(peak, std::abs(in.channelBuffers32[c][i]));
                out.channelBuffers32[c][i] = in.channelBuffers32[c][i] * gain_;
            }
        }
        if (data.outputParameterChanges != nullptr) {
            int32 index = 0;
            if (IParamValueQueue* queue =
                    data.outputParameterChanges->addParameterData(velmora::test::kLevelId, index)) {
                queue->addPoint(0, peak, index);
            }
        }
        return kResultOk;
    }

    tresult PLUGIN_API setState(IBStream* state) SMTG_OVERRIDE {
        IBStreamer reader(state, kLittleEndian);
        float gain = 0.0f;
        if (!reader.readFloat(gain)) {
            return kResultFalse;
        }
        gain_ = gain;
        return kResultOk;
    }

    tresult PLUGIN_API getState(IBStream* state) SMTG_OVERRIDE {
        IBStreamer writer(state, kLittleEndian);
        return writer.writeFloat(gain_) ? kResultOk : kResultFalse;
    }

    static FUnknown* createInstance(void*) {
        return static_cast<IAudioProcessor*>(new EditTestProcessor);
    }

private:
    float gain_ = 0.5f;
};

} // namespace

BEGIN_FACTORY_DEF("Edit Test Vendor", "https://example.invalid", "mailto:nobody@example.invalid")

DEF_CLASS2(EDITTEST_PROCESSOR_UID, PClassInfo::kManyInstances, kVstAudioEffectClass, "Edit Test",
           kDistributable, "Fx", "1.0.0.0", kVstVersionString, EditTestProcessor::createInstance)

DEF_CLASS2(EDITTEST_CONTROLLER_UID, PClassInfo::kManyInstances, kVstComponentControllerClass,
           "Edit Test Controller", 0, "", "1.0.0.0", kVstVersionString,
           velmora::test::TestEditController::createInstance)

END_FACTORY
