// Helpers shared by the filter tests: steady-state sine magnitudes and white
// noise.
#pragma once

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

} // namespace velmora::filtertest
