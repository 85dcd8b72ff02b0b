// Class identifiers of the processor and the controller. Hosts store them in
// projects, so they never change.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

static const FUID AgainProcessorUID(0x5A1C3E97, 0x0B64D2F1, 0x93E8A74C, 0x1F2D6B85);
static const FUID AgainControllerUID(0x6E27B4D0, 0xA9C35F18, 0x2478E1B6, 0xD05B9C3A);

} // namespace Vst
} // namespace Steinberg
