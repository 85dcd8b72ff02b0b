// process as any host might call it: a byte stream decoded into a sequence of
// host actions (bus arrangements, set-ups, activation, side-chain on and off,
// states, and blocks of any size, channel count, pointer gaps, silence
// flags, parameter queues and sample values). After every block the input
// buffers are unchanged, every output sample the processor wrote is finite,
// nothing is written outside the output buffers (each buffer is allocated
// to its exact size, so AddressSanitizer sees any write past it), and the
// meters it sends are finite and not below the floor.
#include "StateCheck.h"

#include "ProcessorTestHost.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

// The floor readout 1e-25 sends about -7.33.
constexpr double kLowestMeter = -7.34;
constexpr int kMaxChannels = 8;
// Samples per input in all blocks together, so that runs stay quick.
constexpr long kSampleBudget = 40000;

float specialFloat(FuzzedDataProvider& in) {
    static const float values[] = {0.0f,
                                   -0.0f,
                                   1.0f,
                                   -1.0f,
                                   0.5f,
                                   1e-30f,
                                   FLT_MIN,
                                   std::numeric_limits<float>::denorm_min(),
                                   FLT_MAX,
                                   -FLT_MAX,
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::quiet_NaN(),
                                   -std::numeric_limits<float>::quiet_NaN(),
                                   1e20f,
                                   -3.0f};
    return in.PickValueInArray(values);
}

double paramValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeProbability<double>();
    case 1:
        return fuzz::doubleFromBits(in.ConsumeIntegral<uint64_t>());
    case 2:
        return static_cast<double>(specialFloat(in));
    default:
        return in.ConsumeBool() ? 1.0 : 0.0;
    }
}

double sampleRate(FuzzedDataProvider& in) {
    static const double rates[] = {44100.0, 48000.0, 96000.0, 8000.0,  192000.0, 768000.0,
                                   1.0,     0.5,     1e-300,  -44100., 0.0,      1e12,
                                   1536000, 1536001, 22050.0, 1000.0};
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return in.PickValueInArray(rates);
    case 1:
        return fuzz::doubleFromBits(in.ConsumeIntegral<uint64_t>());
    default:
        return static_cast<double>(specialFloat(in));
    }
}

SpeakerArrangement arrangement(FuzzedDataProvider& in) {
    static const SpeakerArrangement common[] = {SpeakerArr::kEmpty,  SpeakerArr::kMono,
                                                SpeakerArr::kStereo, SpeakerArr::k30Cine,
                                                SpeakerArr::k51,     SpeakerArr::k71Cine};
    if (in.ConsumeBool()) {
        return in.PickValueInArray(common);
    }
    // Any speakers, mostly few of them.
    const uint64_t bits = in.ConsumeIntegral<uint64_t>();
    return static_cast<SpeakerArrangement>(in.ConsumeBool() ? bits : bits & 0x3ff);
}

struct Bus {
    std::vector<std::unique_ptr<float[]>> owned;
    std::vector<float*> pointers;
    std::vector<std::vector<float>> before;
    std::vector<bool> aliased;
};

class Host {
public:
    explicit Host(FuzzedDataProvider& in) : in_(in) {}

    void run() {
        p_.initialize();
        int actions = 0;
        while (in_.remaining_bytes() > 0 && actions++ < 32) {
            switch (in_.ConsumeIntegralInRange(0, 9)) {
            case 0:
            case 1:
            case 2:
                block();
                break;
            case 3:
                setState();
                break;
            case 4:
                if (in_.ConsumeBool()) {
                    p_.activate();
                } else {
                    p_.deactivate();
                }
                break;
            case 5:
                arrange();
                break;
            case 6:
                setup();
                break;
            case 7:
                p_->activateBus(kAudio, kInput, in_.ConsumeIntegralInRange(-1, 2),
                                in_.ConsumeBool());
                break;
            case 8:
                checkState();
                break;
            default:
                p_->setProcessing(in_.ConsumeBool());
                break;
            }
        }
        checkState();
    }

private:
    void setState() {
        std::vector<uint8_t> bytes;
        if (in_.ConsumeBool()) {
            // A well-formed state with fuzzed fields.
            bytes = in_.ConsumeBytes<uint8_t>(kNumStateParams * 4);
            bytes.resize(kNumStateParams * 4);
        } else {
            bytes = in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange(0, 130));
        }
        ByteStream stream(bytes);
        p_->setState(&stream);
    }

    void checkState() { fuzz::checkSavedState(p_.stateBytes()); }

    void arrange() {
        SpeakerArrangement ins[3] = {arrangement(in_), arrangement(in_), arrangement(in_)};
        SpeakerArrangement outs[2] = {arrangement(in_), arrangement(in_)};
        const int32 numIns = in_.ConsumeIntegralInRange(0, 3);
        const int32 numOuts = in_.ConsumeIntegralInRange(0, 2);
        const bool nullIns = in_.ConsumeIntegralInRange(0, 7) == 0;
        const bool nullOuts = in_.ConsumeIntegralInRange(0, 7) == 0;
        p_->setBusArrangements(nullIns ? nullptr : ins, numIns, nullOuts ? nullptr : outs, numOuts);
    }

    void setup() {
        ProcessSetup s{};
        s.processMode = in_.ConsumeIntegralInRange(0, 2);
        s.symbolicSampleSize = in_.ConsumeBool() ? kSample32 : in_.ConsumeIntegral<int32>();
        s.maxSamplesPerBlock = in_.ConsumeIntegralInRange(-1, 8192);
        s.sampleRate = sampleRate(in_);
        const tresult r = p_->setupProcessing(s);
        if (r == kResultOk) {
            // The processor works in single precision.
            const float rate = static_cast<float>(s.sampleRate);
            FUZZ_CHECK(std::isfinite(s.sampleRate) && rate >= again::kMinSampleRate &&
                           rate <= again::kMaxSampleRate,
                       "a sample rate of %g Hz was accepted", s.sampleRate);
        }
    }

    // Fills one bus's channels; outputs may share an input channel's buffer.
    void fillBus(Bus& bus, int channels, int n, bool output, const Bus* inputs) {
        for (int c = 0; c < channels; ++c) {
            if (in_.ConsumeIntegralInRange(0, 7) == 0) {
                bus.pointers.push_back(nullptr);
                bus.aliased.push_back(false);
                continue;
            }
            if (output && inputs != nullptr && c < static_cast<int>(inputs->pointers.size()) &&
                inputs->pointers[static_cast<size_t>(c)] != nullptr && in_.ConsumeBool()) {
                bus.pointers.push_back(inputs->pointers[static_cast<size_t>(c)]);
                bus.aliased.push_back(true);
                continue;
            }
            bus.owned.emplace_back(new float[static_cast<size_t>(n)]);
            float* x = bus.owned.back().get();
            bus.pointers.push_back(x);
            bus.aliased.push_back(false);
            if (output) {
                std::fill(x, x + n, 777.0f);
                continue;
            }
            switch (in_.ConsumeIntegralInRange(0, 3)) {
            case 0:
                std::fill(x, x + n, specialFloat(in_));
                break;
            case 1: {
                uint32_t state = in_.ConsumeIntegral<uint32_t>() | 1u;
                const float amplitude = in_.ConsumeBool() ? 1.0f : specialFloat(in_);
                for (int i = 0; i < n; ++i) {
                    state ^= state << 13;
                    state ^= state >> 17;
                    state ^= state << 5;
                    x[i] = amplitude * (static_cast<float>(state) / 4294967296.0f - 0.5f);
                }
                break;
            }
            case 2: {
                // A burst of special values inside silence.
                std::fill(x, x + n, 0.0f);
                const int bursts = in_.ConsumeIntegralInRange(0, 8);
                for (int b = 0; b < bursts && n > 0; ++b) {
                    x[in_.ConsumeIntegralInRange(0, n - 1)] = specialFloat(in_);
                }
                break;
            }
            default: {
                const uint32_t bits = in_.ConsumeIntegral<uint32_t>();
                for (int i = 0; i < n; ++i) {
                    x[i] = fuzz::floatFromBits(bits + static_cast<uint32_t>(i) * 977u);
                }
                break;
            }
            }
        }
        for (float* x : bus.pointers) {
            bus.before.emplace_back(x != nullptr ? std::vector<float>(x, x + n)
                                                 : std::vector<float>());
        }
    }

    void fillChanges(ParamChanges& changes) {
        const int queues = in_.ConsumeIntegralInRange(0, 10);
        for (int q = 0; q < queues; ++q) {
            const ParamID id = in_.ConsumeIntegralInRange(0, 3) != 0
                                   ? in_.ConsumeIntegralInRange<ParamID>(0, kNumParams + 1)
                                   : in_.ConsumeIntegral<ParamID>();
            int32 index = 0;
            IParamValueQueue* queue = changes.addParameterData(id, index);
            if (queue == nullptr) {
                break;
            }
            const int points = in_.ConsumeIntegralInRange(0, ParamQueue::kCapacity);
            for (int i = 0; i < points; ++i) {
                int32 at = 0;
                const int32 offset = in_.ConsumeBool() ? in_.ConsumeIntegralInRange(0, 8192)
                                                       : in_.ConsumeIntegral<int32>();
                queue->addPoint(offset, paramValue(in_), at);
            }
        }
        if (in_.ConsumeIntegralInRange(0, 7) == 0) {
            changes.nullQueueAt(in_.ConsumeIntegralInRange(0, queues));
        }
    }

    void block() {
        static const int kRanges[] = {16, 512, 2048, 8192};
        int n = in_.ConsumeIntegralInRange(0, in_.PickValueInArray(kRanges));
        if (budget_ - n < 0) {
            n = static_cast<int>(std::min<long>(budget_, 64));
        }
        budget_ -= n;

        const int32 numInputs = in_.ConsumeIntegralInRange(0, 2);
        const int32 numOutputs = in_.ConsumeIntegralInRange(0, 2);
        Bus inBuses[2];
        Bus outBuses[2];
        AudioBusBuffers inHeaders[2]{};
        AudioBusBuffers outHeaders[2]{};
        for (int b = 0; b < 2; ++b) {
            const int channels = in_.ConsumeIntegralInRange(0, kMaxChannels);
            fillBus(inBuses[b], channels, n, false, nullptr);
            inHeaders[b].numChannels = channels;
            inHeaders[b].channelBuffers32 =
                in_.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : inBuses[b].pointers.data();
            inHeaders[b].silenceFlags =
                in_.ConsumeIntegralInRange(0, 5) == 0 ? in_.ConsumeIntegral<uint64_t>() : 0;
        }
        for (int b = 0; b < 2; ++b) {
            const int channels = in_.ConsumeIntegralInRange(0, kMaxChannels);
            fillBus(outBuses[b], channels, n, true, b == 0 ? &inBuses[0] : nullptr);
            outHeaders[b].numChannels = channels;
            outHeaders[b].channelBuffers32 =
                in_.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : outBuses[b].pointers.data();
            outHeaders[b].silenceFlags = in_.ConsumeIntegral<uint8_t>();
        }
        // A channel count that claims more pointers than the array holds is
        // the host's fault, not ours: counts stay within the arrays.

        ParamChanges inChanges;
        ParamChanges outChanges;
        fillChanges(inChanges);

        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = n;
        data.numInputs = numInputs;
        data.numOutputs = numOutputs;
        data.inputs = in_.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : inHeaders;
        data.outputs = in_.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : outHeaders;
        data.inputParameterChanges = in_.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : &inChanges;
        data.outputParameterChanges = in_.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : &outChanges;

        const bool ran = numInputs > 0 && numOutputs > 0 && data.inputs != nullptr &&
                         data.outputs != nullptr && n > 0;
        const bool silent = ran && inHeaders[0].silenceFlags != 0;

        FUZZ_CHECK(p_->process(data) == kResultOk, "process failed");

        for (int b = 0; b < 2; ++b) {
            const Bus& bus = inBuses[b];
            for (size_t c = 0; c < bus.pointers.size(); ++c) {
                const float* x = bus.pointers[c];
                if (x == nullptr || n == 0 || isOutput(outBuses[0], x)) {
                    continue;
                }
                FUZZ_CHECK(std::memcmp(x, bus.before[c].data(),
                                       sizeof(float) * static_cast<size_t>(n)) == 0,
                           "input bus %d channel %zu was written", b, c);
            }
        }
        for (int b = 0; b < 2; ++b) {
            const Bus& bus = outBuses[b];
            const bool touched = b == 0 && ran && outHeaders[0].channelBuffers32 != nullptr;
            for (size_t c = 0; c < bus.pointers.size(); ++c) {
                const float* x = bus.pointers[c];
                if (x == nullptr) {
                    continue;
                }
                for (int i = 0; i < n; ++i) {
                    if (!touched) {
                        FUZZ_CHECK(std::memcmp(&x[i], &bus.before[c][static_cast<size_t>(i)],
                                               sizeof(float)) == 0,
                                   "output bus %d channel %zu sample %d written in a block that "
                                   "carries no audio",
                                   b, c, i);
                    } else if (silent) {
                        if (!bus.aliased[c]) {
                            FUZZ_CHECK(x[i] == 0.0f, "silent block: output %zu sample %d is %g", c,
                                       i, static_cast<double>(x[i]));
                        }
                    } else {
                        FUZZ_CHECK(std::isfinite(x[i]), "output %zu sample %d is %g", c, i,
                                   static_cast<double>(x[i]));
                    }
                }
            }
        }

        if (ran && !silent && data.outputParameterChanges != nullptr) {
            for (ParamID id = kMaxVu; id <= kMinGateLevel; ++id) {
                ParamQueue* q = outChanges.find(id);
                FUZZ_CHECK(q != nullptr && q->getPointCount() == 1, "no meter %u sent", id);
                const double m = q->last();
                FUZZ_CHECK(std::isfinite(m) && m >= kLowestMeter, "meter %u sent as %g", id, m);
            }
        }
        const GateEngine& e = p_.engine();
        for (float r : {e.maxVu(), e.minVu(), e.maxGateLevel(), e.minGateLevel()}) {
            FUZZ_CHECK(std::isfinite(r) && r >= 0.0f, "a meter readout is %g",
                       static_cast<double>(r));
        }
    }

    static bool isOutput(const Bus& outputs, const float* x) {
        for (size_t c = 0; c < outputs.pointers.size(); ++c) {
            if (outputs.pointers[c] == x && outputs.aliased[c]) {
                return true;
            }
        }
        return false;
    }

    FuzzedDataProvider& in_;
    Processor p_;
    long budget_ = kSampleBudget;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Host host(in);
    host.run();
    return 0;
}
