// The bundle's library as a VST 2 host loads it: the entry, what the effect
// says about itself, and calls a careless host makes.
#include "Vst2Bundle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace vst2test {
namespace {

TEST(Vst2Entry, HostWithoutVersionGetsNoEffect) {
    std::string error;
    EXPECT_EQ(Host::open(VELMORA_VST2_LIBRARY, error, 0), nullptr);
}

TEST(Vst2Entry, EffectDescribesItself) {
    auto host = openEffect();
    ASSERT_NE(host, nullptr);
    const Effect& e = *host->effect();
    EXPECT_EQ(e.magic, 0x56737450);    // 'VstP'
    EXPECT_EQ(e.uniqueId, 1417295979); // 'Tz8k'
    EXPECT_EQ(e.version, 1801);        // 1.8.0.1
    EXPECT_EQ(e.numParams, 31);        // the meters stay out
    EXPECT_EQ(e.numInputs, 4);         // main pair, side-chain pair
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.flags & (1 << 4), 1 << 4); // replacing
    EXPECT_EQ(e.flags & (1 << 5), 1 << 5); // chunks
    EXPECT_EQ(e.flags & (1 << 12), 0);     // no double precision
    EXPECT_EQ(e.processDoubleReplacing, nullptr);
    EXPECT_EQ(e.initialDelay, 0);

    bool overrun = false;
    EXPECT_EQ(host->text(GetEffectName, 0, 31, overrun), "BK Velmora");
    EXPECT_FALSE(overrun);
    EXPECT_EQ(host->text(GetVendorString, 0, 63, overrun), "Brackwell");
    EXPECT_EQ(host->text(GetProductString, 0, 63, overrun), "BK Velmora VST2");
    EXPECT_EQ(host->dispatch(GetVendorVersion), 1801);
    EXPECT_EQ(host->dispatch(GetPlugCategory), 1); // effect
    EXPECT_EQ(host->dispatch(GetVstVersion), 2400);
    EXPECT_EQ(host->dispatch(SetProcessPrecision, 0, 0), 1); // 32-bit
    EXPECT_EQ(host->dispatch(SetProcessPrecision, 0, 1), 0); // 64-bit

    // The tail follows the host's rate: ten seconds of it.
    host->dispatch(SetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(host->dispatch(GetTailSize), 480000);

    char feature[64];
    auto canDo = [&](const char* f) {
        std::strcpy(feature, f);
        return host->dispatch(CanDo, 0, 0, feature);
    };
    EXPECT_EQ(canDo("plugAsChannelInsert"), 1);
    EXPECT_EQ(canDo("bypass"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), -1);
    EXPECT_EQ(canDo("somethingNew"), 0);

    // Pins 3 and 4 say they are the side-chain.
    const char* labels[4] = {"In L", "In R", "Side-chain L", "Side-chain R"};
    for (std::int32_t i = 0; i < 4; ++i) {
        char props[128] = {};
        ASSERT_EQ(host->dispatch(GetInputProperties, i, 0, props), 1);
        EXPECT_STREQ(props, labels[i]);
    }
    char props[128] = {};
    EXPECT_EQ(host->dispatch(GetInputProperties, 4, 0, props), 0);
    ASSERT_EQ(host->dispatch(GetOutputProperties, 1, 0, props), 1);
    EXPECT_STREQ(props, "Out R");
}

TEST(Vst2Entry, UnknownOpcodesAndNullPointersAreHarmless) {
    auto host = openEffect();
    ASSERT_NE(host, nullptr);
    // Opcodes that answer without a pointer: automatable?, connect input
    // and output, category, bypass, versions, tail, knob mode, precision.
    const std::set<std::int32_t> answering = {26, 31, 32, 35, 44, 49, 52, 58, 61, 77};
    for (std::int32_t op = -5; op < 200; ++op) {
        if (op == Close || op == String2Parameter) {
            continue;
        }
        SCOPED_TRACE(op);
        const std::intptr_t answer = host->dispatch(op, 0, 0, nullptr, 0.0f);
        host->dispatch(op, -1, -1, nullptr, -1.0f);
        if (!answering.contains(op)) {
            EXPECT_EQ(answer, 0);
        }
    }
    // Indices no parameter has leave the host's buffer alone.
    for (std::int32_t op : {GetParamName, GetParamLabel, GetParamDisplay}) {
        bool overrun = false;
        EXPECT_EQ(host->text(op, 31, 0, overrun), std::string(1, '\x55'));
        EXPECT_EQ(host->text(op, -1, 0, overrun), std::string(1, '\x55'));
    }
    host->set(-1, 0.5f);
    host->set(31, 0.5f);
    EXPECT_EQ(host->get(31), 0.0f);
    host->effect()->processReplacing(host->effect(), nullptr, nullptr, 64);
    host->effect()->process(host->effect(), nullptr, nullptr, 64);
}

// The effect announces its editor; the size a host asks for beforehand is the
// editor's, and a parent that is no window is refused.
TEST(Vst2Entry, EditorOpcodesWithoutAWindow) {
    auto host = openEffect();
    ASSERT_NE(host, nullptr);
    EXPECT_NE(host->effect()->flags & 1, 0);
    std::int16_t* rect = nullptr;
    ASSERT_EQ(host->dispatch(EditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect[0], 0);   // top
    EXPECT_EQ(rect[1], 0);   // left
    EXPECT_EQ(rect[2], 330); // bottom
    EXPECT_EQ(rect[3], 630); // right
    EXPECT_EQ(host->dispatch(EditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    host->dispatch(EditIdle);
    host->dispatch(EditClose);
}

} // namespace
} // namespace vst2test
