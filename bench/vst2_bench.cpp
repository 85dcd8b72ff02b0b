// What the VST 2 entry adds to the plug-in's cost: processReplacing through
// the adapter beside the VST 3 process call, on the same material in the
// same run. Stereo, 48 kHz, 512-sample blocks, default settings, noise
// bursts that keep the gate opening and closing. Each iteration copies one
// block of material into the host's input buffers and processes it, in both
// formats alike.
//
// The library is looked for in $VELMORA_BUNDLE, else beside the build's
// bench/ folder.
#include "Vst2TestHost.h"
#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace {

using velmora::host::HostedPlugin;
using velmora::host::PluginModule;

constexpr double kRate = 48000.0;
constexpr std::int32_t kBlock = 512;
constexpr std::size_t kMaterialBlocks = 938; // ten seconds, played in a loop

std::filesystem::path libraryPath() {
    const std::filesystem::path bundle =
        std::getenv("VELMORA_BUNDLE") != nullptr
            ? std::filesystem::path(std::getenv("VELMORA_BUNDLE"))
            : std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() /
                  "BK Velmora.vst3";
    return PluginModule::libraryPath(bundle);
}

// 200 ms at -12 dBFS, 200 ms at -60 dBFS.
const std::vector<std::vector<float>>& material() {
    static const auto x = [] {
        std::vector<std::vector<float>> m(2, std::vector<float>(kBlock * kMaterialBlocks));
        std::mt19937 rng(12345);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        for (std::size_t i = 0; i < m[0].size(); ++i) {
            const float level = (i / 9600) % 2 == 0 ? 0.25f : 0.001f;
            m[0][i] = level * noise(rng);
            m[1][i] = level * noise(rng);
        }
        return m;
    }();
    return x;
}

void counters(benchmark::State& state) {
    const double blockSeconds = kBlock / kRate;
    state.counters["rtf"] =
        benchmark::Counter(blockSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["core_share"] = benchmark::Counter(
        blockSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void vst3Process(benchmark::State& state) {
    std::string error;
    auto module = PluginModule::load(libraryPath(), error);
    velmora::host::HostOptions options;
    options.deliverTextMessages = false;
    auto plugin = module ? HostedPlugin::create(module, error, options) : nullptr;
    velmora::host::ProcessConfig config;
    config.sampleRate = kRate;
    config.maxBlockSize = kBlock;
    config.processMode = Steinberg::Vst::kRealtime;
    if (!plugin || !plugin->startProcessing(config, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto& in = material();
    std::size_t block = 0;
    for (auto _ : state) {
        for (std::int32_t c = 0; c < 2; ++c) {
            std::copy_n(&in[static_cast<std::size_t>(c)][block * kBlock], kBlock,
                        plugin->channel(Steinberg::Vst::kInput, 0, c));
        }
        plugin->process(kBlock);
        benchmark::ClobberMemory();
        block = (block + 1) % kMaterialBlocks;
    }
    plugin->stopProcessing();
    counters(state);
}

void vst2ProcessReplacing(benchmark::State& state) {
    std::string error;
    auto host = vst2test::Host::open(libraryPath(), error);
    if (!host) {
        state.SkipWithError(error.c_str());
        return;
    }
    host->resume(static_cast<float>(kRate), kBlock);
    std::vector<std::vector<float>> buffers(4, std::vector<float>(kBlock, 0.0f));
    std::vector<std::vector<float>> out(2, std::vector<float>(kBlock, 0.0f));
    float* ins[4] = {buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data()};
    float* outs[2] = {out[0].data(), out[1].data()};
    const auto& in = material();
    std::size_t block = 0;
    for (auto _ : state) {
        for (std::size_t c = 0; c < 2; ++c) {
            std::copy_n(&in[c][block * kBlock], kBlock, buffers[c].data());
        }
        host->effect()->processReplacing(host->effect(), ins, outs, kBlock);
        benchmark::ClobberMemory();
        block = (block + 1) % kMaterialBlocks;
    }
    host->suspend();
    counters(state);
}

BENCHMARK(vst3Process)->Name("vst3_process/stereo48k_block512_bursts");
BENCHMARK(vst2ProcessReplacing)->Name("vst2_processReplacing/stereo48k_block512_bursts");

} // namespace
