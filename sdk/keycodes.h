// The VST 3 key codes that IPlugView::onKeyDown and onKeyUp carry, which the
// SDK subset lacks: virtual keys for keys that are no character, and the
// modifier bits.
#pragma once

#include "pluginterfaces/base/ftypes.h"

namespace Steinberg {

enum VirtualKeyCodes {
    KEY_BACK = 1,
    KEY_TAB,
    KEY_CLEAR,
    KEY_RETURN,
    KEY_PAUSE,
    KEY_ESCAPE,
    KEY_SPACE,
    KEY_NEXT,
    KEY_END,
    KEY_HOME,
    KEY_LEFT,
    KEY_UP,
    KEY_RIGHT,
    KEY_DOWN,
    KEY_PAGEUP,
    KEY_PAGEDOWN,
    KEY_SELECT,
    KEY_PRINT,
    KEY_ENTER,
    KEY_SNAPSHOT,
    KEY_INSERT,
    KEY_DELETE,
};

enum KeyModifier {
    kShiftKey = 1 << 0,
    kAlternateKey = 1 << 1,
    kCommandKey = 1 << 2,
    kControlKey = 1 << 3,
};

} // namespace Steinberg
