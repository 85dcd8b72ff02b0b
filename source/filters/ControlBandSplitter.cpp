#include "filters/ControlBandSplitter.h"

#include <cmath>

namespace velmora {

ControlBandSplitter::ControlBandSplitter() {
    const ButterworthPoles poles = butterworthPoles();
    pole1_ = poles.p1;
    pole2_ = poles.p2;
}

void ControlBandSplitter::setSampleRate(double fs) {
    sampleRate_ = fs;
    fadeFloor_ = std::pow(10.0, -2.0);
    fadeCoef_ = std::pow(fadeFloor_, 1.0 / (fs * 10.0 * 0.001));
}

void ControlBandSplitter::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? n : 0), ChannelState{});
}

void ControlBandSplitter::setBandEdge1(float hz) {
    edge1Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k1_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz > edge2Hz_) {
        edge2Hz_ = hz;
        k2_ = k1_;
    }
}

void ControlBandSplitter::setBandEdge2(float hz) {
    edge2Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k2_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz < edge1Hz_) {
        edge1Hz_ = hz;
        k1_ = k2_;
    }
}

void ControlBandSplitter::setLowWeight(float g) {
    weightLow_ = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::setMidWeight(float g) {
    weightMid_ = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::setHighWeight(float g) {
    weightHigh_ = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::resetState() {
    for (ChannelState& s : state_) {
        s = ChannelState{};
    }
}

void ControlBandSplitter::redesign() {
    lowCoeffs_ = designLowpass2(k1_, pole1_, pole2_);
    midSections_ = designBandpass4Sections(k1_, k2_, pole1_, pole2_);
    highCoeffs_ = designHighpass2(k2_, pole1_, pole2_);
}

double ControlBandSplitter::runPass(Pass& p, double u) const {
    const double lowOut = processBiquad(lowCoeffs_, p.lowB, processBiquad(lowCoeffs_, p.lowA, u));
    const double midOut =
        processBandpass4(midSections_, p.midB, processBandpass4(midSections_, p.midA, u));
    const double highOut =
        processBiquad(highCoeffs_, p.highB, processBiquad(highCoeffs_, p.highA, u));
    return highOut * weightHigh_ + (lowOut * weightLow_ + midOut * weightMid_);
}

double ControlBandSplitter::fadeStep() {
    if (fadingOut_) {
        fadeValue_ = fadeValue_ * fadeCoef_;
        if (fadeValue_ <= fadeFloor_) {
            fadeValue_ = fadeFloor_;
            resetState();
            redesign();
            fadingOut_ = false;
        }
        return fadeValue_;
    }
    fadeValue_ = fadeValue_ * fadeCoef_ + (1.0 - fadeCoef_);
    if (fadeValue_ >= 1.0 - fadeFloor_) {
        fadeValue_ = 1.0;
        fading_ = false;
        return 1.0;
    }
    return fadeValue_;
}

float ControlBandSplitter::processSample(float x, int channel) {
    ChannelState& st = state_[static_cast<size_t>(channel)];
    const double s = runPass(st.first, x);
    const double p = runPass(st.second, s);
    if (!fading_) {
        return static_cast<float>(p);
    }
    // The frame in which channel 0 reaches the floor was already filtered with
    // the old coefficients on channel 0; the later channels see the new ones.
    if (channel == 0) {
        fadeGain_ = fadeStep();
    }
    return static_cast<float>(p * fadeGain_);
}

} // namespace velmora
