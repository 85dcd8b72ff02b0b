// Shapes the detection signal before its level is measured: three bands
// (below edge 1, between the edges, above edge 2), each weighted, summed, and
// then filtered and weighted a second time.
#pragma once

#include "filters/FilterDesign.h"

#include <vector>

namespace velmora {

class ControlBandSplitter {
public:
    ControlBandSplitter();

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

    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return channelCount_; }
    double edge1Hz() const { return edge1Hz_; }
    double edge2Hz() const { return edge2Hz_; }
    const BiquadCoeffs& lowCoeffs() const { return lowCoeffs_; }
    const BandpassSections& midSections() const { return midSections_; }
    const BiquadCoeffs& highCoeffs() const { return highCoeffs_; }
    bool fading() const { return fading_; }
    bool fadingOut() const { return fadingOut_; }
    double fadeValue() const { return fadeValue_; }
    double fadeGain() const { return fadeGain_; }
    double fadeCoef() const { return fadeCoef_; }

private:
    // One pass: low-pass, band-pass and high-pass, each a section applied
    // twice in cascade with its own state.
    struct Pass {
        BiquadState lowA, lowB;
        BandpassState midA, midB;
        BiquadState highA, highB;
    };
    struct ChannelState {
        Pass first;
        Pass second;
    };

    double runPass(Pass& p, double u) const;
    double fadeStep();

    double sampleRate_ = 0.0;
    int channelCount_ = 0;
    double edge1Hz_ = 0.0;
    double edge2Hz_ = 0.0;
    Complex pole1_;
    Complex pole2_;
    Complex k1_;
    Complex k2_;
    BiquadCoeffs lowCoeffs_;
    BandpassSections midSections_;
    BiquadCoeffs highCoeffs_;
    double weightLow_ = 0.0;
    double weightMid_ = 0.0;
    double weightHigh_ = 0.0;
    bool fading_ = false;
    bool fadingOut_ = false;
    double fadeFloor_ = 0.01;
    double fadeCoef_ = 0.0;
    double fadeValue_ = 0.0;
    double fadeGain_ = 1.0;
    std::vector<ChannelState> state_;
};

} // namespace velmora
