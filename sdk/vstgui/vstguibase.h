// The small value types of the widget library and its reference-counted base
// object, with the names, members and numbers the VSTGUI library uses, so that
// editor code written against that library reads the same here.
#pragma once

#include <cstdint>

namespace VSTGUI {

using CCoord = double;
using UTF8StringPtr = const char*;
using IdStringPtr = const char*;

struct CPoint {
    constexpr CPoint() = default;
    constexpr CPoint(CCoord x_, CCoord y_) : x(x_), y(y_) {}

    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    constexpr bool operator==(const CPoint& other) const = default;

    CCoord x = 0;
    CCoord y = 0;
};

// (left, top, right, bottom); width = right - left. A point on the right or
// bottom edge lies outside.
struct CRect {
    constexpr CRect() = default;
    constexpr CRect(CCoord l, CCoord t, CCoord r, CCoord b)
        : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    constexpr CCoord getWidth() const { return right - left; }
    constexpr CCoord getHeight() const { return bottom - top; }
    constexpr CPoint getTopLeft() const { return {left, top}; }
    CRect& setWidth(CCoord width) {
        right = left + width;
        return *this;
    }
    CRect& setHeight(CCoord height) {
        bottom = top + height;
        return *this;
    }
    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    constexpr bool isEmpty() const { return !(right > left && bottom > top); }
    constexpr bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr bool rectOverlap(const CRect& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    // Keeps only the part inside `other` (empty when they do not overlap).
    CRect& bound(const CRect& other);
    // Grows to hold `other` as well; an empty rectangle takes no part.
    CRect& unite(const CRect& other);
    constexpr bool operator==(const CRect& other) const = default;

    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;
};

// Red, green, blue, alpha; alpha 0 is fully transparent.
struct CColor {
    constexpr CColor() = default;
    constexpr CColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255)
        : red(r), green(g), blue(b), alpha(a) {}
    constexpr bool operator==(const CColor& other) const = default;

    std::uint8_t red = 255;
    std::uint8_t green = 255;
    std::uint8_t blue = 255;
    std::uint8_t alpha = 255;
};

constexpr CColor MakeCColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
    return CColor(r, g, b, a);
}
inline constexpr CColor kTransparentCColor(0, 0, 0, 0);
inline constexpr CColor kBlackCColor(0, 0, 0, 255);
inline constexpr CColor kWhiteCColor(255, 255, 255, 255);
inline constexpr CColor kGreyCColor(127, 127, 127, 255);

// Mouse buttons and modifier keys held during a mouse event.
enum CButton : std::int32_t {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
};

class CButtonState {
public:
    constexpr CButtonState(std::int32_t state = 0) : state_(state) {}
    constexpr std::int32_t getButtonState() const { return state_; }
    constexpr std::int32_t operator()() const { return state_; }
    constexpr bool isLeftButton() const { return (state_ & kLButton) != 0; }
    constexpr std::int32_t getModifierState() const {
        return state_ & (kShift | kControl | kAlt | kApple);
    }

private:
    std::int32_t state_;
};

enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
};

// A key: a character (a Unicode code point) or one of the virtual keys below,
// with the modifiers held. The numbers are those of VST 2 and VST 3 alike.
struct VstKeyCode {
    std::int32_t character = 0;
    std::uint8_t virt = 0;
    std::uint8_t modifier = 0;
};

enum VstVirtualKey : std::uint8_t {
    VKEY_BACK = 1,
    VKEY_TAB,
    VKEY_CLEAR,
    VKEY_RETURN,
    VKEY_PAUSE,
    VKEY_ESCAPE,
    VKEY_SPACE,
    VKEY_NEXT,
    VKEY_END,
    VKEY_HOME,
    VKEY_LEFT,
    VKEY_UP,
    VKEY_RIGHT,
    VKEY_DOWN,
    VKEY_PAGEUP,
    VKEY_PAGEDOWN,
    VKEY_SELECT,
    VKEY_PRINT,
    VKEY_ENTER,
    VKEY_SNAPSHOT,
    VKEY_INSERT,
    VKEY_DELETE,
};

enum VstModifierKey : std::uint8_t {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

// Style flags of the controls, as the library numbers them.
enum CControlEnum : std::int32_t {
    kHorizontal = 1 << 0,
    kVertical = 1 << 1,
    kShadowText = 1 << 2,
    kLeft = 1 << 3,
    kRight = 1 << 4,
    kTop = 1 << 5,
    kBottom = 1 << 6,
    k3DIn = 1 << 7,
    k3DOut = 1 << 8,
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
    kNoFrame = 1 << 14,
};

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

enum CMessageResult { kMessageUnknown = 0, kMessageNotified = 1 };

// Reference counting as the library does it: an object starts with one
// reference, owned by whoever created it; remember() adds one, forget() drops
// one and deletes the object with the last.
class CBaseObject {
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject() = default;

    virtual void remember() { ++nbReference_; }
    virtual void forget() {
        if (--nbReference_ == 0) {
            delete this;
        }
    }
    std::int32_t getNbReference() const { return nbReference_; }

    virtual CMessageResult notify(CBaseObject* /*sender*/, IdStringPtr /*message*/) {
        return kMessageUnknown;
    }

private:
    std::int32_t nbReference_ = 1;
};

// Makes `slot` hold a reference to `object` (either may be null) instead of
// the one it held.
template <typename T> void exchangeReference(T*& slot, T* object) {
    if (object != nullptr) {
        object->remember();
    }
    if (slot != nullptr) {
        slot->forget();
    }
    slot = object;
}

// Holds one reference for as long as it lives.
template <typename T> class SharedPointer {
public:
    SharedPointer() = default;
    explicit SharedPointer(T* object, bool remember = true) : object_(object) {
        if (object_ != nullptr && remember) {
            object_->remember();
        }
    }
    SharedPointer(const SharedPointer& other) : SharedPointer(other.object_) {}
    SharedPointer& operator=(const SharedPointer& other) {
        reset(other.object_);
        return *this;
    }
    ~SharedPointer() { reset(nullptr); }

    void reset(T* object) { exchangeReference(object_, object); }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

} // namespace VSTGUI
