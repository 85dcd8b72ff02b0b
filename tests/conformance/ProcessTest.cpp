// process as strict hosts call it: every sample rate, every block size, empty
// blocks, parameter flushes without buses, silence flags, in-place buffers,
// another thread, a long run of random automation and the reported tail.
// Every block is checked by the rig: inputs untouched, outputs finite.
#include "ConformanceRig.h"

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "hosting/ByteStream.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace conformance {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// The first sample where two signals differ, or -1.
int64 firstDifference(const Signal& a, const Signal& b) {
    if (a.size() != b.size()) {
        return 0;
    }
    int64 first = -1;
    for (size_t c = 0; c < a.size(); ++c) {
        const auto m = std::mismatch(a[c].begin(), a[c].end(), b[c].begin(), b[c].end());
        if (m.first != a[c].end()) {
            const int64 at = m.first - a[c].begin();
            first = first < 0 ? at : std::min(first, at);
        }
    }
    return first;
}

Signal slice(const Signal& s, int64 from, int64 to) {
    Signal out;
    for (const auto& c : s) {
        out.emplace_back(c.begin() + from, c.begin() + to);
    }
    return out;
}

// Adds 1 to 3 random changes, each with 1 to 3 points, to the next block.
void randomChanges(Rig& rig, const std::vector<WritableParameter>& params, std::mt19937& rng,
                   int32 frames) {
    std::uniform_int_distribution<size_t> which(0, params.size() - 1);
    std::uniform_int_distribution<int> howMany(1, 3);
    std::uniform_int_distribution<int32> offset(0, std::max(0, frames - 1));
    const int changes = howMany(rng);
    for (int i = 0; i < changes; ++i) {
        const WritableParameter& p = params[which(rng)];
        const int points = howMany(rng);
        for (int k = 0; k < points; ++k) {
            rig.changes().addChange(p.id, offset(rng), randomValue(p, rng));
        }
    }
}

// ---------------------------------------------------------------------------
// Sample rates

class AtSampleRate : public testing::TestWithParam<double> {};

TEST_P(AtSampleRate, DefaultsRandomSettingsAndSilenceStayFinite) {
    const double rate = GetParam();
    HostedRig h;
    ASSERT_TRUE(h.rig);
    Rig& rig = *h.rig;
    Layout layout;
    layout.sampleRate = rate;
    ASSERT_TRUE(rig.start(layout));

    const auto phase = static_cast<int64>(std::clamp(0.3 * rate, 8192.0, 262144.0));
    const Signal in = bursts(2, phase, rate, 31);
    const Signal out = rig.run(in);
    EXPECT_LE(peak(out), 4.0f * peak(in)) << "defaults must not blow the signal up";

    const auto params = writableParameters(h.plugin->controller());
    ASSERT_FALSE(params.empty());
    std::mt19937 rng(static_cast<std::uint32_t>(rate));
    Rig::RunOptions random;
    random.beforeBlock = [&](Rig& r, int64, int32 n) { randomChanges(r, params, rng, n); };
    rig.run(noise(2, phase, 1.0f, 32), random);
    rig.run(silence(2, phase));
    rig.run(bursts(2, phase, rate, 33));
}

std::string rateName(const testing::TestParamInfo<double>& info) {
    std::string name = std::to_string(info.param);
    name.erase(name.find_last_not_of('0') + 1);
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    std::replace(name.begin(), name.end(), '.', '_');
    return "Hz" + name;
}

INSTANTIATE_TEST_SUITE_P(Rates, AtSampleRate,
                         testing::Values(22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0,
                                         192000.0, 384000.0, 1234.5678, 12345.678, 123456.78,
                                         1234567.8),
                         rateName);

// ---------------------------------------------------------------------------
// Block sizes

constexpr int32 kLargestBlock = 8192;

Signal runWithBlocks(const Signal& in, std::vector<int32> blocks) {
    HostedRig h;
    if (!h.rig) {
        ADD_FAILURE() << "no plug-in";
        return {};
    }
    Layout layout;
    layout.maxBlock = kLargestBlock;
    EXPECT_TRUE(h.rig->start(layout));
    Rig::RunOptions options;
    options.blocks = std::move(blocks);
    return h.rig->run(in, options);
}

TEST(Processing, BlockSizesFromOneTo8192GiveTheSameOutput) {
    // Without automation the gate works sample by sample, so how the host
    // cuts the stream into blocks must not show in the output.
    const Signal in = bursts(2, 48000, 48000.0, 41);
    const Signal reference = runWithBlocks(in, {512});
    ASSERT_EQ(reference.size(), 2u);

    for (int32 size : {1, 2, 3, 7, 64, 511, 1024, 4096, 8192}) {
        SCOPED_TRACE(size);
        const Signal out = runWithBlocks(in, {size});
        EXPECT_EQ(firstDifference(out, reference), -1);
    }

    std::mt19937 rng(42);
    std::uniform_int_distribution<int32> size(1, kLargestBlock);
    std::uniform_int_distribution<int32> small(1, 16);
    std::vector<int32> sequence;
    for (int i = 0; i < 200; ++i) {
        sequence.push_back(i % 3 == 0 ? small(rng) : size(rng));
    }
    SCOPED_TRACE("random sizes");
    EXPECT_EQ(firstDifference(runWithBlocks(in, sequence), reference), -1);
}

TEST(Processing, EmptyBlocksChangeNothingButDeliverTheirParameters) {
    const Signal in = bursts(2, 24000, 48000.0, 43);
    const Signal reference = runWithBlocks(in, {512, 300, 212});
    const Signal withEmpty = runWithBlocks(in, {0, 512, 0, 0, 300, 0, 212});
    EXPECT_EQ(firstDifference(withEmpty, reference), -1);

    // A change handed over in an empty block acts like one in the next
    // block with audio.
    const auto run = [&](bool inEmptyBlock) {
        HostedRig h;
        EXPECT_TRUE(h.rig && h.rig->start(Layout{}));
        Rig::RunOptions options;
        options.blocks = {512};
        if (inEmptyBlock) {
            h.rig->changes().addChange(velmora::kThreshold, 0, 0.9);
            h.rig->changes().addChange(velmora::kOutputLevel, 0, 0.25);
            EXPECT_EQ(h.rig->process(0), kResultOk);
        } else {
            options.beforeBlock = [](Rig& r, int64 pos, int32) {
                if (pos == 0) {
                    r.changes().addChange(velmora::kThreshold, 0, 0.9);
                    r.changes().addChange(velmora::kOutputLevel, 0, 0.25);
                }
            };
        }
        return h.rig->run(in, options);
    };
    const Signal viaEmpty = run(true);
    const Signal direct = run(false);
    EXPECT_EQ(firstDifference(viaEmpty, direct), -1);
    EXPECT_NE(firstDifference(viaEmpty, reference), -1) << "the changes were not applied";
}

// ---------------------------------------------------------------------------
// Parameter flush

TEST(Processing, ParameterFlushWithoutBusesOrBuffers) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    ASSERT_TRUE(h.rig->start(Layout{}));
    IAudioProcessor* processor = h.rig->processor();

    const auto flush = [&](IParameterChanges* changes, IParameterChanges* reported, int32 frames) {
        ProcessData data;
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = frames;
        data.numInputs = 0;
        data.numOutputs = 0;
        data.inputs = nullptr;
        data.outputs = nullptr;
        data.inputParameterChanges = changes;
        data.outputParameterChanges = reported;
        return processor->process(data);
    };
    velmora::host::ParameterChanges none;
    velmora::host::ParameterChanges reported;
    EXPECT_EQ(flush(nullptr, nullptr, 0), kResultOk);
    EXPECT_EQ(flush(&none, &reported, 0), kResultOk);
    EXPECT_EQ(flush(&none, &reported, 512), kResultOk);

    // A bypass sent by flush: after the click-free switch, input passes
    // unchanged. Below the threshold the gate would otherwise shut.
    velmora::host::ParameterChanges bypass;
    ASSERT_TRUE(bypass.addChange(velmora::kBypass, 0, 1.0));
    EXPECT_EQ(flush(&bypass, &reported, 0), kResultOk);
    const Signal quiet = noise(2, 9600, 0.001f, 51);
    const Signal out = h.rig->run(quiet);
    const int64 settled = 4800;
    double worst = 0.0;
    for (size_t c = 0; c < out.size(); ++c) {
        for (int64 i = settled; i < 9600; ++i) {
            worst = std::max(worst, std::fabs(static_cast<double>(out[c][static_cast<size_t>(i)]) -
                                              quiet[c][static_cast<size_t>(i)]));
        }
    }
    EXPECT_LT(worst, 1e-9) << "bypass must pass the input through";

    HostedRig plain;
    ASSERT_TRUE(plain.rig && plain.rig->start(Layout{}));
    EXPECT_LT(rms(plain.rig->run(quiet), settled), 0.01 * rms(quiet, settled))
        << "without the flushed bypass the gate should have shut";
}

// ---------------------------------------------------------------------------
// Silence flags

TEST(Processing, SilenceFlagsInEveryCombinationOnEveryBus) {
    constexpr float kStale = 0.5f;
    for (bool sidechain : {false, true}) {
        SCOPED_TRACE(sidechain ? "side-chain" : "no side-chain");
        HostedRig h;
        ASSERT_TRUE(h.rig);
        Rig& rig = *h.rig;
        Layout layout;
        layout.sidechain = sidechain;
        ASSERT_TRUE(rig.start(layout));
        ASSERT_EQ(rig.channels(kInput, 0), 2);
        ASSERT_EQ(rig.channels(kOutput, 0), 2);
        const bool aux = rig.buses(kInput) > 1 && rig.channels(kInput, 1) > 0;
        std::uint32_t seed = 60;
        for (uint64 inFlags = 0; inFlags < 4; ++inFlags) {
            for (uint64 auxFlags = 0; auxFlags < (aux ? 4u : 1u); ++auxFlags) {
                for (uint64 outFlags : {uint64(0), uint64(3)}) {
                    SCOPED_TRACE(testing::Message()
                                 << "in " << inFlags << " aux " << auxFlags << " out " << outFlags);
                    // A flagged channel is silent; the others carry noise.
                    const Signal x = noise(2, 512, 0.25f, seed++);
                    for (int32 c = 0; c < 2; ++c) {
                        const bool quiet = (inFlags >> c) & 1u;
                        std::transform(x[static_cast<size_t>(c)].begin(),
                                       x[static_cast<size_t>(c)].end(), rig.input(0, c),
                                       [&](float v) { return quiet ? 0.0f : v; });
                        std::fill_n(rig.output(0, c), 512, kStale);
                    }
                    if (aux) {
                        const Signal k = noise(rig.channels(kInput, 1), 512, 0.25f, seed++);
                        for (int32 c = 0; c < rig.channels(kInput, 1); ++c) {
                            const bool quiet = (auxFlags >> c) & 1u;
                            std::transform(k[static_cast<size_t>(c)].begin(),
                                           k[static_cast<size_t>(c)].end(), rig.input(1, c),
                                           [&](float v) { return quiet ? 0.0f : v; });
                        }
                        rig.inputFlags(1) = auxFlags;
                    }
                    rig.inputFlags(0) = inFlags;
                    rig.outputFlags(0) = outFlags;
                    ASSERT_EQ(rig.process(512), kResultOk);

                    const uint64 reported = rig.reportedFlags(0);
                    EXPECT_EQ(reported >> 2, 0u) << "flags for channels the bus does not have";
                    for (int32 c = 0; c < 2; ++c) {
                        const float* out = rig.output(0, c);
                        EXPECT_FALSE(
                            std::all_of(out, out + 512, [](float v) { return v == kStale; }))
                            << "output channel " << c << " was not written";
                        if ((reported >> c) & 1u) {
                            EXPECT_TRUE(
                                std::all_of(out, out + 512, [](float v) { return v == 0.0f; }))
                                << "output channel " << c << " is flagged silent but is not";
                        }
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// In place, other threads

Signal automatedRun(Rig& rig, IEditController* controller, const Signal& in, const Signal* key,
                    bool inPlace, std::uint32_t seed) {
    const auto params = writableParameters(controller);
    std::mt19937 rng(seed);
    Rig::RunOptions options;
    options.key = key;
    options.inPlace = inPlace;
    options.beforeBlock = [&](Rig& r, int64, int32 n) {
        if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) {
            randomChanges(r, params, rng, n);
        }
    };
    return rig.run(in, options);
}

TEST(Processing, InPlaceBuffersGiveTheSameOutputAsSeparateOnes) {
    const Signal in = bursts(2, 24000, 48000.0, 71);
    const Signal key = bursts(2, 24000, 48000.0, 72);
    for (bool sidechain : {false, true}) {
        SCOPED_TRACE(sidechain ? "side-chain" : "no side-chain");
        Layout layout;
        layout.sidechain = sidechain;
        HostedRig separate;
        HostedRig shared;
        ASSERT_TRUE(separate.rig && shared.rig);
        ASSERT_TRUE(separate.rig->start(layout));
        ASSERT_TRUE(shared.rig->start(layout));
        const Signal a =
            automatedRun(*separate.rig, separate.plugin->controller(), in, &key, false, 73);
        const Signal b = automatedRun(*shared.rig, shared.plugin->controller(), in, &key, true, 73);
        EXPECT_EQ(firstDifference(a, b), -1);
    }
}

TEST(Processing, ProcessingFromThreadsOtherThanTheSetUpThread) {
    const Signal in = bursts(2, 24000, 48000.0, 81);
    const Signal first = slice(in, 0, 12000);
    const Signal second = slice(in, 12000, 24000);

    HostedRig here;
    ASSERT_TRUE(here.rig && here.rig->start(Layout{}));
    const Signal a1 = automatedRun(*here.rig, here.plugin->controller(), first, nullptr, false, 82);
    const Signal a2 =
        automatedRun(*here.rig, here.plugin->controller(), second, nullptr, false, 83);

    HostedRig there;
    ASSERT_TRUE(there.rig && there.rig->start(Layout{}));
    Signal b1;
    Signal b2;
    std::thread audio1([&] {
        b1 = automatedRun(*there.rig, there.plugin->controller(), first, nullptr, false, 82);
    });
    audio1.join();
    std::thread audio2([&] {
        b2 = automatedRun(*there.rig, there.plugin->controller(), second, nullptr, false, 83);
    });
    audio2.join();
    EXPECT_EQ(firstDifference(a1, b1), -1);
    EXPECT_EQ(firstDifference(a2, b2), -1);
}

// ---------------------------------------------------------------------------
// A long run of random automation

TEST(Processing, RandomParameterChangesEveryBlockForAMinute) {
    constexpr double kRate = 48000.0;
    constexpr int kChunkSeconds = 5;
    constexpr int kSeconds = 60;
    HostedRig h;
    ASSERT_TRUE(h.rig);
    Rig& rig = *h.rig;
    const auto params = writableParameters(h.plugin->controller());
    ASSERT_FALSE(params.empty());
    std::set<ParamID> known;
    for (int32 i = 0; i < h.plugin->controller()->getParameterCount(); ++i) {
        ParameterInfo info{};
        h.plugin->controller()->getParameterInfo(i, info);
        known.insert(info.id);
    }

    std::mt19937 rng(91);
    // Levels from digital silence to full scale, a new one every 100 ms.
    const float levels[] = {0.0f, 1e-6f, 1e-4f, 0.01f, 0.1f, 0.5f, 1.0f};
    std::uniform_int_distribution<size_t> level(0, std::size(levels) - 1);
    std::set<ParamID> reportedUnknown;
    Rig::RunOptions options;
    options.beforeBlock = [&](Rig& r, int64, int32 n) {
        for (int32 q = 0; q < r.reported().getParameterCount(); ++q) {
            const ParamID id = r.reported().getParameterData(q)->getParameterId();
            if (!known.count(id)) {
                reportedUnknown.insert(id);
            }
        }
        randomChanges(r, params, rng, n);
    };

    bool started = false;
    bool listening = false;
    for (int chunk = 0; chunk * kChunkSeconds < kSeconds; ++chunk) {
        // The second half listens to the side-chain.
        const bool sidechain = 2 * chunk * kChunkSeconds >= kSeconds;
        if (!started || sidechain != listening) {
            Layout layout;
            layout.sidechain = sidechain;
            ASSERT_TRUE(rig.start(layout));
            started = true;
            listening = sidechain;
        }
        const auto frames = static_cast<int64>(kChunkSeconds * kRate);
        Signal in = noise(2, frames, 1.0f, 92u + static_cast<std::uint32_t>(chunk));
        Signal key = noise(2, frames, 1.0f, 192u + static_cast<std::uint32_t>(chunk));
        for (Signal* s : {&in, &key}) {
            for (int64 start = 0; start < frames; start += 4800) {
                const float l = levels[level(rng)];
                for (auto& c : *s) {
                    for (int64 i = start; i < std::min<int64>(start + 4800, frames); ++i) {
                        c[static_cast<size_t>(i)] *= l;
                    }
                }
            }
        }
        options.key = &key;
        rig.run(in, options);
    }
    EXPECT_TRUE(reportedUnknown.empty()) << "the processor reports parameters that do not exist";
    EXPECT_GT(rig.blocksProcessed(), kSeconds * 93);
}

// ---------------------------------------------------------------------------
// Damaged project states

TEST(Processing, DamagedStatesLeaveTheOutputFinite) {
    const Signal in = bursts(2, 24000, 48000.0, 112);
    for (const auto& [name, bytes] : damagedStates()) {
        SCOPED_TRACE(name);
        HostedRig h;
        ASSERT_TRUE(h.rig);
        // Before activation, as a project loads, and again while running.
        IPtr<velmora::host::ByteStream> early = owned(new velmora::host::ByteStream(bytes));
        h.rig->component()->setState(early);
        ASSERT_TRUE(h.rig->start(Layout{}));
        h.rig->run(in);
        IPtr<velmora::host::ByteStream> late = owned(new velmora::host::ByteStream(bytes));
        h.rig->component()->setState(late);
        h.rig->run(in);
    }
}

// ---------------------------------------------------------------------------
// Tail

struct TailCase {
    const char* name;
    std::vector<std::pair<ParamID, double>> settings;
};

TEST(Processing, OutputDiesAwayWithinTheReportedTail) {
    const velmora::ParameterScaling scaling;
    const double edge12Hz = scaling.toNormalized(velmora::kCtrlBandEdge2, 12.0f);
    const std::vector<TailCase> cases = {
        {"defaults", {}},
        // The longest ringing the tail is meant to cover: a narrow control
        // band listened to through Ctrl Out behind full input gain.
        {"ctrl out, 10-12 Hz control band, +60 dB input",
         {{velmora::kCtrlOut, 1.0},
          {velmora::kInputLevel, 1.0},
          {velmora::kCtrlBandEdge1, 0.0},
          {velmora::kCtrlBandEdge2, edge12Hz}}},
        {"+40 dB output, gate held open, widest bands",
         {{velmora::kOutputLevel, 1.0},
          {velmora::kThreshold, 1.0},
          {velmora::kClosedLevelLo, 1.0},
          {velmora::kClosedLevelMid, 1.0},
          {velmora::kClosedLevelHi, 1.0},
          {velmora::kOutBandEdge1, 0.0},
          {velmora::kOutBandEdge2, 1.0}}},
    };

    constexpr double kRate = 48000.0;
    for (const TailCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        HostedRig h;
        ASSERT_TRUE(h.rig && h.rig->start(Layout{}));
        for (const auto& [id, value] : tc.settings) {
            h.rig->changes().addChange(id, 0, value);
        }
        const uint32 tail = h.rig->processor()->getTailSamples();
        ASSERT_NE(tail, kInfiniteTail);
        const auto loud = static_cast<int64>(kRate);
        const int64 total = loud + static_cast<int64>(tail) + 24000;
        Signal in = noise(2, total, 1.0f, 101);
        for (auto& c : in) {
            std::fill(c.begin() + loud, c.end(), 0.0f);
        }
        const Signal out = h.rig->run(in);
        const int64 after = loud + static_cast<int64>(tail);
        EXPECT_LT(peak(out, after), 1e-7f) << "tail of " << tail << " samples";
        EXPECT_GT(peak(out), 0.0f);
    }
}

} // namespace
} // namespace conformance
