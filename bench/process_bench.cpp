// Cost of the built plug-in's process call as a host pays it: the bundle
// loaded through our host, stereo 48 kHz in 512-sample blocks, default
// settings. Only process is timed; the audio is prepared beforehand and the
// buffers are handed over in place.
//
// Counters (from CPU time): rtf is seconds of audio per second of work,
// core_share its inverse, the share of one core that real-time use takes.
//
// The bundle is looked for in $VELMORA_BUNDLE, else beside the build's bench/
// folder. $VELMORA_BENCH_SECONDS fixes the length of audio per repetition
// (otherwise Google Benchmark chooses), so that other plug-ins can be timed
// on exactly as much audio (scripts/bench-peers).
#include "hosting/HostedPlugin.h"
#include "hosting/ParameterChanges.h"
#include "hosting/PluginModule.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::host::HostedPlugin;
using velmora::host::PluginModule;

constexpr double kRate = 48000.0;
constexpr int32 kBlock = 512;
constexpr int32 kChannels = 2;
// Ten seconds of material, a whole number of blocks, played in a loop.
constexpr int32 kMaterialBlocks = 938;

enum class Material { Bursts, Silence };

std::filesystem::path bundlePath() {
    if (const char* env = std::getenv("VELMORA_BUNDLE")) {
        return env;
    }
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() /
           "BK Velmora.vst3";
}

// Noise bursts of 200 ms at -12 dBFS between 200 ms at -60 dBFS, so that with
// the default -20 dB threshold the gate keeps opening and closing.
std::vector<std::vector<float>> material(Material kind) {
    const auto length = static_cast<size_t>(kBlock) * kMaterialBlocks;
    std::vector<std::vector<float>> x(kChannels, std::vector<float>(length, 0.0f));
    if (kind == Material::Silence) {
        return x;
    }
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto burst = static_cast<size_t>(0.2 * kRate);
    for (size_t i = 0; i < length; ++i) {
        const float level = (i / burst) % 2 == 0 ? 0.25f : 0.001f;
        for (auto& channel : x) {
            channel[i] = level * noise(rng);
        }
    }
    return x;
}

void processBench(benchmark::State& state, Material kind) {
    std::string error;
    auto module = PluginModule::load(bundlePath(), error);
    if (!module) {
        state.SkipWithError(error.c_str());
        return;
    }
    velmora::host::HostOptions options;
    options.deliverTextMessages = false;
    auto plugin = HostedPlugin::create(module, error, options);
    if (!plugin) {
        state.SkipWithError(error.c_str());
        return;
    }
    velmora::host::ProcessConfig config;
    config.sampleRate = kRate;
    config.maxBlockSize = kBlock;
    config.channels = kChannels;
    config.processMode = kRealtime;
    if (!plugin->startProcessing(config, error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    const auto in = material(kind);
    std::vector<std::vector<float>> out(kChannels, std::vector<float>(kBlock));
    float* inPtrs[kChannels] = {};
    float* outPtrs[kChannels] = {out[0].data(), out[1].data()};

    // The side-chain bus is inactive but present, as hosts pass every bus.
    std::vector<std::vector<float>> aux(
        static_cast<size_t>(std::max(0, plugin->channelCount(kInput, 1))),
        std::vector<float>(kBlock, 0.0f));
    std::vector<float*> auxPtrs;
    for (auto& channel : aux) {
        auxPtrs.push_back(channel.data());
    }

    AudioBusBuffers inputs[2];
    inputs[0].numChannels = kChannels;
    inputs[0].channelBuffers32 = inPtrs;
    inputs[1].numChannels = static_cast<int32>(auxPtrs.size());
    inputs[1].channelBuffers32 = auxPtrs.data();
    AudioBusBuffers output;
    output.numChannels = kChannels;
    output.channelBuffers32 = outPtrs;

    ProcessData data;
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = kBlock;
    data.numInputs = plugin->busCount(kInput) > 1 ? 2 : 1;
    data.numOutputs = 1;
    data.inputs = inputs;
    data.outputs = &output;
    // Empty input changes and an output list for the meters, as a host hands
    // them over with every block.
    velmora::host::ParameterChanges changes;
    velmora::host::ParameterChanges meters;
    data.inputParameterChanges = &changes;
    data.outputParameterChanges = &meters;

    IAudioProcessor* processor = plugin->processor();
    int32 block = 0;
    for (auto _ : state) {
        const auto offset = static_cast<size_t>(block) * kBlock;
        for (int32 c = 0; c < kChannels; ++c) {
            inPtrs[c] = const_cast<float*>(in[static_cast<size_t>(c)].data()) + offset;
        }
        inputs[0].silenceFlags = 0;
        output.silenceFlags = 0;
        meters.clear();
        processor->process(data);
        benchmark::DoNotOptimize(out[0].data());
        benchmark::DoNotOptimize(out[1].data());
        benchmark::ClobberMemory();
        block = block + 1 == kMaterialBlocks ? 0 : block + 1;
    }
    plugin->stopProcessing();

    const double blockSeconds = kBlock / kRate;
    state.counters["rtf"] =
        benchmark::Counter(blockSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["core_share"] = benchmark::Counter(
        blockSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["audio_s"] =
        benchmark::Counter(blockSeconds, benchmark::Counter::kIsIterationInvariant);
}

void audioLength(benchmark::internal::Benchmark* b) {
    if (const char* env = std::getenv("VELMORA_BENCH_SECONDS")) {
        const double seconds = std::atof(env);
        if (seconds > 0.0) {
            b->Iterations(static_cast<benchmark::IterationCount>(seconds * kRate / kBlock));
        }
    }
}

BENCHMARK_CAPTURE(processBench, stereo48k_block512_bursts, Material::Bursts)->Apply(audioLength);
BENCHMARK_CAPTURE(processBench, stereo48k_block512_silence, Material::Silence)->Apply(audioLength);

} // namespace
