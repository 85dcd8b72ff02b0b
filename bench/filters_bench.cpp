// Per-sample cost of the band filters: stereo at 48 kHz with the default
// edges (control 1000 / 5000 Hz, output 220 / 880 Hz), reported as time per
// channel-sample.
#include "filters/ControlBandSplitter.h"
#include "filters/CrossoverGainStage.h"
#include "filters/OutputBandSplitter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using velmora::ControlBandSplitter;
using velmora::CrossoverGainStage;
using velmora::OutputBandSplitter;
using velmora::SimdPath;

constexpr double kFs = 48000.0;
constexpr int kChannels = 2;
constexpr int kFrames = 4096;

std::vector<float> noise() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(static_cast<size_t>(kFrames * kChannels));
    for (float& x : v) {
        x = dist(rng);
    }
    return v;
}

void reportPerChannelSample(benchmark::State& state) {
    state.counters["per_channel_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames * kChannels,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ControlBandSplitter(benchmark::State& state) {
    ControlBandSplitter s;
    s.setSampleRate(kFs);
    s.setChannelCount(kChannels);
    s.setBandEdge1(1000.0f);
    s.setBandEdge2(5000.0f);
    s.setLowWeight(1.0f);
    s.setMidWeight(1.0f);
    s.setHighWeight(1.0f);
    const std::vector<float> in = noise();
    // Let the first edge fade finish so that the timed frames are idle.
    for (int n = 0; n < kFrames; ++n) {
        for (int c = 0; c < kChannels; ++c) {
            s.processSample(in[static_cast<size_t>(n * kChannels + c)], c);
        }
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (int n = 0; n < kFrames; ++n) {
            for (int c = 0; c < kChannels; ++c) {
                sum += s.processSample(in[static_cast<size_t>(n * kChannels + c)], c);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerChannelSample(state);
}
BENCHMARK(BM_ControlBandSplitter);

void BM_CrossoverGainStage(benchmark::State& state) {
    CrossoverGainStage s;
    s.setSampleRate(kFs);
    s.setChannelCount(kChannels);
    const std::vector<float> in = noise();
    for (auto _ : state) {
        double sum = 0.0;
        for (int n = 0; n < kFrames; ++n) {
            for (int c = 0; c < kChannels; ++c) {
                double gained = 0.0;
                double complement = 0.0;
                s.processSample(in[static_cast<size_t>(n * kChannels + c)], c, 0.5, gained,
                                complement);
                sum += gained + complement;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerChannelSample(state);
}
BENCHMARK(BM_CrossoverGainStage);

void BM_OutputBandSplitter(benchmark::State& state) {
    OutputBandSplitter s;
    s.setSampleRate(kFs);
    s.setChannelCount(kChannels);
    s.setBandEdge1(220.0f);
    s.setBandEdge2(880.0f);
    s.setOpenLevelLow(1.0f);
    s.setOpenLevelMid(1.0f);
    s.setOpenLevelHigh(1.0f);
    const float closed = static_cast<float>(std::pow(10.0, -99.0 / 20.0));
    s.setClosedLevelLow(closed);
    s.setClosedLevelMid(closed);
    s.setClosedLevelHigh(closed);
    const std::vector<float> in = noise();
    for (int n = 0; n < kFrames; ++n) {
        for (int c = 0; c < kChannels; ++c) {
            s.processSample(in[static_cast<size_t>(n * kChannels + c)], c, 1.0f);
        }
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (int n = 0; n < kFrames; ++n) {
            for (int c = 0; c < kChannels; ++c) {
                sum += s.processSample(in[static_cast<size_t>(n * kChannels + c)], c, 0.8f);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerChannelSample(state);
}
BENCHMARK(BM_OutputBandSplitter);

// The splitters as the engine runs them: 64-frame runs of both channels on
// one instruction set, with the same settings as above; time per stereo
// frame.
constexpr int kRun = 64;

void reportPerFrame(benchmark::State& state) {
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void controlBlocks(benchmark::State& state, SimdPath path) {
    if (!velmora::simdPathSupported(path)) {
        state.SkipWithError("instruction set not available on this processor");
        return;
    }
    ControlBandSplitter s;
    s.setSimdPath(path);
    s.setSampleRate(kFs);
    s.setChannelCount(kChannels);
    s.setBandEdge1(1000.0f);
    s.setBandEdge2(5000.0f);
    s.setLowWeight(1.0f);
    s.setMidWeight(1.0f);
    s.setHighWeight(1.0f);
    const std::vector<float> in = noise();
    std::vector<float> out(in.size());
    const auto run = [&] {
        for (int n = 0; n < kFrames; n += kRun) {
            const size_t at = static_cast<size_t>(n * kChannels);
            s.processBlock(in.data() + at, out.data() + at, kChannels, kRun);
        }
    };
    run(); // past the first edge fade
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(out.back());
    }
    reportPerFrame(state);
}

void outputBlocks(benchmark::State& state, SimdPath path) {
    if (!velmora::simdPathSupported(path)) {
        state.SkipWithError("instruction set not available on this processor");
        return;
    }
    OutputBandSplitter s;
    s.setSimdPath(path);
    s.setSampleRate(kFs);
    s.setChannelCount(kChannels);
    s.setBandEdge1(220.0f);
    s.setBandEdge2(880.0f);
    s.setOpenLevelLow(1.0f);
    s.setOpenLevelMid(1.0f);
    s.setOpenLevelHigh(1.0f);
    const float closed = static_cast<float>(std::pow(10.0, -99.0 / 20.0));
    s.setClosedLevelLow(closed);
    s.setClosedLevelMid(closed);
    s.setClosedLevelHigh(closed);
    const std::vector<float> in = noise();
    const std::vector<float> gain(in.size(), 0.8f);
    std::vector<float> out(in.size());
    const auto run = [&] {
        for (int n = 0; n < kFrames; n += kRun) {
            const size_t at = static_cast<size_t>(n * kChannels);
            s.processBlock(in.data() + at, gain.data() + at, out.data() + at, kRun);
        }
    };
    run(); // past the first edge fade
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(out.back());
    }
    reportPerFrame(state);
}

BENCHMARK_CAPTURE(controlBlocks, scalar, SimdPath::Scalar);
BENCHMARK_CAPTURE(controlBlocks, sse2, SimdPath::Sse2);
BENCHMARK_CAPTURE(controlBlocks, avx2, SimdPath::Avx2);
BENCHMARK_CAPTURE(outputBlocks, scalar, SimdPath::Scalar);
BENCHMARK_CAPTURE(outputBlocks, sse2, SimdPath::Sse2);
BENCHMARK_CAPTURE(outputBlocks, avx2, SimdPath::Avx2);

} // namespace
