// The plug-in's audio processor component: buses, parameter intake, the gate
// engine, meters and the processor state.
#pragma once

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "engine/GateEngine.h"
#include "processor/TripleBuffer.h"
#include "sdk/audioeffect.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace Steinberg {
namespace Vst {

class again : public AudioEffect {
public:
    again();
    ~again() override;

    static FUnknown* createInstance(void* context);

    tresult PLUGIN_API initialize(FUnknown* context) override;
    tresult PLUGIN_API terminate() override;
    tresult PLUGIN_API setActive(TBool state) override;
    tresult PLUGIN_API setProcessing(TBool state) override;
    tresult PLUGIN_API setState(IBStream* state) override;
    tresult PLUGIN_API getState(IBStream* state) override;
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) override;
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override;
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    uint32 PLUGIN_API getTailSamples() override;
    tresult PLUGIN_API process(ProcessData& data) override;
    tresult PLUGIN_API notify(IMessage* message) override;
    tresult receiveText(const char8* text) override;

    // The highest sample rate setupProcessing accepts, in Hz. The envelopes'
    // one-pole factors are single precision, so their distance from 1 comes
    // in steps of 2^-24. Up to here no time setting is further off than at
    // 768 kHz (long synth attacks by up to about 28 %); above it the 9 s
    // synth attack gets shorter still, stalls short of full gain from about
    // 2 MHz, and long times round to 1 and freeze from a few MHz.
    static constexpr float kMaxSampleRate = 1536000.0f;
    // The lowest: far below the 8 kHz no audio interface or file format
    // goes under, and where the shortest times (1 ms windows, the 50 ms
    // meter interval) still span whole samples. A rate of a fraction of a
    // hertz is a host's mistake, not a setting.
    static constexpr float kMinSampleRate = 1000.0f;

    // Seconds after which the output of a silent input has died away below
    // 1e-7. The longest ringing comes from a narrow mid band: about 7.6 s
    // for a 2 Hz wide one (10/12 Hz) behind +60 dB of input gain with Ctrl
    // Out on, after a full-scale input. A narrower band rings for roughly
    // 15 s divided by its width in Hz, which no fixed tail can cover.
    static constexpr double kTailSeconds = 10.0;

    // Read access for tests and tools.
    const velmora::GateEngine& engine() const { return engine_; }

    // The six switches and the 25 normalised values, in parameter-ID order.
    struct ParamState {
        std::array<bool, velmora::kNumSwitches> switches{};
        std::array<float, velmora::kNumContinuous> values{};
        uint64_t sequence = 0;
    };

private:
    void pushAllToEngine(bool limitControlEdges);
    void applyParameter(velmora::ParamId id, float value);
    void setSwitchInEngine(velmora::ParamId id, bool on);
    void setValueInEngine(velmora::ParamId id, float normalized);
    void resizeChannelTables(int inCount, int outCount, int auxCount, int detectionCount);
    void processAudio(ProcessData& data);
    void sendMeters(IParameterChanges* changes);
    bool handOffStates() const;
    // Reader side of the hand-off: the audio thread at the start of a block,
    // or the main thread once nothing processes.
    bool applyPendingState();
    void applyState(const ParamState& s);
    // Hands a copy of the live values to getState.
    void publishLive();

    float liveValue(velmora::ParamId id) const;
    void setLiveValue(velmora::ParamId id, float v);

    velmora::GateEngine engine_;
    velmora::ParameterScaling scaling_;

    // The values in force: written by the audio thread while processing,
    // by the main thread otherwise, like the engine's settings.
    ParamState live_;
    // getState reads whole copies of live_ that the audio side publishes
    // after changing it, never live_ itself: a save must not catch the two
    // edges of a pair from either side of a change that moved both.
    velmora::TripleBuffer<ParamState> published_;
    ParamState lastPublished_;

    // setState while processing hands the whole state to the audio thread,
    // which applies it at the start of its next block.
    velmora::TripleBuffer<ParamState> stateHandoff_;
    ParamState pendingState_;
    ParamState lastWrittenState_;
    uint64_t writtenSequence_ = 0;
    std::atomic<bool> active_{false};
    std::atomic<bool> processing_{false};
    bool initialized_ = false;

    int inCount_ = 0;
    int outCount_ = 0;
    int auxCount_ = 0;
    std::vector<const float*> inPtrs_;
    std::vector<const float*> auxPtrs_;
    std::vector<float*> outPtrs_;
    std::vector<const float*> inHost_;
    std::vector<const float*> auxHost_;
    std::vector<float*> outHost_;
    std::vector<float> silence_;
    std::vector<float> discard_;
};

} // namespace Vst
} // namespace Steinberg
