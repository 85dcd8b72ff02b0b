#include "processor/again.h"

#include "againcids.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Steinberg {
namespace Vst {

using velmora::ParamId;

namespace {

// Blocks whose buffers have gaps are run through scratch buffers of this many
// frames at a time.
constexpr int kScratchFrames = 1024;

int speakerCount(SpeakerArrangement arr) {
    return std::popcount(static_cast<uint64>(arr));
}

void busName(String128 out, const char* format, int channels) {
    char text[64];
    std::snprintf(text, sizeof(text), format, channels);
    UString(out, 128).fromAscii(text);
}

uint32_t readLE32(const unsigned char* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void writeLE32(unsigned char* b, uint32_t v) {
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[3] = static_cast<unsigned char>(v >> 24);
}

float meterValue(float r) {
    return 20.0f * std::log10(r) / 60.0f + 1.0f;
}

} // namespace

again::again() : silence_(kScratchFrames, 0.0f), discard_(kScratchFrames, 0.0f) {
    ParamState defaults;
    for (int i = 0; i < velmora::kNumSwitches; ++i) {
        defaults.switches[static_cast<size_t>(i)] =
            scaling_.switchDefault(static_cast<ParamId>(i)) != 0;
    }
    for (int i = 0; i < velmora::kNumContinuous; ++i) {
        defaults.values[static_cast<size_t>(i)] =
            scaling_.defaultNormalized(static_cast<ParamId>(velmora::kFirstContinuous + i));
    }
    live_ = defaults;
    publishLive();
    setControllerClass(AgainControllerUID);
}

again::~again() = default;

FUnknown* again::createInstance(void* /*context*/) {
    return static_cast<IAudioProcessor*>(new again());
}

float again::liveValue(ParamId id) const {
    return live_.values[static_cast<size_t>(id) - velmora::kFirstContinuous];
}

void again::setLiveValue(ParamId id, float v) {
    live_.values[static_cast<size_t>(id) - velmora::kFirstContinuous] = v;
}

void again::publishLive() {
    published_.writeSlot() = live_;
    published_.publish();
}

tresult PLUGIN_API again::initialize(FUnknown* context) {
    // The base only notices a second call when the host passed a context.
    if (initialized_) {
        return kResultFalse;
    }
    const tresult result = AudioEffect::initialize(context);
    if (result != kResultOk) {
        return result;
    }
    addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
    addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
    addAudioInput(STR16("Stereo Aux In"), SpeakerArr::kStereo, kAux, 0);

    resizeChannelTables(2, 2, 2, 2);
    engine_.setSampleRate(static_cast<float>(processSetup.sampleRate));
    pushAllToEngine(true);
    initialized_ = true;
    return kResultOk;
}

tresult PLUGIN_API again::terminate() {
    // A host may tear down without deactivating first. Nothing processes
    // after this, and a later initialize must be able to set up again.
    processing_.store(false, std::memory_order_release);
    active_.store(false, std::memory_order_release);
    applyPendingState();
    initialized_ = false;
    return AudioEffect::terminate();
}

void again::resizeChannelTables(int inCount, int outCount, int auxCount, int detectionCount) {
    inCount_ = inCount;
    outCount_ = outCount;
    auxCount_ = auxCount;
    inPtrs_.assign(static_cast<size_t>(inCount), nullptr);
    outPtrs_.assign(static_cast<size_t>(outCount), nullptr);
    auxPtrs_.assign(static_cast<size_t>(auxCount), nullptr);
    inHost_.assign(static_cast<size_t>(inCount), nullptr);
    outHost_.assign(static_cast<size_t>(outCount), nullptr);
    auxHost_.assign(static_cast<size_t>(auxCount), nullptr);
    engine_.setInputChannels(inCount);
    engine_.setOutputChannels(outCount);
    engine_.setSidechainChannels(detectionCount);
}

void again::setSwitchInEngine(ParamId id, bool on) {
    switch (id) {
    case ParamId::kBypass:
        engine_.setBypass(on);
        break;
    case ParamId::kCtrlOut:
        engine_.setCtrlOut(on);
        break;
    case ParamId::kDetectionMethod:
        engine_.setDetectionMethod(on);
        break;
    case ParamId::kChannelMode:
        engine_.setChannelMode(on);
        break;
    case ParamId::kGateMode:
        engine_.setGateMode(on);
        break;
    case ParamId::kAttEnvelope:
        engine_.setAttEnvelope(on);
        break;
    default:
        break;
    }
}

void again::setValueInEngine(ParamId id, float normalized) {
    const float p = scaling_.toPlain(id, normalized);
    switch (id) {
    case ParamId::kInputLevel:
        engine_.setInputLev(p);
        break;
    case ParamId::kOutputLevel:
        engine_.setOutputLev(p);
        break;
    case ParamId::kThreshold:
        engine_.setThreshold(p);
        break;
    case ParamId::kRmsWindow:
        engine_.setTimeRms(p);
        break;
    case ParamId::kAttackGradual:
        engine_.setTimeAtt1(p);
        break;
    case ParamId::kAttackSynth:
        engine_.setTimeAtt2(p);
        break;
    case ParamId::kRelease:
        engine_.setTimeRel(p);
        break;
    case ParamId::kHold:
        engine_.setHoldOpenTime(p);
        break;
    case ParamId::kTriggeredMuting:
        engine_.setHoldClosedTime(p);
        break;
    case ParamId::kBeatSkip:
        engine_.setHoldClosedProb(p);
        break;
    case ParamId::kAttackDelay:
        engine_.setAttDelayTime(p);
        break;
    case ParamId::kNoteTruncate:
        engine_.setAttIsoTime(p);
        break;
    case ParamId::kCtrlBandEdge1:
        engine_.setDetFreq1(p);
        break;
    case ParamId::kCtrlBandEdge2:
        engine_.setDetFreq2(p);
        break;
    case ParamId::kCtrlSignalLo:
        engine_.setDetLevLo(p);
        break;
    case ParamId::kCtrlSignalMid:
        engine_.setDetLevMid(p);
        break;
    case ParamId::kCtrlSignalHi:
        engine_.setDetLevHi(p);
        break;
    case ParamId::kOutBandEdge1:
        engine_.setSigFreq1(p);
        break;
    case ParamId::kOutBandEdge2:
        engine_.setSigFreq2(p);
        break;
    case ParamId::kOpenLevelLo:
        engine_.setCeilLevLo(p);
        break;
    case ParamId::kOpenLevelMid:
        engine_.setCeilLevMid(p);
        break;
    case ParamId::kOpenLevelHi:
        engine_.setCeilLevHi(p);
        break;
    case ParamId::kClosedLevelLo:
        engine_.setFloorLevLo(p);
        break;
    case ParamId::kClosedLevelMid:
        engine_.setFloorLevMid(p);
        break;
    case ParamId::kClosedLevelHi:
        engine_.setFloorLevHi(p);
        break;
    default:
        break;
    }
}

void again::pushAllToEngine(bool limitControlEdges) {
    for (int i = 0; i < velmora::kNumSwitches; ++i) {
        setSwitchInEngine(static_cast<ParamId>(i), live_.switches[static_cast<size_t>(i)]);
    }
    for (int i = velmora::kFirstContinuous; i < static_cast<int>(ParamId::kCtrlBandEdge1); ++i) {
        setValueInEngine(static_cast<ParamId>(i), liveValue(static_cast<ParamId>(i)));
    }

    // Control band edges at or above Nyquist fall back to fixed shares of it;
    // the stored values stay as the user set them.
    const float nyquist = static_cast<float>(engine_.sampleRate() * 0.5f);
    const float e2 = scaling_.toPlain(ParamId::kCtrlBandEdge2, liveValue(ParamId::kCtrlBandEdge2));
    if (!limitControlEdges || e2 < nyquist) {
        setValueInEngine(ParamId::kCtrlBandEdge1, liveValue(ParamId::kCtrlBandEdge1));
        engine_.setDetFreq2(e2);
    } else {
        engine_.setDetFreq1(0.18f * nyquist);
        engine_.setDetFreq2(0.34f * nyquist);
    }

    for (int i = static_cast<int>(ParamId::kCtrlSignalLo);
         i <= static_cast<int>(ParamId::kClosedLevelHi); ++i) {
        setValueInEngine(static_cast<ParamId>(i), liveValue(static_cast<ParamId>(i)));
    }
}

void again::applyParameter(ParamId id, float v) {
    const auto index = static_cast<size_t>(id);
    if (index < static_cast<size_t>(velmora::kNumSwitches)) {
        const bool on = v > 0.5f;
        live_.switches[index] = on;
        setSwitchInEngine(id, on);
        return;
    }

    // Edge 1 never passes edge 2: pushing one edge past the other takes the
    // other one along, inside the processor only.
    auto edgePair = [&](ParamId edge1, ParamId edge2, bool isFirst) {
        if (isFirst) {
            setLiveValue(edge1, v);
            if (liveValue(edge2) < v) {
                setLiveValue(edge2, v);
                setValueInEngine(edge2, v);
            }
            setValueInEngine(edge1, v);
        } else {
            setLiveValue(edge2, v);
            if (liveValue(edge1) > v) {
                setLiveValue(edge1, v);
                setValueInEngine(edge1, v);
            }
            setValueInEngine(edge2, v);
        }
    };

    switch (id) {
    case ParamId::kCtrlBandEdge1:
        edgePair(ParamId::kCtrlBandEdge1, ParamId::kCtrlBandEdge2, true);
        return;
    case ParamId::kCtrlBandEdge2:
        edgePair(ParamId::kCtrlBandEdge1, ParamId::kCtrlBandEdge2, false);
        return;
    case ParamId::kOutBandEdge1:
        edgePair(ParamId::kOutBandEdge1, ParamId::kOutBandEdge2, true);
        return;
    case ParamId::kOutBandEdge2:
        edgePair(ParamId::kOutBandEdge1, ParamId::kOutBandEdge2, false);
        return;
    default:
        setLiveValue(id, v);
        setValueInEngine(id, v);
        return;
    }
}

tresult PLUGIN_API again::setActive(TBool state) {
    active_.store(state != 0, std::memory_order_release);
    if (state == 0) {
        // No block runs any more, so a state still waiting for one is
        // applied here rather than left for whenever processing resumes.
        applyPendingState();
    }
    sendTextMessage(state ? "again::setActive (true)" : "again::setActive (false)");
    return AudioEffect::setActive(state);
}

tresult PLUGIN_API again::setProcessing(TBool state) {
    processing_.store(state != 0, std::memory_order_release);
    return AudioEffect::setProcessing(state);
}

bool again::handOffStates() const {
    return active_.load(std::memory_order_acquire) || processing_.load(std::memory_order_acquire);
}

bool again::applyPendingState() {
    if (!stateHandoff_.take(pendingState_)) {
        return false;
    }
    applyState(pendingState_);
    return true;
}

void again::applyState(const ParamState& s) {
    live_ = s;
    pushAllToEngine(false);
    publishLive();
}

tresult PLUGIN_API again::setState(IBStream* state) {
    if (state == nullptr) {
        return kResultFalse;
    }
    // A stream that ends early may still report success (the SDK's
    // MemoryStream does, and a truncated project gives one). What is missing
    // is unknown, not 0, so such a state is refused as a whole.
    unsigned char fields[velmora::kNumStateParams][4];
    for (auto& field : fields) {
        int32 bytesRead = 0;
        if (state->read(field, 4, &bytesRead) != kResultOk || bytesRead != 4) {
            return kResultFalse;
        }
    }

    ParamState s;
    for (int i = 0; i < velmora::kNumSwitches; ++i) {
        s.switches[static_cast<size_t>(i)] = static_cast<int32_t>(readLE32(fields[i])) > 0;
    }
    for (int i = 0; i < velmora::kNumContinuous; ++i) {
        const float v = std::bit_cast<float>(readLE32(fields[velmora::kFirstContinuous + i]));
        // A damaged state must not reach the engine: a NaN turns every filter
        // it touches into NaN for good, and a value below 0 gives negative
        // times whose envelopes grow without bound. Values are kept to 0..1
        // as everywhere else, and a NaN restores the field's start value.
        s.values[static_cast<size_t>(i)] =
            std::isnan(v)
                ? scaling_.defaultNormalized(static_cast<uint32_t>(velmora::kFirstContinuous + i))
                : std::clamp(v, 0.0f, 1.0f);
    }
    s.sequence = ++writtenSequence_;
    lastWrittenState_ = s;

    if (handOffStates()) {
        stateHandoff_.writeSlot() = s;
        stateHandoff_.publish();
    } else {
        // An older state handed off before processing stopped must not
        // overwrite this one when processing resumes.
        stateHandoff_.take(pendingState_);
        applyState(s);
    }
    return kResultOk;
}

tresult PLUGIN_API again::getState(IBStream* state) {
    if (state == nullptr) {
        return kResultFalse;
    }
    published_.take(lastPublished_);
    // A state handed to the audio thread but not yet applied is the one the
    // user will hear next, so it is the one to save.
    const ParamState& s =
        lastPublished_.sequence < writtenSequence_ ? lastWrittenState_ : lastPublished_;
    for (int i = 0; i < velmora::kNumStateParams; ++i) {
        unsigned char field[4];
        if (i < velmora::kNumSwitches) {
            writeLE32(field, s.switches[static_cast<size_t>(i)] ? 1u : 0u);
        } else {
            writeLE32(field, std::bit_cast<uint32_t>(
                                 s.values[static_cast<size_t>(i - velmora::kFirstContinuous)]));
        }
        if (state->write(field, 4, nullptr) != kResultOk) {
            return kResultFalse;
        }
    }
    return kResultOk;
}

tresult PLUGIN_API again::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                             SpeakerArrangement* outputs, int32 numOuts) {
    if (audioInputs.empty()) {
        return kResultFalse;
    }
    // Re-declaring buses reallocates the engine's channel state, which must
    // never happen under a running process call; a proposal without a main
    // input and output has nothing to build the buses from.
    if (active_.load(std::memory_order_acquire) || inputs == nullptr || outputs == nullptr ||
        numIns < 1 || numOuts < 1) {
        return kResultFalse;
    }
    const int inCount = speakerCount(inputs[0]);
    const int outCount = speakerCount(outputs[0]);
    // The side-chain takes the arrangement proposed for it, so that what is
    // answered is what getBusArrangement reports. A host that proposes the
    // main buses only gets the side-chain in the main input's arrangement.
    const bool auxProposed = numIns >= 2;
    const SpeakerArrangement auxArrangement = auxProposed ? inputs[1] : inputs[0];
    const int auxCount = auxProposed ? speakerCount(inputs[1]) : std::max(inCount, 2);

    removeAudioBusses();
    String128 name;
    busName(name, "In (%d Ch)", inCount);
    addAudioInput(name, inputs[0], kMain, BusInfo::kDefaultActive);
    busName(name, "Out (%d Ch)", outCount);
    addAudioOutput(name, outputs[0], kMain, BusInfo::kDefaultActive);
    busName(name, "Aux (%d Ch)", auxCount);
    addAudioInput(name, auxArrangement, kAux, 0);

    // The engine detects on the side-chain or, with it off, on the main
    // input, so it keeps a detection channel for each channel of either.
    resizeChannelTables(inCount, outCount, auxCount, std::max(inCount, auxCount));
    return kResultOk;
}

tresult PLUGIN_API again::setupProcessing(ProcessSetup& setup) {
    // Every time constant and filter is derived from the rate, so a rate
    // that is no rate at all is refused before anything is stored. Sample
    // counts are 32-bit, which rules out rates far beyond any audio use.
    const float rate = static_cast<float>(setup.sampleRate);
    if (!std::isfinite(setup.sampleRate) || !(rate >= kMinSampleRate) ||
        !(rate <= kMaxSampleRate)) {
        return kInvalidArgument;
    }
    // A new rate reconfigures the engine, which must not happen under a
    // running block; hosts only set up while the component is inactive.
    const bool rateChanges = initialized_ && rate != engine_.sampleRate();
    if (rateChanges && active_.load(std::memory_order_acquire)) {
        return kResultFalse;
    }
    const tresult result = AudioEffect::setupProcessing(setup);
    if (result != kResultOk) {
        return result;
    }
    // Every time constant, the meter interval and the filters follow the
    // host's rate, not the 44.1 kHz default the processor was built with.
    if (rateChanges) {
        engine_.setSampleRate(rate);
        pushAllToEngine(true);
    }
    return kResultOk;
}

uint32 PLUGIN_API again::getTailSamples() {
    const double samples = std::ceil(kTailSeconds * static_cast<double>(engine_.sampleRate()));
    // kInfiniteTail is the largest value and means something else.
    constexpr double kLargest = static_cast<double>(kInfiniteTail - 1);
    return static_cast<uint32>(std::clamp(samples, 0.0, kLargest));
}

tresult PLUGIN_API again::process(ProcessData& data) {
    applyPendingState();

    bool changed = false;
    if (IParameterChanges* changes = data.inputParameterChanges) {
        const int32 count = changes->getParameterCount();
        for (int32 i = 0; i < count; ++i) {
            IParamValueQueue* queue = changes->getParameterData(i);
            if (queue == nullptr) {
                continue;
            }
            const int32 points = queue->getPointCount();
            const ParamID id = queue->getParameterId();
            int32 offset = 0;
            ParamValue value = 0.0;
            if (points <= 0 || id >= static_cast<ParamID>(velmora::kNumStateParams) ||
                queue->getPoint(points - 1, offset, value) != kResultOk) {
                continue;
            }
            // A value no host should send would otherwise reach the filter
            // designs and the time constants as it is.
            if (!std::isfinite(value)) {
                continue;
            }
            applyParameter(static_cast<ParamId>(id),
                           static_cast<float>(std::clamp(value, 0.0, 1.0)));
            changed = true;
        }
    }
    if (changed) {
        publishLive();
    }

    if (data.numInputs <= 0 || data.numOutputs <= 0 || data.inputs == nullptr ||
        data.outputs == nullptr || data.numSamples <= 0) {
        return kResultOk;
    }

    AudioBusBuffers& in = data.inputs[0];
    AudioBusBuffers& out = data.outputs[0];
    if (in.silenceFlags != 0) {
        out.silenceFlags = in.silenceFlags;
        if (out.channelBuffers32 != nullptr) {
            for (int32 c = 0; c < out.numChannels; ++c) {
                float* buffer = out.channelBuffers32[c];
                const float* shared = (in.numChannels > 0 && in.channelBuffers32 != nullptr)
                                          ? in.channelBuffers32[c % in.numChannels]
                                          : nullptr;
                if (buffer != nullptr && buffer != shared) {
                    std::memset(buffer, 0, sizeof(float) * static_cast<size_t>(data.numSamples));
                }
            }
        }
        return kResultOk;
    }
    out.silenceFlags = 0;

    processAudio(data);
    sendMeters(data.outputParameterChanges);
    return kResultOk;
}

void again::processAudio(ProcessData& data) {
    AudioBusBuffers& in = data.inputs[0];
    AudioBusBuffers& out = data.outputs[0];

    // A side-chain bus without channels can carry no key.
    const bool sidechainActive =
        audioInputs.size() > 1 && audioInputs[1]->isActive() && data.numInputs > 1 && auxCount_ > 0;
    AudioBusBuffers* aux = sidechainActive ? &data.inputs[1] : nullptr;
    // A side-chain bus that arrives without channels is a silent key, not
    // the main input.
    const int auxChannels =
        aux == nullptr ? 0
                       : (aux->numChannels > 0 ? std::min(aux->numChannels, auxCount_) : auxCount_);

    // The engine works with the configured channel counts. Whatever the host
    // failed to deliver reads as silence and is written to a scratch buffer,
    // so a short or broken ProcessData never makes it read or write out of
    // bounds.
    auto hostChannel = [](AudioBusBuffers* bus, int c) -> float* {
        if (bus == nullptr || bus->channelBuffers32 == nullptr || c >= bus->numChannels) {
            return nullptr;
        }
        return bus->channelBuffers32[c];
    };
    bool gaps = false;
    for (int c = 0; c < inCount_; ++c) {
        inHost_[static_cast<size_t>(c)] = hostChannel(&in, c);
        gaps |= inHost_[static_cast<size_t>(c)] == nullptr;
    }
    for (int c = 0; c < auxChannels; ++c) {
        auxHost_[static_cast<size_t>(c)] = hostChannel(aux, c);
        gaps |= auxHost_[static_cast<size_t>(c)] == nullptr;
    }
    for (int c = 0; c < outCount_; ++c) {
        outHost_[static_cast<size_t>(c)] = hostChannel(&out, c);
        gaps |= outHost_[static_cast<size_t>(c)] == nullptr;
    }

    const int total = data.numSamples;
    const int step = gaps ? kScratchFrames : total;
    for (int start = 0; start < total; start += step) {
        const int n = std::min(step, total - start);
        for (int c = 0; c < inCount_; ++c) {
            const float* p = inHost_[static_cast<size_t>(c)];
            inPtrs_[static_cast<size_t>(c)] = p != nullptr ? p + start : silence_.data();
        }
        for (int c = 0; c < auxChannels; ++c) {
            const float* p = auxHost_[static_cast<size_t>(c)];
            auxPtrs_[static_cast<size_t>(c)] = p != nullptr ? p + start : silence_.data();
        }
        for (int c = 0; c < outCount_; ++c) {
            float* p = outHost_[static_cast<size_t>(c)];
            outPtrs_[static_cast<size_t>(c)] = p != nullptr ? p + start : discard_.data();
        }
        if (aux != nullptr) {
            engine_.processBlockSidechain(auxPtrs_.data(), inPtrs_.data(), outPtrs_.data(),
                                          auxChannels, n);
        } else {
            engine_.processBlock(inPtrs_.data(), outPtrs_.data(), n);
        }
    }

    // Channels beyond the configured layout carry silence, not stale data.
    if (out.channelBuffers32 != nullptr) {
        for (int c = outCount_; c < out.numChannels; ++c) {
            if (float* buffer = out.channelBuffers32[c]) {
                std::memset(buffer, 0, sizeof(float) * static_cast<size_t>(total));
            }
        }
    }
}

void again::sendMeters(IParameterChanges* changes) {
    if (changes == nullptr) {
        return;
    }
    const float readouts[4] = {engine_.maxVu(), engine_.minVu(), engine_.maxGateLevel(),
                               engine_.minGateLevel()};
    const ParamId ids[4] = {ParamId::kMaxVu, ParamId::kMinVu, ParamId::kMaxGateLevel,
                            ParamId::kMinGateLevel};
    for (int i = 0; i < 4; ++i) {
        int32 index = 0;
        IParamValueQueue* queue = changes->addParameterData(static_cast<ParamID>(ids[i]), index);
        if (queue != nullptr) {
            int32 pointIndex = 0;
            queue->addPoint(0, static_cast<ParamValue>(meterValue(readouts[i])), pointIndex);
        }
    }
}

tresult PLUGIN_API again::notify(IMessage* message) {
    if (message == nullptr) {
        return kInvalidArgument;
    }
    if (FIDStringsEqual(message->getMessageID(), "BinaryMessage")) {
        const void* data = nullptr;
        uint32 size = 0;
        if (IAttributeList* attributes = message->getAttributes()) {
            if (attributes->getBinary("MyData", data, size) == kResultOk) {
                return kResultOk;
            }
        }
    }
    return AudioEffect::notify(message);
}

tresult again::receiveText(const char8* text) {
    std::fprintf(stderr, "[again] received: %s\n", text != nullptr ? text : "");
    return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
