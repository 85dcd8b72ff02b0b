// Hosts call setParameter from any thread while the audio thread processes
// and the user-interface thread idles the editor. Run under ThreadSanitizer.
#include "Vst2Bundle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vst2test {
namespace {

TEST(Vst2Threads, SetParameterDuringProcessing) {
    auto host = openEffect();
    auto check = openEffect();
    ASSERT_TRUE(host && check);
    constexpr std::int32_t kBlock = 128;
    host->resume(48000.0f, kBlock);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> buffer(4 * kBlock, 0.01f);
        float* pins[4] = {&buffer[0], &buffer[kBlock], &buffer[2 * kBlock], &buffer[3 * kBlock]};
        while (!stop.load()) {
            host->effect()->processReplacing(host->effect(), pins, pins, kBlock);
            blocks.fetch_add(1);
        }
    });
    std::thread automation([&] {
        for (int k = 0; k < 20000; ++k) {
            host->set(k % 31, static_cast<float>(k % 100) / 100.0f);
            (void)host->get((k + 5) % 31);
        }
    });
    for (int k = 0; k < 200; ++k) {
        host->dispatch(EditIdle);
        bool overrun = false;
        host->text(GetParamDisplay, k % 31, 8, overrun);
        std::this_thread::yield();
    }
    automation.join();
    // The last values reach the processor with the next block.
    host->set(8, 0.625f);
    const int seen = blocks.load();
    while (blocks.load() < seen + 2) {
        std::this_thread::yield();
    }
    stop = true;
    audio.join();
    host->suspend();

    ASSERT_EQ(check->setChunk(host->chunk()), 1);
    EXPECT_EQ(check->get(8), 0.625f);
    // Continuous values only: switches are stored as on or off, and the
    // processor keeps band edges in order by itself.
    for (std::int32_t i : {6, 12, 15, 22, 30}) {
        EXPECT_EQ(check->get(i), host->get(i)) << i;
    }
}

} // namespace
} // namespace vst2test
