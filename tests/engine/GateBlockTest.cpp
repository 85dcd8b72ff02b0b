#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

using test::Buffers;
using test::configureDefaults;
using test::rms;

constexpr float kFs = 48000.0f;
constexpr int kBlock = 480;

// Runs `blocks` blocks of the plain entry with the same input every block.
void run(GateEngine& e, const Buffers& in, Buffers& out, int blocks) {
    for (int b = 0; b < blocks; ++b) {
        e.processBlock(in.in(), out.out(), in.samples());
    }
}

// Lets a Bypass or Ctrl Out change pass the bottom of its ramp and finish.
void settleRamp(GateEngine& e, const Buffers& in, Buffers& out) {
    for (int b = 0; b < 100 && e.rampActive(); ++b) {
        e.processBlock(in.in(), out.out(), in.samples());
    }
    ASSERT_FALSE(e.rampActive());
}

// Independent mode: output c is gated by detection channel c mod 2 and
// plays input channel c mod 2.
TEST(GateBlocks, IndependentChannelsWrapOverDetectionAndAudio) {
    GateEngine e;
    configureDefaults(e, kFs, 2, 4, 2);
    e.setChannelMode(false);

    Buffers in(2, kBlock);
    Buffers out(4, kBlock);
    // Channel 0 above the -20 dB threshold, channel 1 below it.
    for (int b = 0; b < 40; ++b) {
        in.sine(0, 0.5f, 1000.0, kFs, static_cast<long>(b) * kBlock);
        in.sine(1, 0.02f, 1000.0, kFs, static_cast<long>(b) * kBlock);
        e.processBlock(in.in(), out.out(), kBlock);
    }
    EXPECT_GT(e.smoothGain(0), 0.999f);
    EXPECT_GT(e.smoothGain(2), 0.999f);
    EXPECT_LT(e.smoothGain(1), 2e-6f);
    EXPECT_LT(e.smoothGain(3), 2e-6f);

    // Same audio, same gain history, same splitter state: identical samples.
    EXPECT_EQ(out[2], out[0]);
    EXPECT_EQ(out[3], out[1]);
    // Open: about the input level (output bands within 3 dB at 1 kHz).
    EXPECT_NEAR(rms(out[0]) / rms(in[0]), 1.0, 0.3);
    // Closed: the closed levels (-99 dB) let almost nothing through.
    EXPECT_LT(rms(out[1]) / rms(in[1]), 1e-3);
}

// Mean square against threshold^2: at -20 dB the gate opens above 0.01.
// A DC level a leaves the control splitter as a (low band, weight 1), so its
// mean square settles at a^2.
TEST(GateBlocks, RmsDetectionComparesMeanSquareWithThresholdSquared) {
    for (const bool linked : {true, false}) {
        for (const float a : {0.095f, 0.105f, 0.05f}) {
            GateEngine e;
            configureDefaults(e, kFs, 1, 1, 2);
            e.setDetectionMethod(true);
            e.setChannelMode(linked);
            Buffers in(1, kBlock, a);
            Buffers out(1, kBlock);
            run(e, in, out, 50);
            EXPECT_NEAR(e.meanSquare(0), a * a, a * a * 1e-3) << a;
            EXPECT_EQ(e.gateState(0).open, a * a > 0.01f) << "a = " << a << " linked " << linked;
        }
    }
}

TEST(GateBlocks, PeakDetectionComparesMagnitudeWithThreshold) {
    for (const float a : {-0.105f, 0.105f, 0.095f}) {
        GateEngine e;
        configureDefaults(e, kFs, 1, 1, 2);
        Buffers in(1, kBlock, a);
        Buffers out(1, kBlock);
        run(e, in, out, 50);
        EXPECT_NEAR(std::fabs(e.controlSample(0)), std::fabs(a), 1e-4);
        EXPECT_EQ(e.gateState(0).open, std::fabs(a) > 0.1f) << a;
    }
}

// Control-output mode writes the control signal: input gain and band weights
// applied, output gain not; outputs without a detection channel carry 1e-25.
TEST(GateBlocks, ControlOutputWritesTheDetectionSignal) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 3, 2);
    e.setInputLev(6.0f);
    e.setDetLevLo(-6.0f); // DC lies in the low band
    e.setOutputLev(20.0f);
    e.setCtrlOut(true);

    const float a = 0.2f;
    Buffers in(1, kBlock, a);
    Buffers out(3, kBlock);
    settleRamp(e, in, out);
    ASSERT_TRUE(e.ctrlOut());
    run(e, in, out, 20);

    const float expected = a * std::pow(10.0f, 6.0f / 20.0f) * std::pow(10.0f, -6.0f / 20.0f);
    for (int i = 0; i < kBlock; ++i) {
        ASSERT_NEAR(out[0][i], expected, 1e-4f);
        ASSERT_EQ(out[1][i], 1e-25f);
        ASSERT_EQ(out[2][i], 1e-25f);
    }
    // The gate keeps running behind it: 0.2 is above the threshold.
    EXPECT_TRUE(e.gateState(0).open);
    EXPECT_GT(e.maxGateLevel(), 0.999f);
    EXPECT_NEAR(e.maxVu(), expected, 1e-4f);
}

TEST(GateBlocks, BypassCopiesInputsAndFillsExtraOutputs) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 3, 2);
    Buffers in(1, kBlock);
    in.sine(0, 0.3f, 440.0, kFs);
    in[0][7] = 0.0f; // digital silence comes out as the floor value
    in[0][8] = -0.0f;
    Buffers out(3, kBlock);
    e.setBypass(true);
    settleRamp(e, in, out);
    ASSERT_TRUE(e.bypass());

    e.processBlock(in.in(), out.out(), kBlock);
    for (int i = 0; i < kBlock; ++i) {
        if (in[0][i] == 0.0f) { // samples 0, 7 and 8
            EXPECT_EQ(out[0][i], 1e-25f);
        } else {
            ASSERT_EQ(out[0][i], in[0][i]);
        }
        ASSERT_EQ(out[1][i], 1e-25f);
        ASSERT_EQ(out[2][i], 1e-25f);
    }
    EXPECT_EQ(in[0][7], 0.0f);
}

// The side-chain detects with the smaller of the channel count handed in and
// the engine's side-chain channel count.
TEST(GateBlocks, SidechainUsesAtMostItsConfiguredChannels) {
    struct Case {
        int k;
        int loudChannel;
        bool opens;
    };
    for (const Case c : {Case{4, 2, false}, Case{4, 3, false}, Case{4, 1, true}, Case{1, 1, false},
                         Case{1, 0, true}, Case{2, 1, true}}) {
        GateEngine e;
        configureDefaults(e, kFs, 2, 2, 2);
        Buffers side(4, kBlock, 0.0f);
        side.fill(c.loudChannel, 0.5f);
        Buffers in(2, kBlock, 0.01f);
        Buffers out(2, kBlock);
        for (int b = 0; b < 20; ++b) {
            e.processBlockSidechain(side.in(), in.in(), out.out(), c.k, kBlock);
        }
        EXPECT_EQ(e.gateState(0).open, c.opens) << "k " << c.k << " loud " << c.loudChannel;
    }
}

// Duck mode: silence on the detector leaves the output at its open level, a
// loud detector pulls it to the closed levels.
TEST(GateBlocks, DuckModeOpensOnSilenceAndClosesOnSignal) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 1, 2);
    e.setGateMode(true);
    Buffers side(1, kBlock, 0.0f);
    Buffers in(1, kBlock);
    Buffers out(1, kBlock);
    for (int b = 0; b < 30; ++b) {
        in.sine(0, 0.5f, 1000.0, kFs, static_cast<long>(b) * kBlock);
        e.processBlockSidechain(side.in(), in.in(), out.out(), 1, kBlock);
    }
    EXPECT_NEAR(rms(out[0]) / rms(in[0]), 1.0, 0.3);

    side.fill(0, 0.5f);
    for (int b = 30; b < 60; ++b) {
        in.sine(0, 0.5f, 1000.0, kFs, static_cast<long>(b) * kBlock);
        e.processBlockSidechain(side.in(), in.in(), out.out(), 1, kBlock);
    }
    EXPECT_LT(rms(out[0]) / rms(in[0]), 1e-3);
}

// Output gain scales the gated output and nothing else.
TEST(GateBlocks, OutputGainScalesTheOutput) {
    GateEngine plain;
    GateEngine loud;
    configureDefaults(plain, kFs, 1, 1, 2);
    configureDefaults(loud, kFs, 1, 1, 2);
    loud.setOutputLev(12.0f);
    Buffers in(1, kBlock);
    Buffers a(1, kBlock);
    Buffers b(1, kBlock);
    for (int blk = 0; blk < 10; ++blk) {
        in.sine(0, 0.5f, 700.0, kFs, static_cast<long>(blk) * kBlock);
        plain.processBlock(in.in(), a.out(), kBlock);
        loud.processBlock(in.in(), b.out(), kBlock);
    }
    const float g = loud.outputGain();
    EXPECT_NEAR(g, 3.98107f, 1e-4f);
    for (int i = 0; i < kBlock; ++i) {
        ASSERT_EQ(b[0][i], a[0][i] * g);
    }
    EXPECT_EQ(loud.smoothGain(0), plain.smoothGain(0));
}

} // namespace
} // namespace velmora
