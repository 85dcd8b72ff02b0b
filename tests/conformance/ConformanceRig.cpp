#include "ConformanceRig.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace conformance {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::shared_ptr<velmora::host::PluginModule> module() {
    static const std::shared_ptr<velmora::host::PluginModule> loaded = [] {
        std::string error;
        auto m = velmora::host::PluginModule::load(VELMORA_BUNDLE_PATH, error);
        if (!m) {
            ADD_FAILURE() << error;
        }
        return m;
    }();
    return loaded;
}

velmora::host::HostContext& hostContext() {
    static velmora::host::HostContext context("BK Velmora conformance host");
    return context;
}

ClassIds classIds() {
    ClassIds ids;
    bool processor = false;
    bool controller = false;
    auto m = module();
    if (!m) {
        return ids;
    }
    for (const auto& c : m->classes()) {
        if (c.category == kVstAudioEffectClass && !processor) {
            std::memcpy(ids.processor, c.cid, sizeof(TUID));
            processor = true;
        } else if (c.category == kVstComponentControllerClass && !controller) {
            std::memcpy(ids.controller, c.cid, sizeof(TUID));
            controller = true;
        }
    }
    EXPECT_TRUE(processor) << "no audio effect class";
    EXPECT_TRUE(controller) << "no component controller class";
    return ids;
}

RawPair createRaw() {
    RawPair pair;
    auto m = module();
    if (!m) {
        return pair;
    }
    const ClassIds ids = classIds();
    void* obj = nullptr;
    if (m->factory()->createInstance(ids.processor, IComponent::iid, &obj) == kResultOk &&
        obj != nullptr) {
        pair.component = owned(static_cast<IComponent*>(obj));
        FUnknownPtr<IAudioProcessor> processor(pair.component);
        pair.processor = processor;
    }
    obj = nullptr;
    if (m->factory()->createInstance(ids.controller, IEditController::iid, &obj) == kResultOk &&
        obj != nullptr) {
        pair.controller = owned(static_cast<IEditController*>(obj));
    }
    EXPECT_TRUE(pair.component && pair.processor && pair.controller);
    return pair;
}

std::unique_ptr<velmora::host::HostedPlugin> createHosted() {
    auto m = module();
    if (!m) {
        return nullptr;
    }
    std::string error;
    velmora::host::HostOptions options;
    options.deliverTextMessages = false;
    auto plugin = velmora::host::HostedPlugin::create(m, error, options);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

Signal noise(int channels, int64 frames, float level, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-level, level);
    Signal s(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
    for (int64 i = 0; i < frames; ++i) {
        for (auto& c : s) {
            c[static_cast<size_t>(i)] = dist(rng);
        }
    }
    return s;
}

Signal silence(int channels, int64 frames) {
    return Signal(static_cast<size_t>(channels),
                  std::vector<float>(static_cast<size_t>(frames), 0.0f));
}

Signal bursts(int channels, int64 frames, double sampleRate, std::uint32_t seed) {
    Signal s = noise(channels, frames, 1.0f, seed);
    const auto period = std::max<int64>(1, static_cast<int64>(0.2 * sampleRate));
    for (auto& c : s) {
        for (int64 i = 0; i < frames; ++i) {
            c[static_cast<size_t>(i)] *= (i / period) % 2 == 0 ? 0.25f : 0.001f;
        }
    }
    return s;
}

Rig::Rig(IComponent* component, IAudioProcessor* processor)
    : component_(component), processor_(processor) {}

Rig::~Rig() {
    stop();
}

tresult Rig::propose(SpeakerArrangement in, SpeakerArrangement out) {
    const int32 numIns = component_->getBusCount(kAudio, kInput);
    const int32 numOuts = component_->getBusCount(kAudio, kOutput);
    std::vector<SpeakerArrangement> ins(static_cast<size_t>(std::max(numIns, 0)));
    std::vector<SpeakerArrangement> outs(static_cast<size_t>(std::max(numOuts, 0)));
    for (int32 i = 0; i < numIns; ++i) {
        processor_->getBusArrangement(kInput, i, ins[static_cast<size_t>(i)]);
    }
    for (int32 i = 0; i < numOuts; ++i) {
        processor_->getBusArrangement(kOutput, i, outs[static_cast<size_t>(i)]);
    }
    if (!ins.empty()) {
        ins[0] = in;
    }
    if (!outs.empty()) {
        outs[0] = out;
    }
    return processor_->setBusArrangements(ins.empty() ? nullptr : ins.data(), numIns,
                                          outs.empty() ? nullptr : outs.data(), numOuts);
}

tresult Rig::activateSidechain(bool on) {
    const int32 numIns = component_->getBusCount(kAudio, kInput);
    for (int32 i = 1; i < numIns; ++i) {
        BusInfo info{};
        if (component_->getBusInfo(kAudio, kInput, i, info) == kResultOk && info.busType == kAux) {
            return component_->activateBus(kAudio, kInput, i, on);
        }
    }
    return kResultFalse;
}

tresult Rig::setup(const Layout& layout) {
    ProcessSetup setup{};
    setup.processMode = layout.processMode;
    setup.symbolicSampleSize = kSample32;
    setup.maxSamplesPerBlock = layout.maxBlock;
    setup.sampleRate = layout.sampleRate;
    processMode_ = layout.processMode;
    return processor_->setupProcessing(setup);
}

void Rig::allocate(int32 maxBlock) {
    maxBlock_ = maxBlock;
    const auto build = [&](BusDirection dir, std::vector<Bus>& buses,
                           std::vector<AudioBusBuffers>& buffers) {
        const int32 count = std::max(0, component_->getBusCount(kAudio, dir));
        buses.assign(static_cast<size_t>(count), Bus{});
        buffers.assign(static_cast<size_t>(count), AudioBusBuffers{});
        for (int32 i = 0; i < count; ++i) {
            BusInfo info{};
            component_->getBusInfo(kAudio, dir, i, info);
            const auto n = static_cast<size_t>(std::max(0, info.channelCount));
            Bus& bus = buses[static_cast<size_t>(i)];
            bus.storage.assign(n, std::vector<float>(static_cast<size_t>(maxBlock), 0.0f));
            bus.before = bus.storage;
            bus.pointers.resize(n);
            for (size_t c = 0; c < n; ++c) {
                bus.pointers[c] = bus.storage[c].data();
            }
            buffers[static_cast<size_t>(i)].numChannels = static_cast<int32>(n);
            buffers[static_cast<size_t>(i)].channelBuffers32 = bus.pointers.data();
        }
    };
    build(kInput, inputs_, inBuffers_);
    build(kOutput, outputs_, outBuffers_);
}

testing::AssertionResult Rig::start(const Layout& layout) {
    stop();
    const tresult proposed = propose(layout.in, layout.out);
    if (proposed != kResultTrue) {
        return testing::AssertionFailure() << "setBusArrangements refused (" << proposed << ")";
    }
    const tresult sidechain = activateSidechain(layout.sidechain);
    if (layout.sidechain && sidechain != kResultTrue) {
        return testing::AssertionFailure() << "the side-chain bus cannot be activated";
    }
    allocate(layout.maxBlock);
    const tresult setUp = setup(layout);
    if (setUp != kResultOk) {
        return testing::AssertionFailure()
               << "setupProcessing refused " << layout.sampleRate << " Hz (" << setUp << ")";
    }
    if (component_->setActive(true) != kResultOk) {
        return testing::AssertionFailure() << "setActive(true) failed";
    }
    active_ = true;
    // Processors that do not implement it answer kNotImplemented, which is no
    // failure.
    processor_->setProcessing(true);
    processing_ = true;
    return testing::AssertionSuccess();
}

void Rig::stop() {
    if (processing_) {
        processor_->setProcessing(false);
        processing_ = false;
    }
    if (active_) {
        component_->setActive(false);
        active_ = false;
    }
}

int32 Rig::buses(BusDirection dir) const {
    return static_cast<int32>(dir == kInput ? inputs_.size() : outputs_.size());
}

int32 Rig::channels(BusDirection dir, int32 bus) const {
    const auto& buses = dir == kInput ? inputs_ : outputs_;
    if (bus < 0 || bus >= static_cast<int32>(buses.size())) {
        return 0;
    }
    return static_cast<int32>(buses[static_cast<size_t>(bus)].storage.size());
}

float* Rig::input(int32 bus, int32 channel) {
    return inputs_.at(static_cast<size_t>(bus)).storage.at(static_cast<size_t>(channel)).data();
}

float* Rig::output(int32 bus, int32 channel) {
    return outputs_.at(static_cast<size_t>(bus)).storage.at(static_cast<size_t>(channel)).data();
}

uint64& Rig::inputFlags(int32 bus) {
    return inputs_.at(static_cast<size_t>(bus)).flags;
}

uint64& Rig::outputFlags(int32 bus) {
    return outputs_.at(static_cast<size_t>(bus)).flags;
}

uint64 Rig::reportedFlags(int32 bus) const {
    return outputs_.at(static_cast<size_t>(bus)).reported;
}

tresult Rig::process(int32 frames, bool inPlace) {
    const auto n = static_cast<size_t>(std::max(frames, 0));
    for (size_t i = 0; i < inputs_.size(); ++i) {
        Bus& bus = inputs_[i];
        inBuffers_[i].silenceFlags = bus.flags;
        inBuffers_[i].channelBuffers32 = bus.pointers.data();
        for (size_t c = 0; c < bus.storage.size(); ++c) {
            std::memcpy(bus.before[c].data(), bus.storage[c].data(), n * sizeof(float));
        }
    }
    for (size_t i = 0; i < outputs_.size(); ++i) {
        outBuffers_[i].silenceFlags = outputs_[i].flags;
        outBuffers_[i].channelBuffers32 = outputs_[i].pointers.data();
    }
    if (inPlace && !inputs_.empty() && !outputs_.empty()) {
        inPlacePointers_ = outputs_[0].pointers;
        const size_t shared = std::min(inputs_[0].pointers.size(), inPlacePointers_.size());
        for (size_t c = 0; c < shared; ++c) {
            inPlacePointers_[c] = inputs_[0].pointers[c];
        }
        outBuffers_[0].channelBuffers32 = inPlacePointers_.data();
    }

    ProcessContext context{};
    context.state = ProcessContext::kPlaying;
    context.projectTimeSamples = time_;

    ProcessData data;
    data.processMode = processMode_;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = static_cast<int32>(inBuffers_.size());
    data.numOutputs = static_cast<int32>(outBuffers_.size());
    data.inputs = inBuffers_.empty() ? nullptr : inBuffers_.data();
    data.outputs = outBuffers_.empty() ? nullptr : outBuffers_.data();
    data.inputParameterChanges = &changes_;
    data.outputParameterChanges = &reported_;
    data.processContext = &context;
    reported_.clear();
    const tresult result = processor_->process(data);
    changes_.clear();

    for (size_t i = 0; i < outputs_.size(); ++i) {
        outputs_[i].reported = outBuffers_[i].silenceFlags;
        outputs_[i].flags = 0;
    }
    const auto report = [&](const std::string& what) {
        if (++reportedFailures_ <= 5) {
            ADD_FAILURE() << what << " in block " << blocks_ << " (" << frames << " frames)";
        }
    };
    for (size_t i = 0; i < inputs_.size(); ++i) {
        if (inPlace && i == 0) {
            continue;
        }
        for (size_t c = 0; c < inputs_[i].storage.size(); ++c) {
            if (std::memcmp(inputs_[i].before[c].data(), inputs_[i].storage[c].data(),
                            n * sizeof(float)) != 0) {
                report("input bus " + std::to_string(i) + " channel " + std::to_string(c) +
                       " was changed by process");
            }
        }
    }
    for (size_t i = 0; i < outBuffers_.size(); ++i) {
        for (int32 c = 0; c < outBuffers_[i].numChannels; ++c) {
            const float* out = outBuffers_[i].channelBuffers32[c];
            if (!std::all_of(out, out + n, [](float x) { return std::isfinite(x); })) {
                report("output bus " + std::to_string(i) + " channel " + std::to_string(c) +
                       " is not finite");
            }
        }
    }
    for (int32 q = 0; q < reported_.getParameterCount(); ++q) {
        IParamValueQueue* queue = reported_.getParameterData(q);
        for (int32 p = 0; queue != nullptr && p < queue->getPointCount(); ++p) {
            int32 offset = 0;
            ParamValue value = 0.0;
            queue->getPoint(p, offset, value);
            if (!std::isfinite(value) || offset < 0 || (frames > 0 && offset >= frames)) {
                report("output parameter " + std::to_string(queue->getParameterId()) +
                       " reported " + std::to_string(value) + " at offset " +
                       std::to_string(offset));
            }
        }
    }
    ++blocks_;
    time_ += static_cast<int64>(n);
    return result;
}

Signal Rig::run(const Signal& in, const RunOptions& options) {
    const int64 frames = in.empty() ? 0 : static_cast<int64>(in[0].size());
    const int32 outChannels = channels(kOutput, 0);
    Signal out(static_cast<size_t>(outChannels), std::vector<float>(static_cast<size_t>(frames)));
    if (options.blocks.empty() ||
        std::all_of(options.blocks.begin(), options.blocks.end(), [](int32 b) { return b <= 0; })) {
        ADD_FAILURE() << "no block size to run with";
        return out;
    }
    const int32 inChannels = std::min<int32>(static_cast<int32>(in.size()), channels(kInput, 0));
    const int32 keyChannels =
        options.key == nullptr
            ? 0
            : std::min<int32>(static_cast<int32>(options.key->size()), channels(kInput, 1));
    const int32 shared = options.inPlace ? std::min(inChannels, outChannels) : 0;

    size_t next = 0;
    for (int64 pos = 0; pos < frames;) {
        const int32 want = options.blocks[next++ % options.blocks.size()];
        const auto n = static_cast<int32>(std::min<int64>({want, frames - pos, maxBlock_}));
        if (options.beforeBlock) {
            options.beforeBlock(*this, pos, n);
        }
        const auto at = static_cast<size_t>(pos);
        const auto count = static_cast<size_t>(n);
        for (int32 c = 0; c < inChannels; ++c) {
            std::copy_n(in[static_cast<size_t>(c)].begin() + static_cast<std::ptrdiff_t>(at), count,
                        input(0, c));
        }
        for (int32 c = 0; c < keyChannels; ++c) {
            std::copy_n((*options.key)[static_cast<size_t>(c)].begin() +
                            static_cast<std::ptrdiff_t>(at),
                        count, input(1, c));
        }
        process(n, options.inPlace);
        for (int32 c = 0; c < outChannels; ++c) {
            const float* from = c < shared ? input(0, c) : output(0, c);
            std::copy_n(from, count,
                        out[static_cast<size_t>(c)].begin() + static_cast<std::ptrdiff_t>(at));
        }
        pos += n;
    }
    return out;
}

HostedRig::HostedRig() : plugin(createHosted()) {
    if (plugin) {
        rig = std::make_unique<Rig>(plugin->component(), plugin->processor());
    }
}

std::vector<WritableParameter> writableParameters(IEditController* controller) {
    std::vector<WritableParameter> out;
    const int32 count = controller->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (controller->getParameterInfo(i, info) == kResultOk &&
            (info.flags & ParameterInfo::kIsReadOnly) == 0) {
            out.push_back({info.id, info.stepCount});
        }
    }
    return out;
}

double randomValue(const WritableParameter& p, std::mt19937& rng) {
    if (p.stepCount > 0) {
        std::uniform_int_distribution<int32> step(0, p.stepCount);
        return static_cast<double>(step(rng)) / p.stepCount;
    }
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double pick = u(rng);
    if (pick < 0.15) {
        return 0.0;
    }
    if (pick < 0.3) {
        return 1.0;
    }
    return u(rng);
}

namespace {

// Six 32-bit switches, then the same float in every value field.
std::vector<char> uniformState(std::int32_t switches, float value) {
    std::vector<char> bytes(124);
    for (size_t i = 0; i < 31; ++i) {
        std::memcpy(bytes.data() + 4 * i, i < 6 ? static_cast<const void*>(&switches) : &value, 4);
    }
    return bytes;
}

} // namespace

std::vector<std::pair<std::string, std::vector<char>>> damagedStates() {
    std::vector<std::pair<std::string, std::vector<char>>> states = {
        {"NaN", uniformState(-1, std::numeric_limits<float>::quiet_NaN())},
        {"+inf", uniformState(1, std::numeric_limits<float>::infinity())},
        {"-inf", uniformState(0, -std::numeric_limits<float>::infinity())},
        {"1e30", uniformState(7, 1e30f)},
        {"-1e30", uniformState(1, -1e30f)},
        {"1.5", uniformState(1, 1.5f)},
        {"-0.5", uniformState(0, -0.5f)},
        {"truncated", std::vector<char>(10, 0x3f)},
    };
    std::mt19937 rng(111);
    for (int i = 0; i < 4; ++i) {
        std::vector<char> bytes(124);
        for (char& b : bytes) {
            b = static_cast<char>(rng());
        }
        states.emplace_back("random bytes " + std::to_string(i), bytes);
    }
    return states;
}

bool allFinite(const Signal& s) {
    return std::all_of(s.begin(), s.end(), [](const std::vector<float>& c) {
        return std::all_of(c.begin(), c.end(), [](float x) { return std::isfinite(x); });
    });
}

float peak(const Signal& s, int64 from) {
    float p = 0.0f;
    for (const auto& c : s) {
        for (size_t i = static_cast<size_t>(std::max<int64>(from, 0)); i < c.size(); ++i) {
            p = std::max(p, std::fabs(c[i]));
        }
    }
    return p;
}

double rms(const Signal& s, int64 from, int64 to) {
    double sum = 0.0;
    int64 count = 0;
    for (const auto& c : s) {
        const int64 end = to < 0 ? static_cast<int64>(c.size()) : std::min<int64>(to, c.size());
        for (int64 i = std::max<int64>(from, 0); i < end; ++i) {
            sum += static_cast<double>(c[static_cast<size_t>(i)]) * c[static_cast<size_t>(i)];
            ++count;
        }
    }
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

} // namespace conformance
