// Engine cost per frame at 48 kHz with plain default settings: each block
// routine, the side-chain entry and control output at 512-sample stereo
// blocks on the best instruction set; then each instruction set on its own,
// other block sizes and other channel counts.
#include "EngineTestSupport.h"
#include "engine/GateEngine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using velmora::GateEngine;
using velmora::SimdPath;

constexpr float kFs = 48000.0f;
constexpr int kMaterial = 49152; // about one second, a multiple of every block size

struct Setup {
    bool rms = false;
    bool linked = true;
    bool sidechain = false;
    bool ctrl = false;
    SimdPath path = velmora::bestSimdPath();
    int block = 512;
    int channels = 2;
};

// Notes of 120 ms with 80 ms gaps, so the gates keep opening and closing.
std::vector<float> material(double hz, double phase) {
    std::vector<float> x(static_cast<size_t>(kMaterial));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kFs;
        const bool note = std::fmod(t + phase, 0.2) < 0.12;
        x[i] = static_cast<float>((note ? 0.5 : 0.01) *
                                  std::sin(2.0 * std::numbers::pi * hz * t + phase));
    }
    return x;
}

void engineBench(benchmark::State& state, Setup s) {
    if (!velmora::simdPathSupported(s.path)) {
        state.SkipWithError("instruction set not available on this processor");
        return;
    }
    const int n = s.channels;
    GateEngine e;
    // The tests' plain defaults, with the settings under measurement.
    velmora::test::configureDefaults(e, kFs, n, n, n);
    e.setDetectionMethod(s.rms);
    e.setChannelMode(s.linked);
    e.setBypass(false);
    e.setCtrlOut(s.ctrl);
    e.setSimdPath(s.path);

    std::vector<std::vector<float>> in;
    std::vector<std::vector<float>> side;
    std::vector<std::vector<float>> out;
    for (int c = 0; c < n; ++c) {
        in.push_back(material(440.0 * (1.0 + 0.5 * c), 0.05 * c));
        side.push_back(material(110.0 * (1.0 + 2.0 * c), 0.1 + 0.05 * c));
        out.emplace_back(static_cast<size_t>(s.block));
    }
    std::vector<const float*> ins(static_cast<size_t>(n));
    std::vector<const float*> scs(static_cast<size_t>(n));
    std::vector<float*> outs(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
        outs[static_cast<size_t>(c)] = out[static_cast<size_t>(c)].data();
    }
    const int blocks = kMaterial / s.block;

    auto run = [&](int block) {
        const size_t at = static_cast<size_t>(block % blocks) * static_cast<size_t>(s.block);
        for (size_t c = 0; c < static_cast<size_t>(n); ++c) {
            ins[c] = in[c].data() + at;
            scs[c] = side[c].data() + at;
        }
        if (s.sidechain) {
            e.processBlockSidechain(scs.data(), ins.data(), outs.data(), n, s.block);
        } else {
            e.processBlock(ins.data(), outs.data(), s.block);
        }
    };

    // Past the start-up ramp and edge fades.
    int block = 0;
    for (; block * s.block < 10240; ++block) {
        run(block);
    }
    for (auto _ : state) {
        run(block++);
        benchmark::DoNotOptimize(outs[0][static_cast<size_t>(s.block - 1)]);
        benchmark::ClobberMemory();
    }
    // Seconds per frame of all channels, shown with an SI prefix ("250n" =
    // 250 ns), and the share of one core that real time at 48 kHz takes.
    const double frames = static_cast<double>(state.iterations()) * s.block;
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["core_pct_48k"] = benchmark::Counter(
        frames / kFs * 0.01, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(frames));
}

Setup with(SimdPath path) {
    Setup s;
    s.path = path;
    return s;
}
Setup withBlock(int block) {
    Setup s;
    s.block = block;
    return s;
}
Setup withChannels(int channels) {
    Setup s;
    s.channels = channels;
    return s;
}

} // namespace

BENCHMARK_CAPTURE(engineBench, peak_linked, Setup{});
BENCHMARK_CAPTURE(engineBench, peak_independent, Setup{.linked = false});
BENCHMARK_CAPTURE(engineBench, rms_linked, Setup{.rms = true});
BENCHMARK_CAPTURE(engineBench, rms_independent, Setup{.rms = true, .linked = false});
BENCHMARK_CAPTURE(engineBench, sidechain_peak_linked, Setup{.sidechain = true});
BENCHMARK_CAPTURE(engineBench, ctrl_out_peak_linked, Setup{.ctrl = true});

// Stereo, block 512, peak linked, forced onto each instruction set.
BENCHMARK_CAPTURE(engineBench, path_scalar, with(SimdPath::Scalar));
BENCHMARK_CAPTURE(engineBench, path_sse2, with(SimdPath::Sse2));
BENCHMARK_CAPTURE(engineBench, path_avx2, with(SimdPath::Avx2));

// Stereo, best path: block sizes.
BENCHMARK_CAPTURE(engineBench, block_32, withBlock(32));
BENCHMARK_CAPTURE(engineBench, block_64, withBlock(64));
BENCHMARK_CAPTURE(engineBench, block_512, withBlock(512));
BENCHMARK_CAPTURE(engineBench, block_4096, withBlock(4096));

// Block 512, best path: channel counts (per_frame covers all channels).
BENCHMARK_CAPTURE(engineBench, channels_1, withChannels(1));
BENCHMARK_CAPTURE(engineBench, channels_2, withChannels(2));
BENCHMARK_CAPTURE(engineBench, channels_8, withChannels(8));
