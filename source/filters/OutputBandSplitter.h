// Turns the gate gain into the output: three bands, each blending between its
// closed level (gate shut) and its open level (gate open).
#pragma once

#include "filters/CrossoverGainStage.h"
#include "filters/FilterDesign.h"

#include <vector>

namespace velmora {

class OutputBandSplitter {
public:
    OutputBandSplitter();

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

    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return channelCount_; }
    double edge1Hz() const { return edge1Hz_; }
    double edge2Hz() const { return edge2Hz_; }
    const BiquadCoeffs& lowCoeffs() const { return lowCoeffs_; }
    const BandpassSections& midSections() const { return midSections_; }
    const BiquadCoeffs& highCoeffs() const { return highCoeffs_; }
    const CrossoverGainStage& gainStage() const { return gainStage_; }
    bool fading() const { return fading_; }
    bool fadingOut() const { return fadingOut_; }
    double fadeValue() const { return fadeValue_; }
    double fadeGain() const { return fadeGain_; }
    double fadeCoef() const { return fadeCoef_; }

private:
    struct ChannelState {
        BiquadState lowA, lowB;
        BandpassState midA, midB;
        BiquadState highA, highB;
    };

    double fadeStep();

    double sampleRate_ = 0.0;
    int channelCount_ = 0;
    double edge1Hz_ = 0.0;
    double edge2Hz_ = 0.0;
    CrossoverGainStage gainStage_;
    Complex pole1_;
    Complex pole2_;
    Complex k1_;
    Complex k2_;
    BiquadCoeffs lowCoeffs_;
    BandpassSections midSections_;
    BiquadCoeffs highCoeffs_;
    double openLow_ = 0.0;
    double openMid_ = 0.0;
    double openHigh_ = 0.0;
    double closedLow_ = 0.0;
    double closedMid_ = 0.0;
    double closedHigh_ = 0.0;
    bool fading_ = false;
    bool fadingOut_ = false;
    double fadeFloor_ = 1e-4;
    double fadeCoef_ = 0.0;
    double fadeValue_ = 0.0;
    double fadeGain_ = 1.0;
    std::vector<ChannelState> state_;
};

} // namespace velmora
