// Parameter IDs and titles. IDs are stored in host projects, automation and
// the processor state, so they never change; every other file names
// parameters through this header.
#pragma once

#include <array>
#include <cstdint>

namespace velmora {

// Unscoped so that an ID converts to the SDK's ParamID (uint32) without a cast;
// write ParamId::kThreshold for readability.
enum ParamId : std::uint32_t {
    // Two-state switches.
    kBypass = 0,
    kCtrlOut = 1,
    kDetectionMethod = 2, // off = peak, on = RMS
    kChannelMode = 3,     // off = independent, on = linked
    kGateMode = 4,        // off = standard, on = duck
    kAttEnvelope = 5,     // off = synth, on = gradual

    // Continuous settings.
    kInputLevel = 6,
    kOutputLevel = 7,
    kThreshold = 8,
    kRmsWindow = 9,
    kAttackGradual = 10,
    kAttackSynth = 11,
    kRelease = 12,
    kHold = 13,
    kTriggeredMuting = 14,
    kBeatSkip = 15,
    kAttackDelay = 16,
    kNoteTruncate = 17,
    kCtrlBandEdge1 = 18,
    kCtrlBandEdge2 = 19,
    kCtrlSignalLo = 20,
    kCtrlSignalMid = 21,
    kCtrlSignalHi = 22,
    kOutBandEdge1 = 23,
    kOutBandEdge2 = 24,
    kOpenLevelLo = 25,
    kOpenLevelMid = 26,
    kOpenLevelHi = 27,
    kClosedLevelLo = 28,
    kClosedLevelMid = 29,
    kClosedLevelHi = 30,

    // Read-only meters written by the processor.
    kMaxVu = 31,
    kMinVu = 32,
    kMaxGateLevel = 33,
    kMinGateLevel = 34,
};

// Counts and ranges as int so they compare cleanly with signed and unsigned
// loop variables alike.
inline constexpr int kNumParams = 35;
inline constexpr int kNumSwitches = 6;
inline constexpr int kFirstSwitch = kBypass;
inline constexpr int kLastSwitch = kAttEnvelope;
inline constexpr int kNumContinuous = 25;
inline constexpr int kFirstContinuous = kInputLevel;
inline constexpr int kLastContinuous = kClosedLevelHi;
inline constexpr int kNumMeters = 4;
inline constexpr int kFirstMeter = kMaxVu;
inline constexpr int kLastMeter = kMinGateLevel;
// Switches then continuous settings: the fields of the processor state.
inline constexpr int kNumStateParams = kNumSwitches + kNumContinuous;

static_assert(kNumSwitches + kNumContinuous + kNumMeters == kNumParams);
static_assert(kLastContinuous + 1 == kFirstMeter && kLastMeter + 1 == kNumParams);

constexpr bool isSwitch(std::uint32_t id) {
    return id <= static_cast<std::uint32_t>(kLastSwitch);
}
constexpr bool isContinuous(std::uint32_t id) {
    return id >= static_cast<std::uint32_t>(kFirstContinuous) &&
           id <= static_cast<std::uint32_t>(kLastContinuous);
}
constexpr bool isMeter(std::uint32_t id) {
    return id >= static_cast<std::uint32_t>(kFirstMeter) &&
           id <= static_cast<std::uint32_t>(kLastMeter);
}

// Titles as hosts show them, indexed by ID.
inline constexpr std::array<const char*, kNumParams> kParamTitles = {
    "Bypass",
    "Ctrl Out",
    "Detection Method: Peak/RMS",
    "Channel Mode: Indi/Linked",
    "Gate Mode: Standard/Duck",
    "Att Envelope: Synth/Gradual",
    "Input Level",
    "Output Level",
    "Threshold",
    "RMS Window",
    "Attack (gradual)",
    "Attack (synth)",
    "Release",
    "Hold",
    "Triggered Muting",
    "Beat Skip",
    "Attack Delay",
    "Note Truncate",
    "Control Band Edge 1",
    "Control Band Edge 2",
    "Control Signal Lo",
    "Control Signal Mid",
    "Control Signal Hi",
    "Output Band Edge 1",
    "Output Band Edge 2",
    "Open Level Lo",
    "Open Level Mid",
    "Open Level Hi",
    "Closed Level Lo",
    "Closed Level Mid",
    "Closed Level Hi",
    "Max Vu",
    "Min Vu",
    "Max Gate Level",
    "Min Gate Level",
};

// nullptr for an ID no parameter has.
constexpr const char* paramTitle(std::uint32_t id) {
    return id < static_cast<std::uint32_t>(kNumParams) ? kParamTitles[id] : nullptr;
}

} // namespace velmora
