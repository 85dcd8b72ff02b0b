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
    kernels_ = &blockKernels(path);
}

double OutputBandSplitter::fadeFrame() {
    // The fade acts on the input and runs before the band filters, so the
    // floor frame is filtered with the new design on every channel.
    if (edges_.fadeStep()) {
        resetState();
    }
    return edges_.fadeGain();
}

OutputBlock OutputBandSplitter::block(const float* x, const float* g, float* y, double fade,
                                      int frames) {
    return {&gainStage_.coeffs(),
            &edges_.bandCoeffs(),
            levels_,
            gainStage_.pairs(),
            state_.data(),
            x,
            g,
            y,
            fade,
            channelCount_,
            frames};
}

float OutputBandSplitter::processSample(float x, int channel, float g) {
    double u = x;
    if (edges_.fading()) {
        const double fade = channel == 0 ? fadeFrame() : edges_.fadeGain();
        u = x * fade;
    }
    return outputChannelScalar(block(nullptr, nullptr, nullptr, 1.0, 0), channel, u, g);
}

void OutputBandSplitter::processBlock(const float* x, const float* g, float* y, int frames) {
    const int n = channelCount_;
    int t = 0;
    // A fade changes the input gain every frame; it never starts inside a
    // block, so once it is over the rest of the block runs in one go.
    for (; t < frames && edges_.fading(); ++t) {
        const double fade = fadeFrame();
        kernels_->output(block(x + t * n, g + t * n, y + t * n, fade, 1));
    }
    if (t < frames) {
        kernels_->output(block(x + t * n, g + t * n, y + t * n, 1.0, frames - t));
    }
}

} // namespace velmora
