// Applies the gate gain band by band over five fixed crossovers, and in the
// same step the complementary weight (1 - gain) on an independent copy.
#pragma once

#include "filters/FilterDesign.h"

#include <array>
#include <vector>

namespace velmora {

class CrossoverGainStage {
public:
    static constexpr int kCrossovers = 5;
    // Evenly spaced on a log scale, about 3.13 apart; f5 = 20000 Hz / ratio.
    static constexpr std::array<double, kCrossovers> kFrequencies = {
        66.8433613814533, 209.05118043533, 653.803087370331, 2044.75514639445, 6394.92790638715};

    CrossoverGainStage();

    // Redesigns all ten sections at once; the state is kept.
    void setSampleRate(double fs);
    // Allocates zeroed state; the only operation that allocates.
    void setChannelCount(int n);

    void processSample(double x, int channel, double g, double& gained, double& complement);

    double sampleRate() const { return sampleRate_; }
    int channelCount() const { return channelCount_; }
    const BiquadCoeffs& lowCoeffs(int k) const { return low_[static_cast<size_t>(k)]; }
    const BiquadCoeffs& highCoeffs(int k) const { return high_[static_cast<size_t>(k)]; }

private:
    struct Crossover {
        BiquadState lowA, lowB, highA, highB;
    };
    using Chain = std::array<Crossover, kCrossovers>;
    struct ChannelState {
        Chain gained;
        Chain complement;
    };

    double runChain(Chain& chain, double x, double w) const;

    double sampleRate_ = 0.0;
    int channelCount_ = 0;
    Complex pole1_;
    Complex pole2_;
    std::array<Complex, kCrossovers> k_{};
    std::array<BiquadCoeffs, kCrossovers> low_{};
    std::array<BiquadCoeffs, kCrossovers> high_{};
    std::vector<ChannelState> state_;
};

} // namespace velmora
