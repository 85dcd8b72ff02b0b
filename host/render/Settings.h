// --set NAME=VALUE: naming a parameter and reading its value the way a host
// does, with the plug-in's own text entry.
#pragma once

#include "hosting/HostedPlugin.h"

#include <string>

namespace velmora::host {

struct Setting {
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    Steinberg::Vst::ParamValue value = 0.0;
};

// Reads one NAME=VALUE. False with a one-line error naming the parameter or
// the value. A value outside 0..1 is clamped and `warning` says so.
bool resolveSetting(const HostedPlugin& plugin, const std::string& assignment, Setting& setting,
                    std::string& error, std::string& warning);

} // namespace velmora::host
