// Conversions between the UTF-16 texts of the VST 3 interfaces and UTF-8;
// the plug-in's VST 2 adapter shares them.
#pragma once

#include "sdk/utf16.h"

namespace velmora::host {

using velmora::toUtf16;
using velmora::toUtf8;

} // namespace velmora::host
