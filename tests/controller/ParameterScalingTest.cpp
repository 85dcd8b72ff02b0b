#include "controller/ParameterScaling.h"
#include "controller/ParameterIds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace velmora;

namespace {

// ln in double, rounded to single precision: each step of the reference
// expressions below is rounded the same way.
float ln32(float v) {
    return static_cast<float>(std::log(static_cast<double>(v)));
}

// (ln(p + o) - ln(min + o)) / (ln(max + o) - ln(min + o)), every step in single
// precision.
float logPosition(float p, float min, float max, float o) {
    const float c = ln32(min + o);
    const float k = ln32(max + o) - c;
    const float d = ln32(p + o) - c;
    return d / k;
}

constexpr float kInf = std::numeric_limits<float>::infinity();

} // namespace

TEST(ParameterIds, TitlesAndRanges) {
    EXPECT_EQ(kNumParams, 35);
    EXPECT_EQ(kNumStateParams, 31);
    EXPECT_STREQ(paramTitle(kBypass), "Bypass");
    EXPECT_STREQ(paramTitle(kDetectionMethod), "Detection Method: Peak/RMS");
    EXPECT_STREQ(paramTitle(kAttEnvelope), "Att Envelope: Synth/Gradual");
    EXPECT_STREQ(paramTitle(kAttackGradual), "Attack (gradual)");
    EXPECT_STREQ(paramTitle(kBeatSkip), "Beat Skip");
    EXPECT_STREQ(paramTitle(kNoteTruncate), "Note Truncate");
    EXPECT_STREQ(paramTitle(kCtrlBandEdge1), "Control Band Edge 1");
    EXPECT_STREQ(paramTitle(kClosedLevelHi), "Closed Level Hi");
    EXPECT_STREQ(paramTitle(kMinGateLevel), "Min Gate Level");
    EXPECT_EQ(paramTitle(35), nullptr);
    for (int id = 0; id < kNumParams; ++id) {
        ASSERT_NE(paramTitle(id), nullptr);
        EXPECT_LT(std::strlen(paramTitle(id)), 128u);
        const int groups = int(isSwitch(id)) + int(isContinuous(id)) + int(isMeter(id));
        EXPECT_EQ(groups, 1) << id;
    }
}

TEST(ParameterScaling, DefaultsAndStartValues) {
    const ParameterScaling s;
    // Switch defaults: only Channel Mode (linked) and Att Envelope (gradual) on.
    for (int id = 0; id < kNumSwitches; ++id) {
        const bool on = id == kChannelMode || id == kAttEnvelope;
        EXPECT_EQ(s.switchDefault(id), on ? 1 : 0) << id;
        EXPECT_EQ(s.defaultNormalized(id), on ? 1.0f : 0.0f) << id;
    }
    EXPECT_EQ(s.thresholdDefault, -20.0f);
    EXPECT_EQ(s.closedLevelMidDefault, -99.0f);
    EXPECT_EQ(s.plainDefault(kHold), 35.0f);
    EXPECT_EQ(s.plainDefault(kOutBandEdge2), 880.0f);

    EXPECT_EQ(s.defaultNormalized(kInputLevel), 0.5f);
    EXPECT_EQ(s.defaultNormalized(kOutputLevel), 0.5f);
    EXPECT_EQ(s.defaultNormalized(kThreshold), 1.0f / 3.0f);
    EXPECT_EQ(s.defaultNormalized(kRmsWindow), ln32(50.0f) / ln32(1000.0f));
    EXPECT_EQ(s.defaultNormalized(kAttackGradual), logPosition(1.0f, 0.01f, 3000.0f, 1.0f));
    EXPECT_EQ(s.defaultNormalized(kAttackSynth), logPosition(5.0f, 0.01f, 9000.0f, 1.0f));
    EXPECT_EQ(s.defaultNormalized(kRelease), logPosition(10.0f, 1.0f, 4000.0f, 1.0f));
    EXPECT_EQ(s.defaultNormalized(kHold), logPosition(35.0f, 5.0f, 1000.0f, 0.0f));
    EXPECT_EQ(s.defaultNormalized(kCtrlBandEdge1), logPosition(1000.0f, 10.0f, 20000.0f, 0.0f));
    EXPECT_EQ(s.defaultNormalized(kCtrlBandEdge2), logPosition(5000.0f, 10.0f, 20000.0f, 0.0f));
    EXPECT_EQ(s.defaultNormalized(kOutBandEdge1), logPosition(220.0f, 10.0f, 20000.0f, 0.0f));
    EXPECT_EQ(s.defaultNormalized(kOutBandEdge2), logPosition(880.0f, 10.0f, 20000.0f, 0.0f));
    // Triggered Muting's default 0 ms is its range start, not a special case.
    EXPECT_EQ(s.defaultNormalized(kTriggeredMuting), 0.0f);
    EXPECT_EQ(s.defaultNormalized(kBeatSkip), 0.0f);
    EXPECT_EQ(s.defaultNormalized(kAttackDelay), 0.0f);
    EXPECT_EQ(s.defaultNormalized(kNoteTruncate), 0.0f);
    for (std::uint32_t id : {kCtrlSignalLo, kCtrlSignalMid, kCtrlSignalHi, kOpenLevelLo,
                             kOpenLevelMid, kOpenLevelHi}) {
        EXPECT_EQ(s.defaultNormalized(id), 1.0f) << id;
    }
    for (std::uint32_t id : {kClosedLevelLo, kClosedLevelMid, kClosedLevelHi}) {
        EXPECT_EQ(s.defaultNormalized(id), 0.0f) << id;
    }
    for (int id = kFirstMeter; id <= kLastMeter; ++id) {
        EXPECT_EQ(s.defaultNormalized(id), 0.0f);
    }

    // The single-precision start values agree with the exact expressions.
    EXPECT_NEAR(s.defaultNormalized(kAttackSynth),
                (std::log(6.0) - std::log(1.01)) / (std::log(9001.0) - std::log(1.01)), 1e-6);
    EXPECT_NEAR(s.defaultNormalized(kCtrlBandEdge1),
                (std::log(1000.0) - std::log(10.0)) / (std::log(20000.0) - std::log(10.0)), 1e-6);
}

TEST(ParameterScaling, RangeEndsPerFamily) {
    const ParameterScaling s;
    // Linear rows; Threshold runs backwards.
    EXPECT_EQ(s.toPlain(kInputLevel, 0.0f), -60.0f);
    EXPECT_EQ(s.toPlain(kInputLevel, 1.0f), 60.0f);
    EXPECT_EQ(s.toPlain(kOutputLevel, 0.0f), -40.0f);
    EXPECT_EQ(s.toPlain(kOutputLevel, 1.0f), 40.0f);
    EXPECT_EQ(s.toPlain(kThreshold, 0.0f), 0.0f);
    EXPECT_EQ(s.toPlain(kThreshold, 1.0f), -60.0f);
    EXPECT_EQ(s.toNormalized(kThreshold, -20.0f), 1.0f / 3.0f);
    EXPECT_EQ(s.toNormalized(kInputLevel, 100.0f), 160.0f / 120.0f);

    // Level families: -99 exactly at 0, about -60 just above, 0 dB at 1.
    for (std::uint32_t id : {kCtrlSignalLo, kCtrlSignalHi, kOpenLevelMid, kClosedLevelLo}) {
        EXPECT_EQ(s.toPlain(id, 0.0f), -99.0f);
        EXPECT_NEAR(s.toPlain(id, 1e-7f), -60.0f, 1e-4f);
        EXPECT_NEAR(s.toPlain(id, 1.0f), 0.0f, 1e-6f);
        EXPECT_EQ(s.toNormalized(id, -99.0f), 0.0f);
        EXPECT_NEAR(s.toNormalized(id, 0.0f), 1.0f, 1e-6f);
        // 3 - 63^(1/2) * 3^(1/2) = 3 - sqrt(189)
        EXPECT_NEAR(s.toPlain(id, 0.5f), 3.0 - std::sqrt(189.0), 1e-4);
    }

    // Note Truncate: off at exactly 0, about 10 ms just above.
    EXPECT_EQ(s.toPlain(kNoteTruncate, 0.0f), 0.0f);
    EXPECT_EQ(s.toNormalized(kNoteTruncate, 0.0f), 0.0f);
    EXPECT_NEAR(s.toPlain(kNoteTruncate, 1e-7f), 10.0f, 1e-4f);
    EXPECT_NEAR(s.toPlain(kNoteTruncate, 1.0f), 1000.0f, 1e-3f);

    // Offset rows: Triggered Muting at 0 is exp(ln 15) - 15, within rounding of 0.
    EXPECT_NEAR(s.toPlain(kTriggeredMuting, 0.0f), 0.0f, 2e-6f);
    EXPECT_NEAR(s.toPlain(kTriggeredMuting, 1.0f), 4000.0f, 2e-3f);
    EXPECT_NEAR(s.toPlain(kAttackGradual, 0.0f), 0.01f, 1e-6f);
    EXPECT_NEAR(s.toPlain(kAttackGradual, 1.0f), 3000.0f, 2e-3f);
    EXPECT_NEAR(s.toPlain(kAttackSynth, 1.0f), 9000.0f, 5e-3f);
    EXPECT_NEAR(s.toPlain(kRelease, 0.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(s.toPlain(kAttackDelay, 1.0f), 1000.0f, 1e-3f);

    // Exponential rows, including the geometric frequencies.
    EXPECT_NEAR(s.toPlain(kRmsWindow, 0.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(s.toPlain(kHold, 0.0f), 5.0f, 1e-5f);
    EXPECT_NEAR(s.toPlain(kHold, 1.0f), 1000.0f, 1e-3f);
    for (std::uint32_t id : {kCtrlBandEdge1, kCtrlBandEdge2, kOutBandEdge1, kOutBandEdge2}) {
        EXPECT_NEAR(s.toPlain(id, 0.0f), 10.0f, 1e-5f);
        const float top = s.toPlain(id, 1.0f);
        EXPECT_LE(top, 20000.0f);
        EXPECT_GT(top, 19999.98f);
        EXPECT_NEAR(s.toPlain(id, 0.5f), std::sqrt(10.0 * 20000.0), 0.01); // 447.2 Hz
    }

    // Beat Skip passes values through, in and out of range.
    for (float v : {0.0f, 0.25f, 1.0f, -0.5f, 3.0f}) {
        EXPECT_EQ(s.toPlain(kBeatSkip, v), v);
        EXPECT_EQ(s.toNormalized(kBeatSkip, v), v);
    }
}

TEST(ParameterScaling, RoundTripsInsideRange) {
    const ParameterScaling s;
    for (int id = kFirstContinuous; id <= kLastContinuous; ++id) {
        for (float x : {0.01f, 0.1f, 0.3f, 0.5f, 0.77f, 0.99f}) {
            const float back = s.toNormalized(id, s.toPlain(id, x));
            EXPECT_NEAR(back, x, 2e-5f) << paramTitle(id) << " at " << x;
        }
    }
}

TEST(ParameterScaling, NoClampingPolesAndNaN) {
    const ParameterScaling s;
    // Outside the range: outside 0..1, not clamped.
    EXPECT_GT(s.toNormalized(kCtrlBandEdge1, 40000.0f), 1.0f);
    EXPECT_LT(s.toNormalized(kCtrlBandEdge1, 5.0f), 0.0f);
    EXPECT_LT(s.toNormalized(kClosedLevelLo, -80.0f), 0.0f);
    EXPECT_GT(s.toNormalized(kOpenLevelLo, 2.0f), 1.0f);

    // At the pole: infinities, negative for exponential and offset rows.
    EXPECT_EQ(s.toNormalized(kRmsWindow, 0.0f), -kInf);
    EXPECT_EQ(s.toNormalized(kRelease, -1.0f), -kInf);
    EXPECT_EQ(s.toNormalized(kTriggeredMuting, -15.0f), -kInf);
    EXPECT_EQ(s.toNormalized(kOpenLevelHi, 3.0f), kInf);
    EXPECT_EQ(s.pole(kTriggeredMuting), -15.0f);
    EXPECT_EQ(s.pole(kCtrlSignalMid), 3.0f);
    EXPECT_EQ(s.pole(kHold), 0.0f);

    // Beyond the pole: no logarithm.
    EXPECT_TRUE(std::isnan(s.toNormalized(kRmsWindow, -1.0f)));
    EXPECT_TRUE(std::isnan(s.toNormalized(kAttackDelay, -2.0f)));
    EXPECT_TRUE(std::isnan(s.toNormalized(kClosedLevelMid, 4.0f)));
    EXPECT_FALSE(s.inDomain(kRmsWindow, -1.0f));
    EXPECT_FALSE(s.inDomain(kAttackDelay, -2.0f));
    EXPECT_FALSE(s.inDomain(kClosedLevelMid, 4.0f));
    EXPECT_FALSE(s.inDomain(kInputLevel, std::nanf("")));
    EXPECT_TRUE(s.inDomain(kRmsWindow, 0.0f));
    EXPECT_TRUE(s.inDomain(kClosedLevelMid, 3.0f));
    EXPECT_TRUE(s.inDomain(kClosedLevelMid, -kInf));
    EXPECT_TRUE(s.inDomain(kNoteTruncate, 0.0f));
    EXPECT_TRUE(s.inDomain(kThreshold, kInf));

    // inDomain agrees with toNormalized over a sweep of plain values.
    for (int id = kFirstContinuous; id <= kLastContinuous; ++id) {
        for (float p : {-kInf, -1e30f, -99.0f, -20.0f, -15.5f, -15.0f, -1.0f, -0.5f, 0.0f, 2.9f,
                        3.0f, 3.1f, 1e30f, kInf}) {
            EXPECT_EQ(s.inDomain(id, p), !std::isnan(s.toNormalized(id, p)))
                << paramTitle(id) << " at " << p;
        }
    }
}
