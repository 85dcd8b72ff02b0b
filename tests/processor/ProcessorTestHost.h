// A small in-test host for the processor: parameter-change containers with
// fixed capacity (so they never allocate while the processor runs), a byte
// stream that can be told to fail, and channel buffers wired into ProcessData.
#pragma once

#include "processor/again.h"

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace velmora::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Stack-owned interface objects: reference counting is a no-op.
#define VELMORA_TEST_FUNKNOWN(Interface)                                                           \
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {                       \
        if (FUnknownPrivate::iidEqual(iid, Interface::iid) ||                                      \
            FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {                                       \
            *obj = this;                                                                           \
            return kResultOk;                                                                      \
        }                                                                                          \
        *obj = nullptr;                                                                            \
        return kNoInterface;                                                                       \
    }                                                                                              \
    uint32 PLUGIN_API addRef() override {                                                          \
        return 1;                                                                                  \
    }                                                                                              \
    uint32 PLUGIN_API release() override {                                                         \
        return 1;                                                                                  \
    }

class ParamQueue : public IParamValueQueue {
public:
    VELMORA_TEST_FUNKNOWN(IParamValueQueue)

    static constexpr int32 kCapacity = 16;

    void reset(ParamID id) {
        id_ = id;
        count_ = 0;
    }

    ParamID PLUGIN_API getParameterId() override { return id_; }
    int32 PLUGIN_API getPointCount() override { return count_; }
    tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, ParamValue& value) override {
        if (index < 0 || index >= count_) {
            return kResultFalse;
        }
        sampleOffset = offsets_[static_cast<size_t>(index)];
        value = values_[static_cast<size_t>(index)];
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) override {
        if (count_ >= kCapacity) {
            return kResultFalse;
        }
        index = count_++;
        offsets_[static_cast<size_t>(index)] = sampleOffset;
        values_[static_cast<size_t>(index)] = value;
        return kResultOk;
    }

    // The last value added, as a host's controller would read it.
    ParamValue last() const { return values_[static_cast<size_t>(count_ - 1)]; }

private:
    ParamID id_ = 0;
    int32 count_ = 0;
    std::array<int32, kCapacity> offsets_{};
    std::array<ParamValue, kCapacity> values_{};
};

class ParamChanges : public IParameterChanges {
public:
    VELMORA_TEST_FUNKNOWN(IParameterChanges)

    static constexpr int32 kCapacity = 48;

    void clear() {
        count_ = 0;
        nullAt_ = -1;
    }

    // The host hands out a null queue at this index.
    void nullQueueAt(int32 index) { nullAt_ = index; }

    // Adds a queue with one point per value.
    ParamQueue& add(ParamID id, std::initializer_list<ParamValue> values = {}) {
        int32 index = 0;
        addParameterData(id, index);
        ParamQueue& q = queues_[static_cast<size_t>(index)];
        int32 offset = 0;
        for (ParamValue v : values) {
            int32 point = 0;
            q.addPoint(offset, v, point);
            offset += 8;
        }
        return q;
    }

    ParamQueue* find(ParamID id) {
        for (int32 i = 0; i < count_; ++i) {
            if (queues_[static_cast<size_t>(i)].getParameterId() == id) {
                return &queues_[static_cast<size_t>(i)];
            }
        }
        return nullptr;
    }

    int32 PLUGIN_API getParameterCount() override { return count_; }
    IParamValueQueue* PLUGIN_API getParameterData(int32 index) override {
        if (index < 0 || index >= count_ || index == nullAt_) {
            return nullptr;
        }
        return &queues_[static_cast<size_t>(index)];
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override {
        for (int32 i = 0; i < count_; ++i) {
            if (queues_[static_cast<size_t>(i)].getParameterId() == id) {
                index = i;
                return &queues_[static_cast<size_t>(i)];
            }
        }
        if (count_ >= kCapacity) {
            return nullptr;
        }
        index = count_++;
        queues_[static_cast<size_t>(index)].reset(id);
        return &queues_[static_cast<size_t>(index)];
    }

private:
    std::array<ParamQueue, kCapacity> queues_{};
    int32 count_ = 0;
    int32 nullAt_ = -1;
};

// A byte stream. Reads past the end report success with fewer bytes, like the
// SDK's MemoryStream, unless told to report an error from some offset on.
class ByteStream : public IBStream {
public:
    VELMORA_TEST_FUNKNOWN(IBStream)

    ByteStream() = default;
    explicit ByteStream(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}

    std::vector<uint8_t> data;
    size_t readPos = 0;
    size_t failReadsFrom = SIZE_MAX;
    int writesBeforeFailure = INT32_MAX;

    tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        if (readPos >= failReadsFrom) {
            return kResultFalse;
        }
        const size_t n = std::min(static_cast<size_t>(numBytes), data.size() - readPos);
        if (n > 0) {
            std::memcpy(buffer, data.data() + readPos, n);
        }
        readPos += n;
        if (numBytesRead != nullptr) {
            *numBytesRead = static_cast<int32>(n);
        }
        return kResultOk;
    }
    tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
        if (writesBeforeFailure <= 0) {
            return kResultFalse;
        }
        --writesBeforeFailure;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + numBytes);
        if (numBytesWritten != nullptr) {
            *numBytesWritten = numBytes;
        }
        return kResultOk;
    }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult PLUGIN_API tell(int64* pos) override {
        if (pos != nullptr) {
            *pos = static_cast<int64>(readPos);
        }
        return kResultOk;
    }
};

// The 31 fields of a processor state, in parameter-ID order.
struct StateFields {
    std::array<int32_t, kNumSwitches> switches{};
    std::array<float, kNumContinuous> values{};

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out(kNumStateParams * 4);
        for (int i = 0; i < kNumSwitches; ++i) {
            std::memcpy(&out[static_cast<size_t>(i) * 4], &switches[static_cast<size_t>(i)], 4);
        }
        for (int i = 0; i < kNumContinuous; ++i) {
            std::memcpy(&out[static_cast<size_t>(kNumSwitches + i) * 4],
                        &values[static_cast<size_t>(i)], 4);
        }
        return out;
    }

    static StateFields from(const std::vector<uint8_t>& b) {
        StateFields s;
        for (int i = 0; i < kNumSwitches; ++i) {
            std::memcpy(&s.switches[static_cast<size_t>(i)], &b[static_cast<size_t>(i) * 4], 4);
        }
        for (int i = 0; i < kNumContinuous; ++i) {
            std::memcpy(&s.values[static_cast<size_t>(i)],
                        &b[static_cast<size_t>(kNumSwitches + i) * 4], 4);
        }
        return s;
    }

    float& value(ParamId id) { return values[static_cast<size_t>(id) - kFirstContinuous]; }
    float value(ParamId id) const { return values[static_cast<size_t>(id) - kFirstContinuous]; }
    int32_t& sw(ParamId id) { return switches[static_cast<size_t>(id)]; }

    // The processor's start values.
    static StateFields defaults() {
        const ParameterScaling scaling;
        StateFields s;
        for (int i = 0; i < kNumSwitches; ++i) {
            s.switches[static_cast<size_t>(i)] = scaling.switchDefault(static_cast<uint32_t>(i));
        }
        for (int i = 0; i < kNumContinuous; ++i) {
            s.values[static_cast<size_t>(i)] =
                scaling.defaultNormalized(static_cast<uint32_t>(kFirstContinuous + i));
        }
        return s;
    }
};

// Owns one processor for a test.
class Processor {
public:
    Processor() : p_(new again()) {}
    ~Processor() {
        if (initialized_) {
            if (active_) {
                p_->setProcessing(false);
                p_->setActive(false);
            }
            p_->terminate();
        }
        p_->release();
    }
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    again* operator->() { return p_; }
    again& operator*() { return *p_; }
    const velmora::GateEngine& engine() const { return p_->engine(); }

    tresult initialize() {
        const tresult r = p_->initialize(nullptr);
        initialized_ = r == kResultOk;
        return r;
    }

    tresult setup(double sampleRate, int32 maxBlock = 1024, int32 sampleSize = kSample32) {
        ProcessSetup s{};
        s.processMode = kRealtime;
        s.symbolicSampleSize = sampleSize;
        s.maxSamplesPerBlock = maxBlock;
        s.sampleRate = sampleRate;
        return p_->setupProcessing(s);
    }

    // initialize, setupProcessing, setActive(true), setProcessing(true).
    void start(double sampleRate = 44100.0, int32 maxBlock = 1024) {
        initialize();
        setup(sampleRate, maxBlock);
        activate();
    }

    void activate() {
        p_->setActive(true);
        p_->setProcessing(true);
        active_ = true;
    }

    void deactivate() {
        p_->setProcessing(false);
        p_->setActive(false);
        active_ = false;
    }

    tresult setState(const StateFields& s) {
        ByteStream stream(s.bytes());
        return p_->setState(&stream);
    }

    StateFields getState() {
        ByteStream stream;
        p_->getState(&stream);
        return StateFields::from(stream.data);
    }

    std::vector<uint8_t> stateBytes() {
        ByteStream stream;
        p_->getState(&stream);
        return stream.data;
    }

private:
    again* p_;
    bool initialized_ = false;
    bool active_ = false;
};

// One block of audio for the processor: a main input and output bus, an
// optional side-chain, and the parameter containers.
class Block {
public:
    Block(int inChannels, int outChannels, int samples, int auxChannels = 0)
        : in_(static_cast<size_t>(inChannels), std::vector<float>(static_cast<size_t>(samples))),
          out_(static_cast<size_t>(outChannels), std::vector<float>(static_cast<size_t>(samples))),
          aux_(static_cast<size_t>(auxChannels), std::vector<float>(static_cast<size_t>(samples))) {
        for (auto& c : in_) {
            inPtrs_.push_back(c.data());
        }
        for (auto& c : out_) {
            outPtrs_.push_back(c.data());
        }
        for (auto& c : aux_) {
            auxPtrs_.push_back(c.data());
        }
        buses_[0].numChannels = inChannels;
        buses_[0].channelBuffers32 = inPtrs_.data();
        buses_[1].numChannels = auxChannels;
        buses_[1].channelBuffers32 = auxPtrs_.data();
        outBus_.numChannels = outChannels;
        outBus_.channelBuffers32 = outPtrs_.data();
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = samples;
        data.numInputs = auxChannels > 0 ? 2 : 1;
        data.numOutputs = 1;
        data.inputs = buses_;
        data.outputs = &outBus_;
        data.inputParameterChanges = &inChanges;
        data.outputParameterChanges = &outChanges;
    }

    ProcessData data{};
    ParamChanges inChanges;
    ParamChanges outChanges;

    std::vector<float>& in(int c) { return in_[static_cast<size_t>(c)]; }
    std::vector<float>& out(int c) { return out_[static_cast<size_t>(c)]; }
    std::vector<float>& aux(int c) { return aux_[static_cast<size_t>(c)]; }
    AudioBusBuffers& inBus() { return buses_[0]; }
    AudioBusBuffers& auxBus() { return buses_[1]; }
    AudioBusBuffers& outBus() { return outBus_; }
    float** inPtrs() { return inPtrs_.data(); }
    float** outPtrs() { return outPtrs_.data(); }
    int samples() const { return data.numSamples; }

    void fillIn(float v) {
        for (auto& c : in_) {
            std::fill(c.begin(), c.end(), v);
        }
    }
    void fillOut(float v) {
        for (auto& c : out_) {
            std::fill(c.begin(), c.end(), v);
        }
    }
    // A sine on every input channel, continuing from sample `start`.
    void sineIn(float amplitude, double hz, double fs, long start) {
        for (auto& c : in_) {
            for (size_t i = 0; i < c.size(); ++i) {
                const double t = static_cast<double>(start + static_cast<long>(i)) / fs;
                c[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * t));
            }
        }
    }
    // Uniform noise in [-amplitude, amplitude] on every input channel.
    void noiseIn(float amplitude, std::mt19937& rng) {
        std::uniform_real_distribution<float> dist(-amplitude, amplitude);
        for (auto& c : in_) {
            for (float& x : c) {
                x = dist(rng);
            }
        }
    }

    // Clears both parameter containers for the next call.
    void resetChanges() {
        inChanges.clear();
        outChanges.clear();
    }

    float maxAbsOut() const {
        float m = 0.0f;
        for (const auto& c : out_) {
            for (float x : c) {
                m = std::max(m, std::fabs(x));
            }
        }
        return m;
    }

    bool outFinite() const {
        for (const auto& c : out_) {
            for (float x : c) {
                if (!std::isfinite(x)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    std::vector<std::vector<float>> in_;
    std::vector<std::vector<float>> out_;
    std::vector<std::vector<float>> aux_;
    std::vector<float*> inPtrs_;
    std::vector<float*> outPtrs_;
    std::vector<float*> auxPtrs_;
    AudioBusBuffers buses_[2]{};
    AudioBusBuffers outBus_{};
};

// Meter value the processor sends for a linear readout.
inline float meterOf(float linear) {
    return 20.0f * std::log10(linear) / 60.0f + 1.0f;
}

} // namespace velmora::test
