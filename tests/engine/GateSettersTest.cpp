#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

using test::Buffers;
using test::configureDefaults;

TEST(GateEngineSetup, FreshEngineStartsQuietAndClosed) {
    GateEngine e;
    EXPECT_EQ(e.maxVu(), 1e-25f);
    EXPECT_EQ(e.minVu(), 1e-25f);
    EXPECT_EQ(e.maxGateLevel(), 1e-25f);
    EXPECT_EQ(e.minGateLevel(), 1e-25f);
    EXPECT_FALSE(e.bypass());
    EXPECT_FALSE(e.ctrlOut());
    EXPECT_FALSE(e.rampActive());
    EXPECT_FALSE(e.truncateOn());
    EXPECT_EQ(e.delaySamples(), 0);
    EXPECT_EQ(e.meterCounter(), 0);

    e.setOutputChannels(3);
    for (int c = 0; c < 3; ++c) {
        const ChannelGateState& s = e.gateState(c);
        EXPECT_EQ(s.gain, 0.001f);
        EXPECT_EQ(s.smoothGain, 1e-6f);
        EXPECT_FALSE(s.open || s.wasOpen || s.inDelay || s.noteActive || s.muting || s.skipped);
        EXPECT_EQ(s.holdCount + s.muteCount + s.delayCount + s.truncateCount, 0);
    }
}

// samples(t) = integer part of t * 0.001 * fs + 0.5: the nearest sample.
TEST(GateEngineSetup, SampleCountsRoundToNearest) {
    GateEngine e;
    e.setSampleRate(1000.0f);
    e.setHoldOpenTime(1.6f);
    EXPECT_EQ(e.holdSamples(), 2);
    e.setHoldOpenTime(1.4f);
    EXPECT_EQ(e.holdSamples(), 1);
    e.setHoldClosedTime(2.5f); // halves go up
    EXPECT_EQ(e.muteSamples(), 3);
    e.setAttDelayTime(0.4f);
    EXPECT_EQ(e.delaySamples(), 0);

    e.setSampleRate(44100.0f);
    e.setHoldOpenTime(35.0f); // 1543.5 -> 1544
    EXPECT_EQ(e.holdSamples(), 1544);
}

TEST(GateEngineSetup, LevelSettersConvertDecibels) {
    GateEngine e;
    e.setInputLev(0.0f);
    EXPECT_EQ(e.inputGain(), 1.0f);
    e.setOutputLev(0.0f);
    EXPECT_EQ(e.outputGain(), 1.0f);
    e.setThreshold(0.0f);
    EXPECT_EQ(e.threshold(), 1.0f);

    // -99 dB, the bottom of the level families: 10^(-4.95).
    e.setInputLev(-99.0f);
    EXPECT_NEAR(e.inputGain(), 1.1220185e-5f, 1e-11f);
    e.setThreshold(-20.0f);
    EXPECT_FLOAT_EQ(e.threshold(), 0.1f);
    e.setOutputLev(40.0f);
    EXPECT_FLOAT_EQ(e.outputGain(), 100.0f);
    e.setInputLev(-60.0f);
    EXPECT_FLOAT_EQ(e.inputGain(), 0.001f);
}

TEST(GateEngineSetup, TruncateLimitIgnoresSetterOrder) {
    GateEngine a;
    a.setSampleRate(1000.0f);
    a.setAttDelayTime(3.0f);
    a.setAttIsoTime(10.0f);

    GateEngine b;
    b.setSampleRate(1000.0f);
    b.setAttIsoTime(10.0f);
    b.setAttDelayTime(3.0f);

    EXPECT_EQ(a.truncateLimit(), 13);
    EXPECT_EQ(b.truncateLimit(), 13);
    EXPECT_TRUE(a.truncateOn());
    EXPECT_TRUE(b.truncateOn());

    // Truncation off: the limit is the delay alone.
    a.setAttIsoTime(0.0f);
    EXPECT_FALSE(a.truncateOn());
    EXPECT_EQ(a.truncateLimit(), 3);
    a.setAttDelayTime(5.0f);
    EXPECT_FALSE(a.truncateOn());
    EXPECT_EQ(a.truncateLimit(), 5);
}

// Every one-pole factor moves by its ratio in N = fs * t / 1000 samples, and
// each smoothing factor is the eighth power of its factor.
TEST(GateEngineSetup, TimeConstantsHitTheirRatioAtTheSetTime) {
    GateEngine e;
    e.setSampleRate(48000.0f);
    e.setTimeRel(10.0f); // N = 480
    e.setTimeRms(50.0f); // N = 2400
    e.setTimeAtt1(1.0f); // N = 48
    e.setTimeAtt2(5.0f); // N = 240

    EXPECT_NEAR(std::pow(static_cast<double>(e.releaseCoef()), 480.0), 0.001, 0.001 * 1e-3);
    EXPECT_NEAR(std::pow(static_cast<double>(e.rmsCoef()), 2400.0), 0.001, 0.001 * 5e-3);
    EXPECT_NEAR(std::pow(static_cast<double>(e.gradAttackCoef()), 48.0), 0.001, 0.001 * 1e-4);
    EXPECT_NEAR(std::pow(static_cast<double>(e.synthAttackCoef()), 240.0), 1.0 - 0.999 / 1.3, 1e-5);

    EXPECT_FLOAT_EQ(e.releaseSmooth(), std::pow(e.releaseCoef(), 8.0f));
    EXPECT_FLOAT_EQ(e.gradAttackSmooth(), std::pow(e.gradAttackCoef(), 8.0f));
    EXPECT_FLOAT_EQ(e.synthAttackSmooth(), std::pow(e.synthAttackCoef(), 8.0f));
}

TEST(GateEngineSetup, SampleRateResetsRampAndMeterButNoTimeConstant) {
    GateEngine e;
    configureDefaults(e, 44100.0f, 2, 2, 2);
    EXPECT_EQ(e.meterInterval(), 2205);
    // The ramp falls from 1 to 0.01 in 10 ms (441 samples).
    EXPECT_NEAR(std::pow(static_cast<double>(e.rampCoef()), 441.0), 0.01, 1e-5);

    const float rel = e.releaseCoef();
    const float rmsCoef = e.rmsCoef();
    const float att1 = e.gradAttackCoef();
    const float att2 = e.synthAttackCoef();
    const int hold = e.holdSamples();
    e.setAttDelayTime(2.0f);
    e.setAttIsoTime(20.0f);
    const int delay = e.delaySamples();
    const int limit = e.truncateLimit();

    e.setBypass(true);
    e.setSampleRate(96000.0f);
    EXPECT_EQ(e.sampleRate(), 96000.0f);
    EXPECT_EQ(e.meterInterval(), 4800);
    EXPECT_NEAR(std::pow(static_cast<double>(e.rampCoef()), 960.0), 0.01, 1e-5);
    EXPECT_EQ(e.controlSplitter().sampleRate(), 96000.0);
    EXPECT_EQ(e.outputSplitter().sampleRate(), 96000.0);

    EXPECT_EQ(e.releaseCoef(), rel);
    EXPECT_EQ(e.rmsCoef(), rmsCoef);
    EXPECT_EQ(e.gradAttackCoef(), att1);
    EXPECT_EQ(e.synthAttackCoef(), att2);
    EXPECT_EQ(e.holdSamples(), hold);
    EXPECT_EQ(e.delaySamples(), delay);
    EXPECT_EQ(e.truncateLimit(), limit);

    // The running ramp stops; the waiting Bypass value keeps waiting.
    EXPECT_FALSE(e.rampActive());
    EXPECT_TRUE(e.rampFalling());
    EXPECT_EQ(e.rampGain(), 1.0f);
    EXPECT_TRUE(e.pendingBypass());
    EXPECT_TRUE(e.nextBypass());
    EXPECT_FALSE(e.bypass());
}

TEST(GateEngineSetup, EdgeSettersReachTheSplitters) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 2, 2, 2);
    EXPECT_EQ(e.controlSplitter().edge1Hz(), 1000.0);
    EXPECT_EQ(e.controlSplitter().edge2Hz(), 5000.0);
    EXPECT_EQ(e.outputSplitter().edge1Hz(), 220.0);
    EXPECT_EQ(e.outputSplitter().edge2Hz(), 880.0);
    EXPECT_EQ(e.controlSplitter().channelCount(), 2);
    EXPECT_EQ(e.outputSplitter().channelCount(), 2);

    e.setDetFreq2(500.0f); // below edge 1: edge 1 follows
    EXPECT_EQ(e.controlSplitter().edge1Hz(), 500.0);
    e.setSigFreq1(2000.0f); // above edge 2: edge 2 follows
    EXPECT_EQ(e.outputSplitter().edge2Hz(), 2000.0);
    EXPECT_TRUE(e.outputSplitter().fading());
}

TEST(GateEngineSetup, ChannelCountSettersReset) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 2, 2, 2);
    Buffers in(2, 4800);
    in.sine(0, 0.5f, 1000.0, 48000.0);
    in.sine(1, 0.5f, 1000.0, 48000.0);
    Buffers out(2, 4800);
    e.setChannelMode(false);
    e.processBlock(in.in(), out.out(), 4800);
    ASSERT_TRUE(e.gateState(0).open);
    ASSERT_GT(e.smoothGain(1), 0.9f);
    ASSERT_NE(e.controlSample(0), 0.0f);

    // Same count again: still every gate back to closed.
    e.setOutputChannels(2);
    for (int c = 0; c < 2; ++c) {
        const ChannelGateState& s = e.gateState(c);
        EXPECT_FALSE(s.open || s.wasOpen || s.noteActive);
        EXPECT_EQ(s.holdCount, 0);
        EXPECT_EQ(s.gain, 0.001f);
        EXPECT_EQ(s.smoothGain, 1e-6f);
    }

    e.setSidechainChannels(3);
    EXPECT_EQ(e.controlSplitter().channelCount(), 3);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(e.meanSquare(d), 0.0f);
        EXPECT_EQ(e.controlSample(d), 0.0f);
        EXPECT_EQ(e.levelPeak(d), 0.0f);
    }
}

} // namespace
} // namespace velmora
