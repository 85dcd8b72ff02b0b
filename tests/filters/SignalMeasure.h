// Helpers shared by the filter tests: steady-state sine magnitudes, white
// noise, and checks that a splitter holds the designs for given edges.
#pragma once

#include "filters/FilterDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>

namespace velmora::filtertest {

inline constexpr double kTwoPi = 6.283185307179586476925286766559;

// Runs a unit sine at hz through process(x) -> y, lets everything settle for
// settleSeconds (edge fades included), then returns the amplitude of the
// output's component at hz, projected over whole periods (at least 0.2 s).
template <typename Process>
double sineMagnitude(Process&& process, double hz, double fs, double settleSeconds = 0.4) {
    const std::int64_t settle = static_cast<std::int64_t>(settleSeconds * fs);
    const double periods = std::ceil(0.2 * hz);
    const std::int64_t measured = std::llround(periods * fs / hz);
    const double w = kTwoPi * hz / fs;
    std::complex<double> sum = 0.0;
    for (std::int64_t n = 0; n < settle + measured; ++n) {
        const double phase = w * static_cast<double>(n);
        const double y = process(static_cast<float>(std::sin(phase)));
        if (n >= settle) {
            sum += y * std::complex<double>(std::cos(phase), -std::sin(phase));
        }
    }
    return 2.0 * std::abs(sum) / static_cast<double>(measured);
}

// Uniform white noise in [-1, 1), reproducible from its seed.
class WhiteNoise {
public:
    explicit WhiteNoise(std::uint32_t seed) : rng_(seed) {}
    float operator()() { return dist_(rng_); }

private:
    std::mt19937 rng_;
    std::uniform_real_distribution<float> dist_{-1.0f, 1.0f};
};

inline void expectSameBiquad(const BiquadCoeffs& a, const BiquadCoeffs& b) {
    EXPECT_EQ(a.b0, b.b0);
    EXPECT_EQ(a.b1, b.b1);
    EXPECT_EQ(a.b2, b.b2);
    EXPECT_EQ(a.a1, b.a1);
    EXPECT_EQ(a.a2, b.a2);
}

// Either splitter: its three band designs are exactly those for these edges
// at this rate.
template <typename Splitter>
void expectDesignedAt(const Splitter& s, double fs, double edge1, double edge2) {
    const ButterworthPoles p = butterworthPoles();
    const Complex k1(prewarp(edge1, fs), 0.0);
    const Complex k2(prewarp(edge2, fs), 0.0);
    expectSameBiquad(s.lowCoeffs(), designLowpass2(k1, p.p1, p.p2));
    expectSameBiquad(s.highCoeffs(), designHighpass2(k2, p.p1, p.p2));
    const BandpassSections mid = designBandpass4Sections(k1, k2, p.p1, p.p2);
    expectSameBiquad(s.midSections().first, mid.first);
    expectSameBiquad(s.midSections().second, mid.second);
}

} // namespace velmora::filtertest
