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
    const size_t channels = static_cast<size_t>(n > 0 ? n : 0);
    state_.assign((channels + 1) / 2, BandPair{});
    u_.assign(channels, 0.0);
    w_.assign(2 * channels, 0.0);
    gainStage_.setChannelCount(n);
}

void OutputBandSplitter::setBandEdge1(float hz) {
    edges_.setEdge1(hz);
}

void OutputBandSplitter::setBandEdge2(float hz) {
    edges_.setEdge2(hz);
}

void OutputBandSplitter::resetState() {
    for (BandPair& s : state_) {
        s = BandPair{};
    }
}

void OutputBandSplitter::redesign() {
    edges_.redesign();
}

void OutputBandSplitter::setSimdPath(SimdPath path) {
    path_ = path;
    kernels_ = &frameKernels(path);
}

double OutputBandSplitter::fadeFrame() {
    // The fade acts on the input and runs before the band filters, so the
    // floor frame is filtered with the new design on every channel.
    if (edges_.fadeStep()) {
        resetState();
    }
    return edges_.fadeGain();
}

OutputFrame OutputBandSplitter::frame(float* y) {
    return {&gainStage_.coeffs(),
            &edges_.bandCoeffs(),
            levels_,
            gainStage_.pairs(),
            state_.data(),
            u_.data(),
            w_.data(),
            y,
            channelCount_};
}

float OutputBandSplitter::processSample(float x, int channel, float g) {
    double u = x;
    if (edges_.fading()) {
        const double fade = channel == 0 ? fadeFrame() : edges_.fadeGain();
        u = x * fade;
    }
    const size_t c = static_cast<size_t>(channel);
    u_[c] = u;
    w_[2 * c] = g;
    w_[2 * c + 1] = g > 0.99999999 ? 1e-45 : 1.0 - g;
    return outputChannelScalar(frame(nullptr), channel);
}

void OutputBandSplitter::processFrame(const float* x, const float* g, float* y) {
    const size_t n = static_cast<size_t>(channelCount_);
    if (edges_.fading()) {
        const double fade = fadeFrame();
        for (size_t c = 0; c < n; ++c) {
            u_[c] = x[c] * fade;
        }
    } else {
        for (size_t c = 0; c < n; ++c) {
            u_[c] = x[c];
        }
    }
    for (size_t c = 0; c < n; ++c) {
        const double w = g[c];
        w_[2 * c] = w;
        w_[2 * c + 1] = w > 0.99999999 ? 1e-45 : 1.0 - w;
    }
    kernels_->output(frame(y));
}

} // namespace velmora
