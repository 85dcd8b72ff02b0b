// Blocks from careless hosts: missing channels, null pointers, an absent
// side-chain. Whatever is missing reads as silence; nothing is read or
// written outside what the host handed over. Each case runs against a
// reference processor fed the same audio through complete buffers.
#include "ProcessorTestHost.h"

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

constexpr double kFs = 44100.0;
constexpr int kN = 128;

// A started processor that has already been through the initial dip.
void warm(Processor& p, bool sidechain = false) {
    if (sidechain) {
        ASSERT_EQ(p.initialize(), kResultOk);
        ASSERT_EQ(p->activateBus(kAudio, kInput, 1, true), kResultOk);
        p.setup(kFs, 4096);
        p.activate();
    } else {
        p.start(kFs, 4096);
    }
}

// The same sine on every input and side-chain channel, different per block.
void fill(Block& b, int block) {
    b.sineIn(0.4f, 300.0, kFs, block * static_cast<long>(b.samples()));
    for (size_t c = 0; c < static_cast<size_t>(b.auxBus().numChannels); ++c) {
        b.aux(static_cast<int>(c)) = b.in(0);
    }
    b.resetChanges();
}

TEST(ProcessorHostData, MissingInputChannelsReadAsSilence) {
    Processor p;
    Processor ref;
    warm(p);
    warm(ref);
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        for (int k = 0; k < 30; ++k) {
            Block b(2, 2, kN);
            Block r(2, 2, kN);
            fill(b, k);
            fill(r, k);
            b.fillOut(9.0f);
            switch (variant) {
            case 0: // one channel short
                b.inBus().numChannels = 1;
                std::fill(r.in(1).begin(), r.in(1).end(), 0.0f);
                break;
            case 1: // a null channel buffer
                b.inPtrs()[0] = nullptr;
                std::fill(r.in(0).begin(), r.in(0).end(), 0.0f);
                break;
            default: // no channel array at all
                b.inBus().channelBuffers32 = nullptr;
                r.fillIn(0.0f);
                break;
            }
            ASSERT_EQ(p->process(b.data), kResultOk);
            ASSERT_EQ(ref->process(r.data), kResultOk);
            ASSERT_EQ(b.out(0), r.out(0)) << k;
            ASSERT_EQ(b.out(1), r.out(1)) << k;
        }
    }
}

TEST(ProcessorHostData, MissingOutputChannelsAreSkipped) {
    Processor p;
    Processor ref;
    warm(p);
    warm(ref);
    for (int k = 0; k < 30; ++k) {
        Block b(2, 2, kN);
        Block r(2, 2, kN);
        fill(b, k);
        fill(r, k);
        b.fillOut(9.0f);
        if (k < 10) {
            b.outBus().numChannels = 1;
        } else if (k < 20) {
            b.outPtrs()[0] = nullptr;
        } else {
            b.outBus().channelBuffers32 = nullptr;
        }
        ASSERT_EQ(p->process(b.data), kResultOk);
        ASSERT_EQ(ref->process(r.data), kResultOk);
        if (k < 10) {
            ASSERT_EQ(b.out(0), r.out(0));
            ASSERT_EQ(b.out(1), std::vector<float>(kN, 9.0f));
        } else if (k < 20) {
            ASSERT_EQ(b.out(0), std::vector<float>(kN, 9.0f));
            ASSERT_EQ(b.out(1), r.out(1));
        } else {
            ASSERT_EQ(b.out(0), std::vector<float>(kN, 9.0f));
        }
    }
    // The gate ran on regardless, so later complete blocks agree too.
    Block b(2, 2, kN);
    Block r(2, 2, kN);
    fill(b, 30);
    fill(r, 30);
    p->process(b.data);
    ref->process(r.data);
    EXPECT_EQ(b.out(0), r.out(0));
}

TEST(ProcessorHostData, ExtraChannelsAreIgnoredOrSilenced) {
    Processor p;
    Processor ref;
    warm(p);
    warm(ref);
    for (int k = 0; k < 10; ++k) {
        Block b(3, 3, kN);
        Block r(2, 2, kN);
        fill(b, k);
        fill(r, k);
        b.fillOut(9.0f);
        ASSERT_EQ(p->process(b.data), kResultOk);
        ref->process(r.data);
        ASSERT_EQ(b.out(0), r.out(0));
        ASSERT_EQ(b.out(1), r.out(1));
        ASSERT_EQ(b.out(2), std::vector<float>(kN, 0.0f));
    }
}

TEST(ProcessorHostData, NullBusArraysAndOddCountsOnlyTakeParameters) {
    Processor p;
    warm(p);
    const int meterCounter = p.engine().meterCounter();
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(variant);
        Block b(2, 2, kN);
        b.fillOut(9.0f);
        switch (variant) {
        case 0:
            b.data.inputs = nullptr;
            break;
        case 1:
            b.data.outputs = nullptr;
            break;
        case 2:
            b.data.numSamples = -5;
            break;
        default:
            b.data.numInputs = -1;
            break;
        }
        b.inChanges.add(kThreshold, {0.5});
        EXPECT_EQ(p->process(b.data), kResultOk);
        EXPECT_NEAR(p.engine().threshold(), std::pow(10.0, -30.0 / 20.0), 1e-6);
        EXPECT_EQ(b.out(0), std::vector<float>(kN, 9.0f));
        EXPECT_EQ(b.outChanges.getParameterCount(), 0);
        EXPECT_EQ(p.engine().meterCounter(), meterCounter);
        b.resetChanges();
    }
    // Negative channel counts are no channels.
    Block b(2, 2, kN);
    fill(b, 0);
    b.inBus().numChannels = -3;
    b.outBus().numChannels = -3;
    b.fillOut(9.0f);
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(b.out(0), std::vector<float>(kN, 9.0f));
}

TEST(ProcessorHostData, SidechainFlaggedActiveButAbsentIsNotUsed) {
    // The side-chain carries a loud signal, the main input a quiet one; the
    // gate only opens when it listens to the side-chain.
    Processor p;
    Processor ref;
    warm(p, true);
    warm(ref); // side-chain inactive
    for (int k = 0; k < 30; ++k) {
        Block b(2, 2, kN); // side-chain not in the data
        Block r(2, 2, kN);
        fill(b, k);
        fill(r, k);
        ASSERT_EQ(b.data.numInputs, 1);
        ASSERT_EQ(p->process(b.data), kResultOk);
        ref->process(r.data);
        ASSERT_EQ(b.out(0), r.out(0)) << k;
    }
}

TEST(ProcessorHostData, SidechainWithoutChannelsIsASilentKey) {
    Processor p;
    Processor ref;
    warm(p, true);
    warm(ref, true);
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        for (int k = 0; k < 30; ++k) {
            Block b(2, 2, kN, 2);
            Block r(2, 2, kN, 2);
            fill(b, k);
            fill(r, k);
            switch (variant) {
            case 0:
                b.auxBus().numChannels = 0;
                break;
            case 1:
                b.auxBus().channelBuffers32 = nullptr;
                break;
            default:
                b.auxBus().numChannels = 1;
                break;
            }
            if (variant < 2) {
                std::fill(r.aux(0).begin(), r.aux(0).end(), 0.0f);
            } else {
                r.auxBus().numChannels = 1;
            }
            std::fill(r.aux(1).begin(), r.aux(1).end(), 0.0f);
            ASSERT_EQ(p->process(b.data), kResultOk);
            ASSERT_EQ(ref->process(r.data), kResultOk);
            ASSERT_EQ(b.out(0), r.out(0)) << k;
            ASSERT_EQ(b.out(1), r.out(1)) << k;
        }
    }
}

TEST(ProcessorHostData, LongBlocksWithGapsMatchCompleteOnes) {
    // Gaps are bridged with scratch buffers in slices; the audio must not
    // depend on that.
    Processor p;
    Processor ref;
    warm(p);
    warm(ref);
    for (int k = 0; k < 6; ++k) {
        Block b(2, 2, 3000);
        Block r(2, 2, 3000);
        fill(b, k);
        fill(r, k);
        b.inPtrs()[1] = nullptr;
        std::fill(r.in(1).begin(), r.in(1).end(), 0.0f);
        ASSERT_EQ(p->process(b.data), kResultOk);
        ref->process(r.data);
        ASSERT_EQ(b.out(0), r.out(0)) << k;
        ASSERT_EQ(b.out(1), r.out(1)) << k;
    }
}

TEST(ProcessorHostData, InPlaceMatchesSeparateBuffers) {
    // Every detection and channel mode, with the side-chain too.
    for (int mode = 0; mode < 5; ++mode) {
        SCOPED_TRACE(mode);
        const bool sidechain = mode == 4;
        Processor p;
        Processor ref;
        warm(p, sidechain);
        warm(ref, sidechain);
        const int aux = sidechain ? 2 : 0;
        for (int k = 0; k < 40; ++k) {
            Block b(2, 2, kN, aux);
            Block r(2, 2, kN, aux);
            fill(b, k);
            fill(r, k);
            if (sidechain) {
                for (int c = 0; c < 2; ++c) {
                    for (float& x : b.aux(c)) {
                        x *= 2.0f;
                    }
                    r.aux(c) = b.aux(c);
                }
            }
            if (k == 0) {
                for (Block* blk : {&b, &r}) {
                    blk->inChanges.add(kDetectionMethod, {(mode & 1) ? 1.0 : 0.0});
                    blk->inChanges.add(kChannelMode, {(mode & 2) ? 1.0 : 0.0});
                }
            }
            b.outBus().channelBuffers32 = b.inPtrs();
            ASSERT_EQ(p->process(b.data), kResultOk);
            ref->process(r.data);
            ASSERT_EQ(b.in(0), r.out(0)) << k;
            ASSERT_EQ(b.in(1), r.out(1)) << k;
        }
    }
}

} // namespace
} // namespace velmora::test
