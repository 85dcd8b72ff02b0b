#include "filters/ControlBandSplitter.h"

#include <cmath>

namespace velmora {

void ControlBandSplitter::setSampleRate(double fs) {
    edges_.setSampleRate(fs);
}

void ControlBandSplitter::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? n : 0), ChannelState{});
}

void ControlBandSplitter::setBandEdge1(float hz) {
    edges_.setEdge1(hz);
}

void ControlBandSplitter::setBandEdge2(float hz) {
    edges_.setEdge2(hz);
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
    edges_.redesign();
}

double ControlBandSplitter::runPass(BandFilterState& p, double u) const {
    const double lowOut = edges_.low(p, u);
    const double midOut = edges_.mid(p, u);
    const double highOut = edges_.high(p, u);
    return highOut * weightHigh_ + (lowOut * weightLow_ + midOut * weightMid_);
}

float ControlBandSplitter::processSample(float x, int channel) {
    ChannelState& st = state_[static_cast<size_t>(channel)];
    const double s = runPass(st.first, x);
    const double p = runPass(st.second, s);
    if (!edges_.fading()) {
        return static_cast<float>(p);
    }
    // The fade scales the output, so the frame in which channel 0 reaches the
    // floor was filtered with the old design on channel 0; the later
    // channels of that frame see the cleared state and the new design.
    if (channel == 0 && edges_.fadeStep()) {
        resetState();
    }
    return static_cast<float>(p * edges_.fadeGain());
}

} // namespace velmora
