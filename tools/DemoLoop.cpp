#include "DemoLoop.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmora::demo {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kTempo = 120.0;
constexpr int kStepsPerBar = 16;

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    double bipolar() { return double(next() >> 11) * (2.0 / 9007199254740992.0) - 1.0; }

private:
    std::uint64_t state_;
};

enum class Drum { Kick, Snare, Hat, OpenHat };

struct Hit {
    Drum drum;
    double time;  // seconds
    double level; // linear
};

double onePoleCoef(double cutoff, double fs) {
    return std::exp(-kTwoPi * cutoff / fs);
}

// Renders one hit, mono, into `out` from `start` on.
void renderHit(const Hit& hit, int fs, Random& random, std::vector<double>& out,
               std::size_t start) {
    const double seconds = hit.drum == Drum::Kick      ? 0.5
                           : hit.drum == Drum::Snare   ? 0.4
                           : hit.drum == Drum::OpenHat ? 0.6
                                                       : 0.15;
    const auto length = static_cast<std::size_t>(seconds * fs);
    double phase = 0.0;
    double lowState = 0.0;
    double highState = 0.0;
    double prev1 = 0.0;
    double prev2 = 0.0;
    const double lowCoef = onePoleCoef(7000.0, fs);
    const double highCoef = onePoleCoef(900.0, fs);
    for (std::size_t i = 0; i < length && start + i < out.size(); ++i) {
        const double t = double(i) / fs;
        double x = 0.0;
        switch (hit.drum) {
        case Drum::Kick: {
            const double freq = 46.0 + 120.0 * std::exp(-t / 0.03);
            phase += kTwoPi * freq / fs;
            x = std::sin(phase) * std::exp(-t / 0.075) +
                0.35 * random.bipolar() * std::exp(-t / 0.0025);
            break;
        }
        case Drum::Snare: {
            const double tone = 0.55 * std::sin(kTwoPi * 190.0 * t) * std::exp(-t / 0.05) +
                                0.3 * std::sin(kTwoPi * 330.0 * t) * std::exp(-t / 0.035);
            // Band-limited rattle: low-passed noise minus its own low end.
            const double n = random.bipolar();
            lowState = (1.0 - lowCoef) * n + lowCoef * lowState;
            highState = (1.0 - highCoef) * lowState + highCoef * highState;
            x = tone + 1.6 * (lowState - highState) * std::exp(-t / 0.055);
            break;
        }
        case Drum::Hat:
        case Drum::OpenHat: {
            // Second difference of white noise: a steep tilt towards the top.
            const double n = random.bipolar();
            const double edge = n - 2.0 * prev1 + prev2;
            prev2 = prev1;
            prev1 = n;
            const double decay = hit.drum == Drum::Hat ? 0.02 : 0.15;
            x = 0.3 * edge * std::exp(-t / decay);
            break;
        }
        }
        out[start + i] += hit.level * x;
    }
}

std::vector<Hit> pattern(double seconds, Random& random) {
    const double step = 60.0 / kTempo / 4.0;
    const int steps = static_cast<int>(seconds / step);
    std::vector<Hit> hits;
    for (int s = 0; s < steps; ++s) {
        const int bar = s / kStepsPerBar;
        const int pos = s % kStepsPerBar;
        // A little looseness in time and strength, as a drummer plays.
        const double t = s * step + 0.002 * random.bipolar() + 0.003;
        const double vary = std::pow(10.0, 0.05 * random.bipolar());
        if (pos == 0 || pos == 8 || pos == 10 || (bar % 2 == 1 && pos == 3)) {
            hits.push_back({Drum::Kick, t, 0.9 * vary});
        }
        if (pos == 4 || pos == 12) {
            hits.push_back({Drum::Snare, t, 0.75 * vary});
        }
        if ((pos == 7 && bar % 2 == 0) || (pos == 15 && bar % 2 == 1)) {
            hits.push_back({Drum::Snare, t, 0.035 * vary}); // ghost note
        }
        if (pos % 2 == 0) {
            const bool open = pos == 14 && bar % 4 == 3;
            hits.push_back(
                {open ? Drum::OpenHat : Drum::Hat, t, (pos % 4 == 0 ? 0.3 : 0.18) * vary});
        }
    }
    return hits;
}

// A few feedback combs and a low-pass: the kit heard from across the room.
class Room {
public:
    Room(int fs, double delay1, double delay2)
        : a_(static_cast<std::size_t>(delay1 * fs)), b_(static_cast<std::size_t>(delay2 * fs)),
          lowCoef_(onePoleCoef(2500.0, fs)) {}
    double process(double x) {
        const double ya = a_[ia_];
        const double yb = b_[ib_];
        a_[ia_] = x + 0.62 * ya;
        b_[ib_] = x + 0.58 * yb;
        ia_ = (ia_ + 1) % a_.size();
        ib_ = (ib_ + 1) % b_.size();
        low_ = (1.0 - lowCoef_) * (ya + yb) + lowCoef_ * low_;
        return low_;
    }

private:
    std::vector<double> a_, b_;
    std::size_t ia_ = 0, ib_ = 0;
    double lowCoef_;
    double low_ = 0.0;
};

} // namespace

std::vector<float> makeDemoLoop(const DemoSettings& settings) {
    const int fs = settings.sampleRate;
    const auto frames = static_cast<std::size_t>(settings.seconds * fs);
    Random random(settings.seed);

    std::vector<double> kick(frames), snare(frames), hats(frames);
    for (const Hit& hit : pattern(settings.seconds, random)) {
        const auto start = static_cast<std::size_t>(std::max(0.0, hit.time) * fs);
        if (start >= frames) {
            continue;
        }
        std::vector<double>& target = hit.drum == Drum::Kick    ? kick
                                      : hit.drum == Drum::Snare ? snare
                                                                : hats;
        renderHit(hit, fs, random, target, start);
    }

    std::vector<double> left(frames), right(frames);
    Room roomLeft(fs, 0.0231, 0.0317);
    Room roomRight(fs, 0.0273, 0.0359);
    const double bleed = std::pow(10.0, -20.0 / 20.0);
    const double hiss = std::pow(10.0, -48.0 / 20.0);
    const double hum = std::pow(10.0, -60.0 / 20.0);
    const double hissCoef = onePoleCoef(6000.0, fs);
    double hissLeft = 0.0, hissRight = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / fs;
        const double dry = kick[i] + snare[i] + hats[i];
        const double l = kick[i] + 0.55 * snare[i] + 0.35 * hats[i];
        const double r = kick[i] + 0.45 * snare[i] + 0.65 * hats[i];
        hissLeft = (1.0 - hissCoef) * random.bipolar() + hissCoef * hissLeft;
        hissRight = (1.0 - hissCoef) * random.bipolar() + hissCoef * hissRight;
        const double mains =
            hum * (std::sin(kTwoPi * 50.0 * t) + 0.4 * std::sin(kTwoPi * 150.0 * t));
        left[i] = l + bleed * roomLeft.process(dry) + 3.0 * hiss * hissLeft + mains;
        right[i] = r + bleed * roomRight.process(dry) + 3.0 * hiss * hissRight + mains;
    }

    double peak = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    const double gain = peak > 0.0 ? std::pow(10.0, -1.0 / 20.0) / peak : 1.0;
    std::vector<float> out(frames * kDemoChannels);
    for (std::size_t i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<float>(left[i] * gain);
        out[2 * i + 1] = static_cast<float>(right[i] * gain);
    }
    return out;
}

} // namespace velmora::demo
