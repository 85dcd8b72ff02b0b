// The processor state: 31 little-endian fields of 4 bytes, six switches as
// int32 and 25 normalised values as float, in parameter-ID order.
#include "ProcessorTestHost.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include <cmath>

namespace velmora::test {
namespace {

// A state with every field away from its start value.
StateFields unusualState() {
    StateFields s;
    s.switches = {1, 1, 1, 0, 1, 0};
    for (int i = 0; i < kNumContinuous; ++i) {
        s.values[static_cast<size_t>(i)] = 0.05f + 0.035f * static_cast<float>(i);
    }
    // Keep both pairs of band edges in order.
    s.value(kCtrlBandEdge1) = 0.3f;
    s.value(kCtrlBandEdge2) = 0.6f;
    s.value(kOutBandEdge1) = 0.25f;
    s.value(kOutBandEdge2) = 0.55f;
    return s;
}

TEST(ProcessorState, FreshProcessorWritesTheStartValues) {
    const ParameterScaling sc;
    Processor p;
    const std::vector<uint8_t> bytes = p.stateBytes();
    ASSERT_EQ(bytes.size(), 124u);

    const StateFields s = StateFields::from(bytes);
    const std::array<int32_t, 6> switches = {0, 0, 0, 1, 0, 1};
    EXPECT_EQ(s.switches, switches);
    // Start values are each plain default through toNormalized, Beat Skip's
    // taken as it is.
    EXPECT_FLOAT_EQ(s.value(kInputLevel), 0.5f);
    EXPECT_FLOAT_EQ(s.value(kOutputLevel), 0.5f);
    EXPECT_FLOAT_EQ(s.value(kThreshold), 1.0f / 3.0f);
    EXPECT_NEAR(s.value(kRmsWindow), std::log(50.0) / std::log(1000.0), 1e-6);
    EXPECT_NEAR(s.value(kHold),
                (std::log(35.0) - std::log(5.0)) / (std::log(1000.0) - std::log(5.0)), 1e-6);
    EXPECT_NEAR(s.value(kCtrlBandEdge1),
                (std::log(1000.0) - std::log(10.0)) / (std::log(20000.0) - std::log(10.0)), 1e-6);
    EXPECT_EQ(s.value(kBeatSkip), 0.0f);
    EXPECT_EQ(s.value(kNoteTruncate), 0.0f);
    EXPECT_EQ(s.value(kClosedLevelLo), 0.0f);
    EXPECT_EQ(s.value(kOpenLevelHi), 1.0f);
    for (int i = 0; i < kNumContinuous; ++i) {
        const auto id = static_cast<uint32_t>(kFirstContinuous + i);
        EXPECT_EQ(s.values[static_cast<size_t>(i)], sc.defaultNormalized(id)) << id;
    }
    // Native little-endian: field 4 (Channel Mode) is the int 1.
    EXPECT_EQ(bytes[12], 1);
    EXPECT_EQ(bytes[13], 0);
}

TEST(ProcessorState, RoundTripReproducesEverySwitchAndValue) {
    const ParameterScaling sc;
    const StateFields s = unusualState();
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    ASSERT_EQ(p.setState(s), kResultOk);
    EXPECT_EQ(p.stateBytes(), s.bytes());

    // The engine got every setting.
    const GateEngine& e = p.engine();
    EXPECT_TRUE(e.nextBypass());
    EXPECT_TRUE(e.nextCtrlOut());
    EXPECT_TRUE(e.rms());
    EXPECT_FALSE(e.linked());
    EXPECT_TRUE(e.duck());
    EXPECT_FALSE(e.gradual());
    auto gain = [&](ParamId id) {
        return static_cast<float>(std::pow(10.0, sc.toPlain(id, s.value(id)) / 20.0));
    };
    EXPECT_FLOAT_EQ(e.inputGain(), gain(kInputLevel));
    EXPECT_FLOAT_EQ(e.outputGain(), gain(kOutputLevel));
    EXPECT_FLOAT_EQ(e.threshold(), gain(kThreshold));
    const double fs = 44100.0;
    auto pole = [&](ParamId id, double ratio) {
        return static_cast<float>(
            std::pow(ratio, 1.0 / (fs * sc.toPlain(id, s.value(id)) * 0.001)));
    };
    EXPECT_FLOAT_EQ(e.rmsCoef(), pole(kRmsWindow, 0.001));
    EXPECT_FLOAT_EQ(e.gradAttackCoef(), pole(kAttackGradual, 0.001));
    EXPECT_FLOAT_EQ(e.synthAttackCoef(), pole(kAttackSynth, 1.0 - 0.999 / 1.3));
    EXPECT_FLOAT_EQ(e.releaseCoef(), pole(kRelease, 0.001));
    auto samples = [&](ParamId id) {
        return static_cast<int>(sc.toPlain(id, s.value(id)) * 0.001 * fs + 0.5);
    };
    EXPECT_EQ(e.holdSamples(), samples(kHold));
    EXPECT_EQ(e.muteSamples(), samples(kTriggeredMuting));
    EXPECT_EQ(e.delaySamples(), samples(kAttackDelay));
    EXPECT_EQ(e.truncateLimit(), samples(kAttackDelay) + samples(kNoteTruncate));
    EXPECT_FLOAT_EQ(e.beatSkipProb(), s.value(kBeatSkip));
    EXPECT_FLOAT_EQ(static_cast<float>(e.controlSplitter().edge1Hz()),
                    sc.toPlain(kCtrlBandEdge1, 0.3f));
    EXPECT_FLOAT_EQ(static_cast<float>(e.controlSplitter().edge2Hz()),
                    sc.toPlain(kCtrlBandEdge2, 0.6f));
    EXPECT_FLOAT_EQ(static_cast<float>(e.outputSplitter().edge1Hz()),
                    sc.toPlain(kOutBandEdge1, 0.25f));
    EXPECT_FLOAT_EQ(static_cast<float>(e.outputSplitter().edge2Hz()),
                    sc.toPlain(kOutBandEdge2, 0.55f));

    // A second processor restores the same bytes.
    Processor q;
    ASSERT_EQ(q.initialize(), kResultOk);
    ByteStream stream(p.stateBytes());
    ASSERT_EQ(q->setState(&stream), kResultOk);
    EXPECT_EQ(q.stateBytes(), s.bytes());

    // Through the SDK's memory stream as well.
    IPtr<MemoryStream> mem = owned(new MemoryStream);
    ASSERT_EQ(p->getState(mem), kResultOk);
    int64 size = 0;
    mem->tell(&size);
    EXPECT_EQ(size, 124);
    mem->seek(0, IBStream::kIBSeekSet, nullptr);
    Processor r;
    ASSERT_EQ(r.initialize(), kResultOk);
    ASSERT_EQ(r->setState(mem), kResultOk);
    EXPECT_EQ(r.stateBytes(), s.bytes());
}

TEST(ProcessorState, OnlyPositiveSwitchFieldsAreOn) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    StateFields s = StateFields::defaults();
    s.switches = {-1, 2, INT32_MIN, 0, 7, -5};
    ASSERT_EQ(p.setState(s), kResultOk);
    const StateFields back = p.getState();
    const std::array<int32_t, 6> expected = {0, 1, 0, 0, 1, 0};
    EXPECT_EQ(back.switches, expected);
    EXPECT_FALSE(p.engine().nextBypass());
    EXPECT_TRUE(p.engine().duck());
}

TEST(ProcessorState, DamagedFieldsAreKeptInRange) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    StateFields s = StateFields::defaults();
    s.value(kThreshold) = 0.5f;
    s.value(kCtrlBandEdge1) = std::numeric_limits<float>::quiet_NaN();
    s.value(kOutBandEdge2) = std::numeric_limits<float>::infinity();
    s.value(kOpenLevelMid) = -std::numeric_limits<float>::infinity();
    s.value(kRelease) = -0.5f;
    s.value(kAttackGradual) = -1e30f;
    ASSERT_EQ(p.setState(s), kResultOk);

    const StateFields back = p.getState();
    const StateFields defaults = StateFields::defaults();
    EXPECT_EQ(back.value(kThreshold), 0.5f);
    EXPECT_EQ(back.value(kCtrlBandEdge1), defaults.value(kCtrlBandEdge1));
    EXPECT_EQ(back.value(kOutBandEdge2), 1.0f);
    EXPECT_EQ(back.value(kOpenLevelMid), 0.0f);
    EXPECT_EQ(back.value(kRelease), 0.0f);
    EXPECT_EQ(back.value(kAttackGradual), 0.0f);

    // The audio stays finite after the edge fades have run.
    p.setup(48000.0);
    p.activate();
    Block block(2, 2, 512);
    std::mt19937 rng(7);
    for (int b = 0; b < 20; ++b) {
        block.noiseIn(0.5f, rng);
        ASSERT_EQ(p->process(block.data), kResultOk);
        ASSERT_TRUE(block.outFinite()) << b;
        ASSERT_GT(block.maxAbsOut(), 0.0f);
    }
}

TEST(ProcessorState, ReadErrorsChangeNothing) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    const std::vector<uint8_t> before = p.stateBytes();
    const float threshold = p.engine().threshold();
    const StateFields s = unusualState();

    // An error on the first field, in the middle, and on the very last one.
    for (size_t failAt : {size_t{0}, size_t{40}, size_t{120}}) {
        ByteStream stream(s.bytes());
        stream.failReadsFrom = failAt;
        EXPECT_EQ(p->setState(&stream), kResultFalse) << failAt;
        EXPECT_EQ(p.stateBytes(), before);
        EXPECT_EQ(p.engine().threshold(), threshold);
    }
    // An empty stream that reports the end as an error.
    ByteStream empty;
    empty.failReadsFrom = 0;
    EXPECT_EQ(p->setState(&empty), kResultFalse);
    EXPECT_EQ(p.stateBytes(), before);
    EXPECT_EQ(p->setState(nullptr), kResultFalse);
}

TEST(ProcessorState, ShortStreamsAreRefusedAndChangeNothing) {
    // Streams that end early while their reads still report success, as the
    // SDK's MemoryStream does with a truncated project: applying what they
    // deliver would leave the rest at 0 (Open Levels at -99 dB).
    const StateFields s = unusualState();
    for (bool active : {false, true}) {
        Processor p;
        if (active) {
            p.start();
        } else {
            ASSERT_EQ(p.initialize(), kResultOk);
        }
        const std::vector<uint8_t> before = p.stateBytes();
        const float threshold = p.engine().threshold();
        const float outputGain = p.engine().outputGain();
        for (size_t size : {size_t{0}, size_t{42}, size_t{64}, size_t{123}}) {
            SCOPED_TRACE(size);
            std::vector<uint8_t> bytes = s.bytes();
            bytes.resize(size);
            IPtr<MemoryStream> mem = owned(new MemoryStream);
            if (size > 0) {
                mem->write(bytes.data(), static_cast<int32>(size), nullptr);
                mem->seek(0, IBStream::kIBSeekSet, nullptr);
            }
            EXPECT_EQ(p->setState(mem), kResultFalse);
            EXPECT_EQ(p.stateBytes(), before);
            Block b(2, 2, 32);
            p->process(b.data);
            EXPECT_EQ(p.engine().threshold(), threshold);
            EXPECT_EQ(p.engine().outputGain(), outputGain);
        }
        // A complete state after them is taken as usual.
        ASSERT_EQ(p.setState(s), kResultOk);
        EXPECT_EQ(p.stateBytes(), s.bytes());
    }
}

TEST(ProcessorState, BandEdgesAreAppliedAsStored) {
    const ParameterScaling sc;
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    StateFields s = StateFields::defaults();
    s.value(kCtrlBandEdge1) = 0.8f;
    s.value(kCtrlBandEdge2) = 0.4f;
    ASSERT_EQ(p.setState(s), kResultOk);
    const StateFields back = p.getState();
    EXPECT_EQ(back.value(kCtrlBandEdge1), 0.8f);
    EXPECT_EQ(back.value(kCtrlBandEdge2), 0.4f);
    // setDetFreq1 then setDetFreq2: the splitter holds edge 2 and whatever
    // its own ordering makes of edge 1; both edges went in unmodified.
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().controlSplitter().edge2Hz()),
                    sc.toPlain(kCtrlBandEdge2, 0.4f));

    // Nor is the Nyquist rule applied: 5000 Hz at 8 kHz goes in as it is.
    Processor q;
    ASSERT_EQ(q.setup(8000.0), kResultOk);
    ASSERT_EQ(q.initialize(), kResultOk);
    ASSERT_EQ(q.setState(StateFields::defaults()), kResultOk);
    EXPECT_NEAR(q.engine().controlSplitter().edge2Hz(), 5000.0, 0.01);
}

TEST(ProcessorState, WriteErrorsAreReported) {
    Processor p;
    for (int okWrites : {0, 5, 30}) {
        ByteStream stream;
        stream.writesBeforeFailure = okWrites;
        EXPECT_EQ(p->getState(&stream), kResultFalse);
        EXPECT_EQ(stream.data.size(), static_cast<size_t>(okWrites) * 4);
    }
    EXPECT_EQ(p->getState(nullptr), kResultFalse);
}

TEST(ProcessorState, StateWhileActiveWaitsForTheNextBlock) {
    Processor p;
    p.start();
    const StateFields s = unusualState();
    const float threshold = p.engine().threshold();
    ASSERT_EQ(p.setState(s), kResultOk);
    // Not applied yet, but the saved state is already the new one.
    EXPECT_EQ(p.engine().threshold(), threshold);
    EXPECT_EQ(p.stateBytes(), s.bytes());

    Block b(2, 2, 32);
    p->process(b.data);
    EXPECT_NE(p.engine().threshold(), threshold);
    EXPECT_EQ(p.stateBytes(), s.bytes());

    // A state left waiting when processing stops is applied on
    // deactivation, and a later state while inactive is not overwritten by
    // it when processing resumes.
    StateFields t = StateFields::defaults();
    ASSERT_EQ(p.setState(t), kResultOk);
    p.deactivate();
    EXPECT_NEAR(p.engine().threshold(), 0.1f, 1e-6f);
    EXPECT_EQ(p.stateBytes(), t.bytes());

    p.activate();
    p->setProcessing(false);
    ASSERT_EQ(p.setState(s), kResultOk); // still active: handed off
    p->setActive(false);
    p->setActive(true);
    p->setProcessing(true);
    EXPECT_EQ(p.stateBytes(), s.bytes());
    p.deactivate();
    ASSERT_EQ(p.setState(t), kResultOk); // applied at once
    p.activate();
    p->process(b.data);
    EXPECT_EQ(p.stateBytes(), t.bytes());
    EXPECT_NEAR(p.engine().threshold(), 0.1f, 1e-6f);
}

} // namespace
} // namespace velmora::test
