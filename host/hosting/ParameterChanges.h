// The host side of parameter changes, shared with the plug-in's VST 2 adapter.
#pragma once

#include "sdk/parameterchanges.h"

namespace velmora::host {

using velmora::ParameterChanges;
using velmora::ParamValueQueue;

} // namespace velmora::host
