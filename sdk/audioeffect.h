// The VST 3 SDK's AudioEffect helper, which the Debian subset lacks: a Component
// that is also an audio processor, with the SDK's names and default behaviour.
//
// Beware of Steinberg::String on Linux: some UTF-16 operations are stubs there
// that assert in Debug and return nothing useful otherwise: printFloat and
// incrementTrailingNumber on a wide string, toLower/toUpper of char16, and all
// else built on sprintf16 or strrchr16. For bus names and texts, use
// String::printf with a char16 format (that one works), or format into char8 and
// convert with UString128::fromAscii.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vstcomponent.h"

namespace Steinberg {
namespace Vst {

class AudioEffect : public Component, public IAudioProcessor, public IProcessContextRequirements {
public:
    AudioEffect();

    // Both return the new bus, owned by the component's bus list.
    AudioBus* addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
                            int32 flags = BusInfo::kDefaultActive);
    AudioBus* addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
                             int32 flags = BusInfo::kDefaultActive);

    // Null when there is no audio bus at that index.
    AudioBus* getAudioInput(int32 index);
    AudioBus* getAudioOutput(int32 index);

    //---from IAudioProcessor-------
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) SMTG_OVERRIDE;
    tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                         SpeakerArrangement& arr) SMTG_OVERRIDE;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
    uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE;
    tresult PLUGIN_API setProcessing(TBool state) SMTG_OVERRIDE;
    tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE;
    uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE { return kNoTail; }

    //---from IProcessContextRequirements-------
    // No transport or tempo information is needed.
    uint32 PLUGIN_API getProcessContextRequirements() SMTG_OVERRIDE { return 0; }

    //---Interface---------
    OBJ_METHODS(AudioEffect, Component)
    DEFINE_INTERFACES
    DEF_INTERFACE(IAudioProcessor)
    DEF_INTERFACE(IProcessContextRequirements)
    END_DEFINE_INTERFACES(Component)
    REFCOUNT_METHODS(Component)

protected:
    // Held from the last accepted setupProcessing; 44.1 kHz, 1024 samples, 32-bit
    // realtime until then.
    ProcessSetup processSetup;
};

} // namespace Vst
} // namespace Steinberg
