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
    state_.assign(static_cast<size_t>(n > 0 ? (n + 1) / 2 * 2 : 0), BandPair{});
}

void ControlBandSplitter::setBandEdge1(float hz) {
    edges_.setEdge1(hz);
}

void ControlBandSplitter::setBandEdge2(float hz) {
    edges_.setEdge2(hz);
}

void ControlBandSplitter::setLowWeight(float g) {
    weights_[0] = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::setMidWeight(float g) {
    weights_[1] = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::setHighWeight(float g) {
    weights_[2] = static_cast<float>(std::sqrt(static_cast<double>(g)));
}

void ControlBandSplitter::resetState() {
    for (BandPair& s : state_) {
        s = BandPair{};
    }
}

void ControlBandSplitter::redesign() {
    edges_.redesign();
}

void ControlBandSplitter::setSimdPath(SimdPath path) {
    path_ = path;
    kernels_ = &blockKernels(path);
}

ControlBlock ControlBandSplitter::block(const float* x, float* y, int n, int frames) {
    return {&edges_.bandCoeffs(), weights_, state_.data(), x, y, n, frames};
}

float ControlBandSplitter::processSample(float x, int channel) {
    const double p = controlChannelScalar(block(nullptr, nullptr, channel + 1, 0), channel, x);
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

void ControlBandSplitter::processBlock(const float* x, float* y, int n, int frames) {
    int t = 0;
    // Channel 0 may redesign and clear in the middle of a fading frame, so
    // those frames go channel by channel. A fade never starts inside a
    // block: once it is over the rest of the block runs in one go.
    for (; t < frames && edges_.fading(); ++t) {
        for (int c = 0; c < n; ++c) {
            y[t * n + c] = processSample(x[t * n + c], c);
        }
    }
    if (t < frames) {
        kernels_->control(block(x + t * n, y + t * n, n, frames - t));
    }
}

} // namespace velmora
