#include "sdk/vst2/vst2wrapper.h"

#include "sdk/utf16.h"
#include "sdk/vst2/vst2chunk.h"
#include "sdk/vst2/vst2text.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace Steinberg {
namespace Vst {

namespace {

constexpr std::int32_t kMainPins = 2;
constexpr std::int32_t kAuxPins = 2;
constexpr std::uint32_t kAuxLeftPin = 1u << kMainPins;
constexpr std::uint32_t kAuxRightPin = 1u << (kMainPins + 1);

// The gaps an ASCII field leaves for its terminator.
template <std::size_t N> constexpr int fieldChars(const char (&)[N]) {
    return static_cast<int>(N) - 1;
}

void markPending(std::vector<std::atomic<std::uint64_t>>& words, std::size_t index) {
    words[index / 64].fetch_or(std::uint64_t{1} << (index % 64), std::memory_order_release);
}

template <typename F> void takePending(std::vector<std::atomic<std::uint64_t>>& words, F&& f) {
    for (std::size_t w = 0; w < words.size(); ++w) {
        std::uint64_t bits = words[w].exchange(0, std::memory_order_acq_rel);
        while (bits != 0) {
            f(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
            bits &= bits - 1;
        }
    }
}

void toString128(std::string_view text, String128 out) {
    const std::u16string wide = velmora::toUtf16(text);
    const std::size_t n = std::min<std::size_t>(wide.size(), 127);
    std::copy_n(wide.data(), n, out);
    out[n] = 0;
}

std::vector<char> streamBytes(MemoryStream& stream) {
    const auto* data = stream.getData();
    return std::vector<char>(data, data + stream.getSize());
}

} // namespace

tresult PLUGIN_API Vst2Wrapper::Context::getName(String128 name) {
    char product[vst2::kMaxProductStrLen + 1] = {};
    wrapper_.callHost(vst2::host::kGetProductString, 0, 0, product);
    product[vst2::kMaxProductStrLen] = 0;
    toString128(product[0] != 0 ? product : "VST 2 host", name);
    return kResultOk;
}

vst2::Effect* Vst2Wrapper::create(IPluginFactory* factory, const TUID processorClass,
                                  const Vst2EffectInfo& info, vst2::HostCallback host) {
    if (factory == nullptr || host == nullptr) {
        return nullptr;
    }
    Vst2Wrapper* wrapper = nullptr;
    // Out of memory or a failing component gives the host no effect, never
    // an exception.
    try {
        wrapper = new Vst2Wrapper(info, host);
        if (!wrapper->init(factory, processorClass)) {
            delete wrapper;
            return nullptr;
        }
    } catch (...) {
        delete wrapper;
        return nullptr;
    }
    return &wrapper->effect_;
}

Vst2Wrapper* Vst2Wrapper::fromEffect(vst2::Effect* effect) {
    if (effect == nullptr || effect->magic != vst2::kEffectMagic ||
        effect->dispatcher != &Vst2Wrapper::dispatcherProc) {
        return nullptr;
    }
    return static_cast<Vst2Wrapper*>(effect->object);
}

Vst2Wrapper::Vst2Wrapper(const Vst2EffectInfo& info, vst2::HostCallback host)
    : info_(info), host_(host), context_(*this), inChanges_(1), outChanges_(1) {
    effect_.magic = vst2::kEffectMagic;
    effect_.dispatcher = &Vst2Wrapper::dispatcherProc;
    effect_.processAccumulating = &Vst2Wrapper::processAccumulatingProc;
    effect_.setParameter = &Vst2Wrapper::setParameterProc;
    effect_.getParameter = &Vst2Wrapper::getParameterProc;
    effect_.processReplacing = &Vst2Wrapper::processReplacingProc;
    effect_.processDoubleReplacing = nullptr;
    effect_.ioRatio = 1.0f;
    effect_.object = this;
    effect_.uniqueId = info.uniqueId;
    effect_.version = info.vendorVersion;
    effect_.numPrograms = 1;
    effect_.flags = vst2::flags::kCanReplacing | vst2::flags::kProgramChunks;
    rect_ = {0, 0, info.editorHeight, info.editorWidth};
}

Vst2Wrapper::~Vst2Wrapper() {
    teardown();
}

bool Vst2Wrapper::init(IPluginFactory* factory, const TUID processorClass) {
    if (!createComponents(factory, processorClass)) {
        return false;
    }
    // 32-bit only: no double-precision entry is offered.
    if (processor_->canProcessSampleSize(kSample32) != kResultTrue || !measureStates()) {
        return false;
    }
    collectParameters();
    setUpBuses();
    setupProcessing();

    effect_.initialDelay = static_cast<std::int32_t>(std::min<uint32>(
        processor_->getLatencySamples(), std::numeric_limits<std::int32_t>::max()));

    // Only an editor that exists is announced; asking for one costs no window.
    if (IPtr<IPlugView> probe = owned(controller_->createView(ViewType::kEditor))) {
        effect_.flags |= vst2::flags::kHasEditor;
        ViewRect size;
        if (probe->getSize(&size) == kResultTrue && size.getWidth() > 0 && size.getHeight() > 0) {
            rect_ = {0, 0, static_cast<std::int16_t>(size.getHeight()),
                     static_cast<std::int16_t>(size.getWidth())};
        }
    }
    return true;
}

bool Vst2Wrapper::createComponents(IPluginFactory* factory, const TUID processorClass) {
    factory_ = factory;
    void* object = nullptr;
    if (factory->createInstance(processorClass, IComponent::iid, &object) != kResultOk ||
        object == nullptr) {
        return false;
    }
    component_ = owned(static_cast<IComponent*>(object));
    processor_ = FUnknownPtr<IAudioProcessor>(component_);
    if (!processor_ || component_->initialize(&context_) != kResultOk) {
        return false;
    }
    componentInitialized_ = true;

    // A component that is its own controller is used as it is; otherwise the
    // controller class it names comes from the same factory.
    controller_ = FUnknownPtr<IEditController>(component_);
    if (!controller_) {
        TUID controllerClass = {};
        object = nullptr;
        if (component_->getControllerClassId(controllerClass) != kResultOk ||
            factory->createInstance(controllerClass, IEditController::iid, &object) != kResultOk ||
            object == nullptr) {
            return false;
        }
        controller_ = owned(static_cast<IEditController*>(object));
        if (controller_->initialize(&context_) != kResultOk) {
            return false;
        }
        controllerInitialized_ = true;

        componentPoint_ = FUnknownPtr<IConnectionPoint>(component_);
        controllerPoint_ = FUnknownPtr<IConnectionPoint>(controller_);
        if (componentPoint_ && controllerPoint_) {
            componentPoint_->connect(controllerPoint_);
            controllerPoint_->connect(componentPoint_);
            connected_ = true;
        }
    }
    controller_->setComponentHandler(this);
    return true;
}

// The controller starts from the processor's state, as after a VST 3 host
// loads a project; the sizes of both states are what chunks must carry.
bool Vst2Wrapper::measureStates() {
    MemoryStream processorState;
    if (component_->getState(&processorState) != kResultOk) {
        return false;
    }
    processorStateSize_ = static_cast<std::size_t>(processorState.getSize());
    processorState.seek(0, IBStream::kIBSeekSet, nullptr);
    if (controllerInitialized_) {
        controller_->setComponentState(&processorState);
    }
    MemoryStream controllerState;
    if (controller_->getState(&controllerState) != kResultOk) {
        return false;
    }
    controllerStateSize_ = static_cast<std::size_t>(controllerState.getSize());
    return true;
}

void Vst2Wrapper::collectParameters() {
    const int32 count = controller_->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (controller_->getParameterInfo(i, info) != kResultOk) {
            continue;
        }
        if ((info.flags & ParameterInfo::kIsReadOnly) != 0) {
            // Output values reach the controller, up to one word of them.
            if (outputIds_.size() < 64) {
                outputIds_.push_back(info.id);
            }
            continue;
        }
        Param p;
        p.id = info.id;
        p.title = velmora::toUtf8(info.title);
        p.units = velmora::toUtf8(info.units);
        p.stepCount = info.stepCount;
        p.flags = info.flags;
        const std::string shortTitle = velmora::toUtf8(info.shortTitle);
        auto shortForm = [&](std::size_t limit) {
            return !shortTitle.empty() && shortTitle.size() <= limit
                       ? shortTitle
                       : vst2::abbreviate(p.title, limit);
        };
        p.name = shortForm(vst2::kMaxParamStrLen);
        p.shortName = shortForm(sizeof(vst2::ParameterProperties::shortLabel) - 1);
        params_.push_back(std::move(p));
    }
    std::sort(params_.begin(), params_.end(),
              [](const Param& a, const Param& b) { return a.id < b.id; });

    const std::size_t n = params_.size();
    values_ = std::vector<std::atomic<float>>(n);
    toProcessor_ = std::vector<std::atomic<std::uint64_t>>((n + 63) / 64);
    toController_ = std::vector<std::atomic<std::uint64_t>>((n + 63) / 64);
    outputValues_ = std::vector<std::atomic<float>>(outputIds_.size());
    for (std::size_t i = 0; i < n; ++i) {
        if ((params_[i].flags & ParameterInfo::kIsBypass) != 0 && bypassIndex_ < 0) {
            bypassIndex_ = static_cast<std::int32_t>(i);
        }
    }
    refreshValuesFromController();
    // One point per parameter and block: the host only ever sets values.
    inChanges_ = velmora::ParameterChanges(static_cast<int32>(std::max<std::size_t>(n, 1)), 1);
    outChanges_ = velmora::ParameterChanges(
        static_cast<int32>(std::max<std::size_t>(outputIds_.size(), 1)), 4);
    effect_.numParams = static_cast<std::int32_t>(n);
}

void Vst2Wrapper::setUpBuses() {
    // The side-chain pins serve an auxiliary bus right after the main input.
    BusInfo info{};
    if (component_->getBusCount(kAudio, kInput) > 1 &&
        component_->getBusInfo(kAudio, kInput, 1, info) == kResultOk && info.busType == kAux) {
        auxBus_ = 1;
    }
    // The side-chain bus stays active: whether a block carries it is decided
    // per block, as hosts may connect its pins at any time.
    if (auxBus_ >= 0) {
        component_->activateBus(kAudio, kInput, auxBus_, true);
    }
    effect_.numInputs = kMainPins + (auxBus_ >= 0 ? kAuxPins : 0);
    effect_.numOutputs = kMainPins;

    inBuses_[0].channelBuffers32 = mainIn_;
    inBuses_[0].numChannels = kMainPins;
    inBuses_[1].channelBuffers32 = auxIn_;
    outBus_.channelBuffers32 = mainOut_;
    outBus_.numChannels = kMainPins;
    data_.symbolicSampleSize = kSample32;
    data_.inputs = inBuses_;
    data_.outputs = &outBus_;
    data_.numOutputs = 1;
    data_.inputParameterChanges = &inChanges_;
    data_.outputParameterChanges = &outChanges_;
    describeArrangement(inArrangement_, mainInChannels_);
    describeArrangement(outArrangement_, mainOutChannels_);
}

void Vst2Wrapper::teardown() {
    closeEditor();
    if (active_.load(std::memory_order_acquire)) {
        mainsChanged(false);
    }
    if (connected_) {
        componentPoint_->disconnect(controllerPoint_);
        controllerPoint_->disconnect(componentPoint_);
        connected_ = false;
    }
    if (controller_) {
        controller_->setComponentHandler(nullptr);
    }
    if (controllerInitialized_) {
        controller_->terminate();
        controllerInitialized_ = false;
    }
    if (componentInitialized_) {
        component_->terminate();
        componentInitialized_ = false;
    }
    componentPoint_ = nullptr;
    controllerPoint_ = nullptr;
    controller_ = nullptr;
    processor_ = nullptr;
    component_ = nullptr;
    factory_ = nullptr;
}

std::intptr_t Vst2Wrapper::callHost(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                    void* ptr, float opt) {
    return host_(&effect_, opcode, index, value, ptr, opt);
}

std::int32_t Vst2Wrapper::indexOf(ParamID id) const {
    const auto it = std::lower_bound(params_.begin(), params_.end(), id,
                                     [](const Param& p, ParamID v) { return p.id < v; });
    return it != params_.end() && it->id == id ? static_cast<std::int32_t>(it - params_.begin())
                                               : -1;
}

bool Vst2Wrapper::validIndex(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < params_.size();
}

//------------------------------------------------------------------------
// Entry points of the effect structure.

std::intptr_t Vst2Wrapper::dispatcherProc(vst2::Effect* e, std::int32_t opcode, std::int32_t index,
                                          std::intptr_t value, void* ptr, float opt) {
    Vst2Wrapper* self = fromEffect(e);
    if (self == nullptr) {
        return 0;
    }
    if (opcode == vst2::op::kClose) {
        delete self;
        return 0;
    }
    return self->dispatch(opcode, index, value, ptr, opt);
}

void Vst2Wrapper::processReplacingProc(vst2::Effect* e, float** inputs, float** outputs,
                                       std::int32_t frames) {
    if (Vst2Wrapper* self = fromEffect(e)) {
        self->processReplacing(inputs, outputs, frames);
    }
}

// The accumulating entry went out with VST 2.4; no host that sees
// effFlagsCanReplacing calls it.
void Vst2Wrapper::processAccumulatingProc(vst2::Effect*, float**, float**, std::int32_t) {}

void Vst2Wrapper::setParameterProc(vst2::Effect* e, std::int32_t index, float value) {
    if (Vst2Wrapper* self = fromEffect(e)) {
        self->setFromHost(index, static_cast<double>(value));
    }
}

float Vst2Wrapper::getParameterProc(vst2::Effect* e, std::int32_t index) {
    Vst2Wrapper* self = fromEffect(e);
    if (self == nullptr || !self->validIndex(index)) {
        return 0.0f;
    }
    return self->values_[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
}

std::intptr_t Vst2Wrapper::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                    void* ptr, float opt) {
    namespace op = vst2::op;
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
    case op::kOpen:
        return 0;
    case op::kGetProgram:
    case op::kSetProgram:
        return 0;
    case op::kSetProgramName:
        if (text != nullptr) {
            programName_.assign(text, strnlen(text, vst2::kMaxProgNameLen));
        }
        return 0;
    case op::kGetProgramName:
        vst2::copyText(text, vst2::kMaxProgNameLen - 1, programName_);
        return 0;
    case op::kGetProgramNameIndexed:
        if (text == nullptr || index != 0) {
            return 0;
        }
        vst2::copyText(text, vst2::kMaxProgNameLen - 1, programName_);
        return 1;
    case op::kGetParamLabel:
    case op::kGetParamDisplay:
    case op::kGetParamName: {
        if (text == nullptr || !validIndex(index)) {
            return 0;
        }
        const Param& p = params_[static_cast<std::size_t>(index)];
        const std::string shown =
            opcode == op::kGetParamName
                ? p.name
                : (opcode == op::kGetParamLabel
                       ? p.units
                       : vst2::compactDisplay(displayText(index), vst2::kMaxParamStrLen));
        vst2::copyText(text, vst2::kMaxParamStrLen, shown);
        return 0;
    }
    case op::kSetSampleRate:
        if (!active_.load(std::memory_order_acquire) && std::isfinite(opt) && opt > 0.0f) {
            sampleRate_ = static_cast<double>(opt);
            setupProcessing();
        }
        return 0;
    case op::kSetBlockSize:
        if (!active_.load(std::memory_order_acquire) && value > 0 &&
            value <= std::numeric_limits<std::int32_t>::max()) {
            blockSize_ = static_cast<std::int32_t>(value);
            setupProcessing();
        }
        return 0;
    case op::kSetBlockSizeAndSampleRate:
        if (!active_.load(std::memory_order_acquire) && std::isfinite(opt) && opt > 0.0f &&
            value > 0 && value <= std::numeric_limits<std::int32_t>::max()) {
            sampleRate_ = static_cast<double>(opt);
            blockSize_ = static_cast<std::int32_t>(value);
            setupProcessing();
        }
        return 0;
    case op::kMainsChanged:
        return mainsChanged(value != 0);
    case op::kStartProcess:
    case op::kStopProcess:
        if (active_.load(std::memory_order_acquire)) {
            setProcessing(opcode == op::kStartProcess);
        }
        return 0;
    case op::kSetProcessPrecision:
        return value == vst2::kProcessPrecision32 ? 1 : 0;
    case op::kGetTailSize: {
        const uint32 tail = processor_->getTailSamples();
        // 0 would mean "whatever the host assumes"; 1 means none.
        if (tail == kNoTail) {
            return 1;
        }
        return static_cast<std::intptr_t>(
            std::min<uint32>(tail, std::numeric_limits<std::int32_t>::max()));
    }
    case op::kGetChunk:
        return ptr != nullptr ? getChunk(static_cast<void**>(ptr)) : 0;
    case op::kSetChunk:
        return setChunk(ptr, value);
    case op::kCanBeAutomated:
        return validIndex(index) && (params_[static_cast<std::size_t>(index)].flags &
                                     ParameterInfo::kCanAutomate) != 0
                   ? 1
                   : 0;
    case op::kString2Parameter:
        if (!validIndex(index)) {
            return 0;
        }
        // A null text asks whether conversion is supported at all.
        return text == nullptr || string2parameter(index, text) ? 1 : 0;
    case op::kGetParameterProperties:
        return parameterProperties(index, static_cast<vst2::ParameterProperties*>(ptr)) ? 1 : 0;
    case op::kConnectInput:
        if (index < 0 || index >= effect_.numInputs || index >= 32) {
            return 0;
        }
        if (value != 0) {
            connectedInputs_.fetch_or(1u << index, std::memory_order_relaxed);
        } else {
            connectedInputs_.fetch_and(~(1u << index), std::memory_order_relaxed);
        }
        return 1;
    case op::kConnectOutput:
        return index >= 0 && index < effect_.numOutputs ? 1 : 0;
    case op::kGetInputProperties:
        return pinProperties(true, index, static_cast<vst2::PinProperties*>(ptr)) ? 1 : 0;
    case op::kGetOutputProperties:
        return pinProperties(false, index, static_cast<vst2::PinProperties*>(ptr)) ? 1 : 0;
    case op::kSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<const vst2::SpeakerArrangement*>(value),
                                     static_cast<const vst2::SpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case op::kGetSpeakerArrangement: {
        auto** in = reinterpret_cast<vst2::SpeakerArrangement**>(value);
        auto** out = static_cast<vst2::SpeakerArrangement**>(ptr);
        if (in == nullptr || out == nullptr) {
            return 0;
        }
        *in = &inArrangement_;
        *out = &outArrangement_;
        return 1;
    }
    case op::kSetBypass:
        if (bypassIndex_ < 0) {
            return 0;
        }
        // The processor's own bypass, with its click-free ramp.
        setFromHost(bypassIndex_, value != 0 ? 1.0 : 0.0);
        return 1;
    case op::kGetPlugCategory:
        return info_.category;
    case op::kGetEffectName:
        vst2::copyText(text, vst2::kMaxEffectNameLen - 1, info_.effectName);
        return text != nullptr ? 1 : 0;
    case op::kGetVendorString:
        vst2::copyText(text, vst2::kMaxVendorStrLen - 1, info_.vendor);
        return text != nullptr ? 1 : 0;
    case op::kGetProductString:
        vst2::copyText(text, vst2::kMaxProductStrLen - 1, info_.product);
        return text != nullptr ? 1 : 0;
    case op::kGetVendorVersion:
        return info_.vendorVersion;
    case op::kGetVstVersion:
        return vst2::kVstVersion;
    case op::kCanDo:
        return canDo(text);
    case op::kSetEditKnobMode: {
        FUnknownPtr<IEditController2> controller2(controller_);
        return controller2 && controller2->setKnobMode(static_cast<KnobMode>(value)) == kResultOk
                   ? 1
                   : 0;
    }
    case op::kIdle:
        syncController();
        return 0;
    case op::kEditGetRect: {
        auto** rect = static_cast<vst2::Rect**>(ptr);
        if (rect == nullptr) {
            return 0;
        }
        ViewRect size;
        if (view_ && view_->getSize(&size) == kResultTrue) {
            rect_ = {0, 0, static_cast<std::int16_t>(size.getHeight()),
                     static_cast<std::int16_t>(size.getWidth())};
        }
        *rect = &rect_;
        return 1;
    }
    case op::kEditOpen:
        return openEditor(ptr) ? 1 : 0;
    case op::kEditClose:
        closeEditor();
        return 0;
    case op::kEditIdle:
        idleEditor();
        return 0;
    default:
        return 0;
    }
}

//------------------------------------------------------------------------
// Parameters.

void Vst2Wrapper::setFromHost(std::int32_t index, double value) {
    if (!validIndex(index) || !std::isfinite(value)) {
        return;
    }
    const auto i = static_cast<std::size_t>(index);
    values_[i].store(static_cast<float>(std::clamp(value, 0.0, 1.0)), std::memory_order_relaxed);
    markPending(toProcessor_, i);
    markPending(toController_, i);
}

std::string Vst2Wrapper::displayText(std::int32_t index) const {
    const auto i = static_cast<std::size_t>(index);
    String128 text = {};
    // The conversion reads only the parameter's fixed description, so it is
    // safe from any thread the host asks on.
    if (controller_->getParamStringByValue(
            params_[i].id, static_cast<ParamValue>(values_[i].load(std::memory_order_relaxed)),
            text) != kResultOk) {
        return {};
    }
    return velmora::toUtf8(text);
}

bool Vst2Wrapper::string2parameter(std::int32_t index, const char* text) {
    const Param& p = params_[static_cast<std::size_t>(index)];
    String128 text16 = {};
    toString128(text, text16);
    ParamValue value = 0.0;
    if (controller_->getParamValueByString(p.id, text16, value) == kResultOk) {
        setFromHost(index, value);
        return true;
    }
    // Stepped parameters also take the texts they display ("On", "Off").
    for (int32 step = 0; step <= p.stepCount && p.stepCount > 0; ++step) {
        const ParamValue stepValue = static_cast<ParamValue>(step) / p.stepCount;
        String128 shown = {};
        if (controller_->getParamStringByValue(p.id, stepValue, shown) == kResultOk &&
            vst2::equalsIgnoringCase(velmora::toUtf8(shown), text)) {
            setFromHost(index, stepValue);
            return true;
        }
    }
    return false;
}

bool Vst2Wrapper::parameterProperties(std::int32_t index, vst2::ParameterProperties* p) const {
    if (p == nullptr || !validIndex(index)) {
        return false;
    }
    const Param& param = params_[static_cast<std::size_t>(index)];
    std::memset(p, 0, sizeof(*p));
    vst2::copyText(p->label, fieldChars(p->label), param.title);
    vst2::copyText(p->shortLabel, fieldChars(p->shortLabel), param.shortName);
    p->flags = vst2::param::kSupportsDisplayIndex;
    p->displayIndex = static_cast<std::int16_t>(index);
    if (param.stepCount > 0) {
        p->flags |= vst2::param::kUsesIntegerMinMax | vst2::param::kUsesIntStep;
        if (param.stepCount == 1) {
            p->flags |= vst2::param::kIsSwitch;
        }
        p->minInteger = 0;
        p->maxInteger = param.stepCount;
        p->stepInteger = 1;
        p->largeStepInteger = std::max(1, param.stepCount / 10);
    }
    return true;
}

std::intptr_t Vst2Wrapper::canDo(const char* feature) const {
    if (feature == nullptr) {
        return 0;
    }
    const std::string_view f(feature);
    if (f == "plugAsChannelInsert") {
        return 1;
    }
    if (f == "bypass") {
        return bypassIndex_ >= 0 ? 1 : -1;
    }
    if (f == "receiveVstEvents" || f == "receiveVstMidiEvent" || f == "sendVstEvents" ||
        f == "sendVstMidiEvent" || f == "receiveVstTimeInfo" || f == "offline" ||
        f == "midiProgramNames" || f == "plugAsSend") {
        return -1;
    }
    return 0;
}

void Vst2Wrapper::refreshValuesFromController() {
    for (std::size_t i = 0; i < params_.size(); ++i) {
        values_[i].store(static_cast<float>(controller_->getParamNormalized(params_[i].id)),
                         std::memory_order_relaxed);
    }
}

// The UI thread's share of the hand-over: host values and output values
// reach the controller, which passes them on to its editors.
void Vst2Wrapper::syncController() {
    takePending(toController_, [&](std::size_t i) {
        controller_->setParamNormalized(params_[i].id, values_[i].load(std::memory_order_relaxed));
    });
    std::uint64_t bits = outputsChanged_.exchange(0, std::memory_order_acq_rel);
    while (bits != 0) {
        const auto k = static_cast<std::size_t>(std::countr_zero(bits));
        controller_->setParamNormalized(outputIds_[k],
                                        outputValues_[k].load(std::memory_order_relaxed));
        bits &= bits - 1;
    }
}

//------------------------------------------------------------------------
// Edits from the editor.

tresult Vst2Wrapper::editGesture(ParamID id, std::int32_t hostOpcode) {
    const std::int32_t index = indexOf(id);
    if (index < 0) {
        return kInvalidArgument;
    }
    callHost(hostOpcode, index, 0);
    return kResultOk;
}

tresult PLUGIN_API Vst2Wrapper::beginEdit(ParamID id) {
    return editGesture(id, vst2::host::kBeginEdit);
}

tresult PLUGIN_API Vst2Wrapper::performEdit(ParamID id, ParamValue valueNormalized) {
    const std::int32_t index = indexOf(id);
    if (index < 0 || !std::isfinite(valueNormalized)) {
        return kInvalidArgument;
    }
    const auto i = static_cast<std::size_t>(index);
    const float v = static_cast<float>(std::clamp(valueNormalized, 0.0, 1.0));
    // The controller already holds the value; only the processor needs it.
    values_[i].store(v, std::memory_order_relaxed);
    markPending(toProcessor_, i);
    callHost(vst2::host::kAutomate, index, 0, nullptr, v);
    return kResultOk;
}

tresult PLUGIN_API Vst2Wrapper::endEdit(ParamID id) {
    return editGesture(id, vst2::host::kEndEdit);
}

tresult PLUGIN_API Vst2Wrapper::restartComponent(int32 flags) {
    if ((flags & kLatencyChanged) != 0) {
        effect_.initialDelay = static_cast<std::int32_t>(std::min<uint32>(
            processor_->getLatencySamples(), std::numeric_limits<std::int32_t>::max()));
        callHost(vst2::host::kIOChanged, 0, 0);
    }
    if ((flags & kParamValuesChanged) != 0) {
        refreshValuesFromController();
    }
    if ((flags & (kParamValuesChanged | kParamTitlesChanged)) != 0) {
        callHost(vst2::host::kUpdateDisplay, 0, 0);
    }
    return kResultOk;
}

tresult PLUGIN_API Vst2Wrapper::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
    *obj = nullptr;
    return kNoInterface;
}

//------------------------------------------------------------------------
// Processing.

void Vst2Wrapper::setupProcessing() {
    ProcessSetup setup{};
    setup.processMode = data_.processMode;
    setup.symbolicSampleSize = kSample32;
    setup.maxSamplesPerBlock = blockSize_;
    setup.sampleRate = sampleRate_;
    processor_->setupProcessing(setup);
}

std::intptr_t Vst2Wrapper::mainsChanged(bool on) {
    if (on == active_.load(std::memory_order_acquire)) {
        return 0;
    }
    if (on) {
        // Asked here rather than while the host is still creating the effect.
        data_.processMode =
            callHost(vst2::host::kGetCurrentProcessLevel, 0, 0) == vst2::kProcessLevelOffline
                ? kOffline
                : kRealtime;
        setupProcessing();
        component_->setActive(true);
        setProcessing(true);
        activeBlockSize_ = blockSize_;
        active_.store(true, std::memory_order_release);
    } else {
        // Hosts never process during this call, so nothing runs on the audio
        // side once the flag is down.
        active_.store(false, std::memory_order_release);
        setProcessing(false);
        component_->setActive(false);
    }
    return 0;
}

void Vst2Wrapper::setProcessing(bool on) {
    if (on != processing_) {
        processing_ = on;
        processor_->setProcessing(on);
    }
}

void Vst2Wrapper::takeProcessorChanges() {
    takePending(toProcessor_, [&](std::size_t i) {
        inChanges_.addChange(params_[i].id, 0, values_[i].load(std::memory_order_relaxed));
    });
}

void Vst2Wrapper::keepOutputValues() {
    for (std::size_t k = 0; k < outputIds_.size(); ++k) {
        ParamValue v = 0.0;
        if (outChanges_.lastValue(outputIds_[k], v)) {
            outputValues_[k].store(static_cast<float>(v), std::memory_order_relaxed);
            outputsChanged_.fetch_or(std::uint64_t{1} << k, std::memory_order_release);
        }
    }
}

void Vst2Wrapper::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    if (frames <= 0 || outputs == nullptr) {
        return;
    }
    if (!active_.load(std::memory_order_acquire)) {
        passThrough(inputs, outputs, frames);
        return;
    }
    const std::uint32_t connected = connectedInputs_.load(std::memory_order_relaxed);
    const int32 auxChannels =
        auxBus_ < 0 || (connected & kAuxLeftPin) == 0 ? 0 : ((connected & kAuxRightPin) ? 2 : 1);
    auto pin = [&](float** pins, std::int32_t index) -> float* {
        return pins != nullptr ? pins[index] : nullptr;
    };

    inChanges_.clear();
    takeProcessorChanges();
    // Blocks longer than the host announced are split, as VST 3 requires.
    for (std::int32_t start = 0; start < frames; start += activeBlockSize_) {
        const std::int32_t n = std::min(activeBlockSize_, frames - start);
        auto at = [&](float* p) { return p != nullptr ? p + start : nullptr; };
        for (std::int32_t c = 0; c < kMainPins; ++c) {
            mainIn_[c] = at(pin(inputs, c));
            mainOut_[c] = at(outputs[c]);
        }
        for (std::int32_t c = 0; c < auxChannels; ++c) {
            auxIn_[c] = at(pin(inputs, kMainPins + c));
        }
        inBuses_[0].silenceFlags = 0;
        inBuses_[1].silenceFlags = 0;
        inBuses_[1].numChannels = auxChannels;
        outBus_.silenceFlags = 0;
        data_.numSamples = n;
        data_.numInputs = auxChannels > 0 ? auxBus_ + 1 : 1;
        outChanges_.clear();
        processor_->process(data_);
        keepOutputValues();
        inChanges_.clear();
    }
}

void Vst2Wrapper::passThrough(float** inputs, float** outputs, std::int32_t frames) const {
    const auto bytes = sizeof(float) * static_cast<std::size_t>(frames);
    for (std::int32_t c = 0; c < effect_.numOutputs; ++c) {
        float* out = outputs[c];
        const float* in = inputs != nullptr ? inputs[c] : nullptr;
        if (out == nullptr || out == in) {
            continue;
        }
        if (in != nullptr) {
            std::memmove(out, in, bytes);
        } else {
            std::memset(out, 0, bytes);
        }
    }
}

bool Vst2Wrapper::setSpeakerArrangement(const vst2::SpeakerArrangement* in,
                                        const vst2::SpeakerArrangement* out) {
    if (in == nullptr || out == nullptr || active_.load(std::memory_order_acquire) ||
        in->numChannels < 1 || in->numChannels > kMainPins || out->numChannels < 1 ||
        out->numChannels > kMainPins) {
        return false;
    }
    const int32 numIns = component_->getBusCount(kAudio, kInput);
    const int32 numOuts = component_->getBusCount(kAudio, kOutput);
    if (numIns < 1 || numOuts < 1 || numIns > 8 || numOuts > 8) {
        return false;
    }
    SpeakerArrangement ins[8] = {};
    SpeakerArrangement outs[8] = {};
    for (int32 i = 0; i < numIns; ++i) {
        processor_->getBusArrangement(kInput, i, ins[i]);
    }
    for (int32 i = 0; i < numOuts; ++i) {
        processor_->getBusArrangement(kOutput, i, outs[i]);
    }
    ins[0] = in->numChannels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
    outs[0] = out->numChannels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
    if (processor_->setBusArrangements(ins, numIns, outs, numOuts) != kResultTrue) {
        return false;
    }
    // Buses declared anew start inactive.
    if (auxBus_ >= 0) {
        component_->activateBus(kAudio, kInput, auxBus_, true);
    }
    mainInChannels_ = in->numChannels;
    mainOutChannels_ = out->numChannels;
    describeArrangement(inArrangement_, mainInChannels_);
    describeArrangement(outArrangement_, mainOutChannels_);
    return true;
}

void Vst2Wrapper::describeArrangement(vst2::SpeakerArrangement& arr, int channels) const {
    std::memset(&arr, 0, sizeof(arr));
    arr.numChannels = channels;
    if (channels == 1) {
        arr.type = vst2::speaker::kArrMono;
        arr.speakers[0].type = vst2::speaker::kMono;
        vst2::copyText(arr.speakers[0].name, fieldChars(arr.speakers[0].name), "M");
    } else {
        arr.type = vst2::speaker::kArrStereo;
        arr.speakers[0].type = vst2::speaker::kLeft;
        arr.speakers[1].type = vst2::speaker::kRight;
        vst2::copyText(arr.speakers[0].name, fieldChars(arr.speakers[0].name), "L");
        vst2::copyText(arr.speakers[1].name, fieldChars(arr.speakers[1].name), "R");
    }
}

bool Vst2Wrapper::pinProperties(bool input, std::int32_t index, vst2::PinProperties* p) const {
    const std::int32_t pins = input ? effect_.numInputs : effect_.numOutputs;
    if (p == nullptr || index < 0 || index >= pins) {
        return false;
    }
    std::memset(p, 0, sizeof(*p));
    const bool aux = input && index >= kMainPins;
    const int channels = aux ? kAuxPins : (input ? mainInChannels_ : mainOutChannels_);
    const int channel = aux ? index - kMainPins : index;
    const char* side = channels == 1 ? "" : (channel == 0 ? " L" : " R");
    const std::string base = aux ? "Side-chain" : (input ? "In" : "Out");
    const std::string shortBase = aux ? "SC" : base;
    vst2::copyText(p->label, fieldChars(p->label), base + side);
    vst2::copyText(p->shortLabel, fieldChars(p->shortLabel), shortBase + side);
    p->arrangementType = channels == 1 ? vst2::speaker::kArrMono : vst2::speaker::kArrStereo;
    if (channel < channels) {
        p->flags |= vst2::pin::kIsActive;
        if (channels == 2 && channel == 0) {
            p->flags |= vst2::pin::kIsStereo;
        }
    }
    return true;
}

//------------------------------------------------------------------------
// Chunks.

// Values set while the processor is switched off would otherwise reach it
// only with the next block, too late for a chunk saved now. The processor
// takes them in a parameter-only call, the flush VST 3 hosts use.
void Vst2Wrapper::flushToIdleProcessor() {
    if (active_.load(std::memory_order_acquire)) {
        return;
    }
    inChanges_.clear();
    takeProcessorChanges();
    if (inChanges_.getParameterCount() == 0) {
        return;
    }
    ProcessData flush{};
    flush.processMode = data_.processMode;
    flush.symbolicSampleSize = kSample32;
    flush.inputParameterChanges = &inChanges_;
    processor_->process(flush);
    inChanges_.clear();
}

std::intptr_t Vst2Wrapper::getChunk(void** data) {
    flushToIdleProcessor();
    MemoryStream processorState;
    MemoryStream controllerState;
    if (component_->getState(&processorState) != kResultOk ||
        controller_->getState(&controllerState) != kResultOk) {
        *data = nullptr;
        return 0;
    }
    const std::vector<char> p = streamBytes(processorState);
    const std::vector<char> c = streamBytes(controllerState);
    chunk_ = vst2::packChunk(p, c);
    *data = chunk_.data();
    return static_cast<std::intptr_t>(chunk_.size());
}

std::intptr_t Vst2Wrapper::setChunk(const void* data, std::intptr_t size) {
    if (data == nullptr || size <= 0) {
        return 0;
    }
    vst2::ChunkBlocks blocks;
    if (!vst2::unpackChunk(
            std::span<const char>(static_cast<const char*>(data), static_cast<std::size_t>(size)),
            processorStateSize_, controllerStateSize_, blocks)) {
        return 0;
    }
    // The chunk replaces every value; older ones still on their way to the
    // processor must not land on top of it.
    takePending(toProcessor_, [](std::size_t) {});

    auto stream = [](std::span<const char> block) {
        return MemoryStream(const_cast<char*>(block.data()), static_cast<TSize>(block.size()));
    };
    MemoryStream processorState = stream(blocks.processorState);
    if (component_->setState(&processorState) != kResultOk) {
        return 0;
    }
    processorState.seek(0, IBStream::kIBSeekSet, nullptr);
    if (controllerInitialized_) {
        controller_->setComponentState(&processorState);
    }
    MemoryStream controllerState = stream(blocks.controllerState);
    controller_->setState(&controllerState);

    takePending(toController_, [](std::size_t) {});
    refreshValuesFromController();
    callHost(vst2::host::kUpdateDisplay, 0, 0);
    return 1;
}

//------------------------------------------------------------------------
// Editor.

bool Vst2Wrapper::openEditor(void* window) {
    if (window == nullptr) {
        return false;
    }
    closeEditor();
    syncController();
    IPtr<IPlugView> view = owned(controller_->createView(ViewType::kEditor));
    if (!view || view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue) {
        return false;
    }
    IPtr<vst2::EditorFrame> frame = owned(new vst2::EditorFrame(
        [this](int width, int height) { return hostResizesEditor(width, height); }));
    view->setFrame(frame);
    if (view->attached(window, kPlatformTypeX11EmbedWindowID) != kResultTrue) {
        view->setFrame(nullptr);
        frame->detach();
        return false;
    }
    view_ = view;
    frame_ = frame;
    ViewRect size;
    if (view_->getSize(&size) == kResultTrue) {
        rect_ = {0, 0, static_cast<std::int16_t>(size.getHeight()),
                 static_cast<std::int16_t>(size.getWidth())};
    }
    return true;
}

void Vst2Wrapper::closeEditor() {
    if (view_) {
        view_->removed();
        view_->setFrame(nullptr);
        view_ = nullptr;
    }
    if (frame_) {
        frame_->detach();
        frame_ = nullptr;
    }
}

void Vst2Wrapper::idleEditor() {
    syncController();
    if (frame_) {
        // Keep the frame alive should a handler close the editor.
        IPtr<vst2::EditorFrame> frame = frame_;
        frame->idle();
    }
}

bool Vst2Wrapper::hostResizesEditor(int width, int height) {
    if (callHost(vst2::host::kSizeWindow, width, height) == 0) {
        return false;
    }
    rect_ = {0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
    return true;
}

} // namespace Vst
} // namespace Steinberg
