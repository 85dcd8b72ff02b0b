// The 25 continuous parameters. Each carries its own ParameterScaling and
// turns normalised values into display text and typed text back into
// normalised values; the SDK's plain/normalised operations stay the identity.
#pragma once

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"

#include "public.sdk/source/vst/vstparameters.h"

namespace Steinberg {
namespace Vst {

// Shared implementation: the class decides the scaling row, title, display
// style and off text; the ID passed in only names the parameter to the host.
class ScaledParameter : public Parameter {
public:
    enum class Display { Decibel, Hertz, Milliseconds, Percent };

    void toString(ParamValue valueNormalized, String128 string) const SMTG_OVERRIDE;
    bool fromString(const TChar* string, ParamValue& valueNormalized) const SMTG_OVERRIDE;

    // The row this parameter's class scales with (its ID in the standard set).
    velmora::ParamId row() const { return row_; }
    Display display() const { return display_; }
    // Whether exactly normalised 0 displays as the off text.
    bool hasOffText() const { return hasOff_; }
    const velmora::ParameterScaling& scaling() const { return scaling_; }

    // The display text as 8-bit text; at most 31 characters plus terminator.
    static constexpr int kTextCapacity = 32;
    void format(ParamValue valueNormalized, char (&text)[kTextCapacity]) const;

    // The normalised value for a typed number, false when it has none.
    bool entryToNormalized(double number, ParamValue& valueNormalized) const;

    OBJ_METHODS(ScaledParameter, Parameter)

protected:
    ScaledParameter(velmora::ParamId row, int32 flags, uint32 id);

private:
    velmora::ParameterScaling scaling_;
    velmora::ParamId row_;
    Display display_;
    bool hasOff_;
};

class InputLevParameter : public ScaledParameter {
public:
    InputLevParameter(int32 flags, uint32 id) : ScaledParameter(velmora::kInputLevel, flags, id) {}
    OBJ_METHODS(InputLevParameter, ScaledParameter)
};

class OutputLevParameter : public ScaledParameter {
public:
    OutputLevParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOutputLevel, flags, id) {}
    OBJ_METHODS(OutputLevParameter, ScaledParameter)
};

class ThresholdParameter : public ScaledParameter {
public:
    ThresholdParameter(int32 flags, uint32 id) : ScaledParameter(velmora::kThreshold, flags, id) {}
    OBJ_METHODS(ThresholdParameter, ScaledParameter)
};

class TimeRmsParameter : public ScaledParameter {
public:
    TimeRmsParameter(int32 flags, uint32 id) : ScaledParameter(velmora::kRmsWindow, flags, id) {}
    OBJ_METHODS(TimeRmsParameter, ScaledParameter)
};

class TimeAtt1Parameter : public ScaledParameter {
public:
    TimeAtt1Parameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kAttackGradual, flags, id) {}
    OBJ_METHODS(TimeAtt1Parameter, ScaledParameter)
};

class TimeAtt2Parameter : public ScaledParameter {
public:
    TimeAtt2Parameter(int32 flags, uint32 id) : ScaledParameter(velmora::kAttackSynth, flags, id) {}
    OBJ_METHODS(TimeAtt2Parameter, ScaledParameter)
};

class TimeRelParameter : public ScaledParameter {
public:
    TimeRelParameter(int32 flags, uint32 id) : ScaledParameter(velmora::kRelease, flags, id) {}
    OBJ_METHODS(TimeRelParameter, ScaledParameter)
};

class HoldOpenTimeParameter : public ScaledParameter {
public:
    HoldOpenTimeParameter(int32 flags, uint32 id) : ScaledParameter(velmora::kHold, flags, id) {}
    OBJ_METHODS(HoldOpenTimeParameter, ScaledParameter)
};

class HoldClosedTimeParameter : public ScaledParameter {
public:
    HoldClosedTimeParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kTriggeredMuting, flags, id) {}
    OBJ_METHODS(HoldClosedTimeParameter, ScaledParameter)
};

class HoldClosedProbParameter : public ScaledParameter {
public:
    HoldClosedProbParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kBeatSkip, flags, id) {}
    OBJ_METHODS(HoldClosedProbParameter, ScaledParameter)
};

class AttDelayTimeParameter : public ScaledParameter {
public:
    AttDelayTimeParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kAttackDelay, flags, id) {}
    OBJ_METHODS(AttDelayTimeParameter, ScaledParameter)
};

class AttIsoTimeParameter : public ScaledParameter {
public:
    AttIsoTimeParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kNoteTruncate, flags, id) {}
    OBJ_METHODS(AttIsoTimeParameter, ScaledParameter)
};

class DetFreq1Parameter : public ScaledParameter {
public:
    DetFreq1Parameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kCtrlBandEdge1, flags, id) {}
    OBJ_METHODS(DetFreq1Parameter, ScaledParameter)
};

class DetFreq2Parameter : public ScaledParameter {
public:
    DetFreq2Parameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kCtrlBandEdge2, flags, id) {}
    OBJ_METHODS(DetFreq2Parameter, ScaledParameter)
};

class DetLevLoParameter : public ScaledParameter {
public:
    DetLevLoParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kCtrlSignalLo, flags, id) {}
    OBJ_METHODS(DetLevLoParameter, ScaledParameter)
};

class DetLevMidParameter : public ScaledParameter {
public:
    DetLevMidParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kCtrlSignalMid, flags, id) {}
    OBJ_METHODS(DetLevMidParameter, ScaledParameter)
};

class DetLevHiParameter : public ScaledParameter {
public:
    DetLevHiParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kCtrlSignalHi, flags, id) {}
    OBJ_METHODS(DetLevHiParameter, ScaledParameter)
};

class SigFreq1Parameter : public ScaledParameter {
public:
    SigFreq1Parameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOutBandEdge1, flags, id) {}
    OBJ_METHODS(SigFreq1Parameter, ScaledParameter)
};

class SigFreq2Parameter : public ScaledParameter {
public:
    SigFreq2Parameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOutBandEdge2, flags, id) {}
    OBJ_METHODS(SigFreq2Parameter, ScaledParameter)
};

class CeilLevLoParameter : public ScaledParameter {
public:
    CeilLevLoParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOpenLevelLo, flags, id) {}
    OBJ_METHODS(CeilLevLoParameter, ScaledParameter)
};

class CeilLevMidParameter : public ScaledParameter {
public:
    CeilLevMidParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOpenLevelMid, flags, id) {}
    OBJ_METHODS(CeilLevMidParameter, ScaledParameter)
};

class CeilLevHiParameter : public ScaledParameter {
public:
    CeilLevHiParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kOpenLevelHi, flags, id) {}
    OBJ_METHODS(CeilLevHiParameter, ScaledParameter)
};

class FloorLevLoParameter : public ScaledParameter {
public:
    FloorLevLoParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kClosedLevelLo, flags, id) {}
    OBJ_METHODS(FloorLevLoParameter, ScaledParameter)
};

class FloorLevMidParameter : public ScaledParameter {
public:
    FloorLevMidParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kClosedLevelMid, flags, id) {}
    OBJ_METHODS(FloorLevMidParameter, ScaledParameter)
};

class FloorLevHiParameter : public ScaledParameter {
public:
    FloorLevHiParameter(int32 flags, uint32 id)
        : ScaledParameter(velmora::kClosedLevelHi, flags, id) {}
    OBJ_METHODS(FloorLevHiParameter, ScaledParameter)
};

// A switch (step count 1) or a meter: the SDK's display texts ("On"/"Off",
// or the normalised value as a number). Entry reads the same number scan as
// the continuous parameters, refuses what is not a finite number, and lets
// a switch take back its own words in any case.
class PlainParameter : public Parameter {
public:
    PlainParameter(const TChar* title, ParamID tag, int32 stepCount, ParamValue defaultNormalized,
                   int32 flags, UnitID unitId);

    void toString(ParamValue valueNormalized, String128 string) const SMTG_OVERRIDE;
    bool fromString(const TChar* string, ParamValue& valueNormalized) const SMTG_OVERRIDE;

    OBJ_METHODS(PlainParameter, Parameter)
};

// A new parameter object of the class that owns the given continuous ID, with
// the given flags; nullptr for any other ID. The caller owns the reference.
ScaledParameter* createScaledParameter(uint32 id, int32 flags);

} // namespace Vst
} // namespace Steinberg
