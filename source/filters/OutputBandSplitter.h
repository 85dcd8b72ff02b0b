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

    void setOpenLevelLow(float g) { openLow_ = g; }
    void setOpenLevelMid(float g) { openMid_ = g; }
    void setOpenLevelHigh(float g) { openHigh_ = g; }
    void setClosedLevelLow(float g) { closedLow_ = g; }
    void setClosedLevelMid(float g) { closedMid_ = g; }
    void setClosedLevelHigh(float g) { closedHigh_ = g; }

    // Channel 0 must come first in every frame: it advances the fade.
    float processSample(float x, int channel, float g);

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
    bool fading() const { return edges_.fading(); }
    bool fadingOut() const { return edges_.fadingOut(); }
    double fadeValue() const { return edges_.fadeValue(); }
    double fadeGain() const { return edges_.fadeGain(); }
    double fadeCoef() const { return edges_.fadeCoef(); }

private:
    int channelCount_ = 0;
    CrossoverGainStage gainStage_;
    // The fade falls to -80 dB.
    BandEdges edges_{1e-4};
    double openLow_ = 0.0;
    double openMid_ = 0.0;
    double openHigh_ = 0.0;
    double closedLow_ = 0.0;
    double closedMid_ = 0.0;
    double closedHigh_ = 0.0;
    std::vector<BandFilterState> state_;
};

} // namespace velmora
