// Real-time playback on its own thread: edits from the interface thread reach
// the processor in order, reported values reach the controller, and the pace
// is that of the sample rate.
#include "TestEditor.h"

#include "edit/Playback.h"
#include "hosting/HostedPlugin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace velmora::host::test {
namespace {

using namespace Steinberg::Vst;
using Clock = std::chrono::steady_clock;

TEST(Playback, DeliversEditsAndReportedValuesBetweenTheThreads) {
    std::string error;
    auto module = PluginModule::load(VELMORA_TEST_GUI_MODULE, error);
    ASSERT_TRUE(module) << error;
    auto plugin = HostedPlugin::create(module, error);
    ASSERT_TRUE(plugin) << error;
    ProcessConfig config;
    config.maxBlockSize = 480; // 10 ms at 48 kHz
    config.processMode = kRealtime;
    ASSERT_TRUE(plugin->startProcessing(config, error)) << error;

    Playback playback(*plugin);
    LoopSource input;
    input.channels = 1;
    input.frames = 100; // shorter than a block: it loops within one
    input.samples.assign(100, 0.0f);
    input.samples[37] = -0.75f;
    const auto started = Clock::now();
    ASSERT_TRUE(playback.start(input, {}, error)) << error;

    // The peak the processor reports arrives at the controller.
    IEditController* controller = plugin->controller();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (controller->getParamNormalized(velmora::test::kLevelId) != 0.75 &&
           Clock::now() < deadline) {
        playback.deliverOutputs();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(controller->getParamNormalized(velmora::test::kLevelId), 0.75);

    // The controller's edits go through the playback's component handler;
    // more than the ring holds keep their order, the last one wins.
    for (std::size_t i = 0; i <= 3 * Playback::kEditCapacity; ++i) {
        playback.componentHandler()->performEdit(
            velmora::test::kGainId, static_cast<double>(i) / (3 * Playback::kEditCapacity) * 0.6);
        if (i % 500 == 0) {
            playback.deliverOutputs();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto blocks = playback.blocksProcessed();
    const auto elapsed = Clock::now() - started;
    playback.stop();

    // Never faster than real time (a block is 10 ms of audio).
    const double realTimeBlocks = std::chrono::duration<double>(elapsed).count() * 100.0;
    EXPECT_LE(static_cast<double>(blocks), realTimeBlocks + 2.0);
    std::vector<char> state;
    ASSERT_TRUE(plugin->getState(state));
    ASSERT_EQ(state.size(), 4u);
    float gain = 0.0f;
    std::memcpy(&gain, state.data(), 4);
    EXPECT_FLOAT_EQ(gain, 0.6f);
}

} // namespace
} // namespace velmora::host::test
