// The processor component: parameter intake, silence flags, parameter-only
// calls, meters, buses and the switching dip.
#include "ProcessorTestHost.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace velmora::test {
namespace {

constexpr double kFs = 44100.0;

std::string busName(again& p, BusDirection dir, int32 index) {
    BusInfo info{};
    EXPECT_EQ(p.getBusInfo(kAudio, dir, index, info), kResultOk);
    std::string name;
    for (const char16* c = info.name; *c != 0; ++c) {
        name.push_back(static_cast<char>(*c));
    }
    return name;
}

TEST(Processor, InitializeDeclaresStereoBusesAndConfiguresTheEngine) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);

    EXPECT_EQ(p->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(p->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(busName(*p, kInput, 0), "Stereo In");
    EXPECT_EQ(busName(*p, kOutput, 0), "Stereo Out");
    EXPECT_EQ(busName(*p, kInput, 1), "Stereo Aux In");
    BusInfo aux{};
    p->getBusInfo(kAudio, kInput, 1, aux);
    EXPECT_EQ(aux.busType, kAux);
    EXPECT_EQ(aux.flags, 0u);
    BusInfo main{};
    p->getBusInfo(kAudio, kInput, 0, main);
    EXPECT_EQ(main.busType, kMain);
    EXPECT_EQ(main.flags, static_cast<uint32>(BusInfo::kDefaultActive));

    EXPECT_EQ(p.engine().inputChannels(), 2);
    EXPECT_EQ(p.engine().outputChannels(), 2);
    EXPECT_EQ(p.engine().sidechainChannels(), 2);
    // The base's default set-up until the host sends its own.
    EXPECT_FLOAT_EQ(p.engine().sampleRate(), 44100.0f);
    EXPECT_EQ(p->getLatencySamples(), 0u);

    // Start values reach the engine: threshold -20 dB, hold 35 ms.
    EXPECT_NEAR(p.engine().threshold(), 0.1f, 1e-6f);
    EXPECT_EQ(p.engine().holdSamples(), static_cast<int>(35e-3 * kFs + 0.5));
    EXPECT_TRUE(p.engine().linked());
    EXPECT_TRUE(p.engine().gradual());
    EXPECT_FALSE(p.engine().rms());
    EXPECT_FALSE(p.engine().duck());
}

TEST(Processor, InitializeMovesControlEdgesAtOrAboveNyquist) {
    // Control Band Edge 2 is 5000 Hz, above the 4000 Hz Nyquist limit of
    // 8 kHz: the edges fall back to 0.18 and 0.34 of Nyquist while the
    // stored values stay.
    Processor p;
    ASSERT_EQ(p.setup(8000.0), kResultOk);
    ASSERT_EQ(p.initialize(), kResultOk);
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().controlSplitter().edge1Hz()), 720.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().controlSplitter().edge2Hz()), 1360.0f);
    EXPECT_EQ(p.stateBytes(), StateFields::defaults().bytes());
    // The output edges have no such rule.
    EXPECT_NEAR(p.engine().outputSplitter().edge2Hz(), 880.0, 0.01);
}

TEST(Processor, QueueIntakeUsesOnlyTheLastPointFromTheFirstSample) {
    // Two processors in step; one gets Output Level in a separate
    // parameter-only call, the other as the last of three points inside the
    // audio block. Identical outputs from sample 0 on show that the last
    // point is applied to the whole block.
    Processor a;
    Processor b;
    a.start();
    b.start();
    Block ba(2, 2, 256);
    Block bb(2, 2, 256);
    for (int k = 0; k < 40; ++k) {
        for (Block* blk : {&ba, &bb}) {
            blk->sineIn(0.5f, 300.0, kFs, k * 256L);
            blk->resetChanges();
        }
        if (k == 30) {
            Block paramsOnly(2, 2, 0);
            paramsOnly.data.numInputs = 0;
            paramsOnly.data.numOutputs = 0;
            paramsOnly.inChanges.add(kOutputLevel, {0.25});
            a->process(paramsOnly.data);
            bb.inChanges.add(kOutputLevel, {1.0, 0.0, 0.25});
        }
        a->process(ba.data);
        b->process(bb.data);
        ASSERT_EQ(ba.out(0), bb.out(0)) << "block " << k;
        ASSERT_EQ(ba.out(1), bb.out(1)) << "block " << k;
    }
    // 0.25 of -40..+40 dB is -20 dB.
    EXPECT_NEAR(b.engine().outputGain(), 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(b.getState().value(kOutputLevel), 0.25f);
}

TEST(Processor, QueuesThatCarryNothingUsableAreIgnored) {
    Processor p;
    p.start();
    const auto before = p.stateBytes();
    const float threshold = p.engine().threshold();

    Block b(2, 2, 64);
    b.inChanges.add(kThreshold); // no points
    b.inChanges.add(kMaxVu, {0.9});
    b.inChanges.add(kMinGateLevel, {0.9});
    b.inChanges.add(1000, {0.9});
    b.inChanges.add(kRelease, {0.9});
    b.inChanges.nullQueueAt(4); // the Release queue comes back null
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(p.stateBytes(), before);
    EXPECT_EQ(p.engine().threshold(), threshold);

    // A value that is not a number is no value; values outside 0..1 are
    // taken at the nearer end.
    b.resetChanges();
    b.inChanges.add(kThreshold, {std::nan("")});
    b.inChanges.add(kOutputLevel, {1.5});
    b.inChanges.add(kInputLevel, {-0.5});
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(p.engine().threshold(), threshold);
    EXPECT_EQ(p.getState().value(kThreshold), StateFields::defaults().value(kThreshold));
    EXPECT_EQ(p.getState().value(kOutputLevel), 1.0f);
    EXPECT_EQ(p.getState().value(kInputLevel), 0.0f);
    EXPECT_NEAR(p.engine().outputGain(), 100.0f, 1e-3f);
    EXPECT_NEAR(p.engine().inputGain(), 0.001f, 1e-7f);
    b.resetChanges();
    b.inChanges.add(kOutputLevel, {0.5});
    b.inChanges.add(kInputLevel, {0.5});
    p->process(b.data);
    ASSERT_EQ(p.stateBytes(), before);

    // Neither container present: the block still runs.
    b.data.inputParameterChanges = nullptr;
    b.data.outputParameterChanges = nullptr;
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(p.stateBytes(), before);
}

TEST(Processor, SwitchesTurnOnAboveOneHalf) {
    Processor p;
    p.start();
    Block b(2, 2, 16);
    b.inChanges.add(kDetectionMethod, {0.6});
    b.inChanges.add(kGateMode, {0.5});
    b.inChanges.add(kChannelMode, {0.5});
    b.inChanges.add(kAttEnvelope, {0.50001});
    p->process(b.data);
    EXPECT_TRUE(p.engine().rms());
    EXPECT_FALSE(p.engine().duck());
    EXPECT_FALSE(p.engine().linked());
    EXPECT_TRUE(p.engine().gradual());
    const StateFields s = p.getState();
    EXPECT_EQ(s.switches[kDetectionMethod], 1);
    EXPECT_EQ(s.switches[kGateMode], 0);
    EXPECT_EQ(s.switches[kChannelMode], 0);
    EXPECT_EQ(s.switches[kAttEnvelope], 1);

    b.resetChanges();
    b.inChanges.add(kDetectionMethod, {0.5});
    b.inChanges.add(kGateMode, {0.6});
    p->process(b.data);
    EXPECT_FALSE(p.engine().rms());
    EXPECT_TRUE(p.engine().duck());
}

TEST(Processor, BandEdgeOrderingIsKeptInsideTheProcessor) {
    const ParameterScaling sc;
    for (const auto& [e1, e2] :
         {std::pair{kCtrlBandEdge1, kCtrlBandEdge2}, std::pair{kOutBandEdge1, kOutBandEdge2}}) {
        SCOPED_TRACE(e1);
        const bool control = e1 == kCtrlBandEdge1;
        Processor p;
        p.start();
        auto engineEdges = [&] {
            return control ? std::pair{p.engine().controlSplitter().edge1Hz(),
                                       p.engine().controlSplitter().edge2Hz()}
                           : std::pair{p.engine().outputSplitter().edge1Hz(),
                                       p.engine().outputSplitter().edge2Hz()};
        };

        // Edge 1 pushed above edge 2 takes edge 2 along.
        Block b(2, 2, 32);
        b.inChanges.add(e1, {0.9});
        p->process(b.data);
        StateFields s = p.getState();
        EXPECT_FLOAT_EQ(s.value(e1), 0.9f);
        EXPECT_FLOAT_EQ(s.value(e2), 0.9f);
        const double hz09 = sc.toPlain(e1, 0.9f);
        EXPECT_FLOAT_EQ(static_cast<float>(engineEdges().first), static_cast<float>(hz09));
        EXPECT_FLOAT_EQ(static_cast<float>(engineEdges().second), static_cast<float>(hz09));
        // Nothing is reported to the host for the edge that moved along.
        EXPECT_EQ(b.outChanges.find(e2), nullptr);

        // Edge 2 pulled below edge 1 takes edge 1 along.
        b.resetChanges();
        b.inChanges.add(e2, {0.2});
        p->process(b.data);
        s = p.getState();
        EXPECT_FLOAT_EQ(s.value(e1), 0.2f);
        EXPECT_FLOAT_EQ(s.value(e2), 0.2f);
        const double hz02 = sc.toPlain(e2, 0.2f);
        EXPECT_FLOAT_EQ(static_cast<float>(engineEdges().first), static_cast<float>(hz02));
        EXPECT_FLOAT_EQ(static_cast<float>(engineEdges().second), static_cast<float>(hz02));

        // Moving an edge within the order leaves the other alone.
        b.resetChanges();
        b.inChanges.add(e2, {0.7});
        p->process(b.data);
        s = p.getState();
        EXPECT_FLOAT_EQ(s.value(e1), 0.2f);
        EXPECT_FLOAT_EQ(s.value(e2), 0.7f);
        b.resetChanges();
        b.inChanges.add(e1, {0.7}); // equal edges are allowed
        p->process(b.data);
        s = p.getState();
        EXPECT_FLOAT_EQ(s.value(e1), 0.7f);
        EXPECT_FLOAT_EQ(s.value(e2), 0.7f);
    }
}

TEST(Processor, SilenceFlagsSilenceTheWholeBusAndFreezeTheGate) {
    Processor p;
    p.start();
    // Open the gate and get some meter history.
    Block warm(2, 2, 64);
    for (int k = 0; k < 20; ++k) {
        warm.sineIn(0.5f, 440.0, kFs, k * 64L);
        warm.resetChanges();
        p->process(warm.data);
    }
    const ChannelGateState gate = p.engine().gateState(0);
    const int meterCounter = p.engine().meterCounter();

    // Channel 1 flagged silent, channel 0 carries signal: every output
    // buffer of the bus is zeroed and flagged.
    Block b(2, 2, 64);
    b.sineIn(0.5f, 440.0, kFs, 0);
    b.fillOut(3.0f);
    b.inBus().silenceFlags = 0x2;
    b.outBus().silenceFlags = 0;
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(b.outBus().silenceFlags, 0x2u);
    for (int c = 0; c < 2; ++c) {
        for (float y : b.out(c)) {
            ASSERT_EQ(y, 0.0f);
        }
    }
    EXPECT_EQ(b.outChanges.getParameterCount(), 0);
    EXPECT_EQ(p.engine().meterCounter(), meterCounter);
    EXPECT_EQ(p.engine().gateState(0).holdCount, gate.holdCount);
    EXPECT_EQ(p.engine().gateState(0).gain, gate.gain);
    EXPECT_EQ(p.engine().gateState(0).smoothGain, gate.smoothGain);

    // In place: the shared buffers are left as they are.
    b.resetChanges();
    b.sineIn(0.5f, 440.0, kFs, 0);
    const std::vector<float> input0 = b.in(0);
    b.outBus().channelBuffers32 = b.inPtrs();
    b.inBus().silenceFlags = 0x1;
    p->process(b.data);
    EXPECT_EQ(b.in(0), input0);
    EXPECT_EQ(b.outBus().silenceFlags, 0x1u);

    // More outputs than inputs: the output that shares input 0's buffer
    // (c mod 1 == 0) is left alone, the other one is zeroed.
    Block mono(1, 2, 64);
    mono.fillIn(0.25f);
    mono.fillOut(3.0f);
    mono.outPtrs()[0] = mono.inPtrs()[0];
    mono.inBus().silenceFlags = 0x1;
    p->process(mono.data);
    EXPECT_EQ(mono.in(0), std::vector<float>(64, 0.25f));
    EXPECT_EQ(mono.out(1), std::vector<float>(64, 0.0f));

    // The next unflagged block clears the output flags and runs again.
    warm.resetChanges();
    warm.outBus().silenceFlags = 0x3;
    p->process(warm.data);
    EXPECT_EQ(warm.outBus().silenceFlags, 0u);
    EXPECT_EQ(warm.outChanges.getParameterCount(), 4);
    EXPECT_EQ(p.engine().meterCounter(), meterCounter + 64);
}

TEST(Processor, ParameterOnlyCallsTakeParametersAndTouchNothingElse) {
    Processor p;
    p.start();
    const int meterCounter = p.engine().meterCounter();
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(variant);
        Block b(2, 2, 64);
        b.fillIn(0.5f);
        b.fillOut(7.0f);
        switch (variant) {
        case 0:
            b.data.numInputs = 0;
            break;
        case 1:
            b.data.numOutputs = 0;
            break;
        case 2:
            b.data.numSamples = 0;
            break;
        default:
            b.data.numInputs = 0;
            b.data.numOutputs = 0;
            b.data.inputs = nullptr;
            b.data.outputs = nullptr;
            break;
        }
        const double threshold = 0.1 * (variant + 1);
        b.inChanges.add(kThreshold, {threshold});
        EXPECT_EQ(p->process(b.data), kResultOk);
        EXPECT_NEAR(p.engine().threshold(), std::pow(10.0, -60.0 * threshold / 20.0), 1e-6);
        EXPECT_EQ(b.out(0), std::vector<float>(64, 7.0f));
        EXPECT_EQ(b.out(1), std::vector<float>(64, 7.0f));
        EXPECT_EQ(b.in(0), std::vector<float>(64, 0.5f));
        EXPECT_EQ(b.outChanges.getParameterCount(), 0);
        EXPECT_EQ(p.engine().meterCounter(), meterCounter);
    }
}

TEST(Processor, MetersAreSentAfterEveryBlockAsScaledDecibels) {
    Processor p;
    p.start();
    // A 0.5 sine opens the gate; after 50 ms the readouts are live.
    Block b(2, 2, 64);
    long pos = 0;
    for (int k = 0; k < 60; ++k, pos += 64) {
        b.sineIn(0.5f, 440.0, kFs, pos);
        b.resetChanges();
        p->process(b.data);
        ASSERT_EQ(b.outChanges.getParameterCount(), 4);
    }
    const ParamID ids[4] = {kMaxVu, kMinVu, kMaxGateLevel, kMinGateLevel};
    const float readouts[4] = {p.engine().maxVu(), p.engine().minVu(), p.engine().maxGateLevel(),
                               p.engine().minGateLevel()};
    for (int i = 0; i < 4; ++i) {
        ParamQueue* q = b.outChanges.find(ids[i]);
        ASSERT_NE(q, nullptr);
        ASSERT_EQ(q->getPointCount(), 1);
        int32 offset = -1;
        ParamValue v = 0;
        q->getPoint(0, offset, v);
        EXPECT_EQ(offset, 0);
        EXPECT_FLOAT_EQ(static_cast<float>(v), meterOf(readouts[i]));
    }
    // Order of the queues: 31, 32, 33, 34.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b.outChanges.getParameterData(i)->getParameterId(), ids[i]);
    }
    // The detection peak of a 0.5 sine through the control bands is near
    // 0.5, which is -6 dB, sent as 1 - 6.02/60.
    ParamValue maxVu = b.outChanges.find(kMaxVu)->last();
    EXPECT_NEAR(maxVu, 1.0 - 6.02 / 60.0, 0.02);
    // The gate is fully open: 0 dB, sent as 1.
    EXPECT_NEAR(b.outChanges.find(kMaxGateLevel)->last(), 1.0, 1e-3);
    // Linked mode reports the silence floor as the lowest level.
    EXPECT_NEAR(b.outChanges.find(kMinVu)->last(), -7.3333, 1e-3);
}

TEST(Processor, BypassSendsTheSilenceFloorForAllFourMeters) {
    Processor p;
    p.start();
    Block b(2, 2, 64);
    b.inChanges.add(kBypass, {1.0});
    long pos = 0;
    // The mode changes at the bottom of the 10 ms dip; run 30 ms.
    for (int k = 0; k < 21; ++k, pos += 64) {
        b.sineIn(0.5f, 440.0, kFs, pos);
        p->process(b.data);
        b.resetChanges();
    }
    ASSERT_TRUE(p.engine().bypass());
    b.sineIn(0.5f, 440.0, kFs, pos);
    p->process(b.data);
    for (ParamID id : {kMaxVu, kMinVu, kMaxGateLevel, kMinGateLevel}) {
        ParamQueue* q = b.outChanges.find(id);
        ASSERT_NE(q, nullptr);
        // 20 log10(1e-25) / 60 + 1 = -500/60 + 1.
        EXPECT_NEAR(q->last(), -7.3333333, 1e-5) << id;
    }
    // The audio passes unchanged.
    EXPECT_EQ(b.out(0), b.in(0));
}

TEST(Processor, BusArrangementsRedeclareTheBuses) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);

    SpeakerArrangement in = SpeakerArr::kMono;
    SpeakerArrangement out = SpeakerArr::kStereo;
    ASSERT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultOk);
    EXPECT_EQ(busName(*p, kInput, 0), "In (1 Ch)");
    EXPECT_EQ(busName(*p, kOutput, 0), "Out (2 Ch)");
    EXPECT_EQ(busName(*p, kInput, 1), "Aux (2 Ch)");
    SpeakerArrangement arr = 0;
    p->getBusArrangement(kInput, 1, arr);
    EXPECT_EQ(arr, SpeakerArr::kMono);
    BusInfo aux{};
    p->getBusInfo(kAudio, kInput, 1, aux);
    EXPECT_EQ(aux.busType, kAux);
    EXPECT_EQ(aux.flags, 0u);
    EXPECT_EQ(aux.channelCount, 1);
    EXPECT_EQ(p.engine().inputChannels(), 1);
    EXPECT_EQ(p.engine().outputChannels(), 2);
    EXPECT_EQ(p.engine().sidechainChannels(), 2);

    // 5.1 in, mono out: the side-chain follows the input.
    in = SpeakerArr::k51;
    out = SpeakerArr::kMono;
    ASSERT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultOk);
    EXPECT_EQ(busName(*p, kInput, 0), "In (6 Ch)");
    EXPECT_EQ(busName(*p, kOutput, 0), "Out (1 Ch)");
    EXPECT_EQ(busName(*p, kInput, 1), "Aux (6 Ch)");
    EXPECT_EQ(p.engine().sidechainChannels(), 6);

    // Nothing to build a main bus from.
    EXPECT_EQ(p->setBusArrangements(&in, 0, &out, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(&in, 1, &out, 0), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(nullptr, 1, &out, 1), kResultFalse);
    EXPECT_EQ(busName(*p, kInput, 0), "In (6 Ch)");

    // While active the engine's channel state must not be reallocated.
    p.activate();
    in = SpeakerArr::kStereo;
    out = SpeakerArr::kStereo;
    EXPECT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultFalse);
    EXPECT_EQ(busName(*p, kInput, 0), "In (6 Ch)");
    EXPECT_EQ(p.engine().inputChannels(), 6);
    p.deactivate();
    EXPECT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultOk);
    EXPECT_EQ(busName(*p, kInput, 0), "In (2 Ch)");

    // Without buses (before initialize) nothing is accepted.
    Processor bare;
    EXPECT_EQ(bare->setBusArrangements(&in, 1, &out, 1), kResultFalse);
}

TEST(Processor, SidechainTakesTheSecondProposedArrangement) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    SpeakerArrangement out = SpeakerArr::kStereo;
    // {main, key, accepted key, its name, detection channels}
    const struct {
        SpeakerArrangement in, aux;
        int32 proposals;
        SpeakerArrangement held;
        const char* name;
        int detection;
    } cases[] = {
        {SpeakerArr::kStereo, SpeakerArr::kMono, 2, SpeakerArr::kMono, "Aux (1 Ch)", 2},
        {SpeakerArr::kMono, SpeakerArr::kStereo, 2, SpeakerArr::kStereo, "Aux (2 Ch)", 2},
        {SpeakerArr::kStereo, SpeakerArr::kEmpty, 2, SpeakerArr::kEmpty, "Aux (0 Ch)", 2},
        {SpeakerArr::k51, SpeakerArr::kMono, 1, SpeakerArr::k51, "Aux (6 Ch)", 6},
    };
    for (const auto& c : cases) {
        SpeakerArrangement ins[2] = {c.in, c.aux};
        ASSERT_EQ(p->setBusArrangements(ins, c.proposals, &out, 1), kResultTrue);
        SpeakerArrangement arr = 0;
        ASSERT_EQ(p->getBusArrangement(kInput, 1, arr), kResultTrue);
        EXPECT_EQ(arr, c.held) << c.name;
        EXPECT_EQ(busName(*p, kInput, 1), c.name);
        EXPECT_EQ(p.engine().sidechainChannels(), c.detection) << c.name;
    }

    // A key without channels carries nothing: the main input keeps the
    // gate open.
    SpeakerArrangement ins[2] = {SpeakerArr::kStereo, SpeakerArr::kEmpty};
    ASSERT_EQ(p->setBusArrangements(ins, 2, &out, 1), kResultTrue);
    ASSERT_EQ(p->activateBus(kAudio, kInput, 1, true), kResultTrue);
    p.activate();
    Block b(2, 2, 512);
    b.data.numInputs = 2;
    for (int k = 0; k < 20; ++k) {
        b.fillIn(0.25f);
        p->process(b.data);
    }
    EXPECT_NEAR(b.out(0).back(), 0.25f, 1e-3f);
}

TEST(Processor, LifecycleMisuseIsRefusedOrRepaired) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    // Without a host context the base does not notice a second call.
    EXPECT_EQ(p->initialize(nullptr), kResultFalse);
    EXPECT_EQ(p->getBusCount(kAudio, kInput), 2);

    // Terminated while processing, with a state still waiting for a block.
    p.setup(48000.0);
    p.activate();
    StateFields s = StateFields::defaults();
    s.value(kThreshold) = 0.5f; // -30 dB
    ASSERT_EQ(p.setState(s), kResultOk);
    EXPECT_EQ(p->terminate(), kResultOk);
    EXPECT_NEAR(p.engine().threshold(), 0.0316228f, 1e-6f);

    // A new session sets up as the first did.
    ASSERT_EQ(p.initialize(), kResultOk);
    SpeakerArrangement mono = SpeakerArr::kMono;
    EXPECT_EQ(p->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
    EXPECT_EQ(p.setup(96000.0), kResultOk);
    EXPECT_EQ(p.stateBytes(), s.bytes());
}

TEST(Processor, InputWithoutSpeakersGivesTheSilenceFloor) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    SpeakerArrangement in = SpeakerArr::kEmpty;
    SpeakerArrangement out = SpeakerArr::kStereo;
    ASSERT_EQ(p->setBusArrangements(&in, 1, &out, 1), kResultOk);
    EXPECT_EQ(busName(*p, kInput, 0), "In (0 Ch)");
    EXPECT_EQ(busName(*p, kInput, 1), "Aux (2 Ch)");
    p.setup(kFs);
    p.activate();

    Block b(0, 2, 128);
    b.fillOut(5.0f);
    for (int k = 0; k < 50; ++k) {
        b.resetChanges();
        EXPECT_EQ(p->process(b.data), kResultOk);
        ASSERT_TRUE(b.outFinite());
        ASSERT_LE(b.maxAbsOut(), 1e-20f);
    }
    // Meters sit at the floor too.
    EXPECT_NEAR(b.outChanges.find(kMaxVu)->last(), -7.3333, 1e-3);

    // A loud side-chain has nothing to gate either.
    p.deactivate();
    ASSERT_EQ(p->activateBus(kAudio, kInput, 1, true), kResultOk);
    p.activate();
    Block s(0, 2, 128, 2);
    for (int k = 0; k < 10; ++k) {
        s.resetChanges();
        std::fill(s.aux(0).begin(), s.aux(0).end(), 0.9f);
        std::fill(s.aux(1).begin(), s.aux(1).end(), -0.9f);
        EXPECT_EQ(p->process(s.data), kResultOk);
        ASSERT_TRUE(s.outFinite());
        ASSERT_LE(s.maxAbsOut(), 1e-20f);
    }
}

TEST(Processor, SampleSizeSixtyFourIsRefused) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_NE(p.setup(48000.0, 512, kSample64), kResultOk);
    // The refused set-up changed nothing.
    EXPECT_FLOAT_EQ(p.engine().sampleRate(), 44100.0f);
}

// The switching ramp seen through the engine, one sample per call: the
// lowest gain reached, when it was reached and when the ramp ended.
struct Dip {
    float lowest = 1.0f;
    int lowestAt = -1;
    int endedAt = -1;
};

Dip traceDip(Processor& p, float input) {
    Dip d;
    Block b(2, 2, 1);
    for (int i = 0; i < 2000 && d.endedAt < 0; ++i) {
        b.fillIn(input);
        b.resetChanges();
        p->process(b.data);
        if (p.engine().rampGain() < d.lowest) {
            d.lowest = p.engine().rampGain();
            d.lowestAt = i;
        }
        if (!p.engine().rampActive()) {
            d.endedAt = i;
        }
    }
    return d;
}

TEST(Processor, InitializeAndSetStateDipTheOutputToMinusFortyDecibels) {
    // rampCoef = 0.01^(1/441) at 44.1 kHz: the fall reaches 0.01 after 441
    // samples (10 ms), the rise ends within 1 % of 1 about 10 ms later.
    Processor p;
    p.start();
    EXPECT_TRUE(p.engine().rampActive());
    Dip d = traceDip(p, 0.5f);
    EXPECT_FLOAT_EQ(d.lowest, 0.01f);
    EXPECT_NEAR(d.lowestAt, 440, 2);
    EXPECT_GT(d.endedAt, 441 + 400);
    EXPECT_LT(d.endedAt, 441 + 480);

    // setState while inactive applies at once and starts the same dip; in
    // bypass the output is the input times the ramp, so the dip is heard.
    StateFields s = StateFields::defaults();
    s.sw(kBypass) = 1;
    p.deactivate();
    ASSERT_EQ(p.setState(s), kResultOk);
    p.activate();
    traceDip(p, 0.5f);
    ASSERT_TRUE(p.engine().bypass());
    ASSERT_EQ(p.setState(s), kResultOk); // handed to the next block
    Block b(2, 2, 1);
    float lowest = 1.0f;
    int lowestAt = -1;
    for (int i = 0; i < 1000; ++i) {
        b.fillIn(0.5f);
        b.resetChanges();
        p->process(b.data);
        if (b.out(0)[0] < lowest) {
            lowest = b.out(0)[0];
            lowestAt = i;
        }
    }
    EXPECT_FLOAT_EQ(lowest, 0.5f * 0.01f);
    EXPECT_NEAR(lowestAt, 440, 2);
    EXPECT_FLOAT_EQ(b.out(0)[0], 0.5f);
}

TEST(Processor, MessagesAndText) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    EXPECT_EQ(p->notify(nullptr), kInvalidArgument);

    IPtr<HostMessage> binary = owned(new HostMessage);
    binary->setMessageID("BinaryMessage");
    const char bytes[3] = {1, 2, 3};
    binary->getAttributes()->setBinary("MyData", bytes, sizeof(bytes));
    EXPECT_EQ(p->notify(binary), kResultOk);

    IPtr<HostMessage> text = owned(new HostMessage);
    text->setMessageID("TextMessage");
    text->getAttributes()->setString("Text", STR16("hello"));
    testing::internal::CaptureStderr();
    p->notify(text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[again] received: hello\n");
}

} // namespace
} // namespace velmora::test
