// process allocates nothing: every global operator new and delete of this
// executable is counted while blocks run, with parameter changes, state
// hand-overs, silence flags, gaps and the side-chain along the way.
#include "AllocationCounter.h"
#include "ProcessorTestHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::test {
namespace {

TEST(ProcessorAllocation, ProcessAllocatesNothing) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    ASSERT_EQ(p->activateBus(kAudio, kInput, 1, true), kResultOk);
    p.setup(48000.0, 256);
    p.activate();

    constexpr int kBlocks = 3000;
    Block main(2, 2, 32);
    Block side(2, 2, 32, 2);
    const StateFields a = StateFields::defaults();
    StateFields b = a;
    b.sw(kChannelMode) = 0;
    b.sw(kDetectionMethod) = 1;
    b.value(kCtrlBandEdge1) = 0.2f;
    b.value(kOutBandEdge2) = 0.8f;
    std::mt19937 rng(11);

    long news = 0;
    long deletes = 0;
    for (int k = 0; k < kBlocks; ++k) {
        Block& blk = (k % 3 == 2) ? side : main;
        blk.resetChanges();
        blk.noiseIn(k % 400 < 200 ? 0.5f : 0.001f, rng);
        // One to three parameters per block, every ID in turn, switches too.
        for (int j = 0; j < 1 + k % 3; ++j) {
            const auto id = static_cast<ParamID>((k + 11 * j) % kNumStateParams);
            blk.inChanges.add(id, {0.3, 0.1 + 0.8 * ((k * 7 + j) % 10) / 10.0});
        }
        blk.inBus().silenceFlags = (k % 97 == 0) ? 1 : 0;
        blk.inPtrs()[1] = (k % 89 == 0) ? nullptr : blk.in(1).data();
        if (k % 101 == 0) {
            // Handed to the audio thread; setState itself may allocate.
            p.setState((k / 101) % 2 ? a : b);
        }

        tresult r = kResultFalse;
        {
            AllocationCounter counter;
            r = p->process(blk.data);
            news += counter.allocations();
            deletes += counter.frees();
        }
        ASSERT_EQ(r, kResultOk);
        ASSERT_TRUE(blk.outFinite()) << k;
    }
    EXPECT_EQ(news, 0);
    EXPECT_EQ(deletes, 0);

    // The counter itself works in this executable.
    long probeNews = 0;
    long probeDeletes = 0;
    {
        AllocationCounter counter;
        std::vector<float>* volatile probe = new std::vector<float>(16);
        delete probe;
        probeNews = counter.allocations();
        probeDeletes = counter.frees();
    }
    EXPECT_EQ(probeNews, 2);
    EXPECT_EQ(probeDeletes, 2);
}

} // namespace
} // namespace velmora::test
