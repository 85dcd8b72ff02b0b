#include "sdk/audioeffect.h"

namespace Steinberg {
namespace Vst {

namespace {

AudioBus* audioBusAt(BusList& list, int32 index) {
    if (index < 0 || index >= static_cast<int32>(list.size()))
        return nullptr;
    return FCast<AudioBus>(list[static_cast<size_t>(index)].get());
}

} // namespace

AudioEffect::AudioEffect() {
    processSetup.processMode = kRealtime;
    processSetup.symbolicSampleSize = kSample32;
    processSetup.maxSamplesPerBlock = 1024;
    processSetup.sampleRate = 44100.0;
}

AudioBus* AudioEffect::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType,
                                     int32 flags) {
    auto* bus = new AudioBus(name, busType, flags, arr);
    // The list takes over the creation reference.
    audioInputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

AudioBus* AudioEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType,
                                      int32 flags) {
    auto* bus = new AudioBus(name, busType, flags, arr);
    audioOutputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

AudioBus* AudioEffect::getAudioInput(int32 index) {
    return audioBusAt(audioInputs, index);
}

AudioBus* AudioEffect::getAudioOutput(int32 index) {
    return audioBusAt(audioOutputs, index);
}

tresult PLUGIN_API AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns < 0 || numOuts < 0)
        return kInvalidArgument;
    if (numIns > static_cast<int32>(audioInputs.size()) ||
        numOuts > static_cast<int32>(audioOutputs.size()))
        return kResultFalse;
    if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kInvalidArgument;
    // Like the SDK, any layout is taken for the buses it names; the rest keep theirs.
    for (int32 i = 0; i < numIns; ++i)
        audioBusAt(audioInputs, i)->setArrangement(inputs[i]);
    for (int32 i = 0; i < numOuts; ++i)
        audioBusAt(audioOutputs, i)->setArrangement(outputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement(BusDirection dir, int32 index,
                                                  SpeakerArrangement& arr) {
    BusList* list = getBusList(kAudio, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    AudioBus* bus = audioBusAt(*list, index);
    if (!bus)
        return kResultFalse;
    arr = bus->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing(ProcessSetup& setup) {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
        return kResultFalse;
    processSetup = setup;
    return kResultOk;
}

tresult PLUGIN_API AudioEffect::setProcessing(TBool /*state*/) {
    return kResultOk;
}

tresult PLUGIN_API AudioEffect::process(ProcessData& /*data*/) {
    return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
