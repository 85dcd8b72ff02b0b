// Shapes the detection signal before its level is measured: three bands
// (below edge 1, between the edges, above edge 2), each weighted, summed, and
// then filtered and weighted a second time.
#pragma once

#include "filters/BandEdges.h"

#include <vector>

namespace velmora {

class ControlBandSplitter {
public:
    ControlBandSplitter() = default;

    void setSampleRate(double fs);
    // Allocates zeroed state; the only operation that allocates.
    void setChannelCount(int n);

    // Both arm the edge fade, also with an unchanged value.
    void setBandEdge1(float hz);
    void setBandEdge2(float hz);

    // Linear band gains; each pass applies the square root once.
    void setLowWeight(float g);
    void setMidWeight(float g);
    void setHighWeight(float g);

    // The scalar reference. Channel 0 must come first in every frame: it
    // advances the fade.
    float processSample(float x, int channel);

    // Frames of channels 0 to n - 1 (n <= channelCount) on the selected
    // instruction set, frame-major (channel c of frame t at t * n + c); the
    // same result as processSample for every channel of every frame in turn.
    void processBlock(const float* x, float* y, int n, int frames);

    // The best path the processor has unless a test or benchmark asks for
    // another; supported paths only (simdPathSupported).
    void setSimdPath(SimdPath path);
    SimdPath simdPath() const { return path_; }

    void resetState();
    void redesign();

    double sampleRate() const { return edges_.sampleRate(); }
    int channelCount() const { return channelCount_; }
    double edge1Hz() const { return edges_.edge1Hz(); }
    double edge2Hz() const { return edges_.edge2Hz(); }
    const BiquadCoeffs& lowCoeffs() const { return edges_.lowCoeffs(); }
    const BandpassSections& midSections() const { return edges_.midSections(); }
    const BiquadCoeffs& highCoeffs() const { return edges_.highCoeffs(); }
    bool fading() const { return edges_.fading(); }
    bool fadingOut() const { return edges_.fadingOut(); }
    double fadeValue() const { return edges_.fadeValue(); }
    double fadeGain() const { return edges_.fadeGain(); }
    double fadeCoef() const { return edges_.fadeCoef(); }

    // Every state value of the band filters, for checks on the numbers the
    // filters carry.
    template <class F> void forEachStateValue(F f) const {
        for (const BandPair& p : state_) {
            forEachLane(p, f);
        }
    }

private:
    ControlBlock block(const float* x, float* y, int n, int frames);

    int channelCount_ = 0;
    // The fade falls to -40 dB.
    BandEdges edges_{0.01};
    // low, mid, high
    double weights_[3] = {0.0, 0.0, 0.0};
    // The signal runs through the three weighted bands twice, each pass with
    // its own filter state: per channel pair, first pass then second.
    std::vector<BandPair> state_;
    SimdPath path_ = bestSimdPath();
    const BlockKernels* kernels_ = &blockKernels(path_);
};

} // namespace velmora
