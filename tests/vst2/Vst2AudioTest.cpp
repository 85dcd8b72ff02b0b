// Audio through the VST 2 entry equals, sample for sample, the VST 3 render
// of the same material and settings; processReplacing allocates nothing.
#include "AllocationCounter.h"
#include "Vst2Bundle.h"

#include "controller/ParameterIds.h"

#include <gtest/gtest.h>

#include <random>

namespace vst2test {
namespace {

using Signal = std::vector<std::vector<float>>;
using Settings = std::vector<std::pair<std::int32_t, float>>;

constexpr float kRate = 48000.0f;
constexpr std::int32_t kBlock = 256;
constexpr std::size_t kFrames = 47 * 1024; // whole blocks of every size used

// Noise bursts that open and close the gate: 100 ms loud, 100 ms quiet.
Signal bursts(int channels, std::uint32_t seed, float loud) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    Signal s(static_cast<std::size_t>(channels), std::vector<float>(kFrames));
    for (std::size_t i = 0; i < kFrames; ++i) {
        for (auto& c : s) {
            c[i] = dist(rng) * ((i / 4800) % 2 == 0 ? loud : 0.001f);
        }
    }
    return s;
}

const Settings kSettings = {{velmora::kThreshold, 0.4f},
                            {velmora::kRelease, 0.3f},
                            {velmora::kChannelMode, 0.0f},
                            {velmora::kCtrlBandEdge1, 0.2f},
                            {velmora::kClosedLevelMid, 0.6f}};

Signal renderVst3(const Signal& in, const Signal* key, const Settings& settings) {
    auto plugin = openVst3();
    velmora::host::ProcessConfig config;
    config.sampleRate = kRate;
    config.maxBlockSize = kBlock;
    config.channels = static_cast<std::int32_t>(in.size());
    config.sidechain = key != nullptr;
    std::string error;
    EXPECT_TRUE(plugin && plugin->startProcessing(config, error)) << error;
    if (!plugin || !plugin->isProcessing()) {
        return {};
    }
    for (const auto& [id, v] : settings) {
        plugin->inputChanges().addChange(static_cast<Steinberg::Vst::ParamID>(id), 0, v);
    }
    Signal out(in.size(), std::vector<float>(kFrames));
    for (std::size_t start = 0; start < kFrames; start += kBlock) {
        for (std::size_t c = 0; c < in.size(); ++c) {
            std::copy_n(&in[c][start], kBlock,
                        plugin->channel(Steinberg::Vst::kInput, 0, static_cast<std::int32_t>(c)));
            if (key != nullptr) {
                std::copy_n(&(*key)[c][start], kBlock,
                            plugin->channel(Steinberg::Vst::kInput, plugin->sidechainBus(),
                                            static_cast<std::int32_t>(c)));
            }
        }
        plugin->process(kBlock);
        for (std::size_t c = 0; c < in.size(); ++c) {
            std::copy_n(plugin->channel(Steinberg::Vst::kOutput, 0, static_cast<std::int32_t>(c)),
                        kBlock, &out[c][start]);
        }
    }
    return out;
}

// The VST 2 host hands `hostBlock` frames at a time, in place, with the
// key on pins 3-4 whether or not it declared them connected.
Signal renderVst2(const Signal& in, const Signal& key, const Settings& settings, bool connectKey,
                  std::int32_t hostBlock) {
    auto host = openEffect();
    if (!host) {
        return {};
    }
    if (in.size() == 1) {
        EXPECT_EQ(host->setChannels(1), 1);
    }
    for (const auto& [index, v] : settings) {
        host->set(index, v);
    }
    host->dispatch(ConnectInput, 2, connectKey ? 1 : 0);
    host->dispatch(ConnectInput, 3, connectKey ? 1 : 0);
    host->resume(kRate, kBlock);
    Signal io = in;
    io.resize(2, std::vector<float>(kFrames, 0.0f));
    Signal k = key;
    for (std::size_t start = 0; start < kFrames; start += static_cast<std::size_t>(hostBlock)) {
        float* pins[4] = {&io[0][start], &io[1][start], &k[0][start], &k[1][start]};
        host->effect()->processReplacing(host->effect(), pins, pins, hostBlock);
    }
    io.resize(in.size());
    host->suspend();
    return io;
}

TEST(Vst2Audio, EqualsTheVst3RenderSampleForSample) {
    const Signal in = bursts(2, 1, 0.25f);
    const Signal key = bursts(2, 2, 0.5f);
    const Signal plain = renderVst3(in, nullptr, kSettings);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(renderVst2(in, key, kSettings, false, kBlock), plain);
    // A host that exceeds the block size it announced gets the same.
    EXPECT_EQ(renderVst2(in, key, kSettings, false, 4 * kBlock), plain);

    // Keyed once the host declares the side-chain pins connected.
    const Signal keyed = renderVst3(in, &key, kSettings);
    ASSERT_FALSE(keyed.empty());
    EXPECT_NE(keyed, plain);
    EXPECT_EQ(renderVst2(in, key, kSettings, true, kBlock), keyed);

    const Signal mono = bursts(1, 3, 0.25f);
    EXPECT_EQ(renderVst2(mono, key, kSettings, false, kBlock),
              renderVst3(mono, nullptr, kSettings));
}

TEST(Vst2Audio, ProcessReplacingAllocatesNothing) {
    auto host = openEffect();
    ASSERT_NE(host, nullptr);
    host->dispatch(ConnectInput, 2, 1);
    host->resume(kRate, kBlock);
    Signal io = bursts(4, 4, 0.25f);
    long allocations = 0;
    for (std::size_t start = 0; start + kBlock <= kFrames; start += kBlock) {
        float* pins[4] = {&io[0][start], &io[1][start], &io[2][start], &io[3][start]};
        velmora::test::AllocationCounter counter;
        host->set(static_cast<std::int32_t>(start / kBlock) % 31, 0.3f);
        host->dispatch(ConnectInput, 3, static_cast<std::intptr_t>((start / kBlock) % 2));
        host->effect()->processReplacing(host->effect(), pins, pins, kBlock);
        allocations += counter.allocations();
    }
    EXPECT_EQ(allocations, 0);
    host->suspend();
}

} // namespace
} // namespace vst2test
