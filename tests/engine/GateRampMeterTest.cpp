#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmora {
namespace {

using test::Buffers;
using test::configureDefaults;

constexpr float kFs = 48000.0f;

// Runs one-sample blocks and returns output 0 divided by the input level.
std::vector<float> relativeOutput(GateEngine& e, float level, int samples) {
    Buffers in(1, 1, level);
    Buffers out(1, 1);
    std::vector<float> y;
    for (int i = 0; i < samples; ++i) {
        e.processBlock(in.in(), out.out(), 1);
        y.push_back(out[0][0] / level);
    }
    return y;
}

void settle(GateEngine& e, float level) {
    Buffers in(1, 480, level);
    Buffers out(1, 480);
    for (int b = 0; b < 100 && e.rampActive(); ++b) {
        e.processBlock(in.in(), out.out(), 480);
    }
    ASSERT_FALSE(e.rampActive());
}

// The ramp falls by rampCoef per sample to 0.01 in 10 ms (480 samples), then
// rises as 1 - 0.99 c^n and stops within 1 % of full level, about 479
// samples later.
void expectDip(const std::vector<float>& y) {
    size_t bottom = 0;
    while (bottom < y.size() && y[bottom] > 0.0100001f) {
        ++bottom;
    }
    ASSERT_LT(bottom, y.size());
    EXPECT_NEAR(static_cast<double>(bottom), 479.0, 1.0);
    EXPECT_NEAR(y[bottom], 0.01f, 1e-6f);
    size_t top = bottom;
    while (top < y.size() && y[top] < 0.99f) {
        ++top;
    }
    ASSERT_LT(top, y.size());
    EXPECT_NEAR(static_cast<double>(top - bottom), 479.0, 2.0);
    for (size_t i = top; i < y.size(); ++i) {
        ASSERT_EQ(y[i], 1.0f) << i;
    }
    for (size_t i = 1; i <= bottom; ++i) {
        ASSERT_LT(y[i], y[i - 1]);
    }
}

TEST(GateRamp, UnchangedBypassStillDips) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 1, 2);
    e.setBypass(true);
    settle(e, 0.5f);
    ASSERT_TRUE(e.bypass());

    e.setBypass(true);
    const std::vector<float> y = relativeOutput(e, 0.5f, 1500);
    expectDip(y);
    EXPECT_TRUE(e.bypass());
    EXPECT_FALSE(e.pendingBypass());
}

TEST(GateRamp, UnchangedCtrlOutStillDips) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 1, 2);
    e.setCtrlOut(true);
    settle(e, 0.5f);
    ASSERT_TRUE(e.ctrlOut());
    settle(e, 0.5f);
    // DC sits in the low band: the control output equals the input.
    ASSERT_NEAR(relativeOutput(e, 0.5f, 1)[0], 1.0f, 1e-4f);

    e.setCtrlOut(true);
    std::vector<float> y = relativeOutput(e, 0.5f, 1500);
    for (float& v : y) {
        v = std::round(v * 1e5f) / 1e5f; // the DC level itself wobbles in the last digits
    }
    expectDip(y);
}

// The switch happens at the bottom of the ramp, but the block routine was
// chosen at the start of the block: the new mode is heard from the next one.
TEST(GateRamp, ModeSwitchesAtTheBottomAndIsHeardNextBlock) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 1, 2);
    // 0.05 stays below the threshold: the gated output is near silence,
    // the bypassed output is the input.
    const float level = 0.05f;
    const int n = 64;
    Buffers in(1, n, level);
    Buffers out(1, n);
    e.setBypass(true);

    int block = 0;
    while (e.rampFalling()) {
        e.processBlock(in.in(), out.out(), n);
        ++block;
        ASSERT_LT(block, 20);
    }
    EXPECT_EQ(block, 8); // 480 samples of falling end inside the 8th block
    EXPECT_TRUE(e.bypass());
    for (int i = 0; i < n; ++i) {
        EXPECT_LT(out[0][i], level * 1e-3f);
    }

    const float before = e.rampGain();
    e.processBlock(in.in(), out.out(), n);
    const float r = before * e.rampCoef() + (1.0f - e.rampCoef());
    EXPECT_EQ(out[0][0], level * r);
    EXPECT_GT(out[0][n - 1], out[0][0]);
}

TEST(GateRamp, ChangeDuringTheRiseFallsAgainWhenTheRiseEnds) {
    GateEngine e;
    configureDefaults(e, kFs, 1, 1, 2);
    Buffers in(1, 16, 0.3f);
    Buffers out(1, 16);

    e.setBypass(true);
    for (int b = 0; b < 100 && !e.rampHeld(); ++b) {
        e.processBlock(in.in(), out.out(), 16);
    }
    e.processBlock(in.in(), out.out(), 16);
    ASSERT_FALSE(e.rampFalling());
    ASSERT_FALSE(e.rampHeld());
    e.setCtrlOut(true);
    EXPECT_FALSE(e.rampFalling()); // the rise is not turned back halfway

    settle(e, 0.3f);
    EXPECT_TRUE(e.ctrlOut());
    EXPECT_TRUE(e.bypass());
    EXPECT_FALSE(e.pendingCtrlOut());
    EXPECT_EQ(e.rampGain(), 1.0f);
}

// With blocks longer than the fall, the ramp must wait at its bottom for the
// block start where the new mode is first heard. A DC input below the
// threshold makes each switch a jump between near silence and the input
// (Bypass) or the control signal (Ctrl Out), which equals DC in the low band.
TEST(GateRamp, SwitchesStayClickFreeAndEndOnTheLastValueAtAnyBlockSize) {
    const float level = 0.05f;
    for (const int n : {64, 100, 441, 512, 1000, 2048, 4096, 8192}) {
        SCOPED_TRACE(n);
        GateEngine e;
        configureDefaults(e, kFs, 1, 1, 2);
        Buffers in(1, n, level);
        Buffers out(1, n);
        settle(e, level);
        float last = out[0][n - 1];
        float largestStep = 0.0f;
        auto run = [&](int blocks) {
            for (int b = 0; b < blocks; ++b) {
                e.processBlock(in.in(), out.out(), n);
                for (int i = 0; i < n; ++i) {
                    largestStep = std::max(largestStep, std::fabs(out[0][i] - last));
                    last = out[0][i];
                }
            }
        };
        // Changes at every phase: idle, mid-fall, at the bottom, mid-rise.
        const bool bypassSeq[] = {true, false, true, true, false, true};
        const bool ctrlSeq[] = {false, true, true, false, true, false};
        for (int k = 0; k < 6; ++k) {
            e.setBypass(bypassSeq[k]);
            run(k % 3);
            e.setCtrlOut(ctrlSeq[k]);
            run(1);
        }
        run(2 + 96000 / n);
        EXPECT_FALSE(e.rampActive());
        EXPECT_EQ(e.bypass(), bypassSeq[5]);
        EXPECT_EQ(e.ctrlOut(), ctrlSeq[5]);
        // A fall or rise step is at most (1 - rampCoef) of the level, about
        // 1 %; a switch at full gain would jump by most of it.
        EXPECT_LT(largestStep, 0.02f * level);
    }
}

// 64-sample blocks at 44100 Hz: 2205-sample interval, reached after 35
// blocks (2240 samples); the count restarts from 0, not from the surplus.
TEST(GateMeters, UpdateEveryFiftyMillisecondsAndRestartCount) {
    GateEngine e;
    configureDefaults(e, 44100.0f, 1, 1, 2);
    Buffers in(1, 64, 0.3f);
    Buffers out(1, 64);
    for (int b = 1; b <= 34; ++b) {
        e.processBlock(in.in(), out.out(), 64);
    }
    EXPECT_EQ(e.meterCounter(), 34 * 64);
    EXPECT_EQ(e.maxVu(), 1e-25f);
    e.processBlock(in.in(), out.out(), 64);
    EXPECT_EQ(e.meterCounter(), 0);
    EXPECT_GT(e.maxVu(), 0.1f);
    e.processBlock(in.in(), out.out(), 64);
    EXPECT_EQ(e.meterCounter(), 64);
    for (int b = 2; b <= 34; ++b) {
        e.processBlock(in.in(), out.out(), 64);
    }
    EXPECT_EQ(e.meterCounter(), 34 * 64);
    e.processBlock(in.in(), out.out(), 64);
    EXPECT_EQ(e.meterCounter(), 0);
    // The control level of a 0.3 DC input.
    EXPECT_NEAR(e.maxVu(), 0.3f, 1e-3f);
}

struct MeterCase {
    bool rms;
    bool linked;
};

// Two channels at DC 0.3 and 0.2 (after the control splitter the same
// levels): peak readouts are those amplitudes, RMS readouts the square roots
// of the mean squares, i.e. the same amplitudes again.
TEST(GateMeters, ReadoutsPerMode) {
    for (const MeterCase m : {MeterCase{false, true}, MeterCase{false, false},
                              MeterCase{true, true}, MeterCase{true, false}}) {
        SCOPED_TRACE(testing::Message() << "rms " << m.rms << " linked " << m.linked);
        GateEngine e;
        configureDefaults(e, kFs, 2, 2, 2);
        e.setDetectionMethod(m.rms);
        e.setChannelMode(m.linked);
        Buffers in(2, 480, 0.3f);
        in.fill(1, 0.2f);
        Buffers out(2, 480);
        for (int b = 0; b < 100; ++b) {
            e.processBlock(in.in(), out.out(), 480);
        }
        EXPECT_NEAR(e.maxVu(), 0.3f, 3e-4f);
        if (m.linked) {
            EXPECT_EQ(e.minVu(), 1e-25f);
            EXPECT_EQ(e.minGateLevel(), e.maxGateLevel());
            EXPECT_EQ(e.maxGateLevel(), e.smoothGain(0));
        } else {
            EXPECT_NEAR(e.minVu(), 0.2f, 2e-4f);
            EXPECT_EQ(e.maxGateLevel(), std::max(e.smoothGain(0), e.smoothGain(1)));
            EXPECT_EQ(e.minGateLevel(), std::min(e.smoothGain(0), e.smoothGain(1)));
        }
        EXPECT_GT(e.maxGateLevel(), 0.999f);
    }
}

// minVu and minGateLevel start their search at 1, so loud channels report 1.
TEST(GateMeters, MinimaNeverExceedOne) {
    for (const bool rms : {false, true}) {
        GateEngine e;
        configureDefaults(e, kFs, 2, 2, 2);
        e.setDetectionMethod(rms);
        e.setChannelMode(false);
        e.setInputLev(20.0f);
        Buffers in(2, 480, 0.5f);
        Buffers out(2, 480);
        for (int b = 0; b < 100; ++b) {
            e.processBlock(in.in(), out.out(), 480);
        }
        EXPECT_NEAR(e.maxVu(), 5.0f, 5e-3f);
        EXPECT_EQ(e.minVu(), 1.0f);
        EXPECT_LE(e.minGateLevel(), 1.0f);
        EXPECT_LE(e.maxGateLevel(), 1.0f);
    }
}

TEST(GateMeters, SilenceKeepsTheFloorInEveryMode) {
    // The floor input squared is below the float range: a mean square of
    // silence is 0, and the readouts must still carry the 1e-25 floor so
    // that no meter value is -infinity.
    for (const bool rms : {false, true}) {
        for (const bool linked : {false, true}) {
            SCOPED_TRACE(testing::Message() << "rms " << rms << " linked " << linked);
            GateEngine e;
            configureDefaults(e, kFs, 2, 2, 2);
            e.setDetectionMethod(rms);
            e.setChannelMode(linked);
            Buffers in(2, 480, 0.0f);
            Buffers out(2, 480);
            for (int b = 0; b < 20; ++b) {
                e.processBlock(in.in(), out.out(), 480);
            }
            EXPECT_GE(e.maxVu(), 1e-25f);
            EXPECT_GE(e.minVu(), 1e-25f);
            EXPECT_TRUE(std::isfinite(std::log10(e.minVu())));
            if (rms) {
                EXPECT_EQ(e.meanSquare(0), 0.0f);
            }
        }
    }
}

TEST(GateMeters, BypassClearsReadouts) {
    GateEngine e;
    configureDefaults(e, kFs, 2, 2, 2);
    e.setChannelMode(false);
    Buffers in(2, 480, 0.3f);
    Buffers out(2, 480);
    for (int b = 0; b < 20; ++b) {
        e.processBlock(in.in(), out.out(), 480);
    }
    ASSERT_GT(e.maxVu(), 0.1f);
    ASSERT_GT(e.minGateLevel(), 0.1f);

    e.setBypass(true);
    e.processBlock(in.in(), out.out(), 480); // still gating while the ramp falls
    e.processBlock(in.in(), out.out(), 480);
    ASSERT_TRUE(e.bypass());
    EXPECT_EQ(e.maxVu(), 1e-25f);
    EXPECT_EQ(e.minVu(), 1e-25f);
    EXPECT_EQ(e.maxGateLevel(), 1e-25f);
    EXPECT_EQ(e.minGateLevel(), 1e-25f);
    // Gates and meter count stand still in bypass.
    const int frozenCounter = e.meterCounter();
    const float frozenGain = e.smoothGain(0);
    for (int b = 0; b < 20; ++b) {
        e.processBlock(in.in(), out.out(), 480);
    }
    EXPECT_EQ(e.meterCounter(), frozenCounter);
    EXPECT_EQ(e.smoothGain(0), frozenGain);
}

} // namespace
} // namespace velmora
