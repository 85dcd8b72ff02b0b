// Blocks must not allocate. This executable replaces the global allocation
// functions with counting ones, which is why it is separate from the other
// engine tests.
#include "AllocationCounter.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace velmora {
namespace {

using test::AllocationCounter;
using test::Buffers;
using test::configureDefaults;

// Every mode, both entries, with parameter changes between blocks the way a
// host delivers them: band edges (edge fades), levels, times, Beat Skip, and
// Bypass and Ctrl Out values (switching ramps).
TEST(GateNoAlloc, BlocksAllocateNothing) {
    constexpr int kBlock = 64;
    constexpr int kBlocks = 220;
    GateEngine e;
    configureDefaults(e, 48000.0f, 2, 4, 2);
    Buffers in(2, kBlock);
    Buffers side(2, kBlock);
    Buffers out(4, kBlock);
    in.sine(0, 0.5f, 300.0, 48000.0);
    in.sine(1, 0.05f, 3000.0, 48000.0);
    side.sine(0, 0.2f, 100.0, 48000.0);
    side.sine(1, 0.9f, 8000.0, 48000.0);
    in[0][5] = 0.0f;
    in[1][6] = std::numeric_limits<float>::quiet_NaN();

    long blocks = 0;
    long allocations = 0;
    long frees = 0;
    {
        AllocationCounter counter;
        for (int mode = 0; mode < 16; ++mode) {
            e.setDetectionMethod((mode & 1) != 0);
            e.setChannelMode((mode & 2) != 0);
            e.setGateMode((mode & 4) != 0);
            e.setAttEnvelope((mode & 8) != 0);
            e.setCtrlOut((mode & 1) != 0 && (mode & 4) != 0);
            e.setBypass(mode == 5 || mode == 10);
            for (int b = 0; b < kBlocks; ++b) {
                switch (b % 40) {
                case 3:
                    e.setDetFreq1(200.0f + 10.0f * static_cast<float>(b));
                    e.setSigFreq2(900.0f + 5.0f * static_cast<float>(b));
                    break;
                case 11:
                    e.setDetFreq2(6000.0f);
                    e.setSigFreq1(150.0f);
                    break;
                case 17:
                    e.setThreshold(-30.0f);
                    e.setInputLev(6.0f);
                    e.setOutputLev(-3.0f);
                    e.setDetLevMid(-12.0f);
                    e.setCeilLevHi(-6.0f);
                    e.setFloorLevLo(-40.0f);
                    break;
                case 23:
                    e.setTimeRel(50.0f);
                    e.setTimeAtt1(3.0f);
                    e.setTimeAtt2(8.0f);
                    e.setTimeRms(10.0f);
                    e.setHoldOpenTime(5.0f);
                    e.setHoldClosedTime(20.0f);
                    e.setHoldClosedProb(0.3f);
                    e.setAttDelayTime(2.0f);
                    e.setAttIsoTime(15.0f);
                    break;
                case 31:
                    e.setBypass((mode & 1) != 0 && b > 100);
                    e.setCtrlOut(false);
                    break;
                default:
                    break;
                }
                if (b % 2 == 0) {
                    e.processBlock(in.in(), out.out(), kBlock);
                } else {
                    e.processBlockSidechain(side.in(), in.in(), out.out(), 2, kBlock);
                }
                (void)e.maxVu();
                ++blocks;
            }
        }
        allocations = counter.allocations();
        frees = counter.frees();
    }
    EXPECT_EQ(blocks, 16 * kBlocks);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(frees, 0);
}

} // namespace
} // namespace velmora
