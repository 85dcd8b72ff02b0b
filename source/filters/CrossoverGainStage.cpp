#include "filters/CrossoverGainStage.h"

namespace velmora {

CrossoverGainStage::CrossoverGainStage() {
    const ButterworthPoles poles = butterworthPoles();
    pole1_ = poles.p1;
    pole2_ = poles.p2;
}

void CrossoverGainStage::setSampleRate(double fs) {
    sampleRate_ = fs;
    for (size_t k = 0; k < kCrossovers; ++k) {
        k_[k] = Complex(prewarpLimited(kFrequencies[k], fs), 0.0);
    }
    for (size_t k = 0; k < kCrossovers; ++k) {
        coeffs_.low[k] = designLowpass2(k_[k], pole1_, pole2_);
    }
    for (size_t k = 0; k < kCrossovers; ++k) {
        coeffs_.high[k] = designHighpass2(k_[k], pole1_, pole2_);
    }
}

void CrossoverGainStage::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? (n + 1) / 2 : 0), CrossoverPair{});
}

void CrossoverGainStage::processSample(double x, int channel, double g, double& gained,
                                       double& complement) {
    crossoverChannelScalar(coeffs_, state_[static_cast<size_t>(channel / 2)], channel, x, g, gained,
                           complement);
}

} // namespace velmora
