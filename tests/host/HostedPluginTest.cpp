// The host library driving the real plug-in bundle.
#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"

#include "AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace velmora::host {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

const std::filesystem::path kLibrary = VELMORA_TEST_PLUGIN_LIBRARY;
// <bundle>/Contents/x86_64-linux/<name>.so
const std::filesystem::path kBundle = kLibrary.parent_path().parent_path().parent_path();

constexpr ParamID kBypass = 0;
constexpr ParamID kThreshold = 8;
constexpr ParamID kBandEdge1 = 18;
constexpr double kRate = 48000.0;
constexpr std::int32_t kBlock = 256;
// A meter value carries 20 log10(r) / 60 + 1; the engine's floor 1e-25 gives this.
constexpr double kFloorMeter = 20.0 * -25.0 / 60.0 + 1.0;

std::unique_ptr<HostedPlugin> makePlugin(HostOptions options = {}) {
    std::string error;
    auto module = PluginModule::load(kBundle, error);
    EXPECT_TRUE(module) << error;
    if (!module) {
        return nullptr;
    }
    auto plugin = HostedPlugin::create(module, error, options);
    EXPECT_TRUE(plugin) << error;
    return plugin;
}

float stateValue(const std::vector<char>& state, int field) {
    float v = 0.0f;
    std::memcpy(&v, state.data() + 4 * field, 4);
    return v;
}

// Fills every main-input channel with its own sine (440 Hz times the channel
// number plus one), continuing from `frame`.
void fillSines(HostedPlugin& p, std::int64_t frame, std::int32_t n, float amplitude) {
    for (std::int32_t c = 0; c < p.channelCount(kInput, 0); ++c) {
        float* x = p.channel(kInput, 0, c);
        for (std::int32_t i = 0; i < n; ++i) {
            x[i] = amplitude * float(std::sin(2.0 * std::numbers::pi * 440.0 * (c + 1) *
                                              double(frame + i) / kRate));
        }
    }
}

double rms(const float* x, std::int32_t n) {
    double sum = 0.0;
    for (std::int32_t i = 0; i < n; ++i) {
        sum += double(x[i]) * x[i];
    }
    return std::sqrt(sum / n);
}

TEST(HostedPlugin, LoadsTheBundleAndSeesItsClassesAndParameters) {
    std::string error;
    // Both the bundle folder and the library inside it load.
    for (const auto& path : {kBundle, kLibrary}) {
        auto module = PluginModule::load(path, error);
        ASSERT_TRUE(module) << error;
        EXPECT_EQ(module->vendor(), "Brackwell");
        const auto classes = module->classes();
        ASSERT_EQ(classes.size(), 2u);
        EXPECT_EQ(classes[0].category, "Audio Module Class");
        EXPECT_EQ(classes[0].name, "BK Velmora");
        EXPECT_EQ(classes[1].category, "Component Controller Class");
    }
    EXPECT_EQ(PluginModule::libraryPath(kBundle), kLibrary);
    EXPECT_FALSE(PluginModule::load(kBundle / "missing.vst3", error));
    EXPECT_NE(error.find("missing.vst3"), std::string::npos);
    EXPECT_FALSE(PluginModule::load("/dev/null", error));
    EXPECT_NE(error.find("/dev/null"), std::string::npos);

    auto plugin = makePlugin();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->className(), "BK Velmora");
    const auto& params = plugin->parameters();
    ASSERT_EQ(params.size(), 35u);
    for (std::size_t i = 0; i < params.size(); ++i) {
        EXPECT_EQ(params[i].id, i);
    }
    EXPECT_EQ(params[2].title, "Detection Method: Peak/RMS");
    EXPECT_TRUE(params[2].isSwitch());
    EXPECT_EQ(params[8].title, "Threshold");
    EXPECT_TRUE(params[31].isReadOnly());
    // The controller took over the processor's settings: Threshold -20 dB.
    EXPECT_NEAR(plugin->normalized(kThreshold), 1.0 / 3.0, 1e-6);
    EXPECT_EQ(plugin->valueText(kThreshold, plugin->normalized(kThreshold)), "-20.0 dB");
    // Texts are read by the plug-in itself.
    const auto edge = plugin->valueFromText(kBandEdge1, "250 Hz");
    ASSERT_TRUE(edge);
    EXPECT_NEAR(*edge, (std::log(250.0) - std::log(10.0)) / (std::log(20000.0) - std::log(10.0)),
                1e-6);
    EXPECT_FALSE(plugin->valueFromText(kThreshold, "abc"));
}

TEST(HostedPlugin, DeliversParameterChangesAndCollectsTheMeters) {
    auto plugin = makePlugin();
    ASSERT_TRUE(plugin);
    HostedPlugin& p = *plugin;
    std::string error;
    ASSERT_TRUE(p.startProcessing({kRate, kBlock, 2, false}, error)) << error;
    EXPECT_EQ(p.busCount(kInput), 2);
    EXPECT_EQ(p.channelCount(kInput, 0), 2);
    EXPECT_EQ(p.channelCount(kOutput, 0), 2);
    EXPECT_EQ(p.sidechainBus(), -1);
    EXPECT_EQ(p.process(kBlock + 1), kInvalidArgument);

    // Changes handed over without audio reach the processor's state.
    ASSERT_TRUE(p.inputChanges().addChange(kThreshold, 0, 0.7));
    ASSERT_EQ(p.flushParameters(), kResultOk);
    EXPECT_EQ(p.inputChanges().getParameterCount(), 0);
    std::vector<char> state;
    ASSERT_TRUE(p.getState(state));
    ASSERT_EQ(state.size(), 124u);
    EXPECT_FLOAT_EQ(stateValue(state, kThreshold), 0.7f);

    // In bypass the output is the input, once the switching dip (about 20 ms)
    // is over, channel for channel; all four meters sit at the floor.
    ASSERT_TRUE(p.inputChanges().addChange(kBypass, 0, 1.0));
    std::int64_t frame = 0;
    for (int block = 0; block < 20; ++block) {
        fillSines(p, frame, kBlock, 0.5f);
        ASSERT_EQ(p.process(kBlock), kResultOk);
        frame += kBlock;
    }
    fillSines(p, frame, kBlock, 0.5f);
    std::vector<std::vector<float>> expected = {
        {p.channel(kInput, 0, 0), p.channel(kInput, 0, 0) + kBlock},
        {p.channel(kInput, 0, 1), p.channel(kInput, 0, 1) + kBlock}};
    ASSERT_EQ(p.process(kBlock), kResultOk);
    for (int c = 0; c < 2; ++c) {
        const float* out = p.channel(kOutput, 0, c);
        for (std::int32_t i = 0; i < kBlock; ++i) {
            ASSERT_EQ(out[i], expected[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)])
                << "channel " << c << " sample " << i;
        }
    }
    ASSERT_EQ(p.outputChanges().count(), 4);
    for (ParamID id = 31; id <= 34; ++id) {
        const ParamValueQueue* q = p.outputChanges().find(id);
        ASSERT_NE(q, nullptr) << id;
        double m = 0.0;
        ASSERT_TRUE(q->lastValue(m));
        EXPECT_NEAR(m, kFloorMeter, 1e-4) << id;
    }

    // Out of bypass, with the threshold at -60 dB, a -6 dBFS tone opens the
    // gate: the gain meters read 0 dB and the tone passes at its level.
    ASSERT_TRUE(p.inputChanges().addChange(kBypass, 0, 0.0));
    ASSERT_TRUE(p.inputChanges().addChange(kThreshold, 0, 1.0));
    for (int block = 0; block < 40; ++block) {
        fillSines(p, frame, kBlock, 0.5f);
        ASSERT_EQ(p.process(kBlock), kResultOk);
        frame += kBlock;
    }
    double maxGate = 0.0;
    ASSERT_TRUE(p.outputChanges().lastValue(33, maxGate));
    EXPECT_NEAR(maxGate, 1.0, 1e-3);
    EXPECT_NEAR(rms(p.channel(kOutput, 0, 0), kBlock), 0.5 / std::sqrt(2.0), 0.05);

    // Silence closes it again: the gain falls towards the closed level.
    ASSERT_TRUE(p.inputChanges().addChange(kThreshold, 0, 1.0 / 3.0));
    for (int block = 0; block < 60; ++block) {
        fillSines(p, frame, kBlock, 0.0f);
        ASSERT_EQ(p.process(kBlock), kResultOk);
        frame += kBlock;
    }
    ASSERT_TRUE(p.outputChanges().lastValue(33, maxGate));
    EXPECT_LT(maxGate, 0.0); // below -60 dB

    p.stopProcessing();
    EXPECT_FALSE(p.isProcessing());
    EXPECT_EQ(p.process(kBlock), kInvalidArgument);
}

TEST(HostedPlugin, DetectsFromTheSidechainWhenItIsActive) {
    auto plugin = makePlugin();
    ASSERT_TRUE(plugin);
    HostedPlugin& p = *plugin;
    std::string error;
    ASSERT_TRUE(p.startProcessing({kRate, kBlock, 2, true}, error)) << error;
    ASSERT_EQ(p.sidechainBus(), 1);
    ASSERT_EQ(p.channelCount(kInput, 1), 2);
    // Threshold -30 dB; the main input alone (-40 dBFS) stays below it.
    p.inputChanges().addChange(kThreshold, 0, 0.5);

    const auto runWithKey = [&](float keyLevel) {
        std::int64_t frame = 0;
        for (int block = 0; block < 60; ++block) {
            fillSines(p, frame, kBlock, 0.01f);
            for (int c = 0; c < 2; ++c) {
                float* key = p.channel(kInput, 1, c);
                for (std::int32_t i = 0; i < kBlock; ++i) {
                    key[i] = keyLevel * float(std::sin(0.05 * double(frame + i)));
                }
            }
            EXPECT_EQ(p.process(kBlock), kResultOk);
            frame += kBlock;
        }
        return rms(p.channel(kOutput, 0, 0), kBlock);
    };
    // A loud key lets the quiet main signal through; no key shuts it.
    EXPECT_NEAR(runWithKey(0.5f), 0.01 / std::sqrt(2.0), 0.002);
    EXPECT_LT(runWithKey(0.0f), 1e-5);
}

TEST(HostedPlugin, AcceptsMonoAndHandsStateToBothHalves) {
    auto plugin = makePlugin();
    ASSERT_TRUE(plugin);
    HostedPlugin& p = *plugin;
    std::string error;
    ASSERT_TRUE(p.startProcessing({44100.0, 64, 1, false}, error)) << error;
    EXPECT_EQ(p.channelCount(kInput, 0), 1);
    EXPECT_EQ(p.channelCount(kOutput, 0), 1);
    fillSines(p, 0, 64, 0.25f);
    EXPECT_EQ(p.process(64), kResultOk);
    p.stopProcessing();

    std::vector<char> state;
    ASSERT_TRUE(p.getState(state));
    const float threshold = 0.25f; // -15 dB
    std::memcpy(state.data() + 4 * kThreshold, &threshold, 4);
    ASSERT_TRUE(p.setState(state, error)) << error;
    EXPECT_NEAR(p.normalized(kThreshold), 0.25, 1e-7);
    EXPECT_EQ(p.valueText(kThreshold, p.normalized(kThreshold)), "-15.0 dB");

    // A state cut short is refused by the processor and changes nothing.
    state.resize(40);
    EXPECT_FALSE(p.setState(state, error));
    EXPECT_NEAR(p.normalized(kThreshold), 0.25, 1e-7);
}

TEST(HostedPlugin, ProcessesWithoutAllocating) {
    auto plugin = makePlugin();
    ASSERT_TRUE(plugin);
    HostedPlugin& p = *plugin;
    std::string error;
    ASSERT_TRUE(p.startProcessing({kRate, kBlock, 2, true}, error)) << error;
    std::int64_t frame = 0;
    long allocations = 0;
    long frees = 0;
    {
        // Counts the plug-in's allocations too: the library resolves operator
        // new and delete to this executable's.
        test::AllocationCounter counter;
        for (int block = 0; block < 50; ++block) {
            fillSines(p, frame, kBlock, 0.25f);
            // Changes in and meters out with every block.
            p.inputChanges().addChange(kThreshold, 0, 0.3 + 0.001 * block);
            p.inputChanges().addChange(kBandEdge1, kBlock / 2, 0.4);
            p.process(kBlock);
            double meter = 0.0;
            p.outputChanges().lastValue(31, meter);
            frame += kBlock;
        }
        p.flushParameters();
        allocations = counter.allocations();
        frees = counter.frees();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(frees, 0);
}

TEST(HostedPlugin, HoldsBackTextMessagesWhenAsked) {
    for (const bool deliver : {false, true}) {
        testing::internal::CaptureStderr();
        {
            HostOptions options;
            options.deliverTextMessages = deliver;
            auto plugin = makePlugin(options);
            ASSERT_TRUE(plugin);
            std::string error;
            ASSERT_TRUE(plugin->startProcessing({kRate, kBlock, 2, false}, error)) << error;
            plugin->stopProcessing();
        }
        const std::string text = testing::internal::GetCapturedStderr();
        // The processor tells the controller when it is switched on and off.
        const bool told = text.find("again::setActive (true)") != std::string::npos &&
                          text.find("again::setActive (false)") != std::string::npos;
        EXPECT_EQ(told, deliver) << text;
    }
}

} // namespace
} // namespace velmora::host
