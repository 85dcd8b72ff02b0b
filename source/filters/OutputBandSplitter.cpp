#include "filters/OutputBandSplitter.h"

#include <cmath>

namespace velmora {

OutputBandSplitter::OutputBandSplitter() {
    const ButterworthPoles poles = butterworthPoles();
    pole1_ = poles.p1;
    pole2_ = poles.p2;
}

void OutputBandSplitter::setSampleRate(double fs) {
    sampleRate_ = fs;
    fadeFloor_ = std::pow(10.0, -4.0);
    fadeCoef_ = std::pow(fadeFloor_, 1.0 / (fs * 10.0 * 0.001));
    gainStage_.setSampleRate(fs);
}

void OutputBandSplitter::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? n : 0), ChannelState{});
    gainStage_.setChannelCount(n);
}

void OutputBandSplitter::setBandEdge1(float hz) {
    edge1Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k1_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz > edge2Hz_) {
        edge2Hz_ = hz;
        k2_ = k1_;
    }
}

void OutputBandSplitter::setBandEdge2(float hz) {
    edge2Hz_ = hz;
    fading_ = true;
    fadingOut_ = true;
    k2_ = Complex(prewarpLimited(hz, sampleRate_), 0.0);
    if (hz < edge1Hz_) {
        edge1Hz_ = hz;
        k1_ = k2_;
    }
}

void OutputBandSplitter::resetState() {
    for (ChannelState& s : state_) {
        s = ChannelState{};
    }
}

void OutputBandSplitter::redesign() {
    lowCoeffs_ = designLowpass2(k1_, pole1_, pole2_);
    midSections_ = designBandpass4Sections(k1_, k2_, pole1_, pole2_);
    highCoeffs_ = designHighpass2(k2_, pole1_, pole2_);
}

double OutputBandSplitter::fadeStep() {
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

float OutputBandSplitter::processSample(float x, int channel, float g) {
    double u = x;
    if (fading_) {
        // The fade acts on the input and runs before the band filters, so the
        // floor frame is filtered with the new design on every channel.
        if (channel == 0) {
            fadeGain_ = fadeStep();
        }
        u = x * fadeGain_;
    }
    double gained = 0.0;
    double complement = 0.0;
    gainStage_.processSample(u, channel, g, gained, complement);

    ChannelState& st = state_[static_cast<size_t>(channel)];
    const double highIn = openHigh_ * gained + closedHigh_ * complement;
    const double high =
        processBiquad(highCoeffs_, st.highB, processBiquad(highCoeffs_, st.highA, highIn));
    const double midIn = openMid_ * gained + closedMid_ * complement;
    const double mid =
        processBandpass4(midSections_, st.midB, processBandpass4(midSections_, st.midA, midIn));
    const double lowIn = openLow_ * gained + closedLow_ * complement;
    const double low =
        processBiquad(lowCoeffs_, st.lowB, processBiquad(lowCoeffs_, st.lowA, lowIn));
    return static_cast<float>(high + (mid + low));
}

} // namespace velmora
