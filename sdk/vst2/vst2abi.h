// The few definitions of the VST 2 binary interface that our adapter uses,
// under our own names. Layouts and numbers are those that hosts and plug-ins
// exchange on x86_64 Linux; each struct's size is checked below, since one
// misplaced field shifts everything a host reads after it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vst2 {

struct Effect;

// Plug-in to host. The last argument travels as a float in the floating-point
// register; declaring it as an integer hands the host garbage.
using HostCallback = std::intptr_t (*)(Effect* effect, std::int32_t opcode, std::int32_t index,
                                       std::intptr_t value, void* ptr, float opt);

using DispatcherProc = std::intptr_t (*)(Effect* effect, std::int32_t opcode, std::int32_t index,
                                         std::intptr_t value, void* ptr, float opt);
using ProcessProc = void (*)(Effect* effect, float** inputs, float** outputs,
                             std::int32_t sampleFrames);
using ProcessDoubleProc = void (*)(Effect* effect, double** inputs, double** outputs,
                                   std::int32_t sampleFrames);
using SetParameterProc = void (*)(Effect* effect, std::int32_t index, float value);
using GetParameterProc = float (*)(Effect* effect, std::int32_t index);

// The signature of VSTPluginMain.
using EntryProc = Effect* (*)(HostCallback callback);

constexpr std::int32_t fourCC(char a, char b, char c, char d) {
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
        static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr std::int32_t kEffectMagic = fourCC('V', 's', 't', 'P');
constexpr std::int32_t kVstVersion = 2400;

struct Effect {
    std::int32_t magic;
    DispatcherProc dispatcher;
    ProcessProc processAccumulating; // unused since 2.4; a harmless stub
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    std::intptr_t reserved1;
    std::intptr_t reserved2;
    std::int32_t initialDelay;
    std::int32_t realQualities;
    std::int32_t offQualities;
    float ioRatio;
    void* object; // the plug-in's
    void* user;   // the host's
    std::int32_t uniqueId;
    std::int32_t version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};
static_assert(sizeof(Effect) == 192);
static_assert(offsetof(Effect, uniqueId) == 112);
static_assert(offsetof(Effect, processReplacing) == 120);

namespace flags {
constexpr std::int32_t kHasEditor = 1 << 0;
constexpr std::int32_t kCanReplacing = 1 << 4;
constexpr std::int32_t kProgramChunks = 1 << 5;
constexpr std::int32_t kCanDoubleReplacing = 1 << 12;
} // namespace flags

// Host to plug-in (the dispatcher's opcode).
namespace op {
constexpr std::int32_t kOpen = 0;
constexpr std::int32_t kClose = 1;
constexpr std::int32_t kSetProgram = 2;
constexpr std::int32_t kGetProgram = 3;
constexpr std::int32_t kSetProgramName = 4;
constexpr std::int32_t kGetProgramName = 5;
constexpr std::int32_t kGetParamLabel = 6;
constexpr std::int32_t kGetParamDisplay = 7;
constexpr std::int32_t kGetParamName = 8;
constexpr std::int32_t kSetSampleRate = 10;
constexpr std::int32_t kSetBlockSize = 11;
constexpr std::int32_t kMainsChanged = 12;
constexpr std::int32_t kEditGetRect = 13;
constexpr std::int32_t kEditOpen = 14;
constexpr std::int32_t kEditClose = 15;
constexpr std::int32_t kEditIdle = 19;
constexpr std::int32_t kGetChunk = 23;
constexpr std::int32_t kSetChunk = 24;
constexpr std::int32_t kProcessEvents = 25;
constexpr std::int32_t kCanBeAutomated = 26;
constexpr std::int32_t kString2Parameter = 27;
constexpr std::int32_t kGetProgramNameIndexed = 29;
constexpr std::int32_t kConnectInput = 31;
constexpr std::int32_t kConnectOutput = 32;
constexpr std::int32_t kGetInputProperties = 33;
constexpr std::int32_t kGetOutputProperties = 34;
constexpr std::int32_t kGetPlugCategory = 35;
constexpr std::int32_t kSetSpeakerArrangement = 42;
constexpr std::int32_t kSetBlockSizeAndSampleRate = 43;
constexpr std::int32_t kSetBypass = 44;
constexpr std::int32_t kGetEffectName = 45;
constexpr std::int32_t kGetVendorString = 47;
constexpr std::int32_t kGetProductString = 48;
constexpr std::int32_t kGetVendorVersion = 49;
constexpr std::int32_t kCanDo = 51;
constexpr std::int32_t kGetTailSize = 52;
constexpr std::int32_t kIdle = 53;
constexpr std::int32_t kGetParameterProperties = 56;
constexpr std::int32_t kGetVstVersion = 58;
constexpr std::int32_t kSetEditKnobMode = 61;
constexpr std::int32_t kGetSpeakerArrangement = 69;
constexpr std::int32_t kStartProcess = 71;
constexpr std::int32_t kStopProcess = 72;
constexpr std::int32_t kSetProcessPrecision = 77;
} // namespace op

// Plug-in to host (the callback's opcode).
namespace host {
constexpr std::int32_t kAutomate = 0;
constexpr std::int32_t kVersion = 1;
constexpr std::int32_t kIOChanged = 13;
constexpr std::int32_t kSizeWindow = 15;
constexpr std::int32_t kGetCurrentProcessLevel = 23;
constexpr std::int32_t kGetProductString = 33;
constexpr std::int32_t kUpdateDisplay = 42;
constexpr std::int32_t kBeginEdit = 43;
constexpr std::int32_t kEndEdit = 44;
} // namespace host

constexpr std::intptr_t kProcessLevelOffline = 4;
constexpr std::intptr_t kProcessPrecision32 = 0;
constexpr std::int32_t kPlugCategoryEffect = 1;

// Characters (terminator excluded) that a host's buffer holds for each text.
constexpr int kMaxParamStrLen = 8; // parameter name, label and display
constexpr int kMaxProgNameLen = 24;
constexpr int kMaxEffectNameLen = 32;
constexpr int kMaxVendorStrLen = 64;
constexpr int kMaxProductStrLen = 64;

struct Rect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

struct PinProperties {
    char label[64];
    std::int32_t flags;
    std::int32_t arrangementType;
    char shortLabel[8];
    char future[48];
};
static_assert(sizeof(PinProperties) == 128);

namespace pin {
constexpr std::int32_t kIsActive = 1 << 0;
constexpr std::int32_t kIsStereo = 1 << 1;
} // namespace pin

struct ParameterProperties {
    float stepFloat;
    float smallStepFloat;
    float largeStepFloat;
    char label[64];
    std::int32_t flags;
    std::int32_t minInteger;
    std::int32_t maxInteger;
    std::int32_t stepInteger;
    std::int32_t largeStepInteger;
    char shortLabel[8];
    std::int16_t displayIndex;
    std::int16_t category;
    std::int16_t numParametersInCategory;
    std::int16_t reserved;
    char categoryLabel[24];
    char future[16];
};
static_assert(sizeof(ParameterProperties) == 152);
static_assert(offsetof(ParameterProperties, largeStepInteger) == 92);
static_assert(offsetof(ParameterProperties, shortLabel) == 96);

namespace param {
constexpr std::int32_t kIsSwitch = 1 << 0;
constexpr std::int32_t kUsesIntegerMinMax = 1 << 1;
constexpr std::int32_t kUsesIntStep = 1 << 3;
constexpr std::int32_t kSupportsDisplayIndex = 1 << 4;
} // namespace param

struct SpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[64];
    std::int32_t type;
    char future[28];
};
static_assert(sizeof(SpeakerProperties) == 112);

struct SpeakerArrangement {
    std::int32_t type;
    std::int32_t numChannels;
    SpeakerProperties speakers[8];
};
static_assert(sizeof(SpeakerArrangement) == 904);

namespace speaker {
constexpr std::int32_t kArrMono = 0;
constexpr std::int32_t kArrStereo = 1;
constexpr std::int32_t kMono = 0; // speaker types
constexpr std::int32_t kLeft = 1;
constexpr std::int32_t kRight = 2;
} // namespace speaker

} // namespace vst2
