#include "controller/Parameters.h"
#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"

#include "base/source/fobject.h"
#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::ParameterScaling;

namespace {

IPtr<ScaledParameter> make(uint32 id) {
    return owned(createScaledParameter(id, 1));
}

std::string display(const Parameter& p, double x) {
    String128 text;
    p.toString(x, text);
    std::string out;
    for (int i = 0; i < 128 && text[i] != 0; ++i) {
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}

bool enter(const Parameter& p, const char* text, double& value) {
    return p.fromString(UString128(text), value);
}

constexpr double kJustAbove = 1e-7;

} // namespace

TEST(Parameters, ClassesTitlesDefaultsAndStartValues) {
    const ParameterScaling scaling;
    for (int id = velmora::kFirstContinuous; id <= velmora::kLastContinuous; ++id) {
        const auto p = make(id);
        ASSERT_TRUE(p) << id;
        const ParameterInfo& info = p->getInfo();
        EXPECT_EQ(info.id, static_cast<ParamID>(id));
        char title[128];
        UString(const_cast<char16*>(info.title), 128).toAscii(title, 128);
        EXPECT_STREQ(title, velmora::paramTitle(id));
        EXPECT_EQ(info.units[0], 0);
        EXPECT_EQ(info.shortTitle[0], 0);
        EXPECT_EQ(info.stepCount, 0);
        EXPECT_EQ(info.flags, 1);
        EXPECT_EQ(info.unitId, 0);
        EXPECT_EQ(info.defaultNormalizedValue, id == velmora::kNoteTruncate ? 0.0 : 1.0);
        EXPECT_EQ(p->getNormalized(), static_cast<double>(scaling.defaultNormalized(id)));
        // The SDK's own plain conversion stays the identity.
        EXPECT_EQ(p->toPlain(0.3), 0.3);
        EXPECT_EQ(p->toNormalized(250.0), 250.0);
    }
    // The factory builds the class that belongs to each ID.
    EXPECT_TRUE(dynamic_cast<InputLevParameter*>(make(velmora::kInputLevel).get()));
    EXPECT_TRUE(dynamic_cast<TimeAtt1Parameter*>(make(velmora::kAttackGradual).get()));
    EXPECT_TRUE(dynamic_cast<HoldClosedProbParameter*>(make(velmora::kBeatSkip).get()));
    EXPECT_TRUE(dynamic_cast<AttIsoTimeParameter*>(make(velmora::kNoteTruncate).get()));
    EXPECT_TRUE(dynamic_cast<SigFreq2Parameter*>(make(velmora::kOutBandEdge2).get()));
    EXPECT_TRUE(dynamic_cast<FloorLevHiParameter*>(make(velmora::kClosedLevelHi).get()));
    EXPECT_TRUE(make(velmora::kCtrlSignalMid)->isA("DetLevMidParameter"));
    EXPECT_FALSE(make(velmora::kBypass));
    EXPECT_FALSE(make(velmora::kMaxVu));

    // A class keeps its own behaviour whatever ID it is given.
    const auto release = owned(new TimeRelParameter(1, 77));
    EXPECT_EQ(release->getInfo().id, 77u);
    EXPECT_EQ(display(*release, 0.0), "1.00 ms");
}

TEST(Parameters, StartValueTexts) {
    const std::vector<std::pair<velmora::ParamId, const char*>> expected = {
        {velmora::kInputLevel, "0.0 dB"},      {velmora::kOutputLevel, "0.0 dB"},
        {velmora::kThreshold, "-20.0 dB"},     {velmora::kRmsWindow, "50.0 ms"},
        {velmora::kAttackGradual, "1.00 ms"},  {velmora::kAttackSynth, "5.00 ms"},
        {velmora::kRelease, "10.0 ms"},        {velmora::kHold, "35.0 ms"},
        {velmora::kTriggeredMuting, " off"},   {velmora::kBeatSkip, " off"},
        {velmora::kAttackDelay, " off"},       {velmora::kNoteTruncate, " off"},
        {velmora::kCtrlBandEdge1, "1000 Hz"},  {velmora::kCtrlBandEdge2, "5000 Hz"},
        {velmora::kCtrlSignalLo, "0.0 dB"},    {velmora::kCtrlSignalMid, "0.0 dB"},
        {velmora::kCtrlSignalHi, "0.0 dB"},    {velmora::kOutBandEdge1, "220 Hz"},
        {velmora::kOutBandEdge2, "880 Hz"},    {velmora::kOpenLevelLo, "0.0 dB"},
        {velmora::kOpenLevelMid, "0.0 dB"},    {velmora::kOpenLevelHi, "0.0 dB"},
        {velmora::kClosedLevelLo, "-99.0 dB"}, {velmora::kClosedLevelMid, "-99.0 dB"},
        {velmora::kClosedLevelHi, "-99.0 dB"},
    };
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(velmora::kNumContinuous));
    for (const auto& [id, text] : expected) {
        const auto p = make(id);
        EXPECT_EQ(display(*p, p->getNormalized()), text) << velmora::paramTitle(id);
    }
}

TEST(Parameters, RangeEndTexts) {
    EXPECT_EQ(display(*make(velmora::kAttackGradual), 0.0), "0.01 ms");
    EXPECT_EQ(display(*make(velmora::kAttackGradual), 1.0), "3000 ms");
    EXPECT_EQ(display(*make(velmora::kAttackSynth), 1.0), "9000 ms");
    EXPECT_EQ(display(*make(velmora::kRelease), 0.0), "1.00 ms");
    EXPECT_EQ(display(*make(velmora::kRmsWindow), 0.0), "1.00 ms");
    EXPECT_EQ(display(*make(velmora::kHold), 0.0), "5.00 ms");
    EXPECT_EQ(display(*make(velmora::kHold), 1.0), "1000 ms");
    EXPECT_EQ(display(*make(velmora::kThreshold), 0.0), "0.0 dB");
    EXPECT_EQ(display(*make(velmora::kThreshold), 1.0), "-60.0 dB");
    EXPECT_EQ(display(*make(velmora::kInputLevel), 0.0), "-60.0 dB");
    EXPECT_EQ(display(*make(velmora::kOutputLevel), 1.0), "40.0 dB");
    for (uint32 id : {velmora::kCtrlBandEdge1, velmora::kCtrlBandEdge2, velmora::kOutBandEdge1,
                      velmora::kOutBandEdge2}) {
        EXPECT_EQ(display(*make(id), 0.0), "10 Hz");
        EXPECT_EQ(display(*make(id), 1.0), "20000 Hz");
        EXPECT_EQ(display(*make(id), 0.5), "447 Hz");
    }

    // Level families: -99 exactly at 0, about -60 just above it, and most of
    // the travel near 0 dB.
    for (uint32 id : {velmora::kCtrlSignalLo, velmora::kCtrlSignalHi, velmora::kOpenLevelMid,
                      velmora::kClosedLevelLo, velmora::kClosedLevelHi}) {
        const auto p = make(id);
        EXPECT_EQ(display(*p, 0.0), "-99.0 dB");
        EXPECT_EQ(display(*p, kJustAbove), "-60.0 dB");
        EXPECT_EQ(display(*p, std::numeric_limits<float>::denorm_min()), "-60.0 dB");
        EXPECT_EQ(display(*p, 0.5), "-10.7 dB");
        EXPECT_EQ(display(*p, 1.0), "0.0 dB");
    }

    // Only exactly 0 shows the off text.
    EXPECT_EQ(display(*make(velmora::kNoteTruncate), kJustAbove), "10.0 ms");
    EXPECT_EQ(display(*make(velmora::kNoteTruncate), 1.0), "1000 ms");
    EXPECT_EQ(display(*make(velmora::kTriggeredMuting), kJustAbove), "0.000 ms");
    EXPECT_EQ(display(*make(velmora::kTriggeredMuting), 1.0), "4000 ms");
    EXPECT_EQ(display(*make(velmora::kAttackDelay), kJustAbove), "0.000 ms");
    // A double too small for single precision narrows to exactly 0.
    EXPECT_EQ(display(*make(velmora::kAttackDelay), 1e-300), " off");

    const auto beatSkip = make(velmora::kBeatSkip);
    EXPECT_EQ(display(*beatSkip, 0.0), " off");
    EXPECT_EQ(display(*beatSkip, 0.5), "50%");
    EXPECT_EQ(display(*beatSkip, 1.0), "100%");
}

TEST(Parameters, MillisecondPrecisionSteps) {
    // Release: exp(k x + c) - 1 over 1..4000 ms; pick positions by plain value.
    const ParameterScaling s;
    const auto release = make(velmora::kRelease);
    auto textAt = [&](float ms) {
        return display(*release, s.toNormalized(velmora::kRelease, ms));
    };
    EXPECT_EQ(textAt(250.0f), "250 ms");
    EXPECT_EQ(textAt(100.0f), "100 ms");
    EXPECT_EQ(textAt(99.0f), "99.0 ms");
    EXPECT_EQ(textAt(12.34f), "12.3 ms");
    EXPECT_EQ(textAt(9.9f), "9.90 ms");
    EXPECT_EQ(textAt(2.5f), "2.50 ms");
    const auto attack = make(velmora::kAttackGradual);
    EXPECT_EQ(display(*attack, s.toNormalized(velmora::kAttackGradual, 0.05f)), "0.05 ms");
}

TEST(Parameters, Entry) {
    const ParameterScaling s;
    double v = -1.0;

    const auto edge = make(velmora::kCtrlBandEdge1);
    ASSERT_TRUE(enter(*edge, "250 Hz", v));
    EXPECT_EQ(v, static_cast<double>(s.toNormalized(velmora::kCtrlBandEdge1, 250.0f)));
    ASSERT_TRUE(enter(*edge, "5", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(enter(*edge, "30000", v));
    EXPECT_EQ(v, 1.0);
    ASSERT_TRUE(enter(*make(velmora::kOutBandEdge2), "10", v));
    EXPECT_EQ(v, 0.0);

    const auto release = make(velmora::kRelease);
    ASSERT_TRUE(enter(*release, "1,5 ms", v));
    EXPECT_EQ(v, static_cast<double>(s.toNormalized(velmora::kRelease, 1.5f)));
    // Only the first comma is a decimal point.
    ASSERT_TRUE(enter(*release, "2,5,7", v));
    EXPECT_EQ(v, static_cast<double>(s.toNormalized(velmora::kRelease, 2.5f)));

    // No number: false, output untouched.
    v = 0.123;
    EXPECT_FALSE(enter(*release, "abc", v));
    EXPECT_FALSE(enter(*release, "", v));
    EXPECT_FALSE(enter(*make(velmora::kAttackDelay), " off", v));
    EXPECT_FALSE(enter(*make(velmora::kAttackDelay), "off", v));
    EXPECT_EQ(v, 0.123);
    EXPECT_FALSE(release->fromString(nullptr, v));

    ASSERT_TRUE(enter(*make(velmora::kOpenLevelLo), "-99", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(enter(*make(velmora::kBeatSkip), "25", v));
    EXPECT_EQ(v, 0.25);
    ASSERT_TRUE(enter(*make(velmora::kBeatSkip), "0", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(enter(*make(velmora::kNoteTruncate), "0", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(enter(*make(velmora::kThreshold), "-20 dB", v));
    EXPECT_EQ(v, static_cast<double>(1.0f / 3.0f));

    // The number is found wherever it starts; text after it is ignored.
    ASSERT_TRUE(enter(*make(velmora::kHold), "Hold: 35.0 ms", v));
    EXPECT_EQ(v, static_cast<double>(s.toNormalized(velmora::kHold, 35.0f)));
    ASSERT_TRUE(enter(*make(velmora::kInputLevel), "gain +6dB", v));
    EXPECT_EQ(v, static_cast<double>(s.toNormalized(velmora::kInputLevel, 6.0f)));

    // Out of range but with a logarithm: not clamped here (setNormalized does).
    ASSERT_TRUE(enter(*make(velmora::kInputLevel), "100", v));
    EXPECT_EQ(v, static_cast<double>(160.0f / 120.0f));
    ASSERT_TRUE(enter(*make(velmora::kClosedLevelLo), "-80", v));
    EXPECT_LT(v, 0.0);
    const auto closed = make(velmora::kClosedLevelLo);
    closed->setNormalized(v);
    EXPECT_EQ(display(*closed, closed->getNormalized()), "-99.0 dB");
}

TEST(Parameters, EntryNeverGivesNaN) {
    double v = 0.123;
    // Above 3 dB the level families have no logarithm; below the pole neither
    // have the time rows: rejected, value unchanged.
    EXPECT_FALSE(enter(*make(velmora::kOpenLevelMid), "5 dB", v));
    EXPECT_FALSE(enter(*make(velmora::kCtrlSignalLo), "3.5", v));
    EXPECT_FALSE(enter(*make(velmora::kRmsWindow), "-2", v));
    EXPECT_FALSE(enter(*make(velmora::kTriggeredMuting), "-16", v));
    EXPECT_FALSE(enter(*make(velmora::kNoteTruncate), "-1.5", v));
    EXPECT_FALSE(enter(*make(velmora::kClosedLevelHi), "inf", v));
    EXPECT_EQ(v, 0.123);
    // NaN spellings are not numbers; the scan goes on past them.
    EXPECT_FALSE(enter(*make(velmora::kInputLevel), "nan", v));
    EXPECT_FALSE(enter(*make(velmora::kBeatSkip), "banana", v));
    EXPECT_EQ(v, 0.123);
    ASSERT_TRUE(enter(*make(velmora::kInputLevel), "nan 12", v));
    EXPECT_EQ(v, static_cast<double>(72.0f / 120.0f));

    // Exactly at the pole, and infinities: the nearer end of the range.
    struct Case {
        velmora::ParamId id;
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {velmora::kOpenLevelLo, "3", 1.0},       {velmora::kRmsWindow, "0", 0.0},
        {velmora::kTriggeredMuting, "-15", 0.0}, {velmora::kRelease, "-1", 0.0},
        {velmora::kInputLevel, "inf", 1.0},      {velmora::kInputLevel, "-inf", 0.0},
        {velmora::kThreshold, "1e400", 0.0},     {velmora::kThreshold, "-1e400", 1.0},
        {velmora::kOutputLevel, "1e39", 1.0},    {velmora::kHold, "infinity", 1.0},
        {velmora::kCtrlSignalHi, "-inf", 0.0},   {velmora::kBeatSkip, "inf", 1.0},
        {velmora::kBeatSkip, "-1e300", 0.0},     {velmora::kCtrlBandEdge2, "inf", 1.0},
        {velmora::kOutBandEdge1, "-inf", 0.0},   {velmora::kOutBandEdge1, "1e300", 1.0},
    };
    for (const Case& c : cases) {
        double out = -5.0;
        ASSERT_TRUE(enter(*make(c.id), c.text, out)) << c.text;
        EXPECT_EQ(out, c.expected) << velmora::paramTitle(c.id) << " " << c.text;
    }

    // Every parameter, every awkward text: never NaN.
    const char* texts[] = {"0",   "-0",   "1e-45",   "-1e-45", "3",
                           "-3",  "1e38", "-1e38",   "1e39",   "-1e39",
                           "inf", "-inf", "0x1p200", "-99",    "99999999999999999999"};
    for (int id = velmora::kFirstContinuous; id <= velmora::kLastContinuous; ++id) {
        const auto p = make(id);
        for (const char* t : texts) {
            double out = 0.5;
            if (enter(*p, t, out)) {
                EXPECT_FALSE(std::isnan(out)) << velmora::paramTitle(id) << " " << t;
            }
        }
    }
}

TEST(Parameters, DisplayOutsideContractStaysInBuffers) {
    const double values[] = {-1.0,
                             2.0,
                             1e6,
                             -1e6,
                             1e300,
                             -1e300,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (int id = velmora::kFirstContinuous; id <= velmora::kLastContinuous; ++id) {
        const auto p = make(id);
        for (double x : values) {
            String128 text;
            for (char16& u : text) {
                u = 0x7777;
            }
            p->toString(x, text);
            int length = 0;
            while (length < 128 && text[length] != 0) {
                ++length;
            }
            EXPECT_LT(length, ScaledParameter::kTextCapacity) << velmora::paramTitle(id) << x;
            for (int i = length + 1; i < 128; ++i) {
                ASSERT_EQ(text[i], 0x7777) << "wrote past the text at " << i;
            }
        }
    }
    // Huge values keep their unit.
    EXPECT_EQ(display(*make(velmora::kInputLevel), 1e36), "1.2e+38 dB");
}
