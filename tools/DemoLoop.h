// A synthetic drum loop for demonstrating the gate: kicks, snares with ghost
// notes and hi-hats over a noise floor with hum and room bleed. Everything is
// computed from a fixed seed, so the same settings give the same samples.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::demo {

struct DemoSettings {
    int sampleRate = 48000;
    double seconds = 8.0; // four bars at 120 BPM
    std::uint64_t seed = 0x5EED0F7E11A5ULL;
};

constexpr int kDemoChannels = 2;

// Interleaved stereo frames, peak at -1 dBFS.
std::vector<float> makeDemoLoop(const DemoSettings& settings);

} // namespace velmora::demo
