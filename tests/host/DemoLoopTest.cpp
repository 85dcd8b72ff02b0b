#include "DemoLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace velmora::demo {
namespace {

double peakDb(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float peak = 0.0f;
    for (std::size_t i = from; i < to; ++i) {
        peak = std::max(peak, std::fabs(s[i]));
    }
    return 20.0 * std::log10(peak);
}

TEST(DemoLoop, IsTheSameEveryTimeAndShapedLikeADrumTrack) {
    DemoSettings settings;
    settings.seconds = 2.0;
    const std::vector<float> a = makeDemoLoop(settings);
    const std::vector<float> b = makeDemoLoop(settings);
    ASSERT_EQ(a.size(), std::size_t(2 * 48000 * kDemoChannels));
    EXPECT_EQ(a, b);

    settings.seed += 1;
    EXPECT_NE(makeDemoLoop(settings), a);

    // Normalised to a -1 dBFS peak.
    EXPECT_NEAR(peakDb(a, 0, a.size()), -1.0, 1e-3);
    // The first kick sits at the very start; the gap before the ghost note
    // and the hi-hat at 0.75 s (0.82 s to 0.86 s) holds only hiss, hum and
    // room bleed, well below the hits.
    const auto at = [](double seconds) {
        return static_cast<std::size_t>(seconds * 48000) * kDemoChannels;
    };
    EXPECT_GT(peakDb(a, at(0.0), at(0.05)), -6.0);
    EXPECT_LT(peakDb(a, at(0.82), at(0.86)), -35.0);
    EXPECT_GT(peakDb(a, at(0.82), at(0.86)), -60.0);
    // Left and right differ (panned hats, their own room and hiss).
    bool differ = false;
    for (std::size_t i = 0; i + 1 < a.size(); i += 2) {
        differ = differ || a[i] != a[i + 1];
    }
    EXPECT_TRUE(differ);
}

} // namespace
} // namespace velmora::demo
