// A small VST 2 host for tests and benchmarks. It declares the binary
// interface on its own, as a host does (not through the plug-in's header),
// so that a wrong number or layout on either side shows up as a failure:
// the callback's last parameter is a float, "get parameter properties" is
// opcode 56 and its structure is 152 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vst2test {

struct Effect;
using Callback = std::intptr_t (*)(Effect*, std::int32_t opcode, std::int32_t index,
                                   std::intptr_t value, void* ptr, float opt);

struct Effect {
    std::int32_t magic;
    std::intptr_t (*dispatcher)(Effect*, std::int32_t, std::int32_t, std::intptr_t, void*, float);
    void (*process)(Effect*, float**, float**, std::int32_t);
    void (*setParameter)(Effect*, std::int32_t, float);
    float (*getParameter)(Effect*, std::int32_t);
    std::int32_t numPrograms, numParams, numInputs, numOutputs, flags;
    std::intptr_t reserved[2];
    std::int32_t initialDelay, realQualities, offQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueId, version;
    void (*processReplacing)(Effect*, float**, float**, std::int32_t);
    void (*processDoubleReplacing)(Effect*, double**, double**, std::int32_t);
    char future[56];
};
static_assert(sizeof(Effect) == 192 && offsetof(Effect, processReplacing) == 120);

// Dispatcher opcodes by number.
enum Op : std::int32_t {
    Close = 1,
    GetParamLabel = 6,
    GetParamDisplay = 7,
    GetParamName = 8,
    SetSampleRate = 10,
    SetBlockSize = 11,
    MainsChanged = 12,
    EditGetRect = 13,
    EditOpen = 14,
    EditClose = 15,
    EditIdle = 19,
    GetChunk = 23,
    SetChunk = 24,
    CanBeAutomated = 26,
    String2Parameter = 27,
    ConnectInput = 31,
    GetInputProperties = 33,
    GetOutputProperties = 34,
    GetPlugCategory = 35,
    SetSpeakerArrangement = 42,
    SetBypass = 44,
    GetEffectName = 45,
    GetVendorString = 47,
    GetProductString = 48,
    GetVendorVersion = 49,
    CanDo = 51,
    GetTailSize = 52,
    GetParameterProperties = 56,
    GetVstVersion = 58,
    SetProcessPrecision = 77,
};
// Host callback opcodes.
enum HostOp : std::int32_t {
    Automate = 0,
    Version = 1,
    BeginEdit = 43,
    EndEdit = 44,
};

// The parameter-properties structure as raw bytes, read at its offsets.
constexpr std::size_t kPropertiesSize = 152;
constexpr std::size_t kPropLabel = 12, kPropFlags = 76, kPropMaxInteger = 84,
                      kPropLargeStepInteger = 92, kPropShortLabel = 96;
// Speaker arrangement (904 bytes): type, channel count, eight speakers.
constexpr std::size_t kArrangementSize = 904;

struct HostCall {
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    float opt;
};

inline void* library(const std::filesystem::path& so) {
    // Loaded once per process and never unloaded, as hosts keep plug-ins.
    static void* handle = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle;
}

class Host {
public:
    // One effect from VSTPluginMain, or null (error says why).
    static std::unique_ptr<Host> open(const std::filesystem::path& so, std::string& error,
                                      std::intptr_t versionAnswer = 2400) {
        void* handle = library(so);
        auto* entry = handle
                          ? reinterpret_cast<Effect* (*)(Callback)>(dlsym(handle, "VSTPluginMain"))
                          : nullptr;
        if (entry == nullptr) {
            error = handle ? "no VSTPluginMain" : dlerror();
            return nullptr;
        }
        std::unique_ptr<Host> host(new Host);
        host->versionAnswer_ = versionAnswer;
        creating() = host.get();
        host->effect_ = entry(&Host::callback);
        creating() = nullptr;
        if (host->effect_ == nullptr) {
            error = "VSTPluginMain returned no effect";
            return nullptr;
        }
        host->effect_->user = host.get();
        return host;
    }

    ~Host() {
        if (effect_ != nullptr) {
            dispatch(Close);
        }
    }

    Effect* effect() const { return effect_; }
    std::intptr_t dispatch(std::int32_t op, std::int32_t index = 0, std::intptr_t value = 0,
                           void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatcher(effect_, op, index, value, ptr, opt);
    }
    void set(std::int32_t index, float v) { effect_->setParameter(effect_, index, v); }
    float get(std::int32_t index) { return effect_->getParameter(effect_, index); }

    // A text opcode's answer, read from a buffer that is far larger than the
    // text may be; `overrun` tells whether anything beyond maxChars + 1
    // bytes was touched.
    std::string text(std::int32_t op, std::int32_t index, std::size_t maxChars, bool& overrun) {
        char buffer[256];
        std::memset(buffer, 0x55, sizeof buffer);
        dispatch(op, index, 0, buffer);
        overrun = false;
        for (std::size_t i = maxChars + 1; i < sizeof buffer; ++i) {
            overrun |= buffer[i] != 0x55;
        }
        return std::string(buffer, strnlen(buffer, maxChars + 1));
    }

    void resume(float rate, std::int32_t block) {
        dispatch(SetSampleRate, 0, 0, nullptr, rate);
        dispatch(SetBlockSize, 0, block);
        dispatch(MainsChanged, 0, 1);
    }
    void suspend() { dispatch(MainsChanged, 0, 0); }

    std::vector<char> chunk() {
        void* data = nullptr;
        const std::intptr_t size = dispatch(GetChunk, 0, 0, &data);
        return size > 0 && data
                   ? std::vector<char>(static_cast<char*>(data), static_cast<char*>(data) + size)
                   : std::vector<char>{};
    }
    std::intptr_t setChunk(std::vector<char> bytes) {
        return dispatch(SetChunk, 0, static_cast<std::intptr_t>(bytes.size()), bytes.data());
    }

    // Mono (1) or stereo (2) main input and output.
    std::intptr_t setChannels(std::int32_t channels) {
        std::vector<char> in(kArrangementSize, 0), out(kArrangementSize, 0);
        for (auto* arr : {&in, &out}) {
            const std::int32_t fields[2] = {channels == 1 ? 0 : 1, channels};
            std::memcpy(arr->data(), fields, sizeof fields);
        }
        return dispatch(SetSpeakerArrangement, 0, reinterpret_cast<std::intptr_t>(in.data()),
                        out.data());
    }

    const std::vector<HostCall>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }

private:
    Host() = default;

    static Host*& creating() {
        static thread_local Host* host = nullptr;
        return host;
    }

    static std::intptr_t callback(Effect* effect, std::int32_t opcode, std::int32_t index,
                                  std::intptr_t value, void*, float opt) {
        Host* host = effect != nullptr && effect->user != nullptr ? static_cast<Host*>(effect->user)
                                                                  : creating();
        if (opcode == Version) {
            return host != nullptr ? host->versionAnswer_ : 2400;
        }
        if (host != nullptr) {
            host->calls_.push_back({opcode, index, value, opt});
        }
        return 0;
    }

    Effect* effect_ = nullptr;
    std::intptr_t versionAnswer_ = 2400;
    std::vector<HostCall> calls_;
};

} // namespace vst2test
