// Defaults and the normalised <-> plain conversions of every parameter.
// Every user (each parameter object, the processor, the controller's state
// reader) builds its own copy; it never changes after construction, so the
// audio thread and the UI thread can use their copies at the same time.
#pragma once

#include "controller/ParameterIds.h"

#include <array>
#include <cstdint>

namespace velmora {

// How a continuous parameter maps 0..1 onto its plain range.
enum class ScalingKind : std::uint8_t {
    None,                 // switches and meters: no plain scaling
    Linear,               // k*x + c
    Exponential,          // exp(k*x + c)
    OffsetExponential,    // exp(k*x + c) - o
    OffsetExponentialOff, // as above, but exactly 0 <-> 0 (off)
    ReverseLogarithmic,   // o - exp(k*x + c), exactly 0 <-> -99 dB
    Identity,             // plain == normalised
};

class ParameterScaling {
public:
    ParameterScaling();

    // Switch defaults, 0 or 1.
    const std::uint8_t detectionMethodDefault = 0; // peak
    const std::uint8_t channelModeDefault = 1;     // linked
    const std::uint8_t gateModeDefault = 0;        // standard
    const std::uint8_t bypassDefault = 0;
    const std::uint8_t ctrlOutDefault = 0;
    const std::uint8_t attEnvelopeDefault = 1; // gradual

    // Plain defaults: dB, ms, Hz, or a probability for Beat Skip.
    const float inputLevelDefault = 0.0f;
    const float outputLevelDefault = 0.0f;
    const float thresholdDefault = -20.0f;
    const float holdDefault = 35.0f;
    const float triggeredMutingDefault = 0.0f;
    const float beatSkipDefault = 0.0f;
    const float attackDelayDefault = 0.0f;
    const float noteTruncateDefault = 0.0f;
    const float rmsWindowDefault = 50.0f;
    const float attackGradualDefault = 1.0f;
    const float attackSynthDefault = 5.0f;
    const float releaseDefault = 10.0f;
    const float ctrlBandEdge1Default = 1000.0f;
    const float ctrlBandEdge2Default = 5000.0f;
    const float ctrlSignalLoDefault = 0.0f;
    const float ctrlSignalMidDefault = 0.0f;
    const float ctrlSignalHiDefault = 0.0f;
    const float outBandEdge1Default = 220.0f;
    const float outBandEdge2Default = 880.0f;
    const float openLevelLoDefault = 0.0f;
    const float openLevelMidDefault = 0.0f;
    const float openLevelHiDefault = 0.0f;
    const float closedLevelLoDefault = -99.0f;
    const float closedLevelMidDefault = -99.0f;
    const float closedLevelHiDefault = -99.0f;

    // The bottom position of the Control Signal, Open Level and Closed Level
    // families, reached only at normalised 0.
    static constexpr float kLevelFloorDb = -99.0f;

    static ScalingKind kindOf(std::uint32_t id);

    // Normalised to plain. IDs without a plain scaling (switches, meters,
    // unknown IDs) pass the value through.
    float toPlain(std::uint32_t id, float x) const;

    // Plain to normalised. Not clamped: a value outside the range gives a
    // result outside 0..1, a value at the logarithm's pole an infinity and a
    // value beyond it NaN (see inDomain).
    float toNormalized(std::uint32_t id, float p) const;

    // True when toNormalized(id, p) is a number (possibly infinite): p is not
    // NaN and not beyond the pole of a logarithmic row.
    bool inDomain(std::uint32_t id, float p) const;

    // The pole of a logarithmic row: the plain value whose logarithm is
    // infinite (0 for exponential rows, -o for offset rows, o for reverse
    // rows). 0 for the rows without one.
    float pole(std::uint32_t id) const;

    // 0 or 1 for a switch, 0 for any other ID.
    std::uint8_t switchDefault(std::uint32_t id) const;

    // The plain default of a continuous parameter, 0 for any other ID.
    float plainDefault(std::uint32_t id) const;

    // The value a parameter starts at: a switch's default as 0 or 1, a
    // continuous parameter's plain default through toNormalized (Beat Skip's
    // unconverted), 0 for a meter.
    float defaultNormalized(std::uint32_t id) const;

private:
    struct Row {
        ScalingKind kind = ScalingKind::None;
        float c = 0.0f; // intercept
        float k = 0.0f; // slope
        float o = 0.0f; // offset of the offset and reverse rows
    };

    const Row& row(std::uint32_t id) const;

    std::array<Row, kNumContinuous> rows_{};
};

} // namespace velmora
