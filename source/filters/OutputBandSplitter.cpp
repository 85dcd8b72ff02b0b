#include "filters/OutputBandSplitter.h"

namespace velmora {

void OutputBandSplitter::setSampleRate(double fs) {
    edges_.setSampleRate(fs);
    gainStage_.setSampleRate(fs);
}

void OutputBandSplitter::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? n : 0), BandFilterState{});
    gainStage_.setChannelCount(n);
}

void OutputBandSplitter::setBandEdge1(float hz) {
    edges_.setEdge1(hz);
}

void OutputBandSplitter::setBandEdge2(float hz) {
    edges_.setEdge2(hz);
}

void OutputBandSplitter::resetState() {
    for (BandFilterState& s : state_) {
        s = BandFilterState{};
    }
}

void OutputBandSplitter::redesign() {
    edges_.redesign();
}

float OutputBandSplitter::processSample(float x, int channel, float g) {
    double u = x;
    if (edges_.fading()) {
        // The fade acts on the input and runs before the band filters, so the
        // floor frame is filtered with the new design on every channel.
        if (channel == 0 && edges_.fadeStep()) {
            resetState();
        }
        u = x * edges_.fadeGain();
    }
    double gained = 0.0;
    double complement = 0.0;
    gainStage_.processSample(u, channel, g, gained, complement);

    BandFilterState& st = state_[static_cast<size_t>(channel)];
    const double high = edges_.high(st, openHigh_ * gained + closedHigh_ * complement);
    const double mid = edges_.mid(st, openMid_ * gained + closedMid_ * complement);
    const double low = edges_.low(st, openLow_ * gained + closedLow_ * complement);
    return static_cast<float>(high + (mid + low));
}

} // namespace velmora
