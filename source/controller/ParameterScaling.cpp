#include "controller/ParameterScaling.h"

#include <cmath>

namespace velmora {
namespace {

// Every intermediate is rounded to single precision; the logarithms and
// exponentials are evaluated in double and then rounded, which reproduces the
// single-precision results bit for bit.
float lnf(float v) {
    return static_cast<float>(std::log(static_cast<double>(v)));
}
float expf1(float v) {
    return static_cast<float>(std::exp(static_cast<double>(v)));
}

struct RangePair {
    float min;
    float max;
};

// The plain range of each scaling row; the value at normalised 0 first.
constexpr std::array<RangePair, 19> kRanges = {{
    {-60.0f, 60.0f},   // Input Level
    {-40.0f, 40.0f},   // Output Level
    {0.0f, -60.0f},    // Threshold
    {-60.0f, 0.0f},    // Control Signal Lo/Mid/Hi
    {-60.0f, 0.0f},    // Open Level Lo/Mid/Hi
    {-60.0f, 0.0f},    // Closed Level Lo/Mid/Hi
    {5.0f, 1000.0f},   // Hold
    {0.0f, 4000.0f},   // Triggered Muting
    {0.0f, 1.0f},      // Beat Skip (passed through)
    {0.0f, 1000.0f},   // Attack Delay
    {10.0f, 1000.0f},  // Note Truncate
    {1.0f, 1000.0f},   // RMS Window
    {0.01f, 3000.0f},  // Attack (gradual)
    {0.01f, 9000.0f},  // Attack (synth)
    {1.0f, 4000.0f},   // Release
    {10.0f, 20000.0f}, // Control Band Edge 1
    {10.0f, 20000.0f}, // Control Band Edge 2
    {10.0f, 20000.0f}, // Output Band Edge 1
    {10.0f, 20000.0f}, // Output Band Edge 2
}};

struct RowDef {
    std::uint32_t id;
    int range; // index into kRanges
    ScalingKind kind;
    float offset;
};

constexpr std::array<RowDef, kNumContinuous> kRowDefs = {{
    {kInputLevel, 0, ScalingKind::Linear, 0.0f},
    {kOutputLevel, 1, ScalingKind::Linear, 0.0f},
    {kThreshold, 2, ScalingKind::Linear, 0.0f},
    {kRmsWindow, 11, ScalingKind::Exponential, 0.0f},
    {kAttackGradual, 12, ScalingKind::OffsetExponential, 1.0f},
    {kAttackSynth, 13, ScalingKind::OffsetExponential, 1.0f},
    {kRelease, 14, ScalingKind::OffsetExponential, 1.0f},
    {kHold, 6, ScalingKind::Exponential, 0.0f},
    {kTriggeredMuting, 7, ScalingKind::OffsetExponential, 15.0f},
    {kBeatSkip, 8, ScalingKind::Identity, 0.0f},
    {kAttackDelay, 9, ScalingKind::OffsetExponential, 1.0f},
    {kNoteTruncate, 10, ScalingKind::OffsetExponentialOff, 1.0f},
    {kCtrlBandEdge1, 15, ScalingKind::Exponential, 0.0f},
    {kCtrlBandEdge2, 16, ScalingKind::Exponential, 0.0f},
    {kCtrlSignalLo, 3, ScalingKind::ReverseLogarithmic, 3.0f},
    {kCtrlSignalMid, 3, ScalingKind::ReverseLogarithmic, 3.0f},
    {kCtrlSignalHi, 3, ScalingKind::ReverseLogarithmic, 3.0f},
    {kOutBandEdge1, 17, ScalingKind::Exponential, 0.0f},
    {kOutBandEdge2, 18, ScalingKind::Exponential, 0.0f},
    {kOpenLevelLo, 4, ScalingKind::ReverseLogarithmic, 3.0f},
    {kOpenLevelMid, 4, ScalingKind::ReverseLogarithmic, 3.0f},
    {kOpenLevelHi, 4, ScalingKind::ReverseLogarithmic, 3.0f},
    {kClosedLevelLo, 5, ScalingKind::ReverseLogarithmic, 3.0f},
    {kClosedLevelMid, 5, ScalingKind::ReverseLogarithmic, 3.0f},
    {kClosedLevelHi, 5, ScalingKind::ReverseLogarithmic, 3.0f},
}};

constexpr bool rowsInIdOrder() {
    for (int i = 0; i < kNumContinuous; ++i) {
        if (kRowDefs[i].id != static_cast<std::uint32_t>(kFirstContinuous + i)) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInIdOrder());

} // namespace

ParameterScaling::ParameterScaling() {
    for (int i = 0; i < kNumContinuous; ++i) {
        const RowDef& def = kRowDefs[i];
        const RangePair& range = kRanges[def.range];
        Row& r = rows_[i];
        r.kind = def.kind;
        r.o = def.offset;
        switch (def.kind) {
        case ScalingKind::Linear:
            r.c = range.min;
            r.k = range.max - range.min;
            break;
        case ScalingKind::Exponential:
            r.c = lnf(range.min);
            r.k = lnf(range.max) - r.c;
            break;
        case ScalingKind::OffsetExponential:
        case ScalingKind::OffsetExponentialOff:
            r.c = lnf(range.min + r.o);
            r.k = lnf(range.max + r.o) - r.c;
            break;
        case ScalingKind::ReverseLogarithmic:
            r.c = lnf(r.o - range.min);
            r.k = lnf(r.o - range.max) - r.c;
            break;
        case ScalingKind::Identity:
        case ScalingKind::None:
            break;
        }
    }
}

ScalingKind ParameterScaling::kindOf(std::uint32_t id) {
    return isContinuous(id) ? kRowDefs[id - kFirstContinuous].kind : ScalingKind::None;
}

const ParameterScaling::Row& ParameterScaling::row(std::uint32_t id) const {
    static const Row kNone{};
    return isContinuous(id) ? rows_[id - kFirstContinuous] : kNone;
}

float ParameterScaling::toPlain(std::uint32_t id, float x) const {
    const Row& r = row(id);
    const float kx = r.k * x;
    const float arg = kx + r.c;
    switch (r.kind) {
    case ScalingKind::Linear:
        return arg;
    case ScalingKind::Exponential:
        return expf1(arg);
    case ScalingKind::OffsetExponential:
        return expf1(arg) - r.o;
    case ScalingKind::OffsetExponentialOff:
        return x == 0.0f ? 0.0f : expf1(arg) - r.o;
    case ScalingKind::ReverseLogarithmic:
        return x == 0.0f ? kLevelFloorDb : r.o - expf1(arg);
    case ScalingKind::Identity:
    case ScalingKind::None:
        break;
    }
    return x;
}

float ParameterScaling::toNormalized(std::uint32_t id, float p) const {
    const Row& r = row(id);
    switch (r.kind) {
    case ScalingKind::Linear: {
        const float d = p - r.c;
        return d / r.k;
    }
    case ScalingKind::Exponential: {
        const float d = lnf(p) - r.c;
        return d / r.k;
    }
    case ScalingKind::OffsetExponentialOff:
        if (p == 0.0f) {
            return 0.0f;
        }
        [[fallthrough]];
    case ScalingKind::OffsetExponential: {
        const float shifted = p + r.o;
        const float d = lnf(shifted) - r.c;
        return d / r.k;
    }
    case ScalingKind::ReverseLogarithmic: {
        if (p == kLevelFloorDb) {
            return 0.0f;
        }
        const float shifted = r.o - p;
        const float d = lnf(shifted) - r.c;
        return d / r.k;
    }
    case ScalingKind::Identity:
    case ScalingKind::None:
        break;
    }
    return p;
}

float ParameterScaling::pole(std::uint32_t id) const {
    const Row& r = row(id);
    switch (r.kind) {
    case ScalingKind::OffsetExponential:
    case ScalingKind::OffsetExponentialOff:
        return -r.o;
    case ScalingKind::ReverseLogarithmic:
        return r.o;
    default:
        return 0.0f;
    }
}

bool ParameterScaling::inDomain(std::uint32_t id, float p) const {
    if (std::isnan(p)) {
        return false;
    }
    switch (kindOf(id)) {
    case ScalingKind::Exponential:
    case ScalingKind::OffsetExponential:
        return p >= pole(id);
    case ScalingKind::OffsetExponentialOff:
        return p == 0.0f || p >= pole(id);
    case ScalingKind::ReverseLogarithmic:
        return p == kLevelFloorDb || p <= pole(id);
    default:
        return true;
    }
}

std::uint8_t ParameterScaling::switchDefault(std::uint32_t id) const {
    switch (id) {
    case kBypass:
        return bypassDefault;
    case kCtrlOut:
        return ctrlOutDefault;
    case kDetectionMethod:
        return detectionMethodDefault;
    case kChannelMode:
        return channelModeDefault;
    case kGateMode:
        return gateModeDefault;
    case kAttEnvelope:
        return attEnvelopeDefault;
    default:
        return 0;
    }
}

float ParameterScaling::plainDefault(std::uint32_t id) const {
    switch (id) {
    case kInputLevel:
        return inputLevelDefault;
    case kOutputLevel:
        return outputLevelDefault;
    case kThreshold:
        return thresholdDefault;
    case kRmsWindow:
        return rmsWindowDefault;
    case kAttackGradual:
        return attackGradualDefault;
    case kAttackSynth:
        return attackSynthDefault;
    case kRelease:
        return releaseDefault;
    case kHold:
        return holdDefault;
    case kTriggeredMuting:
        return triggeredMutingDefault;
    case kBeatSkip:
        return beatSkipDefault;
    case kAttackDelay:
        return attackDelayDefault;
    case kNoteTruncate:
        return noteTruncateDefault;
    case kCtrlBandEdge1:
        return ctrlBandEdge1Default;
    case kCtrlBandEdge2:
        return ctrlBandEdge2Default;
    case kCtrlSignalLo:
        return ctrlSignalLoDefault;
    case kCtrlSignalMid:
        return ctrlSignalMidDefault;
    case kCtrlSignalHi:
        return ctrlSignalHiDefault;
    case kOutBandEdge1:
        return outBandEdge1Default;
    case kOutBandEdge2:
        return outBandEdge2Default;
    case kOpenLevelLo:
        return openLevelLoDefault;
    case kOpenLevelMid:
        return openLevelMidDefault;
    case kOpenLevelHi:
        return openLevelHiDefault;
    case kClosedLevelLo:
        return closedLevelLoDefault;
    case kClosedLevelMid:
        return closedLevelMidDefault;
    case kClosedLevelHi:
        return closedLevelHiDefault;
    default:
        return 0.0f;
    }
}

float ParameterScaling::defaultNormalized(std::uint32_t id) const {
    if (isSwitch(id)) {
        return switchDefault(id) != 0 ? 1.0f : 0.0f;
    }
    if (isContinuous(id)) {
        return toNormalized(id, plainDefault(id));
    }
    return 0.0f;
}

} // namespace velmora
