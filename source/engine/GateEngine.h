// The gate's signal engine: detection through the control splitter, the gate
// state machine with its gain envelope, the output splitter, the click-free
// switching ramp for Bypass and Ctrl Out, and the four meter readouts.
#pragma once

#include "filters/ControlBandSplitter.h"
#include "filters/OutputBandSplitter.h"

#include <cstdint>
#include <vector>

namespace velmora {

// The gate of one output channel (linked mode uses only the first).
struct ChannelGateState {
    int32_t holdCount = 0;
    int32_t muteCount = 0;
    int32_t delayCount = 0;
    int32_t truncateCount = 0;
    bool inDelay = false;
    bool noteActive = false;
    bool open = false;
    bool muting = false;
    bool skipped = false;
    bool wasOpen = false;
    float gain = 0.001f;
    float smoothGain = 1e-6f;
};

class GateEngine {
public:
    // Floor for silence: quieter or unusable inputs are raised to it, and
    // empty outputs and idle meters carry it.
    static constexpr float kSilence = 1e-25f;

    GateEngine();

    // Set-up: never during a block. Only these allocate.
    void setSampleRate(float fs);
    void setInputChannels(int n);
    void setOutputChannels(int n);
    void setSidechainChannels(int n);

    // Parameters, in plain units (dB, ms, Hz, probability).
    void setBypass(bool on);
    void setCtrlOut(bool on);
    void setDetectionMethod(bool rms);
    void setChannelMode(bool linked);
    void setGateMode(bool duck);
    void setAttEnvelope(bool gradual);
    void setInputLev(float db);
    void setOutputLev(float db);
    void setThreshold(float db);
    void setTimeRms(float ms);
    void setTimeAtt1(float ms);
    void setTimeAtt2(float ms);
    void setTimeRel(float ms);
    void setHoldOpenTime(float ms);
    void setHoldClosedTime(float ms);
    void setHoldClosedProb(float probability);
    void setAttDelayTime(float ms);
    void setAttIsoTime(float ms);
    void setDetFreq1(float hz);
    void setDetFreq2(float hz);
    void setDetLevLo(float db);
    void setDetLevMid(float db);
    void setDetLevHi(float db);
    void setSigFreq1(float hz);
    void setSigFreq2(float hz);
    void setCeilLevLo(float db);
    void setCeilLevMid(float db);
    void setCeilLevHi(float db);
    void setFloorLevLo(float db);
    void setFloorLevMid(float db);
    void setFloorLevHi(float db);

    // The instruction set of the band splitters: the best the processor has
    // unless a test or benchmark asks for another (supported paths only,
    // simdPathSupported). Every path gives the same output bit for bit.
    void setSimdPath(SimdPath path);

    // Beat Skip's generator is seeded from the clock; tests pin it here.
    void seedRandom(uint32_t seed) { randomState_ = seed; }

    // Outputs may be the very buffers of the inputs. Inputs are never written.
    // An output with nothing to carry (past the input or detection channels,
    // or every output when either count is 0) holds kSilence exactly; the
    // switching ramp leaves it alone.
    void processBlock(const float* const* inputs, float* const* outputs, int numSamples);
    void processBlockSidechain(const float* const* sidechain, const float* const* inputs,
                               float* const* outputs, int sidechainChannels, int numSamples);

    // One sample of gate state ch against the threshold (both amplitudes, or
    // both mean squares); returns whether the gate passed the sample.
    bool gateStep(float level, float threshold, int ch);
    void envelopeStep(bool up, int ch);
    // The envelope on a caller's state, with this engine's settings.
    void envelopeStep(bool up, ChannelGateState& s) const;

    float maxVu() const { return maxVu_; }
    float minVu() const { return minVu_; }
    float maxGateLevel() const { return maxGateLevel_; }
    float minGateLevel() const { return minGateLevel_; }

    const ControlBandSplitter& controlSplitter() const { return controlSplitter_; }
    const OutputBandSplitter& outputSplitter() const { return outputSplitter_; }

    float sampleRate() const { return sampleRate_; }
    int inputChannels() const { return inputChannels_; }
    int outputChannels() const { return outputChannels_; }
    int sidechainChannels() const { return sidechainChannels_; }

    bool bypass() const { return bypass_; }
    bool ctrlOut() const { return ctrlOut_; }
    bool rms() const { return rms_; }
    bool linked() const { return linked_; }
    bool duck() const { return duck_; }
    bool gradual() const { return gradual_; }

    float inputGain() const { return inputGain_; }
    float outputGain() const { return outputGain_; }
    float threshold() const { return threshold_; }
    float rmsCoef() const { return rmsCoef_; }
    float gradAttackCoef() const { return gradAttackCoef_; }
    float gradAttackSmooth() const { return gradAttackSmooth_; }
    float synthAttackCoef() const { return synthAttackCoef_; }
    float synthAttackSmooth() const { return synthAttackSmooth_; }
    float releaseCoef() const { return releaseCoef_; }
    float releaseSmooth() const { return releaseSmooth_; }
    float beatSkipProb() const { return beatSkipProb_; }
    int holdSamples() const { return holdSamples_; }
    int muteSamples() const { return muteSamples_; }
    int delaySamples() const { return delaySamples_; }
    int truncateLimit() const { return truncateLimit_; }
    bool truncateOn() const { return truncateOn_; }
    float truncateMs() const { return truncateMs_; }

    float rampFloor() const { return rampFloor_; }
    float rampCoef() const { return rampCoef_; }
    float rampGain() const { return rampGain_; }
    bool rampFalling() const { return rampFalling_; }
    bool rampActive() const { return rampActive_; }
    bool rampHeld() const { return rampHeld_; }
    bool pendingBypass() const { return pendingBypass_; }
    bool pendingCtrlOut() const { return pendingCtrlOut_; }
    bool nextBypass() const { return nextBypass_; }
    bool nextCtrlOut() const { return nextCtrlOut_; }

    int meterInterval() const { return meterInterval_; }
    int meterCounter() const { return meterCounter_; }

    const ChannelGateState& gateState(int ch) const { return gates_[static_cast<size_t>(ch)]; }
    float gateGain(int ch) const { return gateState(ch).gain; }
    float smoothGain(int ch) const { return gateState(ch).smoothGain; }
    float meanSquare(int d) const { return meanSquare_[static_cast<size_t>(d)]; }
    float controlSample(int d) const { return controlSample_[static_cast<size_t>(d)]; }
    float levelPeak(int d) const { return levelPeak_[static_cast<size_t>(d)]; }

private:
    // The bodies of gateStep and envelopeStep, inlined into the block loops.
    bool stepGate(ChannelGateState& s, float level, float threshold);
    void stepEnvelope(bool up, ChannelGateState& s) const;

    template <bool Rms, bool Linked>
    void runRoutine(const float* const* det, int detCount, const float* const* audio,
                    int audioCount, float* const* out, int n);
    void processPeakLinked(const float* const* det, int detCount, const float* const* audio,
                           int audioCount, float* const* out, int n);
    void processPeakIndependent(const float* const* det, int detCount, const float* const* audio,
                                int audioCount, float* const* out, int n);
    void processRmsLinked(const float* const* det, int detCount, const float* const* audio,
                          int audioCount, float* const* out, int n);
    void processRmsIndependent(const float* const* det, int detCount, const float* const* audio,
                               int audioCount, float* const* out, int n);
    void runSelected(const float* const* det, int detCount, const float* const* audio,
                     int audioCount, float* const* out, int n);
    void processBypass(const float* const* in, float* const* out, int n);
    void processEmpty(float* const* out, int n);
    float switchRamp();
    void releaseRampHold();
    void applyPendingSwitches();
    void updateMeters(int detCount, bool linked, bool rms);
    void clearReadouts();
    int nextRandom();
    float dbToGain(float db) const;
    int samples(float ms) const;
    double samplesIn(float ms) const;

    float maxVu_ = kSilence;
    float minVu_ = kSilence;
    float maxGateLevel_ = kSilence;
    float minGateLevel_ = kSilence;
    ControlBandSplitter controlSplitter_;
    OutputBandSplitter outputSplitter_;
    float rampFloor_ = 0.01f;
    float rampCoef_ = 0.0f;
    bool rampFalling_ = true;
    float rampGain_ = 1.0f;
    bool rampActive_ = false;
    // After a mode change the ramp waits at its bottom until the next block
    // start, where the new mode is first heard; rising earlier would let the
    // old mode come back up and make the switch a hard cut with long blocks.
    bool rampHeld_ = false;
    bool pendingBypass_ = false;
    bool pendingCtrlOut_ = false;
    bool nextBypass_ = false;
    bool nextCtrlOut_ = false;
    float gainFloor_ = 1e-6f;
    float timeBase_ = 0.001f;
    float dbBase_ = 10.0f;
    float dbDivisor_ = 20.0f;
    int outputChannels_ = 0;
    int inputChannels_ = 0;
    int sidechainChannels_ = 0;
    float sampleRate_ = 0.0f;
    bool bypass_ = false;
    bool ctrlOut_ = false;
    bool rms_ = false;
    bool linked_ = false;
    bool duck_ = false;
    bool gradual_ = false;
    bool truncateOn_ = false;
    float inputGain_ = 1.0f;
    float outputGain_ = 1.0f;
    float threshold_ = 1.0f;
    float rmsCoef_ = 0.0f;
    float gradAttackCoef_ = 0.0f;
    float gradAttackSmooth_ = 0.0f;
    float synthAttackCoef_ = 0.0f;
    float synthAttackSmooth_ = 0.0f;
    float releaseCoef_ = 0.0f;
    float releaseSmooth_ = 0.0f;
    float synthTarget_ = 1.3f;
    float beatSkipProb_ = 0.0f;
    float truncateMs_ = 0.0f;
    int holdSamples_ = 0;
    int muteSamples_ = 0;
    int delaySamples_ = 0;
    int truncateLimit_ = 0;
    std::vector<float> meanSquare_;
    std::vector<float> controlSample_;
    std::vector<float> levelPeak_;
    std::vector<ChannelGateState> gates_;
    int meterInterval_ = 0;
    int meterCounter_ = 0;

    // One frame of the main input, read before any output of that frame is
    // written, since outputs may share the inputs' memory.
    std::vector<float> frame_;
    // Frames per run of the splitters.
    static constexpr int kChunk = 64;
    // A chunk through the splitters, frame-major: the control input and
    // output per detection channel; the audio, gate gain and output per
    // output channel; the switching ramp per frame.
    std::vector<float> controlIn_;
    std::vector<float> controlOut_;
    std::vector<float> audioFrame_;
    std::vector<float> gainFrame_;
    std::vector<float> outputFrame_;
    std::vector<float> rampFrame_;
    uint32_t randomState_ = 0;
};

} // namespace velmora
