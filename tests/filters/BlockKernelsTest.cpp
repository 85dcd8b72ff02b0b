// The splitters' block entries on every instruction set this processor has
// must give, bit for bit, what the per-sample scalar entries give.
#include "filters/ControlBandSplitter.h"
#include "filters/OutputBandSplitter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

std::vector<SimdPath> supportedPaths() {
    std::vector<SimdPath> paths;
    for (SimdPath p : {SimdPath::Scalar, SimdPath::Sse2, SimdPath::Avx2}) {
        if (simdPathSupported(p)) {
            paths.push_back(p);
        }
    }
    return paths;
}

std::string name(SimdPath p) {
    return p == SimdPath::Scalar ? "scalar" : p == SimdPath::Sse2 ? "sse2" : "avx2";
}

// Gate gains with runs of exactly 0, exactly 1, a value in between and
// random values, changing inside blocks.
float gateGain(std::mt19937& rng, int frame) {
    switch ((frame / 37) % 4) {
    case 0:
        return 0.0f;
    case 1:
        return 1.0f;
    case 2:
        return 0.37f;
    default:
        return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
    }
}

void configure(OutputBandSplitter& s, int channels) {
    s.setSampleRate(48000.0);
    s.setChannelCount(channels);
    s.setBandEdge1(220.0f);
    s.setBandEdge2(880.0f);
    s.setOpenLevelLow(1.0f);
    s.setOpenLevelMid(0.5f);
    s.setOpenLevelHigh(1.0f);
    s.setClosedLevelLow(0.1f);
    s.setClosedLevelMid(0.0f);
    s.setClosedLevelHigh(0.001f);
}

void configure(ControlBandSplitter& s, int channels) {
    s.setSampleRate(44100.0);
    s.setChannelCount(channels);
    s.setBandEdge1(1000.0f);
    s.setBandEdge2(5000.0f);
    s.setLowWeight(1.0f);
    s.setMidWeight(0.3f);
    s.setHighWeight(2.0f);
}

// Odd run lengths, with edge moves that start fades, one of them while the
// previous fade is still under way.
const int kRuns[] = {1, 7, 64, 3, 33, 500, 65, 2, 211, 1000};

void moveEdges(OutputBandSplitter& s, int run) {
    if (run == 3) {
        s.setBandEdge1(500.0f);
    } else if (run == 4) {
        s.setBandEdge2(400.0f);
    }
}

void moveEdges(ControlBandSplitter& s, int run) {
    if (run == 3) {
        s.setBandEdge2(3000.0f);
    } else if (run == 4) {
        s.setBandEdge1(3500.0f);
    }
}

TEST(BlockKernels, OutputBlocksMatchPerSampleScalarOnEveryPath) {
    for (SimdPath path : supportedPaths()) {
        for (int channels = 1; channels <= 8; ++channels) {
            OutputBandSplitter reference;
            OutputBandSplitter tested;
            configure(reference, channels);
            configure(tested, channels);
            tested.setSimdPath(path);
            std::mt19937 rng(static_cast<unsigned>(channels));
            std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
            int frame = 0;
            for (int r = 0; r < 10; ++r) {
                moveEdges(reference, r);
                moveEdges(tested, r);
                const size_t size = static_cast<size_t>(kRuns[r] * channels);
                std::vector<float> x(size), g(size), expected(size), actual(size);
                for (size_t i = 0; i < size; ++i) {
                    x[i] = noise(rng);
                    g[i] = gateGain(rng, frame + static_cast<int>(i) / channels);
                }
                for (size_t i = 0; i < size; ++i) {
                    const int c = static_cast<int>(i) % channels;
                    expected[i] = reference.processSample(x[i], c, g[i]);
                }
                tested.processBlock(x.data(), g.data(), actual.data(), kRuns[r]);
                ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), size * sizeof(float)))
                    << name(path) << ", " << channels << " channels, run " << r;
                frame += kRuns[r];
            }
        }
    }
}

// The engine may run fewer channels than the splitter holds (a narrower
// side-chain); the others must keep their state untouched.
TEST(BlockKernels, ControlBlocksMatchPerSampleScalarOnEveryPath) {
    for (SimdPath path : supportedPaths()) {
        for (int channels = 1; channels <= 8; ++channels) {
            const int held = channels + channels % 2;
            ControlBandSplitter reference;
            ControlBandSplitter tested;
            configure(reference, held);
            configure(tested, held);
            tested.setSimdPath(path);
            std::mt19937 rng(static_cast<unsigned>(channels));
            std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
            for (int r = 0; r < 10; ++r) {
                moveEdges(reference, r);
                moveEdges(tested, r);
                const int n = r % 2 == 0 ? channels : held;
                const size_t size = static_cast<size_t>(kRuns[r] * n);
                std::vector<float> x(size), expected(size), actual(size);
                for (float& v : x) {
                    v = noise(rng);
                }
                for (size_t i = 0; i < size; ++i) {
                    expected[i] = reference.processSample(x[i], static_cast<int>(i) % n);
                }
                tested.processBlock(x.data(), actual.data(), n, kRuns[r]);
                ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), size * sizeof(float)))
                    << name(path) << ", " << n << " of " << held << " channels, run " << r;
            }
        }
    }
}

TEST(BlockKernels, ScalarAndSse2AreAlwaysThere) {
    EXPECT_TRUE(simdPathSupported(SimdPath::Scalar));
    EXPECT_TRUE(simdPathSupported(SimdPath::Sse2));
    EXPECT_TRUE(simdPathSupported(bestSimdPath()));
    EXPECT_NE(SimdPath::Scalar, bestSimdPath());
}

} // namespace
} // namespace velmora
