#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace velmora {
namespace {

using test::Buffers;
using test::configureDefaults;

constexpr float kFs = 48000.0f;
constexpr int kBlock = 256;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

struct Mode {
    bool rms;
    bool linked;
    bool ctrl;
    bool bypass;
};

std::vector<Mode> allModes() {
    std::vector<Mode> modes;
    for (int m = 0; m < 16; ++m) {
        modes.push_back(Mode{(m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0});
    }
    return modes;
}

std::string describe(const Mode& m) {
    return std::string(m.rms ? "rms" : "peak") + (m.linked ? " linked" : " independent") +
           (m.ctrl ? " ctrl-out" : "") + (m.bypass ? " bypass" : "");
}

// The mode arrives through the switching ramp during the first blocks.
void configure(GateEngine& e, const Mode& m, int inputs, int outputs, int sidechain) {
    configureDefaults(e, kFs, inputs, outputs, sidechain);
    e.setDetectionMethod(m.rms);
    e.setChannelMode(m.linked);
    e.setCtrlOut(m.ctrl);
    e.setBypass(m.bypass);
}

void expectFinite(const Buffers& out, const std::string& where) {
    for (int c = 0; c < out.channels(); ++c) {
        for (int i = 0; i < out.samples(); ++i) {
            ASSERT_TRUE(std::isfinite(out[c][i])) << where << " channel " << c << " sample " << i;
        }
    }
}

// A signal laced with every value the guard has to deal with.
void fillAwkward(Buffers& b, long start) {
    for (int c = 0; c < b.channels(); ++c) {
        b.sine(c, 0.4f / static_cast<float>(c + 1), 300.0 * (c + 1), kFs, start);
        auto& x = b[c];
        x[3] = 0.0f;
        x[4] = -0.0f;
        x[5] = 1e-30f;
        x[6] = -1e-40f; // denormal
        x[7] = kNaN;
        x[8] = kInf;
        x[9] = -kInf;
        x[10] = kMax;
        x[11] = -kMax;
    }
}

bool sameBits(const Buffers& a, const Buffers& b) {
    for (int c = 0; c < a.channels(); ++c) {
        if (std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

TEST(GateRobustness, InputBuffersAreNeverWritten) {
    for (const Mode& m : allModes()) {
        for (const bool sidechain : {false, true}) {
            SCOPED_TRACE(describe(m) + (sidechain ? " side-chain" : ""));
            GateEngine e;
            configure(e, m, 2, 3, 2);
            Buffers in(2, kBlock);
            Buffers side(2, kBlock);
            Buffers out(3, kBlock);
            for (int b = 0; b < 12; ++b) {
                fillAwkward(in, static_cast<long>(b) * kBlock);
                fillAwkward(side, static_cast<long>(b) * kBlock + 77);
                const Buffers inCopy = in;
                const Buffers sideCopy = side;
                if (sidechain) {
                    e.processBlockSidechain(side.in(), in.in(), out.out(), 2, kBlock);
                } else {
                    e.processBlock(in.in(), out.out(), kBlock);
                }
                ASSERT_TRUE(sameBits(in, inCopy));
                ASSERT_TRUE(sameBits(side, sideCopy));
                expectFinite(out, "block " + std::to_string(b));
            }
            EXPECT_EQ(e.bypass(), m.bypass);
            EXPECT_EQ(e.ctrlOut(), m.ctrl);
        }
    }
}

// NaN and infinity read as silence: an engine fed bursts of them gives
// exactly the output of one fed zeros there, during and after the burst.
TEST(GateRobustness, NonFiniteInputActsAsSilence) {
    for (const Mode& m : allModes()) {
        for (const bool sidechain : {false, true}) {
            SCOPED_TRACE(describe(m) + (sidechain ? " side-chain" : ""));
            GateEngine dirty;
            GateEngine clean;
            configure(dirty, m, 2, 2, 2);
            configure(clean, m, 2, 2, 2);
            Buffers inD(2, kBlock);
            Buffers inC(2, kBlock);
            Buffers sideD(2, kBlock);
            Buffers sideC(2, kBlock);
            Buffers outD(2, kBlock);
            Buffers outC(2, kBlock);
            for (int b = 0; b < 30; ++b) {
                const long start = static_cast<long>(b) * kBlock;
                for (int c = 0; c < 2; ++c) {
                    inC.sine(c, 0.5f, 500.0 + 200.0 * c, kFs, start);
                    sideC.sine(c, 0.3f, 2000.0, kFs, start);
                }
                inD = inC;
                sideD = sideC;
                if (b >= 10 && b < 13) {
                    // A burst: every sample non-finite in the dirty copy.
                    for (int c = 0; c < 2; ++c) {
                        for (int i = 0; i < kBlock; ++i) {
                            const float bad = (i % 3 == 0) ? kNaN : ((i % 3 == 1) ? kInf : -kInf);
                            inD[c][i] = bad;
                            sideD[c][i] = bad;
                            inC[c][i] = 0.0f;
                            sideC[c][i] = 0.0f;
                        }
                    }
                }
                if (sidechain) {
                    dirty.processBlockSidechain(sideD.in(), inD.in(), outD.out(), 2, kBlock);
                    clean.processBlockSidechain(sideC.in(), inC.in(), outC.out(), 2, kBlock);
                } else {
                    dirty.processBlock(inD.in(), outD.out(), kBlock);
                    clean.processBlock(inC.in(), outC.out(), kBlock);
                }
                expectFinite(outD, "block " + std::to_string(b));
                ASSERT_TRUE(sameBits(outD, outC)) << "block " << b;
            }
            // Recovered: the signal is back at its usual level.
            EXPECT_GT(test::rms(outD[0]), 0.05);
            EXPECT_EQ(dirty.maxVu(), clean.maxVu());
            EXPECT_EQ(dirty.smoothGain(0), clean.smoothGain(0));
        }
    }
}

// Finite but huge values saturate at the float range instead of overflowing.
TEST(GateRobustness, HugeFiniteInputKeepsOutputFinite) {
    for (const Mode& m : allModes()) {
        SCOPED_TRACE(describe(m));
        GateEngine e;
        configure(e, m, 2, 2, 2);
        e.setInputLev(60.0f);
        e.setOutputLev(40.0f);
        Buffers in(2, kBlock);
        Buffers out(2, kBlock);
        for (int b = 0; b < 20; ++b) {
            for (int c = 0; c < 2; ++c) {
                for (int i = 0; i < kBlock; ++i) {
                    in[c][i] = b < 10 ? ((i & 1) ? kMax : -kMax) : 0.25f;
                }
            }
            e.processBlock(in.in(), out.out(), kBlock);
            expectFinite(out, "block " + std::to_string(b));
        }
        EXPECT_TRUE(std::isfinite(e.maxVu()));
        EXPECT_TRUE(std::isfinite(e.meanSquare(0)));
    }
}

void expectAllSilence(const Buffers& out) {
    for (int c = 0; c < out.channels(); ++c) {
        for (int i = 0; i < out.samples(); ++i) {
            ASSERT_EQ(out[c][i], 1e-25f) << "channel " << c << " sample " << i;
        }
    }
}

// No detection or no audio channel: every output sample is the floor value,
// nothing divides by zero, and a waiting mode change still arrives.
TEST(GateRobustness, ZeroChannelBlocksOutputTheFloor) {
    for (const Mode& m : allModes()) {
        SCOPED_TRACE(describe(m));
        {
            GateEngine e;
            configure(e, m, 0, 2, 2);
            Buffers out(2, kBlock, 0.5f);
            for (int b = 0; b < 8; ++b) {
                e.processBlock(nullptr, out.out(), kBlock);
                expectAllSilence(out);
            }
            EXPECT_EQ(e.bypass(), m.bypass);
            EXPECT_EQ(e.ctrlOut(), m.ctrl);
            EXPECT_EQ(e.maxVu(), 1e-25f);
            EXPECT_EQ(e.minGateLevel(), 1e-25f);

            Buffers side(2, kBlock, 0.5f);
            e.processBlockSidechain(side.in(), nullptr, out.out(), 2, kBlock);
            expectAllSilence(out);
        }
        {
            // A side-chain block without side-chain channels.
            GateEngine e;
            configure(e, m, 2, 3, 2);
            Buffers in(2, kBlock, 0.5f);
            Buffers out(3, kBlock);
            for (int b = 0; b < 8; ++b) {
                e.processBlockSidechain(nullptr, in.in(), out.out(), 0, kBlock);
            }
            if (m.bypass) {
                EXPECT_EQ(out[0][0], 0.5f); // bypass still plays the main input
                EXPECT_EQ(out[2][0], 1e-25f);
            } else {
                expectAllSilence(out);
            }
        }
        {
            // Detection arrays left empty while inputs exist.
            GateEngine e;
            configure(e, m, 2, 2, 0);
            Buffers in(2, kBlock, 0.5f);
            Buffers out(2, kBlock);
            for (int b = 0; b < 8; ++b) {
                e.processBlock(in.in(), out.out(), kBlock);
            }
            if (!m.bypass) {
                expectAllSilence(out);
            }
        }
        {
            // No outputs at all.
            GateEngine e;
            configure(e, m, 2, 0, 2);
            Buffers in(2, kBlock, 0.5f);
            for (int b = 0; b < 20; ++b) {
                e.processBlock(in.in(), nullptr, kBlock);
            }
            EXPECT_EQ(e.maxGateLevel(), 1e-25f);
        }
    }
}

// More outputs than detection channels, and a side-chain count beyond the
// configured one, in every mode: every index stays inside its array (the
// sanitizer build checks), extra control outputs carry the floor.
TEST(GateRobustness, WideOutputsIndexSafely) {
    for (const Mode& m : allModes()) {
        SCOPED_TRACE(describe(m));
        GateEngine e;
        configure(e, m, 1, 5, 2);
        Buffers side(3, kBlock, 0.5f);
        Buffers in(1, kBlock, 0.25f);
        Buffers out(5, kBlock);
        for (int b = 0; b < 10; ++b) {
            e.processBlockSidechain(side.in(), in.in(), out.out(), 3, kBlock);
            expectFinite(out, "side-chain");
            e.processBlock(in.in(), out.out(), kBlock);
            expectFinite(out, "plain");
        }
        if (m.ctrl && !m.bypass) {
            e.processBlockSidechain(side.in(), in.in(), out.out(), 3, kBlock);
            EXPECT_NEAR(out[1][kBlock - 1], 0.5f, 1e-3f);
            EXPECT_EQ(out[2][kBlock - 1], 1e-25f);
            EXPECT_EQ(out[4][kBlock - 1], 1e-25f);
        }
    }
}

// Outputs that are the very buffers of the inputs give the same result as
// separate buffers, also when an output past the input count reads an input
// channel whose buffer was already written in the same frame.
TEST(GateRobustness, InPlaceMatchesSeparateBuffers) {
    for (const Mode& m : allModes()) {
        for (const int outputs : {2, 4}) {
            for (const bool sidechain : {false, true}) {
                SCOPED_TRACE(describe(m) + " outputs " + std::to_string(outputs) +
                             (sidechain ? " side-chain" : ""));
                GateEngine sep;
                GateEngine inPlace;
                configure(sep, m, 2, outputs, 2);
                configure(inPlace, m, 2, outputs, 2);
                Buffers in(2, kBlock);
                Buffers side(2, kBlock);
                Buffers outSep(outputs, kBlock);
                Buffers shared(outputs, kBlock); // channels 0 and 1 are input and output
                for (int b = 0; b < 16; ++b) {
                    const long start = static_cast<long>(b) * kBlock;
                    in.sine(0, 0.5f, 440.0, kFs, start);
                    in.sine(1, b % 4 < 2 ? 0.02f : 0.6f, 1300.0, kFs, start);
                    in[0][0] = 0.0f;
                    side.sine(0, 0.3f, 220.0, kFs, start);
                    side.sine(1, 0.05f, 3000.0, kFs, start);
                    std::copy(in[0].begin(), in[0].end(), shared[0].begin());
                    std::copy(in[1].begin(), in[1].end(), shared[1].begin());
                    const float* inPtrs[2] = {shared[0].data(), shared[1].data()};
                    if (sidechain) {
                        sep.processBlockSidechain(side.in(), in.in(), outSep.out(), 2, kBlock);
                        inPlace.processBlockSidechain(side.in(), inPtrs, shared.out(), 2, kBlock);
                    } else {
                        sep.processBlock(in.in(), outSep.out(), kBlock);
                        inPlace.processBlock(inPtrs, shared.out(), kBlock);
                    }
                    ASSERT_TRUE(sameBits(outSep, shared)) << "block " << b;
                }
            }
        }
    }
}

} // namespace
} // namespace velmora
