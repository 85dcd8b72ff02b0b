// Class IDs of the link-check module, shared by the module and its loader test.
#pragma once

#include "pluginterfaces/base/funknown.h"

#define LINKCHECK_PROCESSOR_UID INLINE_UID(0x3B0F6A51, 0x1C7D4E28, 0x9A6B2F03, 0xD54E81C7)
#define LINKCHECK_CONTROLLER_UID INLINE_UID(0x7E24C9B8, 0x5D1A4F60, 0xB3870E2D, 0x19A6F5C4)

inline const Steinberg::TUID kLinkCheckProcessorUid = LINKCHECK_PROCESSOR_UID;
inline const Steinberg::TUID kLinkCheckControllerUid = LINKCHECK_CONTROLLER_UID;
