// setState on one thread while another processes: every block sees one
// complete state, and the last state written is the one left in force.
#include "ProcessorTestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace velmora::test {
namespace {

// A few engine settings that between them come from six different fields.
struct Fingerprint {
    float inputGain;
    float outputGain;
    float threshold;
    float releaseCoef;
    int holdSamples;
    bool rms;

    static Fingerprint of(const GateEngine& e) {
        return {e.inputGain(),   e.outputGain(),  e.threshold(),
                e.releaseCoef(), e.holdSamples(), e.rms()};
    }
    bool operator==(const Fingerprint&) const = default;
};

TEST(ProcessorThreads, LastStateWrittenWhileProcessingIsTheOneInForce) {
    StateFields a = StateFields::defaults();
    StateFields b = StateFields::defaults();
    b.sw(kDetectionMethod) = 1;
    b.sw(kChannelMode) = 0;
    for (int i = 0; i < kNumContinuous; ++i) {
        b.values[static_cast<size_t>(i)] = 0.1f + 0.03f * static_cast<float>(i);
    }

    // The fingerprints each state leaves in the engine, taken without
    // threads.
    Fingerprint fa{};
    Fingerprint fb{};
    {
        Processor p;
        p.initialize();
        p.setState(a);
        fa = Fingerprint::of(p.engine());
        p.setState(b);
        fb = Fingerprint::of(p.engine());
    }
    ASSERT_FALSE(fa == fb);

    Processor p;
    p.start(44100.0, 64);
    constexpr int kWrites = 3000;
    std::atomic<bool> writing{true};
    std::atomic<int> blocks{0};
    std::atomic<int> mixed{0};
    std::atomic<int> failures{0};
    std::atomic<int> switches{0};

    // The audio thread: after each block the engine must hold one state
    // or the other, never parts of both.
    std::thread audio([&] {
        Block blk(2, 2, 64);
        long pos = 0;
        Fingerprint previous = fa;
        auto once = [&] {
            blk.resetChanges();
            blk.sineIn(0.3f, 200.0, 44100.0, pos);
            pos += 64;
            p->process(blk.data);
            const Fingerprint f = Fingerprint::of(p.engine());
            if (!(f == fa) && !(f == fb)) {
                mixed.fetch_add(1, std::memory_order_relaxed);
            }
            if (!(f == previous)) {
                switches.fetch_add(1, std::memory_order_relaxed);
            }
            previous = f;
            blocks.fetch_add(1, std::memory_order_relaxed);
        };
        while (writing.load(std::memory_order_acquire)) {
            once();
            std::this_thread::yield();
        }
        // One more block picks up the last state handed over.
        once();
    });

    // The main thread: alternate the two states, ending with b.
    std::thread main([&] {
        for (int i = 0; i < kWrites; ++i) {
            const StateFields& s = (i % 2 == 0) ? a : b;
            ByteStream stream(s.bytes());
            // The saved state is always the last one written.
            ByteStream saved;
            if (p->setState(&stream) != kResultOk || p->getState(&saved) != kResultOk ||
                saved.data != s.bytes()) {
                failures.fetch_add(1, std::memory_order_relaxed);
            }
            // Every few writes wait for a block, so that writes and blocks
            // interleave even when the two threads share one core.
            if (i % 3 == 2) {
                const int seen = blocks.load(std::memory_order_relaxed);
                while (blocks.load(std::memory_order_relaxed) == seen) {
                    std::this_thread::yield();
                }
            }
        }
        writing.store(false, std::memory_order_release);
    });
    main.join();
    audio.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GT(blocks.load(), 1);
    // Both states were in force many times over.
    EXPECT_GT(switches.load(), 100);
    EXPECT_EQ(p.stateBytes(), b.bytes());
    EXPECT_TRUE(Fingerprint::of(p.engine()) == fb);
    EXPECT_FALSE(p.engine().linked());
}

TEST(ProcessorThreads, SavedStatesHoldOnlyEdgePairsTheAudioHad) {
    // Each block pushes one edge of both pairs past the other, so the
    // ordering rule moves both edges at once: the pairs go from both low to
    // both high and back. A save must never catch one edge of each.
    constexpr float kLow = 0.2f;
    constexpr float kHigh = 0.8f;
    Processor p;
    p.start(44100.0, 64);
    StateFields s = StateFields::defaults();
    for (ParamId id : {kCtrlBandEdge1, kCtrlBandEdge2, kOutBandEdge1, kOutBandEdge2}) {
        s.value(id) = kLow;
    }
    ASSERT_EQ(p.setState(s), kResultOk);

    std::atomic<bool> saving{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        // Parameter-only calls: as many edge moves per second as possible.
        Block blk(2, 2, 64);
        blk.data.numInputs = 0;
        blk.data.numOutputs = 0;
        bool high = false;
        while (saving.load(std::memory_order_acquire)) {
            blk.resetChanges();
            high = !high;
            if (high) {
                blk.inChanges.add(kCtrlBandEdge1, {kHigh});
                blk.inChanges.add(kOutBandEdge1, {kHigh});
            } else {
                blk.inChanges.add(kCtrlBandEdge2, {kLow});
                blk.inChanges.add(kOutBandEdge2, {kLow});
            }
            p->process(blk.data);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // A torn save needs the two threads inside a few instructions of each
    // other, which a loaded machine that time-slices them rarely gives:
    // save for a second and through many blocks.
    int torn = 0;
    int saves = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (; std::chrono::steady_clock::now() < until || saves < 20000 ||
           blocks.load(std::memory_order_relaxed) < 20000;
         ++saves) {
        const StateFields saved = p.getState();
        torn += saved.value(kCtrlBandEdge1) != saved.value(kCtrlBandEdge2);
        torn += saved.value(kOutBandEdge1) != saved.value(kOutBandEdge2);
    }
    saving.store(false, std::memory_order_release);
    audio.join();

    EXPECT_EQ(torn, 0) << "in " << saves << " saves over " << blocks.load() << " blocks";
    // The last block's change has been published too.
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().outputSplitter().edge2Hz()),
                    ParameterScaling().toPlain(kOutBandEdge2, p.getState().value(kOutBandEdge2)));
}

} // namespace
} // namespace velmora::test
