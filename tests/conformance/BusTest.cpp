// Buses as hosts negotiate them: bus information that agrees with the
// arrangement after every proposal, layouts that process, and the side-chain
// switched on and off.
#include "ConformanceRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace conformance {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

struct Proposal {
    const char* name;
    SpeakerArrangement in;
    SpeakerArrangement out;
};

const Proposal kProposals[] = {
    {"mono", SpeakerArr::kMono, SpeakerArr::kMono},
    {"stereo", SpeakerArr::kStereo, SpeakerArr::kStereo},
    {"5.1", SpeakerArr::k51, SpeakerArr::k51},
    {"7.1", SpeakerArr::k71Cine, SpeakerArr::k71Cine},
    {"empty", SpeakerArr::kEmpty, SpeakerArr::kEmpty},
    {"mono in, stereo out", SpeakerArr::kMono, SpeakerArr::kStereo},
    {"stereo in, mono out", SpeakerArr::kStereo, SpeakerArr::kMono},
    {"5.1 in, stereo out", SpeakerArr::k51, SpeakerArr::kStereo},
    {"stereo in, 7.1 out", SpeakerArr::kStereo, SpeakerArr::k71Music},
    {"empty in, stereo out", SpeakerArr::kEmpty, SpeakerArr::kStereo},
    {"stereo in, empty out", SpeakerArr::kStereo, SpeakerArr::kEmpty},
};

std::string utf8(const String128 text) {
    std::string out;
    for (const char16* p = text; *p != 0; ++p) {
        out += static_cast<char>(*p);
    }
    return out;
}

void expectBusesConsistent(IComponent* component, IAudioProcessor* processor) {
    for (MediaType media : {kAudio, kEvent}) {
        for (BusDirection dir : {kInput, kOutput}) {
            const int32 count = component->getBusCount(media, dir);
            EXPECT_GE(count, 0);
            bool auxSeen = false;
            for (int32 i = 0; i < count; ++i) {
                SCOPED_TRACE(testing::Message()
                             << "media " << media << " direction " << dir << " bus " << i);
                BusInfo info{};
                ASSERT_EQ(component->getBusInfo(media, dir, i, info), kResultOk);
                EXPECT_EQ(info.mediaType, media);
                EXPECT_EQ(info.direction, dir);
                EXPECT_FALSE(utf8(info.name).empty()) << "bus without a name";
                EXPECT_GE(info.channelCount, 0);
                // Main buses come first.
                if (info.busType == kAux) {
                    auxSeen = true;
                } else {
                    EXPECT_FALSE(auxSeen) << "a main bus after an auxiliary one";
                }
                if (media == kAudio) {
                    SpeakerArrangement arr = 0;
                    ASSERT_EQ(processor->getBusArrangement(dir, i, arr), kResultOk);
                    EXPECT_EQ(info.channelCount, SpeakerArr::getChannelCount(arr))
                        << "bus '" << utf8(info.name) << "' reports " << info.channelCount
                        << " channels for arrangement 0x" << std::hex << arr;
                }
            }
        }
    }
}

TEST(Buses, InfoAgreesWithArrangementAfterEveryProposal) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    Rig& rig = *h.rig;
    {
        SCOPED_TRACE("as initialized");
        expectBusesConsistent(rig.component(), rig.processor());
    }
    const int32 numIns = rig.component()->getBusCount(kAudio, kInput);
    for (const Proposal& p : kProposals) {
        SCOPED_TRACE(p.name);
        const tresult result = rig.propose(p.in, p.out);
        EXPECT_TRUE(result == kResultTrue || result == kResultFalse) << result;
        expectBusesConsistent(rig.component(), rig.processor());
        if (result == kResultTrue) {
            SpeakerArrangement arr = 0;
            ASSERT_EQ(rig.processor()->getBusArrangement(kInput, 0, arr), kResultOk);
            EXPECT_EQ(arr, p.in) << "accepted, but the main input has another arrangement";
            ASSERT_EQ(rig.processor()->getBusArrangement(kOutput, 0, arr), kResultOk);
            EXPECT_EQ(arr, p.out) << "accepted, but the main output has another arrangement";
        }

        // The same main buses with the side-chain proposed otherwise.
        if (numIns > 1) {
            std::vector<SpeakerArrangement> ins(static_cast<size_t>(numIns), SpeakerArr::kMono);
            ins[0] = p.in;
            SpeakerArrangement out = p.out;
            const tresult other = rig.processor()->setBusArrangements(ins.data(), numIns, &out, 1);
            EXPECT_TRUE(other == kResultTrue || other == kResultFalse) << other;
            expectBusesConsistent(rig.component(), rig.processor());
            // What was accepted is what holds, for the side-chain too.
            for (int32 i = 0; other == kResultTrue && i < numIns; ++i) {
                SpeakerArrangement arr = 0;
                ASSERT_EQ(rig.processor()->getBusArrangement(kInput, i, arr), kResultOk);
                EXPECT_EQ(arr, ins[static_cast<size_t>(i)]) << "input bus " << i;
            }
        }
    }
}

TEST(Buses, EveryAcceptedLayoutProcesses) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    Rig& rig = *h.rig;
    for (const Proposal& p : kProposals) {
        for (bool sidechain : {false, true}) {
            SCOPED_TRACE(testing::Message() << p.name << (sidechain ? ", side-chain" : ""));
            rig.stop();
            if (rig.propose(p.in, p.out) != kResultTrue) {
                continue;
            }
            Layout layout;
            layout.in = p.in;
            layout.out = p.out;
            layout.sidechain = sidechain;
            ASSERT_TRUE(rig.start(layout));
            EXPECT_EQ(rig.channels(kInput, 0), SpeakerArr::getChannelCount(p.in));
            EXPECT_EQ(rig.channels(kOutput, 0), SpeakerArr::getChannelCount(p.out));
            const Signal in = bursts(rig.channels(kInput, 0), 12000, 48000.0, 7);
            const Signal key = bursts(rig.channels(kInput, 1), 12000, 48000.0, 8);
            Rig::RunOptions options;
            options.key = &key;
            options.blocks = {512, 100, 7};
            if (in.empty()) {
                // No input channels: drive the blocks by hand.
                for (int b = 0; b < 20; ++b) {
                    EXPECT_EQ(rig.process(512), kResultOk);
                }
            } else {
                const Signal out = rig.run(in, options);
                EXPECT_TRUE(allFinite(out));
            }
        }
    }
}

TEST(Buses, EveryBusCanBeSwitchedOnAndOff) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    IComponent* component = h.rig->component();
    for (BusDirection dir : {kInput, kOutput}) {
        for (int32 i = 0; i < component->getBusCount(kAudio, dir); ++i) {
            SCOPED_TRACE(testing::Message() << "direction " << dir << " bus " << i);
            BusInfo info{};
            ASSERT_EQ(component->getBusInfo(kAudio, dir, i, info), kResultOk);
            EXPECT_EQ(component->activateBus(kAudio, dir, i, true), kResultTrue);
            EXPECT_EQ(component->activateBus(kAudio, dir, i, false), kResultTrue);
            const bool initially = (info.flags & BusInfo::kDefaultActive) != 0;
            EXPECT_EQ(component->activateBus(kAudio, dir, i, initially), kResultTrue);
        }
    }
    // Everything off, as some hosts start, then the usual layout.
    for (BusDirection dir : {kInput, kOutput}) {
        for (int32 i = 0; i < component->getBusCount(kAudio, dir); ++i) {
            component->activateBus(kAudio, dir, i, false);
        }
    }
    ASSERT_TRUE(h.rig->start(Layout{}));
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(h.rig->process(512), kResultOk);
    }
}

TEST(Buses, SidechainActivatesAndDeactivates) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    Rig& rig = *h.rig;
    ASSERT_GE(rig.component()->getBusCount(kAudio, kInput), 2);
    BusInfo info{};
    ASSERT_EQ(rig.component()->getBusInfo(kAudio, kInput, 1, info), kResultOk);
    EXPECT_EQ(info.busType, kAux);

    // Steady noise well above the threshold: open when the gate listens to
    // it, shut when it listens to a silent key.
    constexpr int64 kFrames = 28800;
    constexpr int64 kSettled = 14400;
    const Signal main = noise(2, kFrames, 0.25f, 21);
    const Signal quiet = silence(2, kFrames);
    const Signal loud = noise(2, kFrames, 0.25f, 22);
    const double level = rms(main, kSettled);
    Rig::RunOptions withQuietKey;
    withQuietKey.key = &quiet;
    Rig::RunOptions withLoudKey;
    withLoudKey.key = &loud;

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Layout layout;
        ASSERT_EQ(rig.component()->activateBus(kAudio, kInput, 1, false), kResultTrue);
        ASSERT_TRUE(rig.start(layout));
        EXPECT_GT(rms(rig.run(main, withQuietKey), kSettled), 0.5 * level)
            << "with the side-chain off the key must not matter";
        rig.stop();

        layout.sidechain = true;
        ASSERT_TRUE(rig.start(layout));
        EXPECT_LT(rms(rig.run(main, withQuietKey), kSettled), 0.01 * level)
            << "a silent key must shut the gate";
        EXPECT_GT(rms(rig.run(main, withLoudKey), kSettled), 0.5 * level)
            << "a loud key must open the gate";
        rig.stop();
    }
}

} // namespace
} // namespace conformance
