// The plug-in's editor: a fixed 630 x 330 window of filmstrip knobs, value
// fields, two-state buttons, the threshold slider over the level meters, two
// gate lamps and a splash screen. It holds no parameter values of its own
// besides the last four meter readings; the controller owns every value and
// tells the editor about changes through updateParameter.
#pragma once

#include "controller/ParameterIds.h"
#include "controller/ParameterUpdateListener.h"
#include "sdk/vstguieditor.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <array>
#include <cstdint>

namespace Steinberg {
namespace Vst {

// A control tag: four ASCII characters, the first in the most significant byte.
using ControlTag = std::int32_t;

constexpr ControlTag makeTag(const char (&chars)[5]) {
    return static_cast<ControlTag>(
        (static_cast<std::uint32_t>(static_cast<unsigned char>(chars[0])) << 24) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(chars[1])) << 16) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(chars[2])) << 8) |
        static_cast<std::uint32_t>(static_cast<unsigned char>(chars[3])));
}

// Value fields end in T, or have T third and a space last; every other bound
// tag belongs to a knob, a button or the slider.
constexpr bool isValueFieldTag(ControlTag tag) {
    const auto last = static_cast<char>(tag & 0xFF);
    const auto third = static_cast<char>((tag >> 8) & 0xFF);
    return last == 'T' || (last == ' ' && third == 'T');
}

class againEditorView : public VSTGUIEditor,
                        public VSTGUI::CControlListener,
                        public IParameterFinder,
                        public IContextMenuTarget,
                        public ParameterUpdateListener {
public:
    static constexpr int kWidth = 630;
    static constexpr int kHeight = 330;
    // Host size proposals are clamped to this range.
    static constexpr int kMaxWidth = 680;
    static constexpr int kMaxHeight = 380;
    static constexpr std::int32_t kTimerMs = 50;

    explicit againEditorView(EditController* controller);

    bool PLUGIN_API open(void* parent) override;
    void PLUGIN_API close() override;

    tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) SMTG_OVERRIDE;

    // The timer's tick moves the meters to the last values received.
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender,
                                  VSTGUI::IdStringPtr message) override;

    void valueChanged(VSTGUI::CControl* control) override;
    void controlBeginEdit(VSTGUI::CControl* control) override;
    void controlEndEdit(VSTGUI::CControl* control) override;

    // Shows a value the controller holds; never sets a parameter.
    void updateParameter(ParamID id, ParamValue value) override;

    // No parameter is reported under any point, and no menu item is ours.
    tresult PLUGIN_API findParameter(int32 xPos, int32 yPos, ParamID& resultTag) SMTG_OVERRIDE;
    tresult PLUGIN_API executeMenuItem(int32 tag) SMTG_OVERRIDE;

    // The parameter a tag stands for; false for the splash tag and unknown tags.
    static bool parameterOfTag(ControlTag tag, ParamID& id);

    DEFINE_INTERFACES
    DEF_INTERFACE(IParameterFinder)
    DEF_INTERFACE(IContextMenuTarget)
    END_DEFINE_INTERFACES(VSTGUIEditor)
    REFCOUNT_METHODS(VSTGUIEditor)

private:
    static constexpr std::size_t kBoundParams = velmora::kLastContinuous + 1;

    void buildViews(void* parent);
    void clearControls();
    // Puts the controller's text for `value` of `id` into a value field.
    void showText(VSTGUI::CTextEdit* field, ParamID id, ParamValue value);
    // The knob, button or slider bound to `id`; null when closed or none.
    VSTGUI::CControl* directControl(ParamID id) const;

    VSTGUI::CBitmap* background_ = nullptr;
    // Knobs, buttons and the slider by parameter ID 0..30.
    std::array<VSTGUI::CControl*, kBoundParams> controls_{};
    // Value fields by parameter ID 6..30 (null for the switches).
    std::array<VSTGUI::CTextEdit*, kBoundParams> fields_{};
    // Meters of IDs 31..34.
    std::array<VSTGUI::CVuMeter*, velmora::kNumMeters> meters_{};
    std::array<float, velmora::kNumMeters> meterValues_{};
};

} // namespace Vst
} // namespace Steinberg
