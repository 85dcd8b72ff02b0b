// Applies the gate gain band by band over five fixed crossovers, and in the
// same step the complementary weight (1 - gain) on an independent copy.
#pragma once

#include "filters/FilterDesign.h"
#include "filters/FilterLanes.h"

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
    const BiquadCoeffs& lowCoeffs(int k) const { return coeffs_.low[k]; }
    const BiquadCoeffs& highCoeffs(int k) const { return coeffs_.high[k]; }

    // For the output splitter's frame kernels: channels in pairs, lanes
    // [gained, complement] per channel.
    const CrossoverCoeffs& coeffs() const { return coeffs_; }
    CrossoverPair* pairs() { return state_.data(); }

    // Every state value, for checks on the numbers the filters carry.
    template <class F> void forEachStateValue(F f) const {
        for (const CrossoverPair& p : state_) {
            for (const SectionLanes4& s : p.section) {
                forEachLane(s, f);
            }
        }
    }

private:
    double sampleRate_ = 0.0;
    int channelCount_ = 0;
    Complex pole1_;
    Complex pole2_;
    std::array<Complex, kCrossovers> k_{};
    CrossoverCoeffs coeffs_;
    std::vector<CrossoverPair> state_;
};

} // namespace velmora
