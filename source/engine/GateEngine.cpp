#include "engine/GateEngine.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace velmora {

namespace {

constexpr float kFloatMax = std::numeric_limits<float>::max();

// Raises tiny values to the silence floor so no denormal reaches a filter,
// and treats NaN and infinity as silence so they cannot poison filter state.
inline float guardInput(float x) {
    const float a = std::fabs(x);
    return (a >= GateEngine::kSilence && a <= kFloatMax) ? x : GateEngine::kSilence;
}

// Keeps a finite but huge value from overflowing to infinity on its way
// through a gain or a square.
inline float saturate(float x) {
    return std::min(std::max(x, -kFloatMax), kFloatMax);
}

// Channel c of a set of `count` channels, wrapping around; count > 0.
inline int wrap(int c, int count) {
    return c < count ? c : c % count;
}

} // namespace

GateEngine::GateEngine()
    : rampFrame_(static_cast<size_t>(kChunk), 1.0f),
      randomState_(static_cast<uint32_t>(std::time(nullptr))) {}

// ---------------------------------------------------------------- set-up

void GateEngine::setSampleRate(float fs) {
    sampleRate_ = fs;
    controlSplitter_.setSampleRate(fs);
    outputSplitter_.setSampleRate(fs);
    rampGain_ = 1.0f;
    rampFalling_ = true;
    rampActive_ = false;
    rampHeld_ = false;
    rampFloor_ = 0.01f;
    // A fall from 1 to the floor takes 10 ms.
    rampCoef_ = static_cast<float>(std::pow(0.01, 1.0 / (static_cast<double>(fs) * 10.0 * 0.001)));
    meterInterval_ = static_cast<int>(static_cast<double>(fs) * 50.0 / 1000.0);
}

void GateEngine::setInputChannels(int n) {
    inputChannels_ = std::max(n, 0);
    frame_.assign(static_cast<size_t>(inputChannels_), 0.0f);
}

void GateEngine::setOutputChannels(int n) {
    outputChannels_ = std::max(n, 0);
    outputSplitter_.setChannelCount(outputChannels_);
    gates_.assign(static_cast<size_t>(outputChannels_), ChannelGateState{});
    const size_t chunk = static_cast<size_t>(kChunk * outputChannels_);
    audioFrame_.assign(chunk, 0.0f);
    gainFrame_.assign(chunk, 0.0f);
    outputFrame_.assign(chunk, 0.0f);
}

void GateEngine::setSidechainChannels(int n) {
    sidechainChannels_ = std::max(n, 0);
    controlSplitter_.setChannelCount(sidechainChannels_);
    const size_t size = static_cast<size_t>(sidechainChannels_);
    meanSquare_.assign(size, 0.0f);
    controlSample_.assign(size, 0.0f);
    levelPeak_.assign(size, 0.0f);
    controlIn_.assign(size * kChunk, 0.0f);
    controlOut_.assign(size * kChunk, 0.0f);
}

void GateEngine::setSimdPath(SimdPath path) {
    controlSplitter_.setSimdPath(path);
    outputSplitter_.setSimdPath(path);
}

// ------------------------------------------------------------ parameters

namespace {

// The one-pole factor that moves by the ratio `ratio` in n samples.
inline float poleFor(double ratio, double n) {
    return static_cast<float>(std::pow(ratio, 1.0 / n));
}

inline float pow8(float c) {
    const double c2 = static_cast<double>(c) * c;
    const double c4 = c2 * c2;
    return static_cast<float>(c4 * c4);
}

} // namespace

float GateEngine::dbToGain(float db) const {
    return static_cast<float>(
        std::pow(static_cast<double>(dbBase_), static_cast<double>(db) / dbDivisor_));
}

double GateEngine::samplesIn(float ms) const {
    return static_cast<double>(ms) * 0.001 * static_cast<double>(sampleRate_);
}

int GateEngine::samples(float ms) const {
    const double v = samplesIn(ms) + 0.5;
    // Only out-of-range settings get here; keep the conversion defined.
    if (!(v >= 0.0)) {
        return 0;
    }
    return v > 1e9 ? 1000000000 : static_cast<int>(v);
}

void GateEngine::setBypass(bool on) {
    rampActive_ = true;
    pendingBypass_ = true;
    nextBypass_ = on;
}

void GateEngine::setCtrlOut(bool on) {
    rampActive_ = true;
    pendingCtrlOut_ = true;
    nextCtrlOut_ = on;
}

void GateEngine::setDetectionMethod(bool rms) {
    rms_ = rms;
}
void GateEngine::setChannelMode(bool linked) {
    linked_ = linked;
}
void GateEngine::setGateMode(bool duck) {
    duck_ = duck;
}
void GateEngine::setAttEnvelope(bool gradual) {
    gradual_ = gradual;
}

void GateEngine::setInputLev(float db) {
    inputGain_ = dbToGain(db);
}
void GateEngine::setOutputLev(float db) {
    outputGain_ = dbToGain(db);
}
void GateEngine::setThreshold(float db) {
    threshold_ = dbToGain(db);
}

void GateEngine::setTimeRms(float ms) {
    rmsCoef_ = poleFor(0.001, samplesIn(ms));
}

void GateEngine::setTimeAtt1(float ms) {
    gradAttackCoef_ = poleFor(0.001, samplesIn(ms));
    gradAttackSmooth_ = pow8(gradAttackCoef_);
}

void GateEngine::setTimeAtt2(float ms) {
    // From 0 towards 1.3, the gain passes 0.999 after exactly n samples.
    synthAttackCoef_ = poleFor(1.0 - (1.0 - 0.001) / 1.3, samplesIn(ms));
    synthAttackSmooth_ = pow8(synthAttackCoef_);
}

void GateEngine::setTimeRel(float ms) {
    releaseCoef_ = poleFor(0.001, samplesIn(ms));
    releaseSmooth_ = pow8(releaseCoef_);
}

void GateEngine::setHoldOpenTime(float ms) {
    holdSamples_ = samples(ms);
}
void GateEngine::setHoldClosedTime(float ms) {
    muteSamples_ = samples(ms);
}
void GateEngine::setHoldClosedProb(float probability) {
    beatSkipProb_ = probability;
}

// Both recompute the limit from the other's stored value, so their order
// does not matter.
void GateEngine::setAttDelayTime(float ms) {
    delaySamples_ = samples(ms);
    truncateOn_ = truncateMs_ != 0.0f;
    truncateLimit_ = delaySamples_ + samples(truncateMs_);
}

void GateEngine::setAttIsoTime(float ms) {
    truncateMs_ = ms;
    truncateOn_ = ms != 0.0f;
    truncateLimit_ = samples(ms) + delaySamples_;
}

void GateEngine::setDetFreq1(float hz) {
    controlSplitter_.setBandEdge1(hz);
}
void GateEngine::setDetFreq2(float hz) {
    controlSplitter_.setBandEdge2(hz);
}
void GateEngine::setDetLevLo(float db) {
    controlSplitter_.setLowWeight(dbToGain(db));
}
void GateEngine::setDetLevMid(float db) {
    controlSplitter_.setMidWeight(dbToGain(db));
}
void GateEngine::setDetLevHi(float db) {
    controlSplitter_.setHighWeight(dbToGain(db));
}
void GateEngine::setSigFreq1(float hz) {
    outputSplitter_.setBandEdge1(hz);
}
void GateEngine::setSigFreq2(float hz) {
    outputSplitter_.setBandEdge2(hz);
}
void GateEngine::setCeilLevLo(float db) {
    outputSplitter_.setOpenLevelLow(dbToGain(db));
}
void GateEngine::setCeilLevMid(float db) {
    outputSplitter_.setOpenLevelMid(dbToGain(db));
}
void GateEngine::setCeilLevHi(float db) {
    outputSplitter_.setOpenLevelHigh(dbToGain(db));
}
void GateEngine::setFloorLevLo(float db) {
    outputSplitter_.setClosedLevelLow(dbToGain(db));
}
void GateEngine::setFloorLevMid(float db) {
    outputSplitter_.setClosedLevelMid(dbToGain(db));
}
void GateEngine::setFloorLevHi(float db) {
    outputSplitter_.setClosedLevelHigh(dbToGain(db));
}

// ------------------------------------------------------- gate state machine

int GateEngine::nextRandom() {
    randomState_ = randomState_ * 214013u + 2531011u;
    return static_cast<int>((randomState_ >> 16) & 0x7fffu);
}

inline __attribute__((always_inline)) void GateEngine::stepEnvelope(bool up,
                                                                    ChannelGateState& s) const {
    float g = s.gain;
    float sm = s.smoothGain;
    if (up && gradual_) {
        // A constant number of dB per sample, from no lower than -60 dB.
        g = g / gradAttackCoef_;
        if (g < timeBase_) {
            g = timeBase_;
        } else if (g > 1.0f) {
            g = 1.0f;
        }
        sm = g * (1.0f - gradAttackSmooth_) + gradAttackSmooth_ * sm;
    } else if (up) {
        // Aims past 1 so that the climb ends in finite time.
        g = (1.0f - synthAttackCoef_) * synthTarget_ + g * synthAttackCoef_;
        if (g > 1.0f) {
            g = 1.0f;
        }
        sm = (1.0f - synthAttackSmooth_) * g + synthAttackSmooth_ * sm;
    } else {
        g = releaseCoef_ * g;
        if (g < gainFloor_) {
            g = gainFloor_;
        }
        sm = g * (1.0f - releaseSmooth_) + sm * releaseSmooth_;
    }
    s.gain = g;
    s.smoothGain = sm;
}

inline __attribute__((always_inline)) bool GateEngine::stepGate(ChannelGateState& s, float level,
                                                                float threshold) {
    // A level that does not compare (NaN) counts as below the threshold.
    if (level > threshold) {
        s.holdCount = 0;
        s.open = true;
    } else if (s.holdCount < holdSamples_) {
        ++s.holdCount;
    } else {
        s.open = false;
    }

    if (s.open) {
        if (s.delayCount < delaySamples_) {
            ++s.delayCount;
            s.inDelay = true;
        } else {
            s.inDelay = false;
        }
    } else {
        s.delayCount = 0;
        s.inDelay = false;
    }

    if (s.open) {
        if (s.truncateCount < truncateLimit_) {
            ++s.truncateCount;
            s.noteActive = true;
        } else {
            s.noteActive = !truncateOn_;
        }
    } else {
        s.truncateCount = 0;
        s.noteActive = false;
    }

    if (s.open && !s.wasOpen) {
        s.skipped = static_cast<float>(nextRandom()) / 32767.0f < beatSkipProb_;
    }

    // A closing during muting does not restart the count.
    if (!s.open && s.wasOpen) {
        s.muting = true;
    }
    if (s.muting) {
        if (s.muteCount < muteSamples_) {
            ++s.muteCount;
        } else {
            s.muting = false;
            s.muteCount = 0;
        }
    }

    s.wasOpen = s.open;

    const bool pass = s.open && !s.inDelay && s.noteActive && !s.muting && !s.skipped;
    stepEnvelope(duck_ ? !pass : pass, s);
    return pass;
}

bool GateEngine::gateStep(float level, float threshold, int ch) {
    return stepGate(gates_[static_cast<size_t>(ch)], level, threshold);
}

void GateEngine::envelopeStep(bool up, int ch) {
    envelopeStep(up, gates_[static_cast<size_t>(ch)]);
}

void GateEngine::envelopeStep(bool up, ChannelGateState& s) const {
    stepEnvelope(up, s);
}

// ------------------------------------------------------------------ blocks

void GateEngine::processBlock(const float* const* inputs, float* const* outputs, int numSamples) {
    if (numSamples <= 0) {
        return;
    }
    releaseRampHold();
    if (bypass_) {
        processBypass(inputs, outputs, numSamples);
        return;
    }
    // The detection arrays hold sidechainChannels entries.
    const int detCount = std::min(inputChannels_, sidechainChannels_);
    runSelected(inputs, detCount, inputs, inputChannels_, outputs, numSamples);
}

void GateEngine::processBlockSidechain(const float* const* sidechain, const float* const* inputs,
                                       float* const* outputs, int sidechainChannels,
                                       int numSamples) {
    if (numSamples <= 0) {
        return;
    }
    releaseRampHold();
    if (bypass_) {
        processBypass(inputs, outputs, numSamples);
        return;
    }
    const int detCount = std::max(0, std::min(sidechainChannels, sidechainChannels_));
    runSelected(sidechain, detCount, inputs, inputChannels_, outputs, numSamples);
}

void GateEngine::runSelected(const float* const* det, int detCount, const float* const* audio,
                             int audioCount, float* const* out, int n) {
    if (detCount <= 0 || audioCount <= 0) {
        processEmpty(out, n);
        return;
    }
    if (rms_) {
        if (linked_) {
            processRmsLinked(det, detCount, audio, audioCount, out, n);
        } else {
            processRmsIndependent(det, detCount, audio, audioCount, out, n);
        }
    } else {
        if (linked_) {
            processPeakLinked(det, detCount, audio, audioCount, out, n);
        } else {
            processPeakIndependent(det, detCount, audio, audioCount, out, n);
        }
    }
}

void GateEngine::processPeakLinked(const float* const* det, int detCount, const float* const* audio,
                                   int audioCount, float* const* out, int n) {
    runRoutine<false, true>(det, detCount, audio, audioCount, out, n);
}

void GateEngine::processPeakIndependent(const float* const* det, int detCount,
                                        const float* const* audio, int audioCount,
                                        float* const* out, int n) {
    runRoutine<false, false>(det, detCount, audio, audioCount, out, n);
}

void GateEngine::processRmsLinked(const float* const* det, int detCount, const float* const* audio,
                                  int audioCount, float* const* out, int n) {
    runRoutine<true, true>(det, detCount, audio, audioCount, out, n);
}

void GateEngine::processRmsIndependent(const float* const* det, int detCount,
                                       const float* const* audio, int audioCount, float* const* out,
                                       int n) {
    runRoutine<true, false>(det, detCount, audio, audioCount, out, n);
}

template <bool Rms, bool Linked>
void GateEngine::runRoutine(const float* const* det, int detCount, const float* const* audio,
                            int audioCount, float* const* out, int n) {
    const bool ctrl = ctrlOut_;
    const int outs = outputChannels_;
    const float thr = Rms ? threshold_ * threshold_ : threshold_;
    // Only the audio channels some output reads; none when listening to
    // the control signal.
    const int audioReads = ctrl ? 0 : std::min({audioCount, outs, static_cast<int>(frame_.size())});

    // The splitters run a chunk of frames at a time, which lets consecutive
    // frames overlap in the processor. Every input of a chunk is read before
    // any of its outputs is written, since outputs may share the inputs'
    // memory.
    for (int i0 = 0; i0 < n; i0 += kChunk) {
        const int m = std::min(kChunk, n - i0);

        float* controlIn = controlIn_.data();
        for (int d = 0; d < detCount; ++d) {
            const float* x = det[d] + i0;
            for (int t = 0; t < m; ++t) {
                controlIn[t * detCount + d] = saturate(guardInput(x[t]) * inputGain_);
            }
        }
        controlSplitter_.processBlock(controlIn, controlOut_.data(), detCount, m);

        for (int t = 0; t < m; ++t) {
            const float* controlOut = controlOut_.data() + t * detCount;
            float linkedLevel = kSilence;
            for (int d = 0; d < detCount; ++d) {
                const float cs = saturate(controlOut[d]);
                controlSample_[static_cast<size_t>(d)] = cs;
                float level;
                if constexpr (Rms) {
                    float& ms = meanSquare_[static_cast<size_t>(d)];
                    ms = std::min((1.0f - rmsCoef_) * (cs * cs) + rmsCoef_ * ms, kFloatMax);
                    // After the signal stops the mean square decays until it
                    // sticks at a denormal, which costs many cycles per
                    // multiply on some processors; no threshold is anywhere
                    // near it.
                    if (ms < std::numeric_limits<float>::min()) {
                        ms = 0.0f;
                    }
                    level = ms;
                } else {
                    level = std::fabs(cs);
                }
                if constexpr (Linked) {
                    if (level > linkedLevel) {
                        linkedLevel = level;
                    }
                } else {
                    float& peak = levelPeak_[static_cast<size_t>(d)];
                    peak = std::max(peak, level);
                }
            }

            float linkedGain = kSilence;
            if constexpr (Linked) {
                levelPeak_[0] = std::max(levelPeak_[0], linkedLevel);
                if (outs > 0) {
                    stepGate(gates_[0], linkedLevel, thr);
                    linkedGain = gates_[0].smoothGain;
                }
            }

            const float r = rampActive_ ? switchRamp() : 1.0f;
            rampFrame_[static_cast<size_t>(t)] = r;

            float* gains = gainFrame_.data() + t * outs;
            float* audioIn = audioFrame_.data() + t * outs;
            for (int c = 0; c < outs; ++c) {
                float g = linkedGain;
                if constexpr (!Linked) {
                    const size_t d = static_cast<size_t>(wrap(c, detCount));
                    const float level = Rms ? meanSquare_[d] : std::fabs(controlSample_[d]);
                    stepGate(gates_[static_cast<size_t>(c)], level, thr);
                    g = gates_[static_cast<size_t>(c)].smoothGain;
                }
                if (ctrl) {
                    // Nothing of the chunk's audio is read when listening
                    // to the control signal, and its detection input has
                    // been read already.
                    out[c][i0 + t] =
                        c < detCount ? controlSample_[static_cast<size_t>(c)] * r : kSilence;
                } else {
                    // The chunk's outputs are written only after all of
                    // its audio has been read.
                    gains[c] = g;
                    audioIn[c] = guardInput(audio[wrap(c, audioReads)][i0 + t]);
                }
            }
        }

        if (!ctrl && outs > 0) {
            const float* y = outputFrame_.data();
            outputSplitter_.processBlock(audioFrame_.data(), gainFrame_.data(), outputFrame_.data(),
                                         m);
            const float* ramp = rampFrame_.data();
            for (int c = 0; c < outs; ++c) {
                float* o = out[c] + i0;
                for (int t = 0; t < m; ++t) {
                    o[t] = saturate(y[t * outs + c] * outputGain_) * ramp[t];
                }
            }
        }
    }

    meterCounter_ += n;
    if (meterCounter_ >= meterInterval_) {
        meterCounter_ = 0;
        updateMeters(detCount, Linked, Rms);
    }
}

void GateEngine::processBypass(const float* const* in, float* const* out, int n) {
    const int copies = std::min({inputChannels_, outputChannels_, static_cast<int>(frame_.size())});
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < copies; ++c) {
            frame_[static_cast<size_t>(c)] = guardInput(in[c][i]);
        }
        const float r = rampActive_ ? switchRamp() : 1.0f;
        for (int c = 0; c < copies; ++c) {
            out[c][i] = frame_[static_cast<size_t>(c)] * r;
        }
        for (int c = copies; c < outputChannels_; ++c) {
            out[c][i] = kSilence;
        }
    }
    clearReadouts();
}

// Nothing to detect or nothing to gate: the outputs carry the silence floor,
// the gates and the meter count stand still, and a running ramp carries on
// so that a waiting mode change still arrives.
void GateEngine::processEmpty(float* const* out, int n) {
    for (int i = 0; i < n && rampActive_; ++i) {
        switchRamp();
    }
    for (int c = 0; c < outputChannels_; ++c) {
        std::fill(out[c], out[c] + n, kSilence);
    }
    clearReadouts();
}

float GateEngine::switchRamp() {
    if (rampHeld_) {
        return rampGain_;
    }
    if (rampFalling_) {
        rampGain_ = rampCoef_ * rampGain_;
        if (rampFloor_ >= rampGain_) {
            rampGain_ = 0.01f;
            const bool wasBypass = bypass_;
            const bool wasCtrlOut = ctrlOut_;
            applyPendingSwitches();
            rampFalling_ = false;
            // Only a mode that changed has to wait to be heard; an unchanged
            // value dips and rises the same whatever the block size.
            rampHeld_ = bypass_ != wasBypass || ctrlOut_ != wasCtrlOut;
        }
        return rampGain_;
    }
    rampGain_ = rampGain_ * rampCoef_ + (1.0f - rampCoef_);
    if (rampGain_ >= 1.0f - 0.01f) {
        rampGain_ = 1.0f;
        rampFalling_ = true;
        // A value that arrived during the rise gets a fall of its own, so
        // that the mode in force always ends up as the last one asked for.
        rampActive_ = pendingBypass_ || pendingCtrlOut_;
        return 1.0f;
    }
    return rampGain_;
}

// Values that arrive while the ramp waits at its bottom switch there too:
// the output is still down at the floor.
void GateEngine::releaseRampHold() {
    if (rampHeld_) {
        applyPendingSwitches();
        rampHeld_ = false;
    }
}

void GateEngine::applyPendingSwitches() {
    if (pendingBypass_) {
        bypass_ = nextBypass_;
        pendingBypass_ = false;
    }
    if (pendingCtrlOut_) {
        ctrlOut_ = nextCtrlOut_;
        pendingCtrlOut_ = false;
    }
}

// ------------------------------------------------------------------ meters

void GateEngine::updateMeters(int detCount, bool linked, bool rms) {
    const int dets = linked ? std::min(detCount, 1) : detCount;
    float vuMax = kSilence;
    float vuMin = 1.0f;
    for (int d = 0; d < dets; ++d) {
        float& peak = levelPeak_[static_cast<size_t>(d)];
        if (peak > vuMax) {
            vuMax = peak;
        }
        if (peak < vuMin) {
            vuMin = peak;
        }
        peak = kSilence;
    }

    const int gates = linked ? std::min(outputChannels_, 1) : outputChannels_;
    float gateMax = kSilence;
    float gateMin = 1.0f;
    for (int c = 0; c < gates; ++c) {
        const float g = gates_[static_cast<size_t>(c)].smoothGain;
        if (g > gateMax) {
            gateMax = g;
        }
        if (g < gateMin) {
            gateMin = g;
        }
    }

    if (linked) {
        vuMin = kSilence;
        gateMin = gateMax;
    }
    // Mean squares become amplitudes.
    if (rms) {
        vuMax = std::sqrt(vuMax);
        if (!linked) {
            vuMin = std::sqrt(vuMin);
        }
    }
    // A silent mean square is 0 (the floor squared is below the float
    // range), and its meter value would be -infinity; readouts keep the
    // silence floor.
    maxVu_ = std::max(vuMax, kSilence);
    minVu_ = std::max(vuMin, kSilence);
    maxGateLevel_ = gateMax;
    minGateLevel_ = gateMin;
}

void GateEngine::clearReadouts() {
    maxVu_ = kSilence;
    minVu_ = kSilence;
    maxGateLevel_ = kSilence;
    minGateLevel_ = kSilence;
}

} // namespace velmora
