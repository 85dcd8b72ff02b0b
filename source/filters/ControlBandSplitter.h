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

    // Channel 0 must come first in every frame: it advances the fade.
    float processSample(float x, int channel);

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

private:
    // The signal runs through the three weighted bands twice, each pass with
    // its own filter state.
    struct ChannelState {
        BandFilterState first;
        BandFilterState second;
    };

    double runPass(BandFilterState& p, double u) const;

    int channelCount_ = 0;
    // The fade falls to -40 dB.
    BandEdges edges_{0.01};
    double weightLow_ = 0.0;
    double weightMid_ = 0.0;
    double weightHigh_ = 0.0;
    std::vector<ChannelState> state_;
};

} // namespace velmora
