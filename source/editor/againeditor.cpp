#include "editor/againeditor.h"

#include "editor/EditorResources.h"
#include "sdk/utf16.h"

#include "pluginterfaces/base/ustring.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace Steinberg {
namespace Vst {

using namespace VSTGUI;
using namespace velmora;

namespace {

// Every control tag, written once. Three-letter tags carry a space as their
// fourth character.
namespace tag {
constexpr ControlTag ByPB = makeTag("ByPB"), CPB = makeTag("CPB "), RmsB = makeTag("RmsB"),
                     ChLB = makeTag("ChLB"), DkB = makeTag("DkB "), EnvB = makeTag("EnvB");
constexpr ControlTag IGK = makeTag("IGK "), IGT = makeTag("IGT "), OGK = makeTag("OGK "),
                     OGT = makeTag("OGT "), ThrS = makeTag("ThrS"), ThrT = makeTag("ThrT"),
                     RmsK = makeTag("RmsK"), RmsT = makeTag("RmsT"), At1K = makeTag("At1K"),
                     At1T = makeTag("At1T"), At2K = makeTag("At2K"), At2T = makeTag("At2T"),
                     RelK = makeTag("RelK"), RelT = makeTag("RelT"), HOTK = makeTag("HOTK"),
                     HOTT = makeTag("HOTT"), HCTK = makeTag("HCTK"), HCTT = makeTag("HCTT"),
                     HCPK = makeTag("HCPK"), HCPT = makeTag("HCPT"), ADTK = makeTag("ADTK"),
                     ADTT = makeTag("ADTT"), AITK = makeTag("AITK"), AITT = makeTag("AITT");
constexpr ControlTag DF1K = makeTag("DF1K"), DF1T = makeTag("DF1T"), DF2K = makeTag("DF2K"),
                     DF2T = makeTag("DF2T"), D1K = makeTag("D1K "), D1T = makeTag("D1T "),
                     D2K = makeTag("D2K "), D2T = makeTag("D2T "), D3K = makeTag("D3K "),
                     D3T = makeTag("D3T "), SF1K = makeTag("SF1K"), SF1T = makeTag("SF1T"),
                     SF2K = makeTag("SF2K"), SF2T = makeTag("SF2T"), C1K = makeTag("C1K "),
                     C1T = makeTag("C1T "), C2K = makeTag("C2K "), C2T = makeTag("C2T "),
                     C3K = makeTag("C3K "), C3T = makeTag("C3T "), F1K = makeTag("F1K "),
                     F1T = makeTag("F1T "), F2K = makeTag("F2K "), F2T = makeTag("F2T "),
                     F3K = makeTag("F3K "), F3T = makeTag("F3T ");
constexpr ControlTag Splash = makeTag("xxxx");
} // namespace tag

static_assert(tag::ThrS == 0x54687253 && tag::IGK == 0x49474B20);
static_assert(isValueFieldTag(tag::IGT) && isValueFieldTag(tag::HOTT) &&
              isValueFieldTag(tag::ThrT));
static_assert(!isValueFieldTag(tag::HOTK) && !isValueFieldTag(tag::DkB) &&
              !isValueFieldTag(tag::ThrS) && !isValueFieldTag(tag::CPB));

struct TagBinding {
    ControlTag tag;
    ParamID id;
};

// The one place where a control finds its parameter.
constexpr TagBinding kBindings[] = {
    {tag::ByPB, kBypass},        {tag::CPB, kCtrlOut},          {tag::RmsB, kDetectionMethod},
    {tag::ChLB, kChannelMode},   {tag::DkB, kGateMode},         {tag::EnvB, kAttEnvelope},
    {tag::IGK, kInputLevel},     {tag::IGT, kInputLevel},       {tag::OGK, kOutputLevel},
    {tag::OGT, kOutputLevel},    {tag::ThrS, kThreshold},       {tag::ThrT, kThreshold},
    {tag::RmsK, kRmsWindow},     {tag::RmsT, kRmsWindow},       {tag::At1K, kAttackGradual},
    {tag::At1T, kAttackGradual}, {tag::At2K, kAttackSynth},     {tag::At2T, kAttackSynth},
    {tag::RelK, kRelease},       {tag::RelT, kRelease},         {tag::HOTK, kHold},
    {tag::HOTT, kHold},          {tag::HCTK, kTriggeredMuting}, {tag::HCTT, kTriggeredMuting},
    {tag::HCPK, kBeatSkip},      {tag::HCPT, kBeatSkip},        {tag::ADTK, kAttackDelay},
    {tag::ADTT, kAttackDelay},   {tag::AITK, kNoteTruncate},    {tag::AITT, kNoteTruncate},
    {tag::DF1K, kCtrlBandEdge1}, {tag::DF1T, kCtrlBandEdge1},   {tag::DF2K, kCtrlBandEdge2},
    {tag::DF2T, kCtrlBandEdge2}, {tag::D1K, kCtrlSignalLo},     {tag::D1T, kCtrlSignalLo},
    {tag::D2K, kCtrlSignalMid},  {tag::D2T, kCtrlSignalMid},    {tag::D3K, kCtrlSignalHi},
    {tag::D3T, kCtrlSignalHi},   {tag::SF1K, kOutBandEdge1},    {tag::SF1T, kOutBandEdge1},
    {tag::SF2K, kOutBandEdge2},  {tag::SF2T, kOutBandEdge2},    {tag::C1K, kOpenLevelLo},
    {tag::C1T, kOpenLevelLo},    {tag::C2K, kOpenLevelMid},     {tag::C2T, kOpenLevelMid},
    {tag::C3K, kOpenLevelHi},    {tag::C3T, kOpenLevelHi},      {tag::F1K, kClosedLevelLo},
    {tag::F1T, kClosedLevelLo},  {tag::F2K, kClosedLevelMid},   {tag::F2T, kClosedLevelMid},
    {tag::F3K, kClosedLevelHi},  {tag::F3T, kClosedLevelHi},
};
static_assert(std::size(kBindings) == 2 * kNumContinuous + kNumSwitches);

bool lookUpImage(UTF8StringPtr name, const void** data, std::size_t* size) {
    const auto png = findEditorResource(name);
    if (png.empty()) {
        return false;
    }
    *data = png.data();
    *size = png.size();
    return true;
}

const CColor kVersionGrey(160, 160, 160, 255);

// Builds the views of one open and adds them to the frame in stacking order.
class Builder {
public:
    Builder(CFrame* frame, CControlListener* listener) : frame_(frame), listener_(listener) {
        labelFont_ = new CFontDesc("Arial", 9);
        fieldFont_ = new CFontDesc("Arial", 10);
    }
    ~Builder() {
        labelFont_->forget();
        fieldFont_->forget();
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    void label(const CRect& r, const char* text, bool antialias = true,
               const CColor& colour = kWhiteCColor) {
        auto* view = new CTextLabel(r, text, nullptr, kNoFrame);
        style(view, labelFont_, colour);
        view->setAntialias(antialias);
        frame_->addView(view);
    }

    CTextEdit* field(const CRect& r, ControlTag t, bool transparent = false) {
        auto* view = new CTextEdit(r, listener_, t, "", nullptr, kNoFrame);
        style(view, fieldFont_, kWhiteCColor);
        view->setTransparency(transparent);
        frame_->addView(view);
        return view;
    }

    CAnimKnob* knob(CCoord left, CCoord top, ControlTag t, CBitmap* strip) {
        const CCoord height = strip->getHeight() / kKnobFrames;
        auto* view = new CAnimKnob(CRect(CPoint(left, top), CPoint(strip->getWidth(), height)),
                                   listener_, t, kKnobFrames, height, strip);
        frame_->addView(view);
        return view;
    }

    CMovieButton* button(const CRect& r, ControlTag t, const char* image) {
        auto* bitmap = new CBitmap(image);
        auto* view = new CMovieButton(r, listener_, t, bitmap);
        bitmap->forget();
        frame_->addView(view);
        return view;
    }

    CVuMeter* meter(const CRect& r, CBitmap* on, CBitmap* off) {
        auto* view = new CVuMeter(r, on, off, kMeterSegments, kVertical);
        view->setMin(0.0f);
        view->setMax(1.0f);
        frame_->addView(view);
        return view;
    }

    CFrame* frame() const { return frame_; }
    CControlListener* listener() const { return listener_; }

    static constexpr std::int32_t kKnobFrames = 80;
    static constexpr std::int32_t kMeterSegments = 26;

private:
    static void style(CTextLabel* view, CFontRef font, const CColor& colour) {
        view->setFont(font);
        view->setFontColor(colour);
        view->setBackColor(kTransparentCColor);
        view->setHoriAlign(kCenterText);
    }

    CFrame* frame_;
    CControlListener* listener_;
    CFontRef labelFont_ = nullptr;
    CFontRef fieldFont_ = nullptr;
};

} // namespace

bool againEditorView::parameterOfTag(ControlTag t, ParamID& id) {
    for (const TagBinding& binding : kBindings) {
        if (binding.tag == t) {
            id = binding.id;
            return true;
        }
    }
    return false;
}

againEditorView::againEditorView(EditController* controller) : VSTGUIEditor(controller) {
    setResourceLookup(lookUpImage);
    setIdleRate(kTimerMs);
    ViewRect size(0, 0, kWidth, kHeight);
    setRect(size);
}

bool PLUGIN_API againEditorView::open(void* parent) {
    if (frame != nullptr) {
        return false;
    }
    buildViews(parent);
    for (int id = 0; id <= kLastContinuous; ++id) {
        updateParameter(static_cast<ParamID>(id), controller->getParamNormalized(id));
    }
    return true;
}

void againEditorView::buildViews(void* parent) {
    frame = new CFrame(CRect(0, 0, kWidth, kHeight), parent, this);
    Builder b(frame, this);
    // The knob cells share one layout: caption line(s), knob, value field.
    CBitmap* strip = nullptr;
    const auto cell = [&](ParamID id, ControlTag knobTag, CCoord knobLeft, CCoord knobTop,
                          ControlTag fieldTag, const CRect& fieldRect) {
        controls_[id] = b.knob(knobLeft, knobTop, knobTag, strip);
        fields_[id] = b.field(fieldRect, fieldTag);
    };

    b.label(CRect(30, 301, 150, 319), "v1.8 Dec 15 2014 21:15:13", true, kVersionGrey);

    background_ = new CBitmap("background.png");
    frame->setBackground(background_);
    strip = new CBitmap("knobImg1.png");
    auto* splashImage = new CBitmap("splashImg.png");
    frame->addView(new CSplashScreen(CRect(10, 250, 170, 330), this, tag::Splash, splashImage,
                                     CRect(0, 0, kWidth, kHeight)));
    splashImage->forget();

    b.label(CRect(275, 5, 355, 41), "Gating Controls");

    // The threshold slider lies over both level meters so that its handle
    // brackets the bars.
    auto* handle = new CBitmap("VVuSliderHandle.png");
    auto* track = new CBitmap("vVuSliderBackground.png");
    auto* vu1On = new CBitmap("VVuSlider1On.png");
    auto* vu1Off = new CBitmap("VVuSlider1Off.png");
    auto* vu2On = new CBitmap("VVuSlider2On.png");
    auto* vu2Off = new CBitmap("VVuSlider2Off.png");
    meters_[0] = b.meter(CRect(207, 63, 223, 282), vu1On, vu1Off);
    meters_[1] = b.meter(CRect(207, 65, 223, 284), vu2On, vu2Off);
    b.label(CRect(195, 35, 235, 53), "Threshold");
    const CRect sliderRect(195, 53, 235, 292);
    controls_[kThreshold] = new CVerticalSlider(sliderRect, this, tag::ThrS, CPoint(0, 0),
                                                static_cast<std::int32_t>(sliderRect.getHeight()),
                                                handle, track, CPoint(0, 0), kTop | kVertical);
    frame->addView(controls_[kThreshold]);
    for (CBitmap* bitmap : {handle, track, vu1On, vu1Off, vu2On, vu2Off}) {
        bitmap->forget();
    }
    fields_[kThreshold] = b.field(CRect(195, 295, 235, 307), tag::ThrT);

    auto* lampOn = new CBitmap("VuGateLevOpen.png");
    auto* lampOff = new CBitmap("VuGateLevClosed.png");
    const CPoint lampSize(lampOff->getWidth(), lampOff->getHeight());
    b.label(CRect(274, 199, 324, 209), " Max Gate", false);
    meters_[2] = b.meter(CRect(CPoint(257, 196), lampSize), lampOn, lampOff);
    b.label(CRect(374, 199, 424, 209), "Min Gate", false);
    meters_[3] = b.meter(CRect(CPoint(357, 196), lampSize), lampOn, lampOff);
    lampOn->forget();
    lampOff->forget();

    // Both attack pairs share one place; updateParameter shows one of them.
    b.label(CRect(243, 35, 283, 53), "Attack");
    controls_[kAttackGradual] = b.knob(245, 50, tag::At1K, strip);
    fields_[kAttackGradual] = b.field(CRect(240, 93, 290, 105), tag::At1T, true);
    controls_[kAttackSynth] = b.knob(245, 50, tag::At2K, strip);
    fields_[kAttackSynth] = b.field(CRect(240, 93, 290, 105), tag::At2T, true);
    b.label(CRect(295, 35, 335, 53), "Release");
    cell(kRelease, tag::RelK, 295, 50, tag::RelT, CRect(290, 93, 340, 105));
    b.label(CRect(343, 35, 383, 53), "Hold");
    cell(kHold, tag::HOTK, 345, 50, tag::HOTT, CRect(345, 93, 385, 105));
    b.label(CRect(392, 35, 436, 53), "RMS Win");
    cell(kRmsWindow, tag::RmsK, 395, 50, tag::RmsT, CRect(395, 93, 435, 105));

    b.label(CRect(391, 118, 435, 136), "Detection");
    b.label(CRect(395, 130, 433, 148), "Method");
    controls_[kDetectionMethod] =
        b.button(CRect(395, 145, 435, 177), tag::RmsB, "ButtonPeakRms.png");
    b.label(CRect(243, 118, 283, 136), "Attack");
    b.label(CRect(245, 130, 285, 148), "Envelope");
    controls_[kAttEnvelope] = b.button(CRect(245, 145, 285, 177), tag::EnvB, "Env.png");
    b.label(CRect(295, 118, 335, 136), "Channel");
    b.label(CRect(291, 130, 338, 148), "Processing");
    controls_[kChannelMode] = b.button(CRect(295, 145, 335, 177), tag::ChLB, "ButtonLinkChInd.png");
    b.label(CRect(343, 118, 383, 136), "Gating");
    b.label(CRect(343, 130, 383, 148), "Mode");
    controls_[kGateMode] = b.button(CRect(345, 145, 385, 177), tag::DkB, "ButtonDuck.png");

    b.label(CRect(243, 225, 283, 243), "Attack");
    b.label(CRect(243, 237, 283, 255), "Delay");
    cell(kAttackDelay, tag::ADTK, 245, 252, tag::ADTT, CRect(240, 295, 290, 307));
    b.label(CRect(293, 225, 333, 243), "Note");
    b.label(CRect(294, 237, 334, 255), "Truncate");
    cell(kNoteTruncate, tag::AITK, 295, 252, tag::AITT, CRect(290, 295, 340, 307));
    b.label(CRect(339, 225, 389, 243), "Triggered");
    b.label(CRect(339, 237, 389, 255), "Muting");
    cell(kTriggeredMuting, tag::HCTK, 345, 252, tag::HCTT, CRect(340, 295, 390, 307));
    b.label(CRect(389, 225, 439, 243), "Beat");
    b.label(CRect(389, 237, 439, 255), "Skip");
    cell(kBeatSkip, tag::HCPK, 395, 252, tag::HCPT, CRect(390, 295, 440, 307));

    b.label(CRect(50, 5, 130, 41), "Control Signal");
    b.label(CRect(50, 100, 130, 136), "Control Bands");
    b.label(CRect(20, 35, 60, 53), "Freq 1");
    cell(kCtrlBandEdge1, tag::DF1K, 20, 50, tag::DF1T, CRect(15, 93, 65, 105));
    b.label(CRect(70, 35, 110, 53), "Freq 2");
    cell(kCtrlBandEdge2, tag::DF2K, 70, 50, tag::DF2T, CRect(65, 93, 115, 105));
    b.label(CRect(119, 35, 159, 53), "In Gain");
    cell(kInputLevel, tag::IGK, 120, 50, tag::IGT, CRect(120, 93, 160, 105));
    b.label(CRect(20, 125, 60, 143), "Low");
    cell(kCtrlSignalLo, tag::D1K, 20, 140, tag::D1T, CRect(20, 183, 60, 195));
    b.label(CRect(70, 125, 110, 143), "Mid");
    cell(kCtrlSignalMid, tag::D2K, 70, 140, tag::D2T, CRect(70, 183, 110, 195));
    b.label(CRect(120, 125, 160, 143), "High");
    cell(kCtrlSignalHi, tag::D3K, 120, 140, tag::D3T, CRect(120, 183, 160, 195));

    controls_[kBypass] = b.button(CRect(45, 205, 85, 225), tag::ByPB, "ButtonSingleBypass.png");
    controls_[kCtrlOut] = b.button(CRect(95, 205, 135, 225), tag::CPB, "ButtonSingleCtrl.png");

    b.label(CRect(500, 5, 580, 41), "Output Signal");
    b.label(CRect(470, 35, 510, 53), "Freq 1");
    cell(kOutBandEdge1, tag::SF1K, 470, 50, tag::SF1T, CRect(465, 93, 515, 105));
    b.label(CRect(520, 35, 560, 53), "Freq 2");
    cell(kOutBandEdge2, tag::SF2K, 520, 50, tag::SF2T, CRect(515, 93, 565, 105));
    b.label(CRect(570, 35, 610, 53), "Out Gain");
    cell(kOutputLevel, tag::OGK, 570, 50, tag::OGT, CRect(570, 93, 610, 105));
    b.label(CRect(500, 100, 580, 136), "Gate Open");
    b.label(CRect(470, 125, 510, 143), "Low");
    cell(kOpenLevelLo, tag::C1K, 470, 140, tag::C1T, CRect(470, 183, 510, 195));
    b.label(CRect(520, 125, 560, 143), "Mid");
    cell(kOpenLevelMid, tag::C2K, 520, 140, tag::C2T, CRect(520, 183, 560, 195));
    b.label(CRect(570, 125, 610, 143), "High");
    cell(kOpenLevelHi, tag::C3K, 570, 140, tag::C3T, CRect(570, 183, 610, 195));
    b.label(CRect(500, 190, 580, 226), "Gate Closed");
    b.label(CRect(470, 215, 510, 233), "Low");
    cell(kClosedLevelLo, tag::F1K, 470, 230, tag::F1T, CRect(470, 273, 510, 285));
    b.label(CRect(520, 215, 560, 233), "Mid");
    cell(kClosedLevelMid, tag::F2K, 520, 230, tag::F2T, CRect(520, 273, 560, 285));
    b.label(CRect(570, 215, 610, 233), "High");
    cell(kClosedLevelHi, tag::F3K, 570, 230, tag::F3T, CRect(570, 273, 610, 285));
    strip->forget();
}

void PLUGIN_API againEditorView::close() {
    if (frame != nullptr) {
        frame->forget();
        frame = nullptr;
    }
    if (background_ != nullptr) {
        background_->forget();
        background_ = nullptr;
    }
    clearControls();
}

void againEditorView::clearControls() {
    controls_.fill(nullptr);
    fields_.fill(nullptr);
    meters_.fill(nullptr);
}

tresult PLUGIN_API againEditorView::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) {
        return kInvalidArgument;
    }
    const int32 width = rect->right - rect->left;
    if (width < kWidth) {
        rect->right = rect->left + kWidth;
    } else if (width > kMaxWidth) {
        rect->right = rect->left + kMaxWidth;
    }
    const int32 height = rect->bottom - rect->top;
    if (height < kHeight) {
        rect->bottom = rect->top + kHeight;
    } else if (height > kMaxHeight) {
        rect->bottom = rect->top + kMaxHeight;
    }
    return kResultTrue;
}

CMessageResult againEditorView::notify(CBaseObject* sender, IdStringPtr message) {
    if (message == CVSTGUITimer::kMsgTimer ||
        (message != nullptr && std::strcmp(message, CVSTGUITimer::kMsgTimer) == 0)) {
        for (std::size_t i = 0; i < meters_.size(); ++i) {
            if (meters_[i] != nullptr) {
                meters_[i]->setValue(meterValues_[i]);
            }
        }
    }
    return VSTGUIEditor::notify(sender, message);
}

CControl* againEditorView::directControl(ParamID id) const {
    return id < controls_.size() ? controls_[id] : nullptr;
}

void againEditorView::showText(CTextEdit* field, ParamID id, ParamValue value) {
    if (field == nullptr) {
        return;
    }
    String128 text{};
    controller->getParamStringByValue(id, value, text);
    std::string shown = velmora::toUtf8(reinterpret_cast<const char16_t*>(text), 128);
    // At most 127 bytes, cut at a character boundary.
    if (shown.size() > CTextEdit::kMaxTypedChars) {
        std::size_t end = CTextEdit::kMaxTypedChars;
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) {
            --end;
        }
        shown.resize(end);
    }
    field->setText(shown.c_str());
}

void againEditorView::updateParameter(ParamID id, ParamValue value) {
    const auto shown = static_cast<float>(value);
    if (isSwitch(id)) {
        if (CControl* button = directControl(id)) {
            button->setValue(shown);
        }
        if (id == kAttEnvelope) {
            // Exactly 0.5 still counts as the synth envelope.
            const bool gradual = shown > 0.5f;
            for (auto [pairId, visible] :
                 {std::pair{kAttackGradual, gradual}, std::pair{kAttackSynth, !gradual}}) {
                if (controls_[pairId] != nullptr) {
                    controls_[pairId]->setVisible(visible);
                }
                if (fields_[pairId] != nullptr) {
                    fields_[pairId]->setVisible(visible);
                }
            }
        }
        return;
    }
    if (isMeter(id)) {
        meterValues_[id - kFirstMeter] = shown;
        return;
    }
    if (!isContinuous(id) || controls_[id] == nullptr) {
        return;
    }
    controls_[id]->setValue(shown);
    showText(fields_[id], id, value);

    // The band edges keep their order on screen: the other edge's knob and
    // field follow, while its parameter keeps its own value.
    const auto follow = [&](ParamID other, bool pushUp) {
        CControl* knob = controls_[other];
        if (knob == nullptr) {
            return;
        }
        if (pushUp ? knob->getValue() < shown : knob->getValue() > shown) {
            knob->setValue(shown);
            showText(fields_[other], other, value);
        }
    };
    switch (id) {
    case kCtrlBandEdge1:
        follow(kCtrlBandEdge2, true);
        break;
    case kCtrlBandEdge2:
        follow(kCtrlBandEdge1, false);
        break;
    case kOutBandEdge1:
        follow(kOutBandEdge2, true);
        break;
    case kOutBandEdge2:
        follow(kOutBandEdge1, false);
        break;
    default:
        break;
    }
}

void againEditorView::valueChanged(CControl* control) {
    if (control == nullptr) {
        return;
    }
    ParamID id = 0;
    const ControlTag t = control->getTag();
    if (!parameterOfTag(t, id)) {
        return;
    }
    if (!isValueFieldTag(t)) {
        controller->setParamNormalized(id, control->getValue());
        controller->performEdit(id, control->getValue());
        return;
    }
    CControl* knob = directControl(id);
    auto* field = dynamic_cast<CTextEdit*>(control);
    if (knob == nullptr || field == nullptr) {
        return;
    }
    // Read as through a buffer of 128 bytes: at most 127 of them take part.
    std::string_view typed(field->getText());
    typed = typed.substr(0, 127);
    std::u16string text = velmora::toUtf16(typed);
    text.resize(std::min<std::size_t>(text.size(), 127));
    String128 entry{};
    std::copy(text.begin(), text.end(), entry);
    ParamValue value = knob->getValue();
    if (controller->getParamValueByString(id, entry, value) != kResultOk) {
        // Unreadable: the knob keeps its value and the field shows its text
        // again; nothing reaches the host.
        showText(field, id, knob->getValue());
        return;
    }
    knob->setValue(static_cast<float>(value));
    valueChanged(knob);
    knob->invalid();
}

void againEditorView::controlBeginEdit(CControl* control) {
    ParamID id = 0;
    if (control != nullptr && parameterOfTag(control->getTag(), id) &&
        !isValueFieldTag(control->getTag())) {
        controller->beginEdit(id);
    }
}

void againEditorView::controlEndEdit(CControl* control) {
    ParamID id = 0;
    if (control != nullptr && parameterOfTag(control->getTag(), id) &&
        !isValueFieldTag(control->getTag())) {
        controller->endEdit(id);
    }
}

tresult PLUGIN_API againEditorView::findParameter(int32, int32, ParamID&) {
    return kResultFalse;
}

tresult PLUGIN_API againEditorView::executeMenuItem(int32) {
    return kResultFalse;
}

} // namespace Vst
} // namespace Steinberg
