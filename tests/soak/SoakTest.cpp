// Soak: one thread processes without pause at changing block sizes while
// another changes parameters, loads and saves states and opens and closes the
// editor, for as long as
// VELMORA_SOAK_SECONDS says (scripts/fuzz sets it; without it the tests are
// skipped, so ordinary test runs stay quick). Throughout, every output
// sample is finite and the audio thread allocates nothing; under
// ThreadSanitizer the same run shows any data race.
#include "AudioThreadAllocations.h"
#include "ProcessorTestHost.h"

#include "againcids.h"
#include "controller/againcontroller.h"
#include "sdk/pluginfactory.h"
#include "sdk/vst2/vst2abi.h"
#include "sdk/vst2/vst2wrapper.h"

#include "hosting/EditorWindow.h"
#include "hosting/HostedPlugin.h"

#include "pluginterfaces/gui/iplugview.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;

// How long each soak runs; 0 when no duration is set.
double soakSeconds() {
    const char* text = std::getenv("VELMORA_SOAK_SECONDS");
    return text != nullptr ? std::atof(text) : 0.0;
}

constexpr int kBlockSizes[] = {1, 7, 64, 128, 333, 512, 1024, 4096};
constexpr int kMaxBlock = 4096;

// Host-side parameter values the main thread writes and the audio thread
// hands to the processor, as a host moves automation across threads.
struct SharedParameters {
    std::array<std::atomic<float>, kNumStateParams> values{};
    std::array<std::atomic<bool>, kNumStateParams> changed{};
};

// A random but complete state: switches 0 or 1, values anywhere in 0..1.
StateFields randomState(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    StateFields s;
    for (auto& sw : s.switches) {
        sw = static_cast<int32_t>(rng() & 1u);
    }
    // Mostly not bypassed, so that the gate itself runs.
    s.switches[kBypass] = (rng() % 8 == 0) ? 1 : 0;
    for (auto& v : s.values) {
        v = unit(rng);
    }
    return s;
}

void fillInput(Block& b, std::mt19937& rng, long position) {
    switch ((position / 20000) % 4) {
    case 0:
        b.noiseIn(1.0f, rng);
        break;
    case 1:
        b.sineIn(0.5f, 440.0, 48000.0, position);
        break;
    case 2:
        b.fillIn(0.0f);
        break;
    default:
        // Bursts: loud, then quiet, so the gate opens and closes.
        b.noiseIn((position / 2000) % 2 == 0 ? 0.9f : 0.001f, rng);
        break;
    }
    for (int c = 0; c < 2; ++c) {
        std::copy(b.in(c).begin(), b.in(c).end(), b.aux(c).begin());
    }
}

// What the audio threads of the plug-in soaks play: block sizes in turn and
// noise in bursts, loud then quiet, so that the gate keeps opening and
// closing. Counts the output samples that are not finite.
class NoiseBursts {
public:
    NoiseBursts(unsigned seed, long burstFrames) : rng_(seed), burstFrames_(burstFrames) {}

    int nextBlock() {
        const int n = kBlockSizes[which_];
        which_ = (which_ + 1) % std::size(kBlockSizes);
        return n;
    }
    void fill(float* x, int n) {
        const float level = (position_ / burstFrames_) % 2 == 0 ? 0.8f : 0.0005f;
        for (int i = 0; i < n; ++i) {
            x[i] = level * noise_(rng_);
        }
    }
    void check(const float* y, int n, std::atomic<long>& bad) const {
        for (int i = 0; i < n; ++i) {
            bad.fetch_add(std::isfinite(y[i]) ? 0 : 1, std::memory_order_relaxed);
        }
    }
    void advance(int n) { position_ += n; }

private:
    std::mt19937 rng_;
    std::uniform_real_distribution<float> noise_{-1.0f, 1.0f};
    long burstFrames_;
    std::size_t which_ = 0;
    long position_ = 0;
};

// The count the soak tests rely on: allocations on a marked thread only.
TEST(Soak, CountsAllocationsOfAudioThreadsOnly) {
    const long before = audioThreadAllocations();
    auto other = std::make_unique<int>(1);
    EXPECT_EQ(audioThreadAllocations(), before);
    std::thread audio([] {
        markAudioThread();
        auto counted = std::make_unique<std::vector<int>>(3);
        EXPECT_EQ(counted->size(), 3u);
    });
    audio.join();
    EXPECT_EQ(audioThreadAllocations(), before + 2);
}

TEST(Soak, ProcessorUnderParameterAndStateChanges) {
    const double seconds = soakSeconds();
    if (seconds <= 0.0) {
        GTEST_SKIP() << "set VELMORA_SOAK_SECONDS to run (scripts/fuzz does)";
    }
    const long allocationsBefore = audioThreadAllocations();
    Processor p;
    p.initialize();
    p.setup(48000.0, kMaxBlock);
    p->activateBus(kAudio, kInput, 1, true);
    p.activate();

    SharedParameters shared;
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    std::atomic<long> badSamples{0};
    // Blocks of every size, built before the audio thread starts.
    std::vector<std::unique_ptr<Block>> prepared;
    for (int n : kBlockSizes) {
        prepared.push_back(std::make_unique<Block>(2, 2, n, 2));
    }

    std::thread audio([&] {
        markAudioThread();
        std::mt19937 rng(1);
        long position = 0;
        size_t which = 0;
        while (running.load(std::memory_order_acquire)) {
            Block& b = *prepared[which];
            which = (which + 1) % prepared.size();
            b.resetChanges();
            for (int id = 0; id < kNumStateParams; ++id) {
                if (shared.changed[static_cast<size_t>(id)].exchange(false,
                                                                     std::memory_order_acq_rel)) {
                    b.inChanges.add(
                        static_cast<ParamID>(id),
                        {shared.values[static_cast<size_t>(id)].load(std::memory_order_relaxed)});
                }
            }
            fillInput(b, rng, position);
            p->process(b.data);
            for (int c = 0; c < 2; ++c) {
                for (float x : b.out(c)) {
                    if (!std::isfinite(x)) {
                        badSamples.fetch_add(1, std::memory_order_relaxed);
                    }
                }
            }
            position += b.samples();
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    std::mt19937 rng(2);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    long states = 0;
    long badSaves = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        for (int k = 0; k < 4; ++k) {
            const auto id = static_cast<size_t>(rng() % kNumStateParams);
            shared.values[id].store(unit(rng), std::memory_order_relaxed);
            shared.changed[id].store(true, std::memory_order_release);
        }
        if (rng() % 4 == 0) {
            if (rng() % 8 == 0) {
                // A damaged state: refused, nothing changes.
                ByteStream broken(std::vector<uint8_t>(rng() % 124, 0xff));
                p->setState(&broken);
            } else {
                ByteStream stream(randomState(rng).bytes());
                p->setState(&stream);
            }
            ++states;
            const StateFields saved = p.getState();
            for (float v : saved.values) {
                badSaves += std::isfinite(v) && v >= 0.0f && v <= 1.0f ? 0 : 1;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    running.store(false, std::memory_order_release);
    audio.join();

    EXPECT_EQ(badSamples.load(), 0);
    EXPECT_EQ(badSaves, 0);
    EXPECT_EQ(audioThreadAllocations() - allocationsBefore, 0);
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(states, 10);
    RecordProperty("blocks", static_cast<int>(blocks.load()));
}

// The VST 2 adapter: setParameter and chunks from the main thread while the
// audio thread runs processReplacing.
std::intptr_t quietHost(vst2::Effect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*,
                        float) {
    return opcode == vst2::host::kVersion ? vst2::kVstVersion : 0;
}

TEST(Soak, Vst2AdapterUnderParameterAndChunkChanges) {
    const double seconds = soakSeconds();
    if (seconds <= 0.0) {
        GTEST_SKIP() << "set VELMORA_SOAK_SECONDS to run (scripts/fuzz does)";
    }
    static const PClassInfo2 processorInfo(AgainProcessorUID, PClassInfo::kManyInstances,
                                           kVstAudioEffectClass, "P", 0, "", nullptr, "1", "1");
    static const PClassInfo2 controllerInfo(AgainControllerUID, PClassInfo::kManyInstances,
                                            kVstComponentControllerClass, "C", 0, "", nullptr, "1",
                                            "1");
    auto factory = owned(new CPluginFactory(PFactoryInfo("v", "u", "e", 0)));
    factory->registerClass(&processorInfo, again::createInstance);
    factory->registerClass(&controllerInfo, againController::createInstance);
    vst2::Effect* effect =
        Vst2Wrapper::create(factory, AgainProcessorUID, Vst2EffectInfo{}, &quietHost);
    ASSERT_NE(effect, nullptr);
    const long allocationsBefore = audioThreadAllocations();
    auto dispatch = [effect](std::int32_t op, std::int32_t index, std::intptr_t value, void* ptr,
                             float opt) {
        return effect->dispatcher(effect, op, index, value, ptr, opt);
    };
    dispatch(vst2::op::kSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(vst2::op::kSetBlockSize, 0, kMaxBlock, nullptr, 0.0f);
    dispatch(vst2::op::kMainsChanged, 0, 1, nullptr, 0.0f);
    dispatch(vst2::op::kStartProcess, 0, 0, nullptr, 0.0f);

    const int ins = effect->numInputs;
    const int outs = effect->numOutputs;
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    std::atomic<long> badSamples{0};
    std::vector<std::vector<float>> in(static_cast<size_t>(ins), std::vector<float>(kMaxBlock));
    std::vector<std::vector<float>> out(static_cast<size_t>(outs), std::vector<float>(kMaxBlock));
    std::vector<float*> inPtrs;
    std::vector<float*> outPtrs;
    for (auto& c : in) {
        inPtrs.push_back(c.data());
    }
    for (auto& c : out) {
        outPtrs.push_back(c.data());
    }

    std::thread audio([&] {
        markAudioThread();
        NoiseBursts play(3, 3000);
        while (running.load(std::memory_order_acquire)) {
            const int n = play.nextBlock();
            for (auto& c : in) {
                play.fill(c.data(), n);
            }
            effect->processReplacing(effect, inPtrs.data(), outPtrs.data(), n);
            for (auto& c : out) {
                play.check(c.data(), n, badSamples);
            }
            play.advance(n);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    std::mt19937 rng(4);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<std::vector<char>> chunks;
    long refused = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        for (int k = 0; k < 4; ++k) {
            effect->setParameter(effect, static_cast<std::int32_t>(rng() % effect->numParams),
                                 unit(rng));
        }
        dispatch(vst2::op::kIdle, 0, 0, nullptr, 0.0f);
        if (rng() % 8 == 0) {
            void* data = nullptr;
            const std::intptr_t size = dispatch(vst2::op::kGetChunk, 0, 0, &data, 0.0f);
            if (size > 0 && data != nullptr && chunks.size() < 16) {
                chunks.emplace_back(static_cast<char*>(data), static_cast<char*>(data) + size);
            }
        }
        if (rng() % 8 == 0 && !chunks.empty()) {
            std::vector<char> chunk = chunks[rng() % chunks.size()];
            refused += dispatch(vst2::op::kSetChunk, 0, static_cast<std::intptr_t>(chunk.size()),
                                chunk.data(), 0.0f) == 1
                           ? 0
                           : 1;
        }
        for (std::int32_t i = 0; i < effect->numParams; i += 7) {
            const float v = effect->getParameter(effect, i);
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << i << " " << v;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    running.store(false, std::memory_order_release);
    audio.join();
    dispatch(vst2::op::kStopProcess, 0, 0, nullptr, 0.0f);
    dispatch(vst2::op::kMainsChanged, 0, 0, nullptr, 0.0f);
    dispatch(vst2::op::kClose, 0, 0, nullptr, 0.0f);

    EXPECT_EQ(badSamples.load(), 0);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(audioThreadAllocations() - allocationsBefore, 0);
    EXPECT_GT(blocks.load(), 100);
}

// The real bundle as a Linux DAW runs it: an audio thread in real-time mode,
// edits handed to it and meters handed back through atomics, while on the
// main thread the user loads presets and opens and closes the editor, whose
// timer redraws the meters the controller receives.
TEST(Soak, EditorOpensAndClosesWhileProcessing) {
    const double seconds = soakSeconds();
    if (seconds <= 0.0) {
        GTEST_SKIP() << "set VELMORA_SOAK_SECONDS to run (scripts/fuzz does)";
    }
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X server (scripts/fuzz starts Xvfb)";
    }
    std::string error;
    auto module = host::PluginModule::load(VELMORA_BUNDLE_SO, error);
    ASSERT_TRUE(module) << error;
    host::HostOptions options;
    options.deliverTextMessages = false;
    auto plugin = host::HostedPlugin::create(module, error, options);
    ASSERT_TRUE(plugin) << error;
    host::ProcessConfig config;
    config.maxBlockSize = kMaxBlock;
    config.sidechain = true;
    config.processMode = kRealtime;
    ASSERT_TRUE(plugin->startProcessing(config, error)) << error;
    IEditController* controller = plugin->controller();
    const long allocationsBefore = audioThreadAllocations();

    SharedParameters shared;
    std::array<std::atomic<double>, kNumMeters> meters{};
    std::array<std::atomic<bool>, kNumMeters> metersFresh{};
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    std::atomic<long> badSamples{0};
    std::atomic<long> badMeters{0};

    std::thread audio([&] {
        markAudioThread();
        NoiseBursts play(5, 9000);
        while (running.load(std::memory_order_acquire)) {
            const int n = play.nextBlock();
            for (int id = 0; id < kNumStateParams; ++id) {
                const auto i = static_cast<size_t>(id);
                if (shared.changed[i].exchange(false, std::memory_order_acq_rel)) {
                    plugin->inputChanges().addChange(
                        static_cast<ParamID>(id), 0,
                        shared.values[i].load(std::memory_order_relaxed));
                }
            }
            for (int bus = 0; bus < plugin->busCount(kInput); ++bus) {
                for (int c = 0; c < plugin->channelCount(kInput, bus); ++c) {
                    play.fill(plugin->channel(kInput, bus, c), n);
                }
            }
            plugin->process(n);
            for (int c = 0; c < plugin->channelCount(kOutput, 0); ++c) {
                play.check(plugin->channel(kOutput, 0, c), n, badSamples);
            }
            for (int m = 0; m < kNumMeters; ++m) {
                ParamValue value = 0.0;
                if (plugin->outputChanges().lastValue(static_cast<ParamID>(kFirstMeter + m),
                                                      value)) {
                    // Sent as measured: a level above full scale reads above
                    // 1, silence at the engine's floor of -500 dB.
                    badMeters.fetch_add(std::isfinite(value) && value > -7.34 ? 0 : 1,
                                        std::memory_order_relaxed);
                    meters[static_cast<size_t>(m)].store(value, std::memory_order_relaxed);
                    metersFresh[static_cast<size_t>(m)].store(true, std::memory_order_release);
                }
            }
            play.advance(n);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // Joins the audio thread on every way out, a failed assertion included.
    struct StopAudio {
        std::atomic<bool>& running;
        std::thread& thread;
        void operator()() {
            running.store(false, std::memory_order_release);
            if (thread.joinable()) {
                thread.join();
            }
        }
        ~StopAudio() { (*this)(); }
    } stopAudio{running, audio};

    std::mt19937 rng(6);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    IPtr<IPlugView> view;
    IPtr<host::EditorWindow> window;
    long openings = 0;
    long states = 0;
    long badControllerValues = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        for (int k = 0; k < 3; ++k) {
            const auto id = static_cast<size_t>(rng() % kNumStateParams);
            const float value = unit(rng);
            controller->setParamNormalized(static_cast<ParamID>(id), value);
            shared.values[id].store(value, std::memory_order_relaxed);
            shared.changed[id].store(true, std::memory_order_release);
        }
        for (int m = 0; m < kNumMeters; ++m) {
            const auto i = static_cast<size_t>(m);
            if (metersFresh[i].exchange(false, std::memory_order_acq_rel)) {
                const auto id = static_cast<ParamID>(kFirstMeter + m);
                controller->setParamNormalized(id, meters[i].load(std::memory_order_relaxed));
                const ParamValue shown = controller->getParamNormalized(id);
                badControllerValues += shown >= 0.0 && shown <= 1.0 ? 0 : 1;
            }
        }
        if (rng() % 16 == 0) {
            const std::vector<uint8_t> bytes = randomState(rng).bytes();
            ASSERT_TRUE(plugin->setState(std::vector<char>(bytes.begin(), bytes.end()), error))
                << error;
            ++states;
        }
        if (!window && rng() % 4 == 0) {
            view = owned(controller->createView(ViewType::kEditor));
            ASSERT_TRUE(view);
            window = host::EditorWindow::create("BK Velmora soak", error);
            ASSERT_TRUE(window) << error;
            ASSERT_TRUE(window->open(view, error)) << error;
            ++openings;
        } else if (window && rng() % 8 == 0) {
            window->close();
            window = nullptr;
            view = nullptr;
        }
        if (window) {
            window->runFor(std::chrono::milliseconds(15));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    if (window) {
        window->close();
    }
    stopAudio();

    EXPECT_EQ(badSamples.load(), 0);
    EXPECT_EQ(badMeters.load(), 0);
    EXPECT_EQ(badControllerValues, 0);
    EXPECT_EQ(audioThreadAllocations() - allocationsBefore, 0);
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(openings, 3);
    EXPECT_GT(states, 3);
    RecordProperty("openings", static_cast<int>(openings));
}

} // namespace
} // namespace velmora::test
