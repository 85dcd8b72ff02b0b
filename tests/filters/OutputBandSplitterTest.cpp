#include "filters/OutputBandSplitter.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace velmora {
namespace {

using filtertest::expectDesignedAt;
using filtertest::expectSameBiquad;

constexpr double kFs = 48000.0;
// A full fall from 1 to 10^-4 takes 0.01 x sampleRate frames.
constexpr int kFallFrames = 480;

struct Levels {
    float openLow = 1.0f, openMid = 1.0f, openHigh = 1.0f;
    float closedLow = 0.0f, closedMid = 0.0f, closedHigh = 0.0f;
};

OutputBandSplitter makeSplitter(double fs, float edge1, float edge2, int channels,
                                const Levels& l = {}) {
    OutputBandSplitter s;
    s.setSampleRate(fs);
    s.setChannelCount(channels);
    s.setBandEdge1(edge1);
    s.setBandEdge2(edge2);
    s.setOpenLevelLow(l.openLow);
    s.setOpenLevelMid(l.openMid);
    s.setOpenLevelHigh(l.openHigh);
    s.setClosedLevelLow(l.closedLow);
    s.setClosedLevelMid(l.closedMid);
    s.setClosedLevelHigh(l.closedHigh);
    return s;
}

// The float output against the double reference: single-precision rounding.
::testing::AssertionResult matchesReference(float y, double ref) {
    if (std::fabs(y - ref) <= 1e-6 * std::fabs(ref) + 1e-30) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << y << " vs reference " << ref;
}

void expectMatchesReference(float y, double ref) {
    EXPECT_TRUE(matchesReference(y, ref));
}

// One channel of the signal path rebuilt from its parts: a gain stage that
// runs along from the start, and band sections that start from zero when
// reset() is called, using the splitter's current design.
class ReferencePath {
public:
    explicit ReferencePath(double fs) {
        stage_.setSampleRate(fs);
        stage_.setChannelCount(1);
    }
    void reset() { bands_ = Bands{}; }
    double step(const OutputBandSplitter& s, double u, double g, const Levels& l) {
        double gained = 0.0;
        double complement = 0.0;
        stage_.processSample(u, 0, g, gained, complement);
        const double high =
            processBiquad(s.highCoeffs(), bands_.highB,
                          processBiquad(s.highCoeffs(), bands_.highA,
                                        l.openHigh * gained + l.closedHigh * complement));
        const double mid =
            processBandpass4(s.midSections(), bands_.midB,
                             processBandpass4(s.midSections(), bands_.midA,
                                              l.openMid * gained + l.closedMid * complement));
        const double low =
            processBiquad(s.lowCoeffs(), bands_.lowB,
                          processBiquad(s.lowCoeffs(), bands_.lowA,
                                        l.openLow * gained + l.closedLow * complement));
        return high + (mid + low);
    }

private:
    struct Bands {
        BiquadState lowA, lowB, highA, highB;
        BandpassState midA, midB;
    };
    CrossoverGainStage stage_;
    Bands bands_;
};

TEST(OutputBandSplitter, SteadyStateMagnitudes) {
    // Gate open (g = 1), open levels 1, closed levels 0, edges 200 Hz and
    // 2000 Hz: the gain stage's dips plus the band filters' crossover dips.
    const double centre = std::sqrt(200.0 * 2000.0);
    const std::array<std::array<double, 2>, 9> open = {{{20.0, 1.00},
                                                        {100.0, 0.98},
                                                        {200.0, 0.75},
                                                        {centre, 0.76},
                                                        {1000.0, 0.98},
                                                        {2000.0, 0.75},
                                                        {5000.0, 0.87},
                                                        {10000.0, 0.98},
                                                        {20000.0, 1.00}}};
    for (const auto& [hz, expected] : open) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, gate open");
        OutputBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1);
        const double mag = filtertest::sineMagnitude(
            [&](float x) { return s.processSample(x, 0, 1.0f); }, hz, kFs);
        EXPECT_NEAR(mag, expected, 0.006);
    }

    // Gate closed (g = 0): each band plays at its closed level. At 20 Hz and
    // 20 kHz one band dominates; at the centre the mid band (0.01) is reduced
    // by the band-pass and gain-stage dips.
    Levels closed;
    closed.closedLow = 0.1f;
    closed.closedMid = 0.01f;
    closed.closedHigh = 0.001f;
    const std::array<std::array<double, 3>, 3> shut = {
        {{20.0, 0.1, 0.006}, {centre, 0.008, 0.0006}, {20000.0, 0.001, 0.00006}}};
    for (const auto& [hz, expected, tolerance] : shut) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, gate closed");
        OutputBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1, closed);
        const double mag = filtertest::sineMagnitude(
            [&](float x) { return s.processSample(x, 0, 0.0f); }, hz, kFs);
        EXPECT_NEAR(mag, expected, tolerance);
    }
}

TEST(OutputBandSplitter, SilentCases) {
    filtertest::WhiteNoise noise(9);
    // Gate closed from the first sample with all closed levels 0: exactly 0,
    // fade included.
    OutputBandSplitter shut = makeSplitter(kFs, 200.0f, 2000.0f, 2);
    for (int n = 0; n < 4800; ++n) {
        ASSERT_EQ(shut.processSample(noise(), 0, 0.0f), 0.0f);
        ASSERT_EQ(shut.processSample(noise(), 1, 0.0f), 0.0f);
    }

    // Equal edges: the mid band is silent whatever its levels.
    Levels midOnly;
    midOnly.openLow = 0.0f;
    midOnly.openHigh = 0.0f;
    midOnly.closedMid = 1.0f;
    OutputBandSplitter equal = makeSplitter(kFs, 1000.0f, 1000.0f, 1, midOnly);
    for (int n = 0; n < 4800; ++n) {
        ASSERT_EQ(equal.processSample(noise(), 0, 0.5f), 0.0f);
    }
}

TEST(OutputBandSplitter, LevelChangesActAtOnceWithoutFade) {
    OutputBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1);
    OutputBandSplitter twin = makeSplitter(kFs, 200.0f, 2000.0f, 1);
    filtertest::WhiteNoise noise(10);
    for (int n = 0; n < 2400; ++n) {
        const float x = noise();
        ASSERT_EQ(s.processSample(x, 0, 1.0f), twin.processSample(x, 0, 1.0f));
    }
    ASSERT_FALSE(s.fading());
    s.setOpenLevelLow(0.5f);
    s.setOpenLevelMid(0.5f);
    s.setOpenLevelHigh(0.5f);
    s.setClosedLevelLow(0.3f);
    EXPECT_FALSE(s.fading());
    const float x = noise();
    EXPECT_NE(s.processSample(x, 0, 1.0f), twin.processSample(x, 0, 1.0f));
    // Once the band filters have forgotten the old levels the output is half
    // the twin's: the band filters are linear and g = 1 shuts the closed path.
    for (int n = 0; n < 4800; ++n) {
        const float y = noise();
        const float a = s.processSample(y, 0, 1.0f);
        const float b = twin.processSample(y, 0, 1.0f);
        if (n > 2400) {
            ASSERT_NEAR(a, 0.5f * b, 1e-6f);
        }
    }
    EXPECT_FALSE(s.fading());
}

TEST(OutputBandSplitter, EdgeFadeFallClearRedesignRise) {
    Levels l;
    l.openMid = 0.5f;
    l.openHigh = 0.25f;
    l.closedLow = 0.1f;
    l.closedMid = 0.2f;
    l.closedHigh = 0.3f;
    const float g = 0.7f;
    OutputBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 2, l);
    ReferencePath ref(kFs);
    filtertest::WhiteNoise noise(12);

    // The first edges end their fall in the first frame, which already runs
    // with the new design on every channel.
    float x = noise();
    float y0 = s.processSample(x, 0, g);
    float y1 = s.processSample(x, 1, g);
    EXPECT_FALSE(s.fadingOut());
    EXPECT_EQ(s.fadeValue(), 1e-4);
    expectDesignedAt(s, kFs, 200.0, 2000.0);
    EXPECT_NE(y0, 0.0f);
    EXPECT_EQ(y0, y1);
    expectMatchesReference(y0, ref.step(s, x * s.fadeGain(), g, l));

    for (int n = 0; n < 4800; ++n) {
        x = noise();
        y0 = s.processSample(x, 0, g);
        y1 = s.processSample(x, 1, g);
        ASSERT_EQ(y0, y1);
        ASSERT_TRUE(matchesReference(y0, ref.step(s, x * s.fadeGain(), g, l)));
    }
    ASSERT_FALSE(s.fading());
    const double coef = s.fadeCoef();
    EXPECT_NEAR(coef, std::pow(1e-4, 1.0 / kFallFrames), 1e-15);

    // The fall scales the input by coef^n on every channel and keeps the old
    // design; at the bottom the band sections restart from zero with the new
    // design in that same frame, while the gain stage carries on.
    s.setBandEdge1(300.0f);
    s.setBandEdge2(2500.0f);
    int fall = 0;
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        x = noise();
        y0 = s.processSample(x, 0, g);
        y1 = s.processSample(x, 1, g);
        ++fall;
        ASSERT_EQ(y0, y1);
        if (s.fadingOut()) {
            ASSERT_NEAR(s.fadeGain(), std::pow(coef, fall), 1e-12);
            if (fall == kFallFrames / 2) {
                EXPECT_NEAR(s.fadeValue(), 0.01, 1e-13);
            }
            ASSERT_TRUE(matchesReference(y0, ref.step(s, x * s.fadeGain(), g, l)));
        } else {
            ref.reset();
            ASSERT_TRUE(matchesReference(y0, ref.step(s, x * s.fadeGain(), g, l)));
        }
        ASSERT_LE(fall, kFallFrames + 1);
    }
    EXPECT_GE(fall, kFallFrames);
    EXPECT_EQ(s.fadeValue(), 1e-4);
    expectDesignedAt(s, kFs, 300.0, 2500.0);

    // The rise takes about as long and ends at exactly 1.
    int rise = 0;
    for (int guard = 0; s.fading(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        x = noise();
        y0 = s.processSample(x, 0, g);
        y1 = s.processSample(x, 1, g);
        ++rise;
        ASSERT_EQ(y0, y1);
        ASSERT_TRUE(matchesReference(y0, ref.step(s, x * s.fadeGain(), g, l)));
        if (rise == kFallFrames / 2) {
            // 1 - (1 - 10^-4) coef^n: 0.990001 half way up.
            EXPECT_NEAR(s.fadeValue(), 1.0 - 0.9999 * 0.01, 1e-12);
        }
        ASSERT_LE(rise, kFallFrames + 1);
    }
    EXPECT_GE(rise, kFallFrames - 1);
    EXPECT_EQ(s.fadeValue(), 1.0);
    EXPECT_EQ(s.fadeGain(), 1.0);
}

TEST(OutputBandSplitter, EdgeChangeDuringFadeRestartsFall) {
    OutputBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1);
    filtertest::WhiteNoise noise(13);
    for (int n = 0; n < 100; ++n) {
        s.processSample(noise(), 0, 1.0f);
    }
    ASSERT_TRUE(s.fading());
    ASSERT_FALSE(s.fadingOut());
    const double level = s.fadeValue();
    ASSERT_GT(level, 0.5);
    ASSERT_LT(level, 0.9999);

    // An unchanged edge still arms the fade, and the fall starts from the
    // current level.
    s.setBandEdge1(200.0f);
    EXPECT_TRUE(s.fadingOut());
    s.processSample(noise(), 0, 1.0f);
    EXPECT_NEAR(s.fadeValue(), level * s.fadeCoef(), 1e-15);
    int frames = 1;
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0, 1.0f);
        ++frames;
    }
    EXPECT_NEAR(frames, std::log(1e-4 / level) / std::log(s.fadeCoef()), 1.0);

    // Edge ordering as in the control splitter.
    s.setBandEdge1(3000.0f);
    EXPECT_EQ(s.edge1Hz(), 3000.0);
    EXPECT_EQ(s.edge2Hz(), 3000.0);
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0, 1.0f);
    }
    expectDesignedAt(s, kFs, 3000.0, 3000.0);
    s.setBandEdge2(100.0f);
    EXPECT_EQ(s.edge1Hz(), 100.0);
    EXPECT_EQ(s.edge2Hz(), 100.0);
    // Changed again right at the floor, the fall restarts from there and
    // ends in the next frame.
    s.processSample(noise(), 0, 1.0f);
    EXPECT_FALSE(s.fadingOut());
    EXPECT_EQ(s.fadeValue(), 1e-4);
    expectDesignedAt(s, kFs, 100.0, 100.0);
}

TEST(OutputBandSplitter, ChannelCountAndSampleRateChanges) {
    OutputBandSplitter s = makeSplitter(kFs, 220.0f, 880.0f, 2);
    filtertest::WhiteNoise noise(14);
    for (int n = 0; n < 2400; ++n) {
        s.processSample(noise(), 0, 0.6f);
        s.processSample(noise(), 1, 0.6f);
    }
    s.setBandEdge2(900.0f);
    for (int n = 0; n < 100; ++n) {
        s.processSample(noise(), 0, 0.6f);
        s.processSample(noise(), 1, 0.6f);
    }
    const double level = s.fadeValue();
    const BiquadCoeffs high = s.highCoeffs();

    // A channel count change zeroes every state, gain stage included, and
    // leaves design and fade alone.
    s.setChannelCount(3);
    EXPECT_EQ(s.channelCount(), 3);
    EXPECT_EQ(s.gainStage().channelCount(), 3);
    EXPECT_TRUE(s.fadingOut());
    EXPECT_EQ(s.fadeValue(), level);
    expectSameBiquad(s.highCoeffs(), high);
    for (int n = 0; n < 10; ++n) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(s.processSample(0.0f, c, 0.6f), 0.0f);
        }
    }
    EXPECT_NEAR(s.fadeValue(), level * std::pow(s.fadeCoef(), 10), 1e-14);

    // A sample-rate change redesigns the gain stage at once, without a fade;
    // the band design waits for an edge.
    for (int guard = 0; s.fading(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0, 0.6f);
    }
    s.setSampleRate(96000.0);
    EXPECT_FALSE(s.fading());
    EXPECT_NEAR(s.fadeCoef(), std::pow(1e-4, 1.0 / 960.0), 1e-15);
    const ButterworthPoles p = butterworthPoles();
    const Complex k1(prewarp(CrossoverGainStage::kFrequencies[0], 96000.0), 0.0);
    expectSameBiquad(s.gainStage().lowCoeffs(0), designLowpass2(k1, p.p1, p.p2));
    expectDesignedAt(s, kFs, 220.0, 900.0);
}

} // namespace
} // namespace velmora
