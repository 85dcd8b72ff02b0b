// Turns the gate gain into the output: three bands, each blending between its
// closed level (gate shut) and its open level (gate open).
#pragma once

#include "filters/BandEdges.h"
#include "filters/CrossoverGainStage.h"

#include <vector>

namespace velmora {

class OutputBandSplitter {
public:
    OutputBandSplitter() = default;

    // Redesigns the gain stage at once; the band filters wait for an edge.
    void setSampleRate(double fs);
    // Allocates zeroed state here and in the gain stage; the only operation
    // that allocates.
    void setChannelCount(int n);

    // Both arm the edge fade, also with an unchanged value.
    void setBandEdge1(float hz);
    void setBandEdge2(float hz);

    void setOpenLevelLow(float g) { levels_[0] = g; }
    void setOpenLevelMid(float g) { levels_[2] = g; }
    void setOpenLevelHigh(float g) { levels_[4] = g; }
    void setClosedLevelLow(float g) { levels_[1] = g; }
    void setClosedLevelMid(float g) { levels_[3] = g; }
    void setClosedLevelHigh(float g) { levels_[5] = g; }

    // The scalar reference. Channel 0 must come first in every frame: it
    // advances the fade.
    float processSample(float x, int channel, float g);

    // Frames of every channel on the selected instruction set, frame-major
    // (channel c of frame t at t * channelCount + c): input x, gate gain g,
    // output y. The same result as processSample for every channel of every
    // frame in turn.
    void processBlock(const float* x, const float* g, float* y, int frames);

    // The best path the processor has unless a test or benchmark asks for
    // another; supported paths only (simdPathSupported).
    void setSimdPath(SimdPath path);
    SimdPath simdPath() const { return path_; }

    // Clears the six band sections only; the gain stage keeps its state.
    void resetState();
    void redesign();

    double sampleRate() const { return edges_.sampleRate(); }
    int channelCount() const { return channelCount_; }
    double edge1Hz() const { return edges_.edge1Hz(); }
    double edge2Hz() const { return edges_.edge2Hz(); }
    const BiquadCoeffs& lowCoeffs() const { return edges_.lowCoeffs(); }
    const BandpassSections& midSections() const { return edges_.midSections(); }
    const BiquadCoeffs& highCoeffs() const { return edges_.highCoeffs(); }
    const CrossoverGainStage& gainStage() const { return gainStage_; }

    // Every state value of the band filters, for checks on the numbers the
    // filters carry.
    template <class F> void forEachStateValue(F f) const {
        for (const BandPair& p : state_) {
            forEachLane(p, f);
        }
    }
    bool fading() const { return edges_.fading(); }
    bool fadingOut() const { return edges_.fadingOut(); }
    double fadeValue() const { return edges_.fadeValue(); }
    double fadeGain() const { return edges_.fadeGain(); }
    double fadeCoef() const { return edges_.fadeCoef(); }

private:
    // Advances the fade (once per frame) and returns the input gain.
    double fadeFrame();
    OutputBlock block(const float* x, const float* g, float* y, double fade, int frames);

    int channelCount_ = 0;
    CrossoverGainStage gainStage_;
    // The fade falls to -80 dB.
    BandEdges edges_{1e-4};
    // open low, closed low, open mid, closed mid, open high, closed high
    double levels_[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::vector<BandPair> state_;
    SimdPath path_ = bestSimdPath();
    const BlockKernels* kernels_ = &blockKernels(path_);
};

} // namespace velmora
