#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velmora {
namespace {

using test::configureDefaults;

constexpr float kThreshold = 0.5f;

// One sample of gate 0 with a level above (1.0) or at/below (0.0) the
// threshold; returns pass.
bool step(GateEngine& e, bool above) {
    return e.gateStep(above ? 1.0f : 0.0f, kThreshold, 0);
}

// At 1000 Hz every millisecond is one sample.
GateEngine& countingEngine(GateEngine& e) {
    configureDefaults(e, 1000.0f, 1, 1, 2);
    e.setHoldOpenTime(0.0f);
    return e;
}

TEST(GateStateMachine, HoldKeepsTheGateOpenForItsSampleCount) {
    GateEngine e;
    countingEngine(e);

    // Hold 0: closes on the first sample at or below the threshold; a level
    // equal to the threshold does not count as above it.
    EXPECT_TRUE(step(e, true));
    EXPECT_FALSE(e.gateStep(kThreshold, kThreshold, 0));
    EXPECT_FALSE(e.gateState(0).open);

    // Hold 3 samples: open through three quiet samples, closed on the fourth.
    e.setHoldOpenTime(3.0f);
    EXPECT_TRUE(step(e, true));
    EXPECT_TRUE(step(e, false));
    EXPECT_TRUE(step(e, false));
    EXPECT_TRUE(step(e, false));
    EXPECT_FALSE(step(e, false));
    EXPECT_FALSE(e.gateState(0).open);

    // A level that does not compare counts as below.
    EXPECT_TRUE(step(e, true));
    e.setHoldOpenTime(0.0f);
    EXPECT_FALSE(e.gateStep(std::nanf(""), kThreshold, 0));
}

TEST(GateStateMachine, AttackDelayHoldsBackTheFirstSamples) {
    GateEngine e;
    countingEngine(e);
    e.setAttDelayTime(2.0f);
    ASSERT_EQ(e.delaySamples(), 2);

    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(step(e, false));
    }
    // Above from sample k on.
    EXPECT_FALSE(step(e, true)); // k
    EXPECT_FALSE(step(e, true)); // k + 1
    for (int i = 2; i < 20; ++i) {
        EXPECT_TRUE(step(e, true)) << "k + " << i;
    }
    // Every opening is delayed again.
    EXPECT_FALSE(step(e, false));
    EXPECT_FALSE(step(e, true));
    EXPECT_FALSE(step(e, true));
    EXPECT_TRUE(step(e, true));
}

TEST(GateStateMachine, NoteTruncateEndsThePassingWindow) {
    GateEngine e;
    countingEngine(e);
    e.setAttDelayTime(2.0f);
    e.setAttIsoTime(3.0f);
    ASSERT_EQ(e.truncateLimit(), 5);

    for (int round = 0; round < 2; ++round) {
        std::vector<bool> pass;
        for (int i = 0; i < 12; ++i) {
            pass.push_back(step(e, true));
        }
        // Delay k, k + 1; window k + 2 .. k + 4; shut from k + 5 while open.
        const std::vector<bool> expected = {false, false, true,  true,  true,  false,
                                            false, false, false, false, false, false};
        EXPECT_EQ(pass, expected) << "opening " << round;
        EXPECT_TRUE(e.gateState(0).open);
        EXPECT_FALSE(step(e, false));
    }
}

TEST(GateStateMachine, TriggeredMutingShutsReopeningsAfterAClose) {
    GateEngine e;
    countingEngine(e);
    e.setHoldClosedTime(4.0f);
    ASSERT_EQ(e.muteSamples(), 4);

    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(step(e, true));
    }
    EXPECT_FALSE(step(e, false)); // j: closes, muting starts
    EXPECT_FALSE(step(e, false)); // j + 1
    EXPECT_FALSE(step(e, true));  // j + 2: reopens, still muted
    EXPECT_FALSE(step(e, true));  // j + 3
    EXPECT_TRUE(e.gateState(0).muting);
    EXPECT_TRUE(step(e, true)); // j + 4
    EXPECT_FALSE(e.gateState(0).muting);
    EXPECT_EQ(e.gateState(0).muteCount, 0);

    // Muting 0 has no effect.
    e.setHoldClosedTime(0.0f);
    EXPECT_FALSE(step(e, false));
    EXPECT_TRUE(step(e, true));
}

// The generator is the linear congruential rule state * 214013 + 2531011,
// r = bits 16..30. Seed 1 draws 41, 18467, 6334, 26500, 19169, that is
// r / 32767 = 0.0013, 0.564, 0.193, 0.809, 0.585; an opening is skipped when
// that is below the probability.
std::vector<bool> openings(GateEngine& e, float probability, uint32_t seed) {
    e.setHoldClosedProb(probability);
    e.seedRandom(seed);
    std::vector<bool> passed;
    for (int opening = 0; opening < 5; ++opening) {
        const bool first = step(e, true);
        // The draw holds for the whole opening.
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(step(e, true), first);
        }
        passed.push_back(first);
        step(e, false);
    }
    return passed;
}

TEST(GateStateMachine, BeatSkipDrawsOncePerOpening) {
    GateEngine e;
    countingEngine(e);
    EXPECT_EQ(openings(e, 0.5f, 1), (std::vector<bool>{false, true, false, true, true}));
    EXPECT_EQ(openings(e, 0.2f, 1), (std::vector<bool>{false, true, false, true, true}));
    EXPECT_EQ(openings(e, 0.19f, 1), (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(openings(e, 0.6f, 1), (std::vector<bool>{false, false, false, true, false}));
    // Probability 1 skips every opening except one that draws r = 32767:
    // seed 4028364353 draws 32767, then 15401.
    EXPECT_EQ(openings(e, 1.0f, 4028364353u),
              (std::vector<bool>{true, false, false, false, false}));
    // Probability 0 never skips.
    for (int round = 0; round < 10; ++round) {
        EXPECT_EQ(openings(e, 0.0f, static_cast<uint32_t>(round)), (std::vector<bool>(5, true)));
    }
}

TEST(GateStateMachine, SkippedOpeningStaysOnTheReleasePath) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    e.setHoldClosedProb(1.0f);
    e.seedRandom(1);
    for (int i = 0; i < 100; ++i) {
        step(e, false);
    }
    const float rc = e.releaseCoef();
    const float rs = e.releaseSmooth();
    for (int i = 0; i < 2000; ++i) {
        const ChannelGateState before = e.gateState(0);
        ASSERT_FALSE(step(e, true));
        float g = rc * before.gain;
        if (g < 1e-6f) {
            g = 1e-6f;
        }
        ASSERT_EQ(e.gateGain(0), g) << "sample " << i;
        ASSERT_EQ(e.smoothGain(0), g * (1.0f - rs) + before.smoothGain * rs);
    }
    EXPECT_TRUE(e.gateState(0).open);
    EXPECT_TRUE(e.gateState(0).skipped);
    EXPECT_EQ(e.gateGain(0), 1e-6f);
}

TEST(GateStateMachine, DuckModeRisesWithoutSignalAndFallsWithIt) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    e.setGateMode(true);
    for (int i = 0; i < 4800; ++i) {
        ASSERT_FALSE(step(e, false));
    }
    EXPECT_EQ(e.gateGain(0), 1.0f);
    EXPECT_GT(e.smoothGain(0), 0.9999f);

    // pass is true while loud, so the gain takes the release path down.
    for (int i = 0; i < 4800; ++i) {
        ASSERT_TRUE(step(e, true));
    }
    EXPECT_EQ(e.gateGain(0), 1e-6f);
    EXPECT_LT(e.smoothGain(0), 1.1e-6f);
}

// Gradual attack: g / c per sample with c^N = 0.001, from no lower than
// 0.001; 1 ms at 48 kHz is N = 48 samples from -60 dB to 0 dB.
TEST(GateStateMachine, GradualAttackJumpsToMinus60dBThenClimbsInDecibels) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    for (int i = 0; i < 2000; ++i) {
        step(e, false);
    }
    ASSERT_EQ(e.gateGain(0), 1e-6f);

    EXPECT_TRUE(step(e, true));
    EXPECT_GE(e.gateGain(0), 0.001f);
    EXPECT_EQ(e.gateGain(0), 0.001f);

    for (int k = 1; k <= 24; ++k) {
        step(e, true);
    }
    EXPECT_NEAR(e.gateGain(0), 0.001 * std::pow(1000.0, 24.0 / 48.0), 0.0316 * 1e-4);
    for (int k = 25; k <= 47; ++k) {
        step(e, true);
    }
    EXPECT_LT(e.gateGain(0), 1.0f);
    step(e, true);
    step(e, true);
    EXPECT_EQ(e.gateGain(0), 1.0f);
}

// Synth attack: g = 1.3 - (1.3 - g0) c^n with c^N = 1 - 0.999 / 1.3, so from
// 0 the gain passes 0.999 at exactly n = N (5 ms at 48 kHz: 240 samples).
TEST(GateStateMachine, SynthAttackReachesTargetInTheAttackTime) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    e.setAttEnvelope(false);

    ChannelGateState s;
    s.gain = 0.0f;
    s.smoothGain = 0.0f;
    for (int n = 1; n < 240; ++n) {
        e.envelopeStep(true, s);
    }
    EXPECT_LT(s.gain, 0.998f);
    e.envelopeStep(true, s);
    EXPECT_NEAR(s.gain, 0.999f, 1e-4f);

    // From the closed gain 0.001 it reaches 1 one sample later and stops.
    ChannelGateState closed;
    for (int n = 1; n <= 240; ++n) {
        e.envelopeStep(true, closed);
    }
    EXPECT_LT(closed.gain, 1.0f);
    e.envelopeStep(true, closed);
    EXPECT_EQ(closed.gain, 1.0f);
    e.envelopeStep(true, closed);
    EXPECT_EQ(closed.gain, 1.0f);
}

// Release: g * c per sample with c^N = 0.001 (10 ms at 48 kHz: N = 480),
// floored at 1e-6.
TEST(GateStateMachine, ReleaseFalls60dBInTheReleaseTime) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    ChannelGateState s;
    s.gain = 1.0f;
    s.smoothGain = 1.0f;
    for (int n = 0; n < 480; ++n) {
        e.envelopeStep(false, s);
    }
    EXPECT_NEAR(s.gain, 0.001f, 0.001f * 1e-3f);
    for (int n = 0; n < 480; ++n) {
        e.envelopeStep(false, s);
    }
    EXPECT_EQ(s.gain, 1e-6f);
    for (int n = 0; n < 100; ++n) {
        e.envelopeStep(false, s);
    }
    EXPECT_EQ(s.gain, 1e-6f);
}

// The smoothing factor belongs to the phase of the current sample.
TEST(GateStateMachine, SmoothingFollowsThePhaseAtOnce) {
    GateEngine e;
    configureDefaults(e, 48000.0f, 1, 1, 2);
    ChannelGateState s;
    s.gain = 0.5f;
    s.smoothGain = 0.25f;

    e.envelopeStep(true, s);
    const float ga = 0.5f / e.gradAttackCoef();
    EXPECT_EQ(s.gain, ga);
    EXPECT_EQ(s.smoothGain, ga * (1.0f - e.gradAttackSmooth()) + e.gradAttackSmooth() * 0.25f);

    const float before = s.smoothGain;
    e.envelopeStep(false, s);
    const float gr = e.releaseCoef() * ga;
    EXPECT_EQ(s.gain, gr);
    EXPECT_EQ(s.smoothGain, gr * (1.0f - e.releaseSmooth()) + before * e.releaseSmooth());
}

} // namespace
} // namespace velmora
