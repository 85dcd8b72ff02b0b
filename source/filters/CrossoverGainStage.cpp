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
        low_[k] = designLowpass2(k_[k], pole1_, pole2_);
    }
    for (size_t k = 0; k < kCrossovers; ++k) {
        high_[k] = designHighpass2(k_[k], pole1_, pole2_);
    }
}

void CrossoverGainStage::setChannelCount(int n) {
    state_.clear();
    state_.shrink_to_fit();
    channelCount_ = n;
    state_.assign(static_cast<size_t>(n > 0 ? n : 0), ChannelState{});
}

double CrossoverGainStage::runChain(Chain& chain, double x, double w) const {
    // The weight meets each band once, ahead of the low-pass that bounds it
    // from above, so a gain change reaches a band only through that filter.
    double lo = processBiquad(low_[0], chain[0].lowB, processBiquad(low_[0], chain[0].lowA, x * w));
    double hi = processBiquad(high_[0], chain[0].highB, processBiquad(high_[0], chain[0].highA, x));
    for (size_t k = 1; k < kCrossovers; ++k) {
        Crossover& c = chain[k];
        const double loNext =
            processBiquad(low_[k], c.lowB, processBiquad(low_[k], c.lowA, lo + w * hi));
        const double hiNext =
            processBiquad(high_[k], c.highB, processBiquad(high_[k], c.highA, hi + loNext));
        lo = loNext;
        hi = hiNext;
    }
    return lo + w * hi;
}

void CrossoverGainStage::processSample(double x, int channel, double g, double& gained,
                                       double& complement) {
    ChannelState& st = state_[static_cast<size_t>(channel)];
    gained = runChain(st.gained, x, g);
    const double c = g > 0.99999999 ? 1e-45 : 1.0 - g;
    complement = runChain(st.complement, x, c);
}

} // namespace velmora
