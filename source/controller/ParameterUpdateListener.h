// What the controller calls on each attached editor when a parameter value is
// set. The editor view implements it next to its SDK EditorView base; the
// controller finds it with a run-time type check when the view is attached.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

class ParameterUpdateListener {
public:
    // value is passed exactly as the host set it, not clamped (meter values
    // may lie outside 0..1).
    virtual void updateParameter(ParamID id, ParamValue value) = 0;

protected:
    ~ParameterUpdateListener() = default;
};

} // namespace Vst
} // namespace Steinberg
