#include "controller/Parameters.h"

#include "pluginterfaces/base/ustring.h"

#include <cctype>
#include <cfloat>
#include <clocale>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale.h>

namespace Steinberg {
namespace Vst {
namespace {

using velmora::ParameterScaling;
using velmora::ParamId;
using Display = ScaledParameter::Display;

constexpr float kInf = std::numeric_limits<float>::infinity();

// Typed and displayed texts are at most one String128 long.
constexpr int kMaxEntryUnits = 128;

// Hosts may run with a locale whose decimal point is a comma; texts always
// use a period, so the numeric conversions run under the C locale.
class ClassicNumerics {
public:
    ClassicNumerics() {
        if (locale_t c = classic()) {
            previous_ = uselocale(c);
        }
    }
    ~ClassicNumerics() {
        if (previous_) {
            uselocale(previous_);
        }
    }
    ClassicNumerics(const ClassicNumerics&) = delete;
    ClassicNumerics& operator=(const ClassicNumerics&) = delete;

private:
    static locale_t classic() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_ = nullptr;
};

// Double to single precision; magnitudes beyond the float range become
// infinities instead of an out-of-range conversion.
float narrow(double v) {
    if (v > FLT_MAX) {
        return kInf;
    }
    if (v < -FLT_MAX) {
        return -kInf;
    }
    return static_cast<float>(v);
}

Display displayOf(ParamId row) {
    switch (ParameterScaling::kindOf(row)) {
    case velmora::ScalingKind::Linear:
    case velmora::ScalingKind::ReverseLogarithmic:
        return Display::Decibel;
    case velmora::ScalingKind::Identity:
        return Display::Percent;
    case velmora::ScalingKind::Exponential:
        if (row == velmora::kRmsWindow || row == velmora::kHold) {
            return Display::Milliseconds;
        }
        return Display::Hertz;
    default:
        return Display::Milliseconds;
    }
}

bool hasOffTextOf(ParamId row) {
    return row == velmora::kTriggeredMuting || row == velmora::kBeatSkip ||
           row == velmora::kAttackDelay || row == velmora::kNoteTruncate;
}

// Decimals of a millisecond text, by magnitude.
int millisecondDecimals(float p) {
    if (p >= 99.95f) {
        return 0;
    }
    if (p >= 9.995f) {
        return 1;
    }
    if (p >= 0.009995f) {
        return 2;
    }
    return 3;
}

void printNumber(char (&text)[ScaledParameter::kTextCapacity], float value, int decimals,
                 const char* unit) {
    const int n =
        std::snprintf(text, sizeof text, "%.*f%s", decimals, static_cast<double>(value), unit);
    if (n < 0 || n >= static_cast<int>(sizeof text)) {
        // Only values far outside the range get here; keep the unit visible.
        std::snprintf(text, sizeof text, "%.3g%s", static_cast<double>(value), unit);
    }
}

// The first decimal number in the text, scanned as C's %lf does from each
// position in turn. NaN spellings do not count as numbers.
bool scanNumber(const char* text, double& number) {
    for (const char* p = text; *p; ++p) {
        double v = 0.0;
        if (std::sscanf(p, "%lf", &v) == 1 && !std::isnan(v)) {
            number = v;
            return true;
        }
    }
    return false;
}

// A typed text as 8-bit text, at most kMaxEntryUnits characters: anything
// beyond ASCII becomes '?', and the first comma a decimal point.
void entryText(const TChar* string, char (&text)[kMaxEntryUnits + 1]) {
    int n = 0;
    bool commaSeen = false;
    for (; n < kMaxEntryUnits && string[n] != 0; ++n) {
        const char16 c = string[n];
        char c8 = c < 0x80 ? static_cast<char>(c) : '?';
        if (c8 == ',' && !commaSeen) {
            c8 = '.';
            commaSeen = true;
        }
        text[n] = c8;
    }
    text[n] = 0;
}

bool scanEntry(const char* text, double& number) {
    const ClassicNumerics numerics;
    return scanNumber(text, number);
}

// Whether the text is the word, ignoring case and surrounding blanks.
bool isWord(const char* text, const char* word) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    for (; *word != 0; ++text, ++word) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *word) {
            return false;
        }
    }
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    return *text == 0;
}

} // namespace

ScaledParameter::ScaledParameter(ParamId row, int32 flags, uint32 id)
    : row_(row), display_(displayOf(row)), hasOff_(hasOffTextOf(row)) {
    UString(info.title, str16BufferSize(String128)).fromAscii(velmora::paramTitle(row));
    info.defaultNormalizedValue = row == velmora::kNoteTruncate ? 0.0 : 1.0;
    info.flags = flags;
    info.id = id;
    info.stepCount = 0;
    info.unitId = kRootUnitId;
    setNormalized(scaling_.defaultNormalized(row));
}

void ScaledParameter::format(ParamValue valueNormalized, char (&text)[kTextCapacity]) const {
    const ClassicNumerics numerics;
    const float x = narrow(valueNormalized);
    if (hasOff_ && x == 0.0f) {
        std::snprintf(text, sizeof text, " off");
        return;
    }
    switch (display_) {
    case Display::Decibel:
        printNumber(text, scaling_.toPlain(row_, x), 1, " dB");
        break;
    case Display::Hertz:
        printNumber(text, scaling_.toPlain(row_, x), 0, " Hz");
        break;
    case Display::Milliseconds: {
        const float p = scaling_.toPlain(row_, x);
        printNumber(text, p, millisecondDecimals(p), " ms");
        break;
    }
    case Display::Percent: {
        const float percent = x * 100.0f;
        printNumber(text, percent, 0, "%");
        break;
    }
    }
}

void ScaledParameter::toString(ParamValue valueNormalized, String128 string) const {
    char text[kTextCapacity];
    format(valueNormalized, text);
    int i = 0;
    for (; text[i] != 0; ++i) {
        string[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    }
    string[i] = 0;
}

bool ScaledParameter::entryToNormalized(double number, ParamValue& valueNormalized) const {
    if (std::isnan(number)) {
        return false;
    }
    float normalized = 0.0f;
    if (display_ == Display::Hertz) {
        // The range check looks at the number as typed, before narrowing.
        if (number < static_cast<double>(scaling_.toPlain(row_, 0.0f))) {
            normalized = 0.0f;
        } else if (number > static_cast<double>(scaling_.toPlain(row_, 1.0f))) {
            normalized = 1.0f;
        } else {
            normalized = scaling_.toNormalized(row_, narrow(number));
        }
    } else if (display_ == Display::Percent) {
        normalized = narrow(number) / 100.0f;
    } else {
        const float v = narrow(number);
        // No logarithm (above 3 dB for the level families, below the pole for
        // the time rows): there is no sensible position to move to.
        if (!scaling_.inDomain(row_, v)) {
            return false;
        }
        normalized = scaling_.toNormalized(row_, v);
    }
    // Poles and infinite entries land on the nearer end; finite results
    // outside 0..1 are left for setNormalized to clamp.
    if (std::isinf(normalized)) {
        normalized = normalized > 0.0f ? 1.0f : 0.0f;
    }
    valueNormalized = normalized;
    return true;
}

bool ScaledParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    if (!string) {
        return false;
    }
    char text[kMaxEntryUnits + 1];
    entryText(string, text);
    double number = 0.0;
    if (!scanEntry(text, number)) {
        return false;
    }
    return entryToNormalized(number, valueNormalized);
}

PlainParameter::PlainParameter(const TChar* title, ParamID tag, int32 stepCount,
                               ParamValue defaultNormalized, int32 flags, UnitID unitId)
    : Parameter(title, tag, nullptr, defaultNormalized, stepCount, flags, unitId) {}

void PlainParameter::toString(ParamValue valueNormalized, String128 string) const {
    // The SDK prints the number into the 128 units as bytes and then writes
    // its terminator at the full printed length, far past the field for a
    // value like 1e200. A meter's value is shown as the parameter would
    // store it, in 0..1, which always fits.
    const ParamValue shown =
        std::isnan(valueNormalized) ? 0.0 : std::clamp(valueNormalized, 0.0, 1.0);
    Parameter::toString(shown, string);
}

bool PlainParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    if (!string) {
        return false;
    }
    char text[kMaxEntryUnits + 1];
    entryText(string, text);
    // A host may hand back the text it was shown.
    if (info.stepCount == 1) {
        if (isWord(text, "on")) {
            valueNormalized = 1.0;
            return true;
        }
        if (isWord(text, "off")) {
            valueNormalized = 0.0;
            return true;
        }
    }
    double number = 0.0;
    if (!scanEntry(text, number) || !std::isfinite(number)) {
        return false;
    }
    valueNormalized = number;
    return true;
}

ScaledParameter* createScaledParameter(uint32 id, int32 flags) {
    switch (id) {
    case velmora::kInputLevel:
        return new InputLevParameter(flags, id);
    case velmora::kOutputLevel:
        return new OutputLevParameter(flags, id);
    case velmora::kThreshold:
        return new ThresholdParameter(flags, id);
    case velmora::kRmsWindow:
        return new TimeRmsParameter(flags, id);
    case velmora::kAttackGradual:
        return new TimeAtt1Parameter(flags, id);
    case velmora::kAttackSynth:
        return new TimeAtt2Parameter(flags, id);
    case velmora::kRelease:
        return new TimeRelParameter(flags, id);
    case velmora::kHold:
        return new HoldOpenTimeParameter(flags, id);
    case velmora::kTriggeredMuting:
        return new HoldClosedTimeParameter(flags, id);
    case velmora::kBeatSkip:
        return new HoldClosedProbParameter(flags, id);
    case velmora::kAttackDelay:
        return new AttDelayTimeParameter(flags, id);
    case velmora::kNoteTruncate:
        return new AttIsoTimeParameter(flags, id);
    case velmora::kCtrlBandEdge1:
        return new DetFreq1Parameter(flags, id);
    case velmora::kCtrlBandEdge2:
        return new DetFreq2Parameter(flags, id);
    case velmora::kCtrlSignalLo:
        return new DetLevLoParameter(flags, id);
    case velmora::kCtrlSignalMid:
        return new DetLevMidParameter(flags, id);
    case velmora::kCtrlSignalHi:
        return new DetLevHiParameter(flags, id);
    case velmora::kOutBandEdge1:
        return new SigFreq1Parameter(flags, id);
    case velmora::kOutBandEdge2:
        return new SigFreq2Parameter(flags, id);
    case velmora::kOpenLevelLo:
        return new CeilLevLoParameter(flags, id);
    case velmora::kOpenLevelMid:
        return new CeilLevMidParameter(flags, id);
    case velmora::kOpenLevelHi:
        return new CeilLevHiParameter(flags, id);
    case velmora::kClosedLevelLo:
        return new FloorLevLoParameter(flags, id);
    case velmora::kClosedLevelMid:
        return new FloorLevMidParameter(flags, id);
    case velmora::kClosedLevelHi:
        return new FloorLevHiParameter(flags, id);
    default:
        return nullptr;
    }
}

} // namespace Vst
} // namespace Steinberg
