#include "hosting/HostedPlugin.h"

#include "hosting/ByteStream.h"
#include "hosting/Utf16.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cstring>

namespace velmora::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

SpeakerArrangement arrangementFor(std::int32_t channels) {
    if (channels == 1) {
        return SpeakerArr::kMono;
    }
    if (channels == 2) {
        return SpeakerArr::kStereo;
    }
    if (channels >= 64) {
        return ~SpeakerArrangement(0);
    }
    return (SpeakerArrangement(1) << channels) - 1;
}

bool isNullId(const TUID cid) {
    return std::all_of(cid, cid + sizeof(TUID), [](char c) { return c == 0; });
}

template <typename T> T* queryInterface(FUnknown* object) {
    void* out = nullptr;
    if (object == nullptr || object->queryInterface(T::iid, &out) != kResultOk) {
        return nullptr;
    }
    return static_cast<T*>(out);
}

} // namespace

std::unique_ptr<HostedPlugin> HostedPlugin::create(std::shared_ptr<PluginModule> module,
                                                   std::string& error, HostOptions options) {
    if (!module || module->factory() == nullptr) {
        error = "no plug-in module";
        return nullptr;
    }
    std::unique_ptr<HostedPlugin> plugin(new HostedPlugin());
    plugin->module_ = std::move(module);
    plugin->options_ = std::move(options);
    plugin->hostContext_ = std::make_unique<HostContext>(plugin->options_.hostName);
    plugin->handler_ = new ComponentHandler();

    IPluginFactory* factory = plugin->module_->factory();
    const ClassEntry* audioClass = nullptr;
    const std::vector<ClassEntry> classes = plugin->module_->classes();
    for (const ClassEntry& c : classes) {
        if (c.category == kVstAudioEffectClass) {
            audioClass = &c;
            break;
        }
    }
    if (audioClass == nullptr) {
        error = "the plug-in offers no audio processor class";
        return nullptr;
    }
    plugin->className_ = audioClass->name;

    void* obj = nullptr;
    if (factory->createInstance(audioClass->cid, IComponent::iid, &obj) != kResultOk ||
        obj == nullptr) {
        error = "the plug-in could not create its processor '" + audioClass->name + "'";
        return nullptr;
    }
    plugin->component_ = static_cast<IComponent*>(obj);
    if (plugin->component_->initialize(plugin->hostContext_.get()) != kResultOk) {
        error = "the processor '" + audioClass->name + "' failed to initialize";
        return nullptr;
    }
    plugin->componentInitialized_ = true;

    plugin->processor_ = queryInterface<IAudioProcessor>(plugin->component_);
    if (plugin->processor_ == nullptr) {
        error = "the processor '" + audioClass->name + "' has no audio processing interface";
        return nullptr;
    }

    TUID controllerId{};
    if (plugin->component_->getControllerClassId(controllerId) == kResultOk &&
        !isNullId(controllerId)) {
        obj = nullptr;
        if (factory->createInstance(controllerId, IEditController::iid, &obj) != kResultOk ||
            obj == nullptr) {
            error = "the plug-in could not create the edit controller its processor names";
            return nullptr;
        }
        plugin->controller_ = static_cast<IEditController*>(obj);
        plugin->separateController_ = true;
        if (plugin->controller_->initialize(plugin->hostContext_.get()) != kResultOk) {
            error = "the edit controller failed to initialize";
            return nullptr;
        }
        plugin->controllerInitialized_ = true;
    } else {
        plugin->controller_ = queryInterface<IEditController>(plugin->component_);
        if (plugin->controller_ == nullptr) {
            error = "the plug-in has no edit controller";
            return nullptr;
        }
    }
    plugin->controller_->setComponentHandler(plugin->handler_);

    if (!plugin->connect(error)) {
        return nullptr;
    }

    // The controller starts from the processor's settings.
    IPtr<ByteStream> state = owned(new ByteStream());
    if (plugin->component_->getState(state) == kResultOk) {
        state->seek(0, IBStream::kIBSeekSet, nullptr);
        plugin->controller_->setComponentState(state);
    }

    const int32 count = plugin->controller_->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (plugin->controller_->getParameterInfo(i, info) != kResultOk) {
            continue;
        }
        ParameterEntry e;
        e.id = info.id;
        e.title = toUtf8(info.title);
        e.units = toUtf8(info.units);
        e.stepCount = info.stepCount;
        e.defaultValue = info.defaultNormalizedValue;
        e.flags = info.flags;
        e.unitId = info.unitId;
        plugin->parameters_.push_back(std::move(e));
    }
    const auto queues =
        static_cast<std::int32_t>(std::max<std::size_t>(plugin->parameters_.size(), 16));
    plugin->inputChanges_ =
        std::make_unique<ParameterChanges>(queues, plugin->options_.pointsPerQueue);
    plugin->outputChanges_ =
        std::make_unique<ParameterChanges>(queues, plugin->options_.pointsPerQueue);
    return plugin;
}

bool HostedPlugin::connect(std::string& error) {
    if (!separateController_) {
        return true;
    }
    componentPoint_ = queryInterface<IConnectionPoint>(component_);
    controllerPoint_ = queryInterface<IConnectionPoint>(controller_);
    if (componentPoint_ == nullptr || controllerPoint_ == nullptr) {
        // Halves without connection points do not talk to each other.
        return true;
    }
    toController_ = new ConnectionProxy(componentPoint_);
    toComponent_ = new ConnectionProxy(controllerPoint_);
    if (!options_.deliverTextMessages) {
        const auto notText = [](IMessage& m) {
            const char* id = m.getMessageID();
            return id == nullptr || std::strcmp(id, "TextMessage") != 0;
        };
        toController_->setFilter(notText);
        toComponent_->setFilter(notText);
    }
    if (toController_->connect(controllerPoint_) != kResultTrue ||
        toComponent_->connect(componentPoint_) != kResultTrue) {
        error = "the processor and the edit controller could not be connected";
        return false;
    }
    return true;
}

HostedPlugin::~HostedPlugin() {
    teardown();
}

void HostedPlugin::teardown() {
    stopProcessing();
    if (toController_ != nullptr) {
        toController_->disconnect(controllerPoint_);
        toController_->release();
        toController_ = nullptr;
    }
    if (toComponent_ != nullptr) {
        toComponent_->disconnect(componentPoint_);
        toComponent_->release();
        toComponent_ = nullptr;
    }
    if (controllerPoint_ != nullptr) {
        controllerPoint_->release();
        controllerPoint_ = nullptr;
    }
    if (componentPoint_ != nullptr) {
        componentPoint_->release();
        componentPoint_ = nullptr;
    }
    if (controller_ != nullptr) {
        controller_->setComponentHandler(nullptr);
        if (controllerInitialized_) {
            controller_->terminate();
        }
        controller_->release();
        controller_ = nullptr;
    }
    if (processor_ != nullptr) {
        processor_->release();
        processor_ = nullptr;
    }
    if (component_ != nullptr) {
        if (componentInitialized_) {
            component_->terminate();
        }
        component_->release();
        component_ = nullptr;
    }
    if (handler_ != nullptr) {
        handler_->release();
        handler_ = nullptr;
    }
    hostContext_.reset();
    module_.reset();
}

const ParameterEntry* HostedPlugin::parameter(ParamID id) const {
    for (const ParameterEntry& p : parameters_) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

ParamValue HostedPlugin::normalized(ParamID id) const {
    return controller_->getParamNormalized(id);
}

bool HostedPlugin::setNormalized(ParamID id, ParamValue value) {
    return controller_->setParamNormalized(id, value) == kResultOk;
}

std::string HostedPlugin::valueText(ParamID id, ParamValue value) const {
    String128 text{};
    if (controller_->getParamStringByValue(id, value, text) != kResultOk) {
        return {};
    }
    return toUtf8(text, 128);
}

std::optional<ParamValue> HostedPlugin::valueFromText(ParamID id, std::string_view text) const {
    std::u16string wide = toUtf16(text);
    ParamValue value = 0.0;
    if (controller_->getParamValueByString(id, wide.data(), value) != kResultOk) {
        return std::nullopt;
    }
    return value;
}

bool HostedPlugin::setState(const std::vector<char>& bytes, std::string& error) {
    IPtr<ByteStream> forProcessor = owned(new ByteStream(bytes));
    if (component_->setState(forProcessor) != kResultOk) {
        error = "the plug-in rejected the state";
        return false;
    }
    if (separateController_) {
        IPtr<ByteStream> forController = owned(new ByteStream(bytes));
        if (controller_->setComponentState(forController) != kResultOk) {
            error = "the edit controller rejected the state";
            return false;
        }
    }
    return true;
}

bool HostedPlugin::getState(std::vector<char>& bytes) const {
    IPtr<ByteStream> stream = owned(new ByteStream());
    if (component_->getState(stream) != kResultOk) {
        return false;
    }
    bytes = stream->bytes();
    return true;
}

bool HostedPlugin::startProcessing(const ProcessConfig& config, std::string& error) {
    stopProcessing();
    if (config.channels < 1 || config.maxBlockSize < 1 || !(config.sampleRate > 0.0)) {
        error = "invalid processing set-up";
        return false;
    }
    if (processor_->canProcessSampleSize(kSample32) != kResultTrue) {
        error = "the plug-in cannot process 32-bit float samples";
        return false;
    }
    config_ = config;

    const int32 numIn = component_->getBusCount(kAudio, kInput);
    const int32 numOut = component_->getBusCount(kAudio, kOutput);
    if (numOut < 1) {
        error = "the plug-in has no audio output";
        return false;
    }

    // Propose the file's width for the main buses and leave the others as
    // they are.
    std::vector<SpeakerArrangement> ins(static_cast<std::size_t>(numIn));
    std::vector<SpeakerArrangement> outs(static_cast<std::size_t>(numOut));
    for (int32 i = 0; i < numIn; ++i) {
        processor_->getBusArrangement(kInput, i, ins[static_cast<std::size_t>(i)]);
    }
    for (int32 i = 0; i < numOut; ++i) {
        processor_->getBusArrangement(kOutput, i, outs[static_cast<std::size_t>(i)]);
    }
    if (numIn > 0) {
        ins[0] = arrangementFor(config.channels);
    }
    outs[0] = arrangementFor(config.channels);
    processor_->setBusArrangements(ins.data(), numIn, outs.data(), numOut);

    sidechainBus_ = -1;
    for (int32 i = 1; i < numIn; ++i) {
        BusInfo info{};
        if (component_->getBusInfo(kAudio, kInput, i, info) == kResultOk && info.busType == kAux) {
            if (config.sidechain && sidechainBus_ < 0) {
                sidechainBus_ = i;
            }
        }
    }
    if (config.sidechain && sidechainBus_ < 0) {
        error = "the plug-in has no side-chain input";
        return false;
    }
    if (numIn > 0) {
        component_->activateBus(kAudio, kInput, 0, true);
    }
    component_->activateBus(kAudio, kOutput, 0, true);
    for (int32 i = 1; i < numIn; ++i) {
        BusInfo info{};
        if (component_->getBusInfo(kAudio, kInput, i, info) == kResultOk && info.busType == kAux) {
            component_->activateBus(kAudio, kInput, i, i == sidechainBus_);
        }
    }

    const auto setUpBuses = [&](BusDirection dir, int32 count, std::vector<Bus>& buses,
                                std::vector<AudioBusBuffers>& buffers) {
        buses.assign(static_cast<std::size_t>(count), Bus{});
        buffers.assign(static_cast<std::size_t>(count), AudioBusBuffers{});
        for (int32 i = 0; i < count; ++i) {
            BusInfo info{};
            component_->getBusInfo(kAudio, dir, i, info);
            Bus& bus = buses[static_cast<std::size_t>(i)];
            const auto channels = static_cast<std::size_t>(std::max<int32>(0, info.channelCount));
            bus.storage.assign(channels,
                               std::vector<float>(static_cast<std::size_t>(config.maxBlockSize)));
            bus.pointers.resize(channels);
            for (std::size_t c = 0; c < channels; ++c) {
                bus.pointers[c] = bus.storage[c].data();
            }
            AudioBusBuffers& b = buffers[static_cast<std::size_t>(i)];
            b.numChannels = static_cast<int32>(channels);
            b.silenceFlags = 0;
            b.channelBuffers32 = bus.pointers.data();
        }
    };
    setUpBuses(kInput, numIn, inputBuses_, inputs_);
    setUpBuses(kOutput, numOut, outputBuses_, outputs_);

    if ((numIn > 0 && inputs_[0].numChannels != config.channels) ||
        outputs_[0].numChannels != config.channels) {
        error = "the plug-in does not accept " + std::to_string(config.channels) + "-channel audio";
        return false;
    }

    ProcessSetup setup{};
    setup.processMode = config.processMode;
    setup.symbolicSampleSize = kSample32;
    setup.maxSamplesPerBlock = config.maxBlockSize;
    setup.sampleRate = config.sampleRate;
    if (processor_->setupProcessing(setup) != kResultOk) {
        error = "the plug-in refused the processing set-up (" +
                std::to_string(static_cast<long>(config.sampleRate)) + " Hz)";
        return false;
    }
    if (component_->setActive(true) != kResultOk) {
        error = "the plug-in could not be activated";
        return false;
    }
    active_ = true;
    // Many processors answer "not implemented" here; that is no failure.
    processor_->setProcessing(true);
    processing_ = true;

    context_ = ProcessContext{};
    context_.state = ProcessContext::kPlaying | ProcessContext::kContTimeValid;
    context_.sampleRate = config.sampleRate;
    inputChanges_->clear();
    outputChanges_->clear();
    return true;
}

void HostedPlugin::stopProcessing() {
    if (processing_) {
        processor_->setProcessing(false);
        processing_ = false;
    }
    if (active_) {
        component_->setActive(false);
        active_ = false;
    }
}

std::int32_t HostedPlugin::busCount(BusDirection dir) const {
    return static_cast<std::int32_t>(dir == kInput ? inputs_.size() : outputs_.size());
}

std::int32_t HostedPlugin::channelCount(BusDirection dir, std::int32_t bus) const {
    const auto& buffers = dir == kInput ? inputs_ : outputs_;
    if (bus < 0 || bus >= static_cast<std::int32_t>(buffers.size())) {
        return 0;
    }
    return buffers[static_cast<std::size_t>(bus)].numChannels;
}

float* HostedPlugin::channel(BusDirection dir, std::int32_t bus, std::int32_t ch) {
    auto& buses = dir == kInput ? inputBuses_ : outputBuses_;
    if (bus < 0 || bus >= static_cast<std::int32_t>(buses.size())) {
        return nullptr;
    }
    auto& storage = buses[static_cast<std::size_t>(bus)].storage;
    if (ch < 0 || ch >= static_cast<std::int32_t>(storage.size())) {
        return nullptr;
    }
    return storage[static_cast<std::size_t>(ch)].data();
}

uint64 HostedPlugin::outputSilenceFlags(std::int32_t bus) const {
    if (bus < 0 || bus >= static_cast<std::int32_t>(outputs_.size())) {
        return 0;
    }
    return outputs_[static_cast<std::size_t>(bus)].silenceFlags;
}

tresult HostedPlugin::run(ProcessData& data) {
    data.processMode = config_.processMode;
    data.symbolicSampleSize = kSample32;
    data.inputParameterChanges = inputChanges_.get();
    data.outputParameterChanges = outputChanges_.get();
    data.processContext = &context_;
    outputChanges_->clear();
    const tresult result = processor_->process(data);
    inputChanges_->clear();
    return result;
}

tresult HostedPlugin::process(std::int32_t numSamples) {
    if (!processing_ || numSamples < 0 || numSamples > config_.maxBlockSize) {
        return kInvalidArgument;
    }
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        inputs_[i].silenceFlags = 0;
        inputs_[i].channelBuffers32 = inputBuses_[i].pointers.data();
    }
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        outputs_[i].silenceFlags = 0;
        outputs_[i].channelBuffers32 = outputBuses_[i].pointers.data();
    }
    ProcessData data;
    data.numSamples = numSamples;
    data.numInputs = static_cast<int32>(inputs_.size());
    data.numOutputs = static_cast<int32>(outputs_.size());
    data.inputs = inputs_.empty() ? nullptr : inputs_.data();
    data.outputs = outputs_.data();
    context_.continousTimeSamples = context_.projectTimeSamples;
    const tresult result = run(data);
    context_.projectTimeSamples += numSamples;
    return result;
}

tresult HostedPlugin::flushParameters() {
    if (!processing_) {
        return kInvalidArgument;
    }
    ProcessData data;
    data.numSamples = 0;
    data.numInputs = 0;
    data.numOutputs = 0;
    return run(data);
}

} // namespace velmora::host
