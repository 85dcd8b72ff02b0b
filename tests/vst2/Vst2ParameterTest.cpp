// Parameters as a VST 2 host sees them: texts within the ABI's buffers and
// the same as the VST 3 controller's, values that round-trip, typed entry
// and the 152-byte properties of opcode 56.
#include "Vst2Bundle.h"

#include "controller/ParameterIds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace vst2test {
namespace {

std::string withoutSpaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

TEST(Vst2Parameters, TextsFitTheirBuffersAndMatchTheVst3Controller) {
    auto host = openEffect();
    auto vst3 = openVst3();
    ASSERT_TRUE(host && vst3);
    std::set<std::string> names;
    for (std::int32_t i = 0; i < host->effect()->numParams; ++i) {
        SCOPED_TRACE(velmora::kParamTitles[static_cast<std::size_t>(i)]);
        bool overrun = false;
        const std::string name = host->text(GetParamName, i, 8, overrun);
        EXPECT_FALSE(overrun);
        EXPECT_FALSE(name.empty());
        names.insert(name);
        host->text(GetParamLabel, i, 8, overrun);
        EXPECT_FALSE(overrun);

        for (int step = 0; step <= 40; ++step) {
            const float v = static_cast<float>(step) / 40.0f;
            host->set(i, v);
            const std::string shown = host->text(GetParamDisplay, i, 8, overrun);
            EXPECT_FALSE(overrun);
            // The controller's text where it fits, else the same squeezed.
            const std::string full = vst3->valueText(static_cast<Steinberg::Vst::ParamID>(i), v);
            if (full.size() <= 8) {
                EXPECT_EQ(shown, full) << v;
            } else {
                EXPECT_EQ(withoutSpaces(full).rfind(withoutSpaces(shown), 0), 0u) << full;
            }
        }
    }
    // Short names still tell every parameter apart.
    EXPECT_EQ(names.size(), 31u);
}

TEST(Vst2Parameters, ValuesRoundTripAndTypedEntry) {
    auto host = openEffect();
    auto vst3 = openVst3();
    ASSERT_TRUE(host && vst3);
    for (std::int32_t i = 0; i < 31; ++i) {
        for (float v : {0.0f, 0.123f, 0.5f, 1.0f}) {
            host->set(i, v);
            EXPECT_EQ(host->get(i), v);
        }
        EXPECT_EQ(host->dispatch(CanBeAutomated, i), 1);
    }
    EXPECT_EQ(host->dispatch(CanBeAutomated, 31), 0);
    // Out-of-range values are kept to the range; a NaN changes nothing.
    host->set(8, 1.5f);
    EXPECT_EQ(host->get(8), 1.0f);
    host->set(8, -0.5f);
    EXPECT_EQ(host->get(8), 0.0f);
    host->set(8, std::nanf(""));
    EXPECT_EQ(host->get(8), 0.0f);

    // Typed text reads as the controller reads it.
    char text[64] = "-30 dB";
    ASSERT_EQ(host->dispatch(String2Parameter, velmora::kThreshold, 0, text), 1);
    EXPECT_FLOAT_EQ(host->get(velmora::kThreshold),
                    static_cast<float>(*vst3->valueFromText(velmora::kThreshold, text)));
    std::strcpy(text, "on");
    ASSERT_EQ(host->dispatch(String2Parameter, velmora::kCtrlOut, 0, text), 1);
    EXPECT_EQ(host->get(velmora::kCtrlOut), 1.0f);
    std::strcpy(text, "Off");
    ASSERT_EQ(host->dispatch(String2Parameter, velmora::kCtrlOut, 0, text), 1);
    EXPECT_EQ(host->get(velmora::kCtrlOut), 0.0f);
    std::strcpy(text, "loud");
    EXPECT_EQ(host->dispatch(String2Parameter, velmora::kThreshold, 0, text), 0);
    EXPECT_FLOAT_EQ(host->get(velmora::kThreshold),
                    static_cast<float>(*vst3->valueFromText(velmora::kThreshold, "-30 dB")));

    // effSetBypass is the Bypass parameter.
    EXPECT_EQ(host->dispatch(SetBypass, 0, 1), 1);
    EXPECT_EQ(host->get(velmora::kBypass), 1.0f);
}

TEST(Vst2Parameters, PropertiesUseTheFullStructureOfOpcode56) {
    auto host = openEffect();
    ASSERT_NE(host, nullptr);
    for (std::int32_t i = 0; i < 31; ++i) {
        SCOPED_TRACE(i);
        unsigned char props[kPropertiesSize + 48];
        std::memset(props, 0xaa, sizeof props);
        ASSERT_EQ(host->dispatch(GetParameterProperties, i, 0, props), 1);
        for (std::size_t b = kPropertiesSize; b < sizeof props; ++b) {
            ASSERT_EQ(props[b], 0xaa) << "written beyond 152 bytes at " << b;
        }
        EXPECT_STREQ(reinterpret_cast<char*>(props + kPropLabel),
                     velmora::kParamTitles[static_cast<std::size_t>(i)]);
        const char* shortLabel = reinterpret_cast<char*>(props + kPropShortLabel);
        EXPECT_GT(strnlen(shortLabel, 8), 0u);
        EXPECT_LT(strnlen(shortLabel, 8), 8u);

        std::int32_t flags = 0, maxInteger = 0, largeStep = 0;
        std::memcpy(&flags, props + kPropFlags, 4);
        std::memcpy(&maxInteger, props + kPropMaxInteger, 4);
        std::memcpy(&largeStep, props + kPropLargeStepInteger, 4);
        const bool isSwitch = velmora::isSwitch(static_cast<std::uint32_t>(i));
        EXPECT_EQ((flags & 1) != 0, isSwitch);
        EXPECT_EQ(maxInteger, isSwitch ? 1 : 0);
        EXPECT_EQ(largeStep, isSwitch ? 1 : 0);
    }
    // 57 is another opcode; it must not be answered as the properties.
    unsigned char props[kPropertiesSize] = {};
    EXPECT_EQ(host->dispatch(57, 0, 0, props), 0);
    EXPECT_EQ(props[kPropLabel], 0);
}

} // namespace
} // namespace vst2test
