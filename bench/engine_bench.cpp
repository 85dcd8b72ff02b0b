// Engine cost per stereo frame at 48 kHz, 512-sample blocks, plain default
// settings: each block routine, the side-chain entry and control output.
#include "EngineTestSupport.h"
#include "engine/GateEngine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using velmora::GateEngine;

constexpr float kFs = 48000.0f;
constexpr int kBlock = 512;
constexpr int kSignalBlocks = 94; // about one second of material

// The tests' plain defaults, with the detection, channel and control-output
// settings under measurement.
void configure(GateEngine& e, bool rms, bool linked, bool ctrl) {
    velmora::test::configureDefaults(e, kFs, 2, 2, 2);
    e.setDetectionMethod(rms);
    e.setChannelMode(linked);
    e.setBypass(false);
    e.setCtrlOut(ctrl);
}

// Notes of 120 ms with 80 ms gaps, so the gates keep opening and closing.
std::vector<float> material(double hz, double phase) {
    std::vector<float> x(static_cast<size_t>(kBlock * kSignalBlocks));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kFs;
        const bool note = std::fmod(t + phase, 0.2) < 0.12;
        x[i] = static_cast<float>((note ? 0.5 : 0.01) *
                                  std::sin(2.0 * std::numbers::pi * hz * t + phase));
    }
    return x;
}

void engineBench(benchmark::State& state, bool rms, bool linked, bool sidechain, bool ctrl) {
    GateEngine e;
    configure(e, rms, linked, ctrl);
    const std::vector<float> in0 = material(440.0, 0.0);
    const std::vector<float> in1 = material(660.0, 0.05);
    const std::vector<float> sc0 = material(110.0, 0.1);
    const std::vector<float> sc1 = material(2500.0, 0.15);
    std::vector<float> out0(kBlock);
    std::vector<float> out1(kBlock);
    float* outs[2] = {out0.data(), out1.data()};

    auto run = [&](int block) {
        const size_t at = static_cast<size_t>(block % kSignalBlocks) * kBlock;
        const float* ins[2] = {in0.data() + at, in1.data() + at};
        if (sidechain) {
            const float* scs[2] = {sc0.data() + at, sc1.data() + at};
            e.processBlockSidechain(scs, ins, outs, 2, kBlock);
        } else {
            e.processBlock(ins, outs, kBlock);
        }
    };

    // Past the start-up ramp and edge fades.
    int block = 0;
    for (; block < 20; ++block) {
        run(block);
    }
    for (auto _ : state) {
        run(block++);
        benchmark::DoNotOptimize(outs[0][kBlock - 1]);
        benchmark::ClobberMemory();
    }
    // Seconds per stereo frame, shown with an SI prefix ("250n" = 250 ns).
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

} // namespace

BENCHMARK_CAPTURE(engineBench, peak_linked, false, true, false, false);
BENCHMARK_CAPTURE(engineBench, peak_independent, false, false, false, false);
BENCHMARK_CAPTURE(engineBench, rms_linked, true, true, false, false);
BENCHMARK_CAPTURE(engineBench, rms_independent, true, false, false, false);
BENCHMARK_CAPTURE(engineBench, sidechain_peak_linked, false, true, true, false);
BENCHMARK_CAPTURE(engineBench, ctrl_out_peak_linked, false, true, false, true);
