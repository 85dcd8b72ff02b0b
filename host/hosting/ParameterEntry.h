// A parameter as the edit controller describes it.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <string>

namespace velmora::host {

struct ParameterEntry {
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    std::string units;
    Steinberg::int32 stepCount = 0;
    Steinberg::Vst::ParamValue defaultValue = 0.0;
    Steinberg::int32 flags = 0;
    Steinberg::Vst::UnitID unitId = 0;

    bool isReadOnly() const { return (flags & Steinberg::Vst::ParameterInfo::kIsReadOnly) != 0; }
    bool isSwitch() const { return stepCount == 1; }
};

} // namespace velmora::host
