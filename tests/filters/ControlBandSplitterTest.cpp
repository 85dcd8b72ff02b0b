#include "filters/ControlBandSplitter.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace velmora {
namespace {

using filtertest::expectDesignedAt;
using filtertest::expectSameBiquad;

constexpr double kFs = 48000.0;
// A full fall from 1 to the floor takes 0.01 x sampleRate frames.
constexpr int kFallFrames = 480;

ControlBandSplitter makeSplitter(double fs, float edge1, float edge2, int channels,
                                 float low = 1.0f, float mid = 1.0f, float high = 1.0f) {
    ControlBandSplitter s;
    s.setSampleRate(fs);
    s.setChannelCount(channels);
    s.setBandEdge1(edge1);
    s.setBandEdge2(edge2);
    s.setLowWeight(low);
    s.setMidWeight(mid);
    s.setHighWeight(high);
    return s;
}

// Processes one frame with the same sample on every channel.
void frame(ControlBandSplitter& s, float x, float* out) {
    for (int c = 0; c < s.channelCount(); ++c) {
        out[c] = s.processSample(x, c);
    }
}

TEST(ControlBandSplitter, SteadyStateMagnitudes) {
    // Two passes of (low-pass^2, band-pass^2, high-pass^2) with edges 200 Hz
    // and 2000 Hz: flat within about 0.7 dB with all weights 1; a signal deep
    // inside one band leaves scaled by that band's linear gain.
    const double centre = std::sqrt(200.0 * 2000.0);
    const std::array<std::array<double, 2>, 9> flat = {{{20.0, 1.00},
                                                        {100.0, 0.97},
                                                        {200.0, 1.00},
                                                        {400.0, 1.08},
                                                        {centre, 1.02},
                                                        {1000.0, 1.08},
                                                        {2000.0, 1.00},
                                                        {4000.0, 0.97},
                                                        {20000.0, 1.00}}};
    for (const auto& [hz, expected] : flat) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, weights 1");
        ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1);
        const double mag =
            filtertest::sineMagnitude([&](float x) { return s.processSample(x, 0); }, hz, kFs);
        EXPECT_NEAR(mag, expected, 0.006);
    }
    const std::array<std::array<double, 2>, 3> weighted = {
        {{20.0, 4.00}, {centre, 1.03}, {20000.0, 0.25}}};
    for (const auto& [hz, expected] : weighted) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, gains 4 / 1 / 0.25");
        ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1, 4.0f, 1.0f, 0.25f);
        const double mag =
            filtertest::sineMagnitude([&](float x) { return s.processSample(x, 0); }, hz, kFs);
        EXPECT_NEAR(mag, expected, 0.006);
    }

    // A weight of 0 takes its band out of both passes: 20 Hz lies deep in the
    // low band, 20 kHz deep in the high band.
    ControlBandSplitter noLow = makeSplitter(kFs, 200.0f, 2000.0f, 1, 0.0f, 1.0f, 1.0f);
    EXPECT_LT(
        filtertest::sineMagnitude([&](float x) { return noLow.processSample(x, 0); }, 20.0, kFs),
        0.01);
    ControlBandSplitter noHigh = makeSplitter(kFs, 200.0f, 2000.0f, 1, 1.0f, 1.0f, 0.0f);
    EXPECT_LT(filtertest::sineMagnitude([&](float x) { return noHigh.processSample(x, 0); },
                                        20000.0, kFs),
              0.01);
}

TEST(ControlBandSplitter, EdgeOrderingAndEqualEdges) {
    ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(s.edge1Hz(), 200.0);
    EXPECT_EQ(s.edge2Hz(), 2000.0);
    filtertest::WhiteNoise noise(1);
    const auto settle = [&] {
        for (int guard = 0; s.fading(); ++guard) {
            ASSERT_LT(guard, 4 * kFallFrames);
            s.processSample(noise(), 0);
        }
    };
    settle();

    // Edge 1 above edge 2 takes edge 2 with it. Equal edges: low-pass and
    // high-pass share one corner, and with only the mid weight set nothing at
    // all comes out.
    s.setBandEdge1(3000.0f);
    EXPECT_EQ(s.edge1Hz(), 3000.0);
    EXPECT_EQ(s.edge2Hz(), 3000.0);
    settle();
    expectDesignedAt(s, kFs, 3000.0, 3000.0);
    EXPECT_EQ(s.lowCoeffs().a1, s.highCoeffs().a1);
    EXPECT_EQ(s.lowCoeffs().a2, s.highCoeffs().a2);
    EXPECT_EQ(s.midSections().first.b0, 0.0);
    EXPECT_EQ(s.midSections().second.b0, 0.0);
    for (int n = 0; n < 4800; ++n) {
        ASSERT_EQ(s.processSample(noise(), 0), 0.0f);
    }

    // Edge 2 below edge 1 takes edge 1 with it.
    s.setBandEdge2(150.0f);
    EXPECT_EQ(s.edge1Hz(), 150.0);
    EXPECT_EQ(s.edge2Hz(), 150.0);
    settle();
    expectDesignedAt(s, kFs, 150.0, 150.0);

    // Otherwise each setter moves only its own edge.
    s.setBandEdge1(100.0f);
    s.setBandEdge2(150.0f);
    s.setBandEdge2(1500.0f);
    EXPECT_EQ(s.edge1Hz(), 100.0);
    EXPECT_EQ(s.edge2Hz(), 1500.0);
    settle();
    expectDesignedAt(s, kFs, 100.0, 1500.0);
}

TEST(ControlBandSplitter, FirstEdgesDesignInFirstFrame) {
    ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 2);
    // Nothing is designed inside the setters.
    EXPECT_EQ(s.lowCoeffs().b0, 0.0);
    EXPECT_TRUE(s.fading());
    EXPECT_TRUE(s.fadingOut());
    float out[2];
    frame(s, 0.5f, out);
    // The fade starts from 0, so its fall ends in this frame: channel 0 was
    // still filtered with the empty coefficients, channel 1 with the new.
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_NE(out[1], 0.0f);
    EXPECT_TRUE(s.fading());
    EXPECT_FALSE(s.fadingOut());
    EXPECT_EQ(s.fadeValue(), 0.01);
    expectDesignedAt(s, kFs, 200.0, 2000.0);
}

TEST(ControlBandSplitter, EdgeFadeFallClearRedesignRise) {
    // Two channels fed the same signal: a twin at the old edges shows what the
    // falling output is faded from, and a splitter built fresh at the new
    // edges shows what the output after the bottom frame must be.
    ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 2);
    ControlBandSplitter twin = makeSplitter(kFs, 200.0f, 2000.0f, 2);
    filtertest::WhiteNoise noise(2);
    float out[2];
    float ref[2];
    // The first frame runs channel 0 with the empty design of construction:
    // feed it silence so that both channels share one history.
    for (int n = 0; n < 4800; ++n) {
        const float x = n == 0 ? 0.0f : noise();
        frame(s, x, out);
        frame(twin, x, ref);
    }
    ASSERT_FALSE(s.fading());
    EXPECT_EQ(s.fadeValue(), 1.0);
    // Idle: no fade gain is applied.
    EXPECT_EQ(out[0], ref[0]);
    const double coef = s.fadeCoef();
    EXPECT_NEAR(coef, std::pow(0.01, 1.0 / kFallFrames), 1e-15);

    s.setBandEdge1(300.0f);
    s.setBandEdge2(2500.0f);
    int fall = 0;
    float x = 0.0f;
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        x = noise();
        frame(s, x, out);
        frame(twin, x, ref);
        ++fall;
        if (s.fadingOut()) {
            // Every channel is scaled by the same level, coef^n; half way
            // down it is sqrt(0.01) = 0.1.
            ASSERT_EQ(out[0], out[1]);
            ASSERT_NEAR(out[0], ref[0] * std::pow(coef, fall), 1e-6 * std::fabs(ref[0]) + 1e-30);
            if (fall == kFallFrames / 2) {
                EXPECT_NEAR(s.fadeValue(), 0.1, 1e-12);
            }
            // The old design stays until the bottom.
            expectSameBiquad(s.lowCoeffs(), twin.lowCoeffs());
        }
        ASSERT_LE(fall, kFallFrames + 1);
    }
    // coef^480 is 0.01 up to rounding, which may cost one more frame.
    EXPECT_GE(fall, kFallFrames);
    EXPECT_EQ(s.fadeValue(), 0.01);
    expectDesignedAt(s, kFs, 300.0, 2500.0);

    // Bottom frame: channel 0 was filtered with the old design and state,
    // channel 1 with cleared state and the new design, exactly as in the
    // first frame of a splitter built at the new edges (whose channel 0 still
    // ran the empty coefficients of construction).
    EXPECT_NEAR(out[0], ref[0] * 0.01, 1e-6 * std::fabs(ref[0]));
    ControlBandSplitter fresh = makeSplitter(kFs, 300.0f, 2500.0f, 2);
    float freshOut[2];
    frame(fresh, x, freshOut);
    EXPECT_EQ(freshOut[0], 0.0f);
    EXPECT_EQ(out[1], freshOut[1]);

    // From the next frame on both channels run exactly like the fresh
    // splitter, rising from 0.01.
    int rise = 0;
    for (int guard = 0; s.fading(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        x = noise();
        frame(s, x, out);
        frame(fresh, x, freshOut);
        ++rise;
        ASSERT_EQ(out[0], freshOut[0]);
        ASSERT_EQ(out[1], freshOut[1]);
        if (rise == kFallFrames / 2) {
            // 1 - 0.99 coef^n: 0.901 half way up.
            EXPECT_NEAR(s.fadeValue(), 1.0 - 0.99 * 0.1, 1e-12);
        }
        ASSERT_LE(rise, kFallFrames + 1);
    }
    // The rise ends at 0.99 and snaps to 1: about as long as the fall.
    EXPECT_GE(rise, kFallFrames - 2);
    EXPECT_EQ(s.fadeValue(), 1.0);
    EXPECT_EQ(s.fadeGain(), 1.0);
    frame(s, 0.5f, out);
    frame(fresh, 0.5f, freshOut);
    EXPECT_EQ(out[0], freshOut[0]);
}

TEST(ControlBandSplitter, EdgeChangeDuringFadeRestartsFall) {
    ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 1);
    filtertest::WhiteNoise noise(4);
    // The first fall ends at once; stop part way up the rise.
    for (int n = 0; n < 100; ++n) {
        s.processSample(noise(), 0);
    }
    ASSERT_TRUE(s.fading());
    ASSERT_FALSE(s.fadingOut());
    const double level = s.fadeValue();
    ASSERT_GT(level, 0.01);
    ASSERT_LT(level, 0.99);

    // An unchanged value still arms the fade; the fall continues from the
    // current level, not from 1.
    s.setBandEdge2(2000.0f);
    EXPECT_TRUE(s.fadingOut());
    s.processSample(noise(), 0);
    EXPECT_NEAR(s.fadeValue(), level * s.fadeCoef(), 1e-15);

    // A second change part way down keeps falling from where it is and the
    // bottom designs the latest edges.
    for (int n = 0; n < 50; ++n) {
        s.processSample(noise(), 0);
    }
    const double mid = s.fadeValue();
    s.setBandEdge1(500.0f);
    s.processSample(noise(), 0);
    EXPECT_NEAR(s.fadeValue(), mid * s.fadeCoef(), 1e-15);
    int frames = 1;
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0);
        ++frames;
    }
    // From level v the floor is log(0.01 / v) / log(coef) frames away.
    const double expected = std::log(0.01 / mid) / std::log(s.fadeCoef());
    EXPECT_NEAR(frames, expected, 1.0);
    expectDesignedAt(s, kFs, 500.0, 2000.0);
}

TEST(ControlBandSplitter, WeightsChannelCountAndSampleRateDoNotFade) {
    ControlBandSplitter s = makeSplitter(kFs, 200.0f, 2000.0f, 2);
    filtertest::WhiteNoise noise(6);
    float out[2];
    for (int n = 0; n < 2400; ++n) {
        frame(s, noise(), out);
    }
    ASSERT_FALSE(s.fading());

    // Weights act at the next sample without a fade.
    s.setLowWeight(0.0f);
    s.setMidWeight(0.0f);
    s.setHighWeight(0.0f);
    EXPECT_FALSE(s.fading());
    frame(s, noise(), out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    s.setLowWeight(1.0f);
    s.setMidWeight(1.0f);
    s.setHighWeight(1.0f);
    frame(s, noise(), out);
    EXPECT_NE(out[0], 0.0f);
    EXPECT_FALSE(s.fading());

    // A channel count change part way through a fade zeroes the state and
    // leaves design and fade alone.
    s.setBandEdge1(250.0f);
    for (int n = 0; n < 100; ++n) {
        frame(s, noise(), out);
    }
    const BiquadCoeffs low = s.lowCoeffs();
    const double level = s.fadeValue();
    s.setChannelCount(3);
    EXPECT_TRUE(s.fading());
    EXPECT_TRUE(s.fadingOut());
    EXPECT_EQ(s.fadeValue(), level);
    expectSameBiquad(s.lowCoeffs(), low);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(s.processSample(0.0f, c), 0.0f);
    }
    EXPECT_NEAR(s.fadeValue(), level * s.fadeCoef(), 1e-15);

    // A sample-rate change alone keeps the design at the old rate; only the
    // fade speed follows at once.
    for (int guard = 0; s.fading(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0);
        s.processSample(noise(), 1);
        s.processSample(noise(), 2);
    }
    s.setSampleRate(96000.0);
    EXPECT_NEAR(s.fadeCoef(), std::pow(0.01, 1.0 / 960.0), 1e-15);
    expectDesignedAt(s, kFs, 250.0, 2000.0);
    // Setting edge 2 prewarps edge 2 at the new rate; edge 1 keeps the value
    // it was prewarped with.
    s.setBandEdge2(2000.0f);
    for (int guard = 0; s.fadingOut(); ++guard) {
        ASSERT_LT(guard, 4 * kFallFrames);
        s.processSample(noise(), 0);
    }
    const ButterworthPoles p = butterworthPoles();
    const Complex k1(prewarp(250.0, kFs), 0.0);
    const Complex k2(prewarp(2000.0, 96000.0), 0.0);
    expectSameBiquad(s.lowCoeffs(), designLowpass2(k1, p.p1, p.p2));
    expectSameBiquad(s.highCoeffs(), designHighpass2(k2, p.p1, p.p2));
    expectSameBiquad(s.midSections().first, designBandpass4Sections(k1, k2, p.p1, p.p2).first);
}

} // namespace
} // namespace velmora
