#include "filters/CrossoverGainStage.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace velmora {
namespace {

CrossoverGainStage makeStage(double fs, int channels) {
    CrossoverGainStage s;
    s.setSampleRate(fs);
    s.setChannelCount(channels);
    return s;
}

TEST(CrossoverGainStage, SteadyStateMagnitudes) {
    // |gained| for a unit sine at 48 kHz with a constant gain: close to g
    // everywhere, with dips at the crossovers f2 .. f5.
    struct Point {
        double hz;
        double gainOne;
        double gainHalf;
    };
    const auto& f = CrossoverGainStage::kFrequencies;
    const std::array<Point, 8> points = {{{20.0, 1.00, 0.50},
                                          {f[0], 1.00, 0.50},
                                          {f[1], 0.74, 0.43},
                                          {f[2], 0.75, 0.43},
                                          {f[3], 0.75, 0.44},
                                          {f[4], 0.75, 0.44},
                                          {1000.0, 0.95, 0.48},
                                          {20000.0, 1.00, 0.50}}};
    for (const Point& pt : points) {
        for (const double g : {1.0, 0.5}) {
            SCOPED_TRACE(::testing::Message() << pt.hz << " Hz, g = " << g);
            CrossoverGainStage s = makeStage(48000.0, 1);
            const double mag = filtertest::sineMagnitude(
                [&](float x) {
                    double gained = 0.0;
                    double complement = 0.0;
                    s.processSample(x, 0, g, gained, complement);
                    return gained;
                },
                pt.hz, 48000.0);
            EXPECT_NEAR(mag, g == 1.0 ? pt.gainOne : pt.gainHalf, 0.006);
        }
    }
}

TEST(CrossoverGainStage, ComplementWeight) {
    CrossoverGainStage zero = makeStage(48000.0, 1);
    CrossoverGainStage one = makeStage(48000.0, 1);
    CrossoverGainStage half = makeStage(48000.0, 1);
    CrossoverGainStage edge = makeStage(48000.0, 1);
    CrossoverGainStage above = makeStage(48000.0, 1);
    filtertest::WhiteNoise noise(11);
    double maxOneComplement = 0.0;
    double maxEdgeComplement = 0.0;
    double maxAboveComplement = 0.0;
    for (int n = 0; n < 4800; ++n) {
        const double x = noise();
        double gZero = 0.0, cZero = 0.0, gOne = 0.0, cOne = 0.0, gHalf = 0.0, cHalf = 0.0;
        zero.processSample(x, 0, 0.0, gZero, cZero);
        one.processSample(x, 0, 1.0, gOne, cOne);
        half.processSample(x, 0, 0.5, gHalf, cHalf);
        // g = 0 from the start: nothing gets through the gained copy, and the
        // complement (weight 1 - 0) is exactly the g = 1 gained signal.
        ASSERT_EQ(gZero, 0.0);
        ASSERT_EQ(cZero, gOne);
        // g = 0.5: both copies run with weight 0.5 on the same history.
        ASSERT_EQ(gHalf, cHalf);
        // g = 1: the complement runs with weight 1e-45, not 0.
        maxOneComplement = std::max(maxOneComplement, std::fabs(cOne));

        // The 1e-45 rule applies above 0.99999999 only.
        double gEdge = 0.0, cEdge = 0.0, gAbove = 0.0, cAbove = 0.0;
        edge.processSample(x, 0, 0.99999999, gEdge, cEdge);
        above.processSample(x, 0, 0.999999995, gAbove, cAbove);
        maxEdgeComplement = std::max(maxEdgeComplement, std::fabs(cEdge));
        maxAboveComplement = std::max(maxAboveComplement, std::fabs(cAbove));
    }
    EXPECT_GT(maxOneComplement, 0.0);
    EXPECT_LT(maxOneComplement, 1e-40);
    EXPECT_GT(maxEdgeComplement, 1e-10);
    EXPECT_LT(maxEdgeComplement, 1e-6);
    EXPECT_GT(maxAboveComplement, 0.0);
    EXPECT_LT(maxAboveComplement, 1e-40);
}

TEST(CrossoverGainStage, SampleRateAndChannelCountChanges) {
    CrossoverGainStage s = makeStage(48000.0, 2);
    filtertest::WhiteNoise noise(5);
    double gained = 0.0;
    double complement = 0.0;
    for (int n = 0; n < 1000; ++n) {
        s.processSample(noise(), 0, 0.7, gained, complement);
        s.processSample(noise(), 1, 0.3, gained, complement);
    }

    // A new sample rate redesigns all ten sections at once and keeps the
    // state: silence in still gives the decaying tail.
    s.setSampleRate(96000.0);
    const ButterworthPoles p = butterworthPoles();
    for (int k = 0; k < CrossoverGainStage::kCrossovers; ++k) {
        const Complex kk(prewarp(CrossoverGainStage::kFrequencies[static_cast<size_t>(k)], 96000.0),
                         0.0);
        const BiquadCoeffs lp = designLowpass2(kk, p.p1, p.p2);
        const BiquadCoeffs hp = designHighpass2(kk, p.p1, p.p2);
        EXPECT_EQ(s.lowCoeffs(k).b0, lp.b0);
        EXPECT_EQ(s.lowCoeffs(k).a1, lp.a1);
        EXPECT_EQ(s.highCoeffs(k).b0, hp.b0);
        EXPECT_EQ(s.highCoeffs(k).a2, hp.a2);
    }
    s.processSample(0.0, 0, 0.7, gained, complement);
    EXPECT_NE(gained, 0.0);
    EXPECT_NE(complement, 0.0);

    // A new channel count clears the state of every channel.
    s.setChannelCount(3);
    EXPECT_EQ(s.channelCount(), 3);
    for (int n = 0; n < 10; ++n) {
        for (int c = 0; c < 3; ++c) {
            s.processSample(0.0, c, 0.7, gained, complement);
            ASSERT_EQ(gained, 0.0);
            ASSERT_EQ(complement, 0.0);
        }
    }

    // Channels are independent: the order of processing does not matter.
    CrossoverGainStage a = makeStage(48000.0, 2);
    CrossoverGainStage b = makeStage(48000.0, 2);
    for (int n = 0; n < 500; ++n) {
        const double x0 = noise();
        const double x1 = noise();
        double ga0 = 0.0, ca0 = 0.0, ga1 = 0.0, ca1 = 0.0, gb0 = 0.0, cb0 = 0.0, gb1 = 0.0,
               cb1 = 0.0;
        a.processSample(x0, 0, 0.6, ga0, ca0);
        a.processSample(x1, 1, 0.2, ga1, ca1);
        b.processSample(x1, 1, 0.2, gb1, cb1);
        b.processSample(x0, 0, 0.6, gb0, cb0);
        ASSERT_EQ(ga0, gb0);
        ASSERT_EQ(ca1, cb1);
    }
}

} // namespace
} // namespace velmora
