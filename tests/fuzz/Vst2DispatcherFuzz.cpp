// The VST 2 adapter as any VST 2 host might call it: dispatcher opcodes with
// arbitrary index, value, pointer and float arguments (every pointer points
// to a real buffer of exactly the size the VST 2 ABI promises for that
// opcode, so AddressSanitizer sees any write past it), chunks of any bytes,
// setParameter with any float, and processReplacing between them. Values
// read back stay in 0..1, output is finite (or, while suspended, the input
// passed through), inputs are never written, and whatever chunk the effect
// gives loads back into it unchanged. With an X server (DISPLAY), the editor
// opens too: in a window of the harness's own, in a window ID of any value,
// or in none.
#include "FuzzCheck.h"

#include "againcids.h"
#include "controller/againcontroller.h"
#include "processor/again.h"
#include "sdk/pluginfactory.h"
#include "sdk/vst2/vst2abi.h"
#include "sdk/vst2/vst2wrapper.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace op = vst2::op;
namespace fuzz = velmora::fuzz;

namespace {

std::intptr_t hostCallback(vst2::Effect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*,
                           float) {
    if (opcode == vst2::host::kVersion) {
        return vst2::kVstVersion;
    }
    return opcode == vst2::host::kSizeWindow ? 1 : 0;
}

// The host's window that editors open in; none without an X server.
Display* gDisplay = nullptr;
Window gWindow = 0;

IPluginFactory* factory() {
    static CPluginFactory* made = [] {
        static const PClassInfo2 processor(AgainProcessorUID, PClassInfo::kManyInstances,
                                           kVstAudioEffectClass, "BK Velmora", 0, "Fx|Gate",
                                           nullptr, "1", "1");
        static const PClassInfo2 controller(AgainControllerUID, PClassInfo::kManyInstances,
                                            kVstComponentControllerClass, "BK VelmoraController", 0,
                                            "", nullptr, "1", "1");
        auto* f = new CPluginFactory(PFactoryInfo("Brackwell", "", "", 0));
        f->registerClass(&processor, again::createInstance);
        f->registerClass(&controller, againController::createInstance);
        return f;
    }();
    return made;
}

// Bytes the ABI promises behind `ptr` for each opcode that takes one.
size_t pointerSize(std::int32_t opcode) {
    switch (opcode) {
    case op::kGetParamLabel:
    case op::kGetParamDisplay:
    case op::kGetParamName:
        return vst2::kMaxParamStrLen + 1;
    case op::kGetProgramName:
    case op::kSetProgramName:
    case op::kGetProgramNameIndexed:
        return vst2::kMaxProgNameLen;
    case op::kGetEffectName:
        return vst2::kMaxEffectNameLen;
    case op::kGetVendorString:
        return vst2::kMaxVendorStrLen;
    case op::kGetProductString:
        return vst2::kMaxProductStrLen;
    case op::kGetChunk:
    case op::kEditGetRect:
    case op::kGetSpeakerArrangement:
        return sizeof(void*);
    case op::kGetParameterProperties:
        return sizeof(vst2::ParameterProperties);
    case op::kGetInputProperties:
    case op::kGetOutputProperties:
        return sizeof(vst2::PinProperties);
    case op::kSetSpeakerArrangement:
        return sizeof(vst2::SpeakerArrangement);
    default:
        return 0;
    }
}

class Host {
public:
    explicit Host(FuzzedDataProvider& in) : in_(in) {
        vst2::Effect* e =
            Vst2Wrapper::create(factory(), AgainProcessorUID, Vst2EffectInfo{}, &hostCallback);
        FUZZ_CHECK(e != nullptr, "no effect");
        effect_ = e;
    }
    ~Host() { effect_->dispatcher(effect_, op::kClose, 0, 0, nullptr, 0.0f); }

    void run() {
        int actions = 0;
        while (in_.remaining_bytes() > 0 && actions++ < 48) {
            switch (in_.ConsumeIntegralInRange(0, 7)) {
            case 0:
            case 1:
            case 2:
                dispatch();
                break;
            case 3:
                effect_->setParameter(effect_, index(),
                                      fuzz::floatFromBits(in_.ConsumeIntegral<uint32_t>()));
                break;
            case 4:
                setChunk();
                break;
            case 5:
                process();
                break;
            case 6: {
                const std::int32_t i = index();
                const float v = effect_->getParameter(effect_, i);
                FUZZ_CHECK(fuzz::inUnitRange(v), "getParameter(%d) gave %g", i,
                           static_cast<double>(v));
                break;
            }
            default:
                // Resume or suspend, as hosts do most.
                call(op::kMainsChanged, 0, in_.ConsumeBool() ? 1 : 0, nullptr, 0.0f);
                break;
            }
        }
        checkChunkRoundTrip();
    }

private:
    std::intptr_t call(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                       float opt) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }

    std::int32_t index() {
        return in_.ConsumeIntegralInRange(0, 3) != 0 ? in_.ConsumeIntegralInRange(-2, 40)
                                                     : in_.ConsumeIntegral<std::int32_t>();
    }

    void dispatch() {
        static const std::int32_t known[] = {op::kOpen,
                                             op::kSetProgram,
                                             op::kGetProgram,
                                             op::kSetProgramName,
                                             op::kGetProgramName,
                                             op::kGetParamLabel,
                                             op::kGetParamDisplay,
                                             op::kGetParamName,
                                             op::kSetSampleRate,
                                             op::kSetBlockSize,
                                             op::kMainsChanged,
                                             op::kEditGetRect,
                                             op::kEditOpen,
                                             op::kEditClose,
                                             op::kEditIdle,
                                             op::kGetChunk,
                                             op::kProcessEvents,
                                             op::kCanBeAutomated,
                                             op::kString2Parameter,
                                             op::kGetProgramNameIndexed,
                                             op::kConnectInput,
                                             op::kConnectOutput,
                                             op::kGetInputProperties,
                                             op::kGetOutputProperties,
                                             op::kGetPlugCategory,
                                             op::kSetSpeakerArrangement,
                                             op::kSetBlockSizeAndSampleRate,
                                             op::kSetBypass,
                                             op::kGetEffectName,
                                             op::kGetVendorString,
                                             op::kGetProductString,
                                             op::kGetVendorVersion,
                                             op::kCanDo,
                                             op::kGetTailSize,
                                             op::kIdle,
                                             op::kGetParameterProperties,
                                             op::kGetVstVersion,
                                             op::kSetEditKnobMode,
                                             op::kGetSpeakerArrangement,
                                             op::kStartProcess,
                                             op::kStopProcess,
                                             op::kSetProcessPrecision};
        std::int32_t opcode = in_.ConsumeIntegralInRange(0, 7) != 0
                                  ? in_.PickValueInArray(known)
                                  : in_.ConsumeIntegralInRange(-4, 90);
        // Closing ends the effect: the harness closes it last.
        if (opcode == op::kClose) {
            opcode = op::kIdle;
        }
        if (opcode == op::kEditOpen) {
            openEditor();
            return;
        }
        const std::int32_t idx = index();
        std::intptr_t value = in_.ConsumeBool()
                                  ? in_.ConsumeIntegralInRange<std::intptr_t>(-2, 8192)
                                  : in_.ConsumeIntegral<std::intptr_t>();
        const float opt = in_.ConsumeBool() ? in_.ConsumeFloatingPointInRange(0.0f, 200000.0f)
                                            : fuzz::floatFromBits(in_.ConsumeIntegral<uint32_t>());

        // Buffers of exactly the promised size, filled with fuzz bytes.
        std::unique_ptr<char[]> ptrBuffer;
        std::unique_ptr<char[]> valueBuffer;
        void* ptr = nullptr;
        size_t size = pointerSize(opcode);
        if (opcode == op::kString2Parameter || opcode == op::kCanDo) {
            // A terminated text of any bytes.
            const std::string text = in_.ConsumeRandomLengthString(64);
            size = text.size() + 1;
            ptrBuffer.reset(new char[size]);
            std::memcpy(ptrBuffer.get(), text.c_str(), size);
        } else if (opcode == op::kSetChunk) {
            setChunk();
            return;
        } else if (size > 0) {
            ptrBuffer.reset(new char[size]);
            const std::vector<uint8_t> bytes = in_.ConsumeBytes<uint8_t>(size);
            std::memset(ptrBuffer.get(), 0, size);
            if (!bytes.empty()) {
                std::memcpy(ptrBuffer.get(), bytes.data(), bytes.size());
            }
        }
        if (ptrBuffer && in_.ConsumeIntegralInRange(0, 7) != 0) {
            ptr = ptrBuffer.get();
        }
        if (opcode == op::kSetSpeakerArrangement || opcode == op::kGetSpeakerArrangement) {
            const size_t valueSize = pointerSize(opcode);
            valueBuffer.reset(new char[valueSize]);
            const std::vector<uint8_t> bytes = in_.ConsumeBytes<uint8_t>(valueSize);
            std::memset(valueBuffer.get(), 0, valueSize);
            if (!bytes.empty()) {
                std::memcpy(valueBuffer.get(), bytes.data(), bytes.size());
            }
            if (opcode == op::kSetSpeakerArrangement && in_.ConsumeBool()) {
                // A plausible arrangement: type and channel count first.
                const std::int32_t head[2] = {in_.ConsumeIntegralInRange(-1, 3),
                                              in_.ConsumeIntegralInRange(-1, 9)};
                std::memcpy(valueBuffer.get(), head, sizeof head);
                std::memcpy(ptrBuffer.get(), head, sizeof head);
            }
            value = in_.ConsumeIntegralInRange(0, 7) != 0
                        ? reinterpret_cast<std::intptr_t>(valueBuffer.get())
                        : 0;
        }
        if (opcode == op::kGetChunk) {
            value = 0;
        }
        call(opcode, idx, value, ptr, opt);

        const bool paramText = opcode == op::kGetParamLabel || opcode == op::kGetParamDisplay ||
                               opcode == op::kGetParamName;
        const bool knownParam = idx >= 0 && idx < effect_->numParams;
        if (ptr != nullptr && ((paramText && knownParam) || opcode == op::kGetEffectName ||
                               opcode == op::kGetVendorString || opcode == op::kGetProductString ||
                               opcode == op::kGetProgramName)) {
            FUZZ_CHECK(std::memchr(ptrBuffer.get(), 0, size) != nullptr,
                       "opcode %d left its text unterminated", opcode);
        }
    }

    void openEditor() {
        switch (in_.ConsumeIntegralInRange(0, 3)) {
        case 0:
            FUZZ_CHECK(call(op::kEditOpen, 0, 0, nullptr, 0.0f) == 0,
                       "the editor opened without a window");
            return;
        case 1: {
            // A window ID the server may not know: refused or shown, never
            // an X error that ends the host.
            const auto id = static_cast<std::uintptr_t>(in_.ConsumeIntegral<std::uint32_t>());
            const std::intptr_t result =
                call(op::kEditOpen, 0, 0, reinterpret_cast<void*>(id), 0.0f);
            FUZZ_CHECK(result == 0 || result == 1, "opening the editor answered %ld",
                       static_cast<long>(result));
            return;
        }
        default:
            break;
        }
        if (gDisplay == nullptr) {
            return;
        }
        FUZZ_CHECK(call(op::kEditOpen, 0, 0, reinterpret_cast<void*>(gWindow), 0.0f) == 1,
                   "the editor did not open in the host's window");
        vst2::Rect* rect = nullptr;
        FUZZ_CHECK(call(op::kEditGetRect, 0, 0, &rect, 0.0f) == 1 && rect != nullptr &&
                       rect->right - rect->left > 0 && rect->bottom - rect->top > 0,
                   "an open editor has no size");
    }

    void setChunk() {
        std::vector<char> bytes;
        if (in_.ConsumeBool() && !saved_.empty()) {
            // A chunk the effect gave, with a few bytes changed.
            bytes = saved_;
            const int flips = in_.ConsumeIntegralInRange(0, 4);
            for (int i = 0; i < flips; ++i) {
                bytes[in_.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] =
                    in_.ConsumeIntegral<char>();
            }
        } else {
            const std::vector<uint8_t> raw =
                in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange(0, 600));
            bytes.assign(raw.begin(), raw.end());
        }
        std::unique_ptr<char[]> exact(new char[bytes.size() + 1]);
        if (!bytes.empty()) {
            std::memcpy(exact.get(), bytes.data(), bytes.size());
        }
        call(op::kSetChunk, in_.ConsumeBool() ? 0 : 1, static_cast<std::intptr_t>(bytes.size()),
             bytes.empty() && in_.ConsumeBool() ? nullptr : exact.get(), 0.0f);
        for (std::int32_t i = 0; i < effect_->numParams; ++i) {
            const float v = effect_->getParameter(effect_, i);
            FUZZ_CHECK(fuzz::inUnitRange(v), "after a chunk parameter %d is %g", i,
                       static_cast<double>(v));
        }
    }

    std::vector<char> chunk() {
        void* data = nullptr;
        const std::intptr_t size = call(op::kGetChunk, 0, 0, &data, 0.0f);
        FUZZ_CHECK(size > 0 && data != nullptr, "no chunk (%ld bytes)", static_cast<long>(size));
        return std::vector<char>(static_cast<char*>(data), static_cast<char*>(data) + size);
    }

    void checkChunkRoundTrip() {
        saved_ = chunk();
        std::vector<char> copy = saved_;
        FUZZ_CHECK(
            call(op::kSetChunk, 0, static_cast<std::intptr_t>(copy.size()), copy.data(), 0.0f) == 1,
            "the effect refused its own chunk");
        FUZZ_CHECK(chunk() == saved_, "a chunk did not load back unchanged");
    }

    void process() {
        static const int kRanges[] = {16, 512, 4096};
        const int n = in_.ConsumeIntegralInRange(0, in_.PickValueInArray(kRanges));
        if (budget_ < n) {
            return;
        }
        budget_ -= n;
        const int ins = std::max(effect_->numInputs, 0);
        const int outs = std::max(effect_->numOutputs, 0);
        std::vector<std::vector<float>> inData(static_cast<size_t>(ins));
        std::vector<std::unique_ptr<float[]>> outData(static_cast<size_t>(outs));
        std::vector<float*> inPtrs(static_cast<size_t>(ins), nullptr);
        std::vector<float*> outPtrs(static_cast<size_t>(outs), nullptr);
        static const float specials[] = {0.0f,
                                         1.0f,
                                         -1.0f,
                                         1e-40f,
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::quiet_NaN(),
                                         0.25f};
        for (int c = 0; c < ins; ++c) {
            auto& x = inData[static_cast<size_t>(c)];
            x.resize(static_cast<size_t>(n));
            const float base = in_.PickValueInArray(specials);
            const bool noise = in_.ConsumeBool();
            uint32_t state = 0x9e3779b9u ^ static_cast<uint32_t>(c);
            for (int i = 0; i < n; ++i) {
                state = state * 1664525u + 1013904223u;
                x[static_cast<size_t>(i)] =
                    noise ? (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) : base;
            }
            if (in_.ConsumeIntegralInRange(0, 7) != 0) {
                inPtrs[static_cast<size_t>(c)] = x.data();
            }
        }
        const std::vector<std::vector<float>> before = inData;
        for (int c = 0; c < outs; ++c) {
            outData[static_cast<size_t>(c)].reset(new float[static_cast<size_t>(n)]);
            std::fill(outData[static_cast<size_t>(c)].get(),
                      outData[static_cast<size_t>(c)].get() + n, 555.0f);
            if (in_.ConsumeIntegralInRange(0, 15) != 0) {
                outPtrs[static_cast<size_t>(c)] = outData[static_cast<size_t>(c)].get();
            }
        }
        effect_->processReplacing(effect_, inPtrs.data(), outPtrs.data(), n);

        for (int c = 0; c < ins && n > 0; ++c) {
            // Bit by bit: NaN equals nothing.
            FUZZ_CHECK(std::memcmp(inData[static_cast<size_t>(c)].data(),
                                   before[static_cast<size_t>(c)].data(),
                                   sizeof(float) * static_cast<size_t>(n)) == 0,
                       "processReplacing wrote input %d", c);
        }
        for (int c = 0; c < outs; ++c) {
            const float* y = outPtrs[static_cast<size_t>(c)];
            if (y == nullptr) {
                continue;
            }
            const float* x = c < ins ? inPtrs[static_cast<size_t>(c)] : nullptr;
            for (int i = 0; i < n; ++i) {
                // Suspended, the effect passes its input through as it is.
                FUZZ_CHECK(std::isfinite(y[i]) ||
                               (x != nullptr && std::memcmp(&y[i], &x[i], sizeof(float)) == 0),
                           "output %d sample %d is %g", c, i, static_cast<double>(y[i]));
            }
        }
    }

    FuzzedDataProvider& in_;
    vst2::Effect* effect_ = nullptr;
    std::vector<char> saved_;
    long budget_ = 30000;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("DISPLAY") != nullptr) {
        gDisplay = XOpenDisplay(nullptr);
    }
    if (gDisplay != nullptr) {
        gWindow =
            XCreateSimpleWindow(gDisplay, DefaultRootWindow(gDisplay), 0, 0, 800, 600, 0, 0, 0);
        XMapWindow(gDisplay, gWindow);
        XSync(gDisplay, False);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Host host(in);
    host.run();
    return 0;
}
