#include "TestStreams.h"

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "controller/ParameterUpdateListener.h"
#include "controller/againcontroller.h"

#include "pluginterfaces/base/ustring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <limits>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::ParameterScaling;

namespace {

// An editor stand-in: attaches through the SDK's EditorView like the real
// editor and records every update the controller sends it.
class RecordingEditor : public EditorView, public ParameterUpdateListener {
public:
    explicit RecordingEditor(EditController* controller) : EditorView(controller) {}
    void updateParameter(ParamID id, ParamValue value) override { calls.emplace_back(id, value); }
    std::vector<std::pair<ParamID, ParamValue>> calls;
};

std::string ascii(const char16* text) {
    std::string out;
    for (int i = 0; i < 128 && text[i] != 0; ++i) {
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}

// A processor state: six 32-bit switches, then normalised floats for IDs 6..30.
std::vector<std::uint8_t> processorState(const std::vector<int32>& switches,
                                         const std::vector<float>& values) {
    std::vector<std::uint8_t> bytes;
    auto put = [&](const void* p) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + 4);
    };
    for (int32 s : switches) {
        put(&s);
    }
    for (float v : values) {
        put(&v);
    }
    return bytes;
}

// Distinct in-range values for IDs 6..30.
std::vector<float> distinctValues() {
    std::vector<float> values;
    for (int i = 0; i < velmora::kNumContinuous; ++i) {
        values.push_back(0.03f + 0.037f * static_cast<float>(i));
    }
    return values;
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(controller->initialize(nullptr), kResultOk); }
    void TearDown() override { controller->terminate(); }

    // Moves every parameter away from its start value.
    void scramble() {
        for (int id = 0; id < velmora::kNumStateParams; ++id) {
            controller->setParamNormalized(id, velmora::isSwitch(id) ? 1.0 - start(id) : 0.9);
        }
    }
    double start(int id) const { return static_cast<double>(scaling.defaultNormalized(id)); }
    double value(int id) { return controller->getParamNormalized(id); }

    IPtr<againController> controller = owned(new againController);
    const ParameterScaling scaling;
};

} // namespace

TEST_F(ControllerTest, PublishesParametersAndUnits) {
    ASSERT_EQ(controller->getParameterCount(), velmora::kNumParams);
    for (int index = 0; index < velmora::kNumParams; ++index) {
        ParameterInfo info{};
        ASSERT_EQ(controller->getParameterInfo(index, info), kResultTrue);
        EXPECT_EQ(info.id, static_cast<ParamID>(index));
        EXPECT_EQ(ascii(info.title), velmora::paramTitle(index));
        EXPECT_EQ(info.units[0], 0);
        EXPECT_EQ(info.shortTitle[0], 0);
        EXPECT_EQ(info.unitId, index == velmora::kBypass ? 1 : 0) << index;
        EXPECT_EQ((info.flags & ParameterInfo::kIsBypass) != 0, index == velmora::kBypass);
        if (velmora::isSwitch(index)) {
            EXPECT_EQ(info.stepCount, 1);
            EXPECT_EQ(info.flags, index == velmora::kBypass ? 0x10001 : 1);
            EXPECT_EQ(info.defaultNormalizedValue, start(index));
        } else if (velmora::isContinuous(index)) {
            EXPECT_EQ(info.stepCount, 0);
            EXPECT_EQ(info.flags, 1);
            EXPECT_EQ(info.defaultNormalizedValue, index == velmora::kNoteTruncate ? 0.0 : 1.0);
        } else {
            EXPECT_EQ(info.stepCount, 0);
            EXPECT_EQ(info.flags, ParameterInfo::kIsReadOnly);
            EXPECT_EQ(info.defaultNormalizedValue, 0.0);
        }
        EXPECT_EQ(value(index), start(index)) << index;
        // No plain scaling is published.
        EXPECT_EQ(controller->normalizedParamToPlain(index, 0.25), 0.25);
        EXPECT_EQ(controller->plainParamToNormalized(index, 0.75), 0.75);
    }
    EXPECT_EQ(value(velmora::kChannelMode), 1.0);
    EXPECT_EQ(value(velmora::kAttEnvelope), 1.0);
    EXPECT_EQ(value(velmora::kThreshold), static_cast<double>(1.0f / 3.0f));

    ASSERT_EQ(controller->getUnitCount(), 2);
    UnitInfo root{};
    UnitInfo unit1{};
    ASSERT_EQ(controller->getUnitInfo(0, root), kResultTrue);
    ASSERT_EQ(controller->getUnitInfo(1, unit1), kResultTrue);
    EXPECT_EQ(root.id, kRootUnitId);
    EXPECT_EQ(root.parentUnitId, kNoParentUnitId);
    EXPECT_EQ(unit1.id, 1);
    EXPECT_EQ(ascii(unit1.name), "Unit1");
    EXPECT_EQ(unit1.parentUnitId, kRootUnitId);
    EXPECT_EQ(unit1.programListId, kNoProgramListId);

    // Texts: switches and meters keep the SDK's, the rest come from the parameter classes.
    String128 text;
    ASSERT_EQ(controller->getParamStringByValue(velmora::kBypass, 0.6, text), kResultTrue);
    EXPECT_EQ(ascii(text), "On");
    ASSERT_EQ(controller->getParamStringByValue(velmora::kGateMode, 0.5, text), kResultTrue);
    EXPECT_EQ(ascii(text), "Off");
    ASSERT_EQ(controller->getParamStringByValue(velmora::kThreshold, 1.0, text), kResultTrue);
    EXPECT_EQ(ascii(text), "-60.0 dB");
    EXPECT_EQ(controller->getParamStringByValue(99, 0.5, text), kResultFalse);
    ParamValue entered = -1.0;
    String128 typed;
    UString(typed, 128).fromAscii("25 %");
    ASSERT_EQ(controller->getParamValueByString(velmora::kBeatSkip, typed, entered), kResultTrue);
    EXPECT_EQ(entered, 0.25);
    String128 junk;
    UString(junk, 128).fromAscii("abc");
    EXPECT_EQ(controller->getParamValueByString(velmora::kBeatSkip, junk, entered), kResultFalse);
}

TEST_F(ControllerTest, Interfaces) {
    IMidiMapping* midi = nullptr;
    ASSERT_EQ(controller->queryInterface(IMidiMapping::iid, reinterpret_cast<void**>(&midi)),
              kResultOk);
    ASSERT_NE(midi, nullptr);
    midi->release();
    IUnitInfo* units = nullptr;
    ASSERT_EQ(controller->queryInterface(IUnitInfo::iid, reinterpret_cast<void**>(&units)),
              kResultOk);
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(units->getUnitCount(), 2);
    units->release();
    IEditController* edit = nullptr;
    ASSERT_EQ(controller->queryInterface(IEditController::iid, reinterpret_cast<void**>(&edit)),
              kResultOk);
    edit->release();

    FUnknown* created = againController::createInstance(nullptr);
    ASSERT_NE(created, nullptr);
    IEditController* createdEdit = nullptr;
    EXPECT_EQ(created->queryInterface(IEditController::iid, reinterpret_cast<void**>(&createdEdit)),
              kResultOk);
    createdEdit->release();
    created->release();
}

TEST_F(ControllerTest, ComponentStateAppliesAllFields) {
    auto editor = owned(new RecordingEditor(controller));
    editor->attachedToParent();
    controller->setParamNormalized(velmora::kMaxVu, 0.7);
    editor->calls.clear();

    const std::vector<float> values = distinctValues();
    TestStream stream(processorState({1, 0, 2, 0, -1, 0}, values));
    ASSERT_EQ(controller->setComponentState(&stream), kResultOk);

    // Any non-zero switch, also 2 and -1, is on.
    EXPECT_EQ(value(velmora::kBypass), 1.0);
    EXPECT_EQ(value(velmora::kCtrlOut), 0.0);
    EXPECT_EQ(value(velmora::kDetectionMethod), 1.0);
    EXPECT_EQ(value(velmora::kChannelMode), 0.0);
    EXPECT_EQ(value(velmora::kGateMode), 1.0);
    EXPECT_EQ(value(velmora::kAttEnvelope), 0.0);
    for (int i = 0; i < velmora::kNumContinuous; ++i) {
        EXPECT_EQ(value(velmora::kFirstContinuous + i), static_cast<double>(values[i]));
    }
    EXPECT_EQ(value(velmora::kMaxVu), 0.7);

    // Applied in ID order through setParamNormalized, so the editor saw each once.
    ASSERT_EQ(editor->calls.size(), static_cast<std::size_t>(velmora::kNumStateParams));
    for (int id = 0; id < velmora::kNumStateParams; ++id) {
        EXPECT_EQ(editor->calls[id].first, static_cast<ParamID>(id));
        EXPECT_EQ(editor->calls[id].second, value(id));
    }
    editor->removedFromParent();

    // Values outside 0..1 are stored clamped.
    std::vector<float> wild = values;
    wild[0] = 1.5f;
    wild[1] = -0.25f;
    TestStream wildStream(processorState({0, 0, 0, 0, 0, 0}, wild));
    ASSERT_EQ(controller->setComponentState(&wildStream), kResultOk);
    EXPECT_EQ(value(velmora::kInputLevel), 1.0);
    EXPECT_EQ(value(velmora::kOutputLevel), 0.0);

    // Damaged fields read as the processor reads them: infinities clamp to
    // the range ends, a NaN shows the start value.
    wild[0] = std::numeric_limits<float>::infinity();
    wild[1] = -std::numeric_limits<float>::infinity();
    wild[2] = std::numeric_limits<float>::quiet_NaN();
    TestStream damagedStream(processorState({0, 0, 0, 0, 0, 0}, wild));
    ASSERT_EQ(controller->setComponentState(&damagedStream), kResultOk);
    EXPECT_EQ(value(velmora::kInputLevel), 1.0);
    EXPECT_EQ(value(velmora::kOutputLevel), 0.0);
    EXPECT_EQ(value(velmora::kThreshold),
              velmora::ParameterScaling().defaultNormalized(velmora::kThreshold));
}

TEST_F(ControllerTest, ComponentStateFailuresAndShortStreams) {
    scramble();
    std::vector<double> before;
    for (int id = 0; id < velmora::kNumParams; ++id) {
        before.push_back(value(id));
    }

    // Null stream: success, no change.
    EXPECT_EQ(controller->setComponentState(nullptr), kResultOk);
    // A read that fails after ten good fields: nothing at all is applied.
    TestStream failing(processorState({0, 0, 0, 0, 0, 0}, distinctValues()));
    failing.failReadsFrom = 40;
    EXPECT_EQ(controller->setComponentState(&failing), kResultFalse);
    TestStream failingAtOnce;
    failingAtOnce.failReadsFrom = 0;
    EXPECT_EQ(controller->setComponentState(&failingAtOnce), kResultFalse);
    for (int id = 0; id < velmora::kNumParams; ++id) {
        EXPECT_EQ(value(id), before[id]) << id;
    }

    // Streams that end early while their reads report success, as with a
    // truncated project: refused as a whole, also for one missing byte.
    for (std::size_t size : {0, 26, 64, 123}) {
        std::vector<std::uint8_t> bytes = processorState({0, 1, 1, 0, 1, 0}, distinctValues());
        bytes.resize(size);
        TestStream shortStream(bytes);
        EXPECT_EQ(controller->setComponentState(&shortStream), kResultFalse) << size;
        for (int id = 0; id < velmora::kNumParams; ++id) {
            EXPECT_EQ(value(id), before[id]) << size << " " << id;
        }
    }
}

TEST_F(ControllerTest, SecondInitializeBuildsNothingTwice) {
    // Without a host context the base does not notice a second call.
    EXPECT_EQ(controller->initialize(nullptr), kResultFalse);
    ASSERT_EQ(controller->terminate(), kResultOk);
    ASSERT_EQ(controller->initialize(nullptr), kResultOk);
    EXPECT_EQ(controller->getParameterCount(), velmora::kNumParams);
    EXPECT_EQ(controller->getUnitCount(), 2);
}

TEST_F(ControllerTest, SwitchAndMeterEntryNeverGivesANonNumber) {
    auto enter = [&](ParamID id, const char* text) {
        String128 typed;
        UString(typed, 128).fromAscii(text);
        ParamValue v = -1.0;
        return controller->getParamValueByString(id, typed, v) == kResultTrue ? v : -1.0;
    };
    for (ParamID id : {velmora::kBypass, velmora::kAttEnvelope, velmora::kMaxVu}) {
        for (const char* text : {"nan", "-nan", "inf", "-Infinity", "1e999", "", "onward"}) {
            EXPECT_EQ(enter(id, text), -1.0) << id << " '" << text << "'";
        }
        EXPECT_EQ(enter(id, "0.75"), 0.75) << id;
    }
    // The switches read back the words they show, in any case; the meters
    // show numbers only.
    for (auto [text, expected] : {std::pair{"On", 1.0}, std::pair{"Off", 0.0}, std::pair{"ON", 1.0},
                                  std::pair{" off ", 0.0}}) {
        for (int id = velmora::kFirstSwitch; id <= velmora::kLastSwitch; ++id) {
            EXPECT_EQ(enter(id, text), expected) << id << " '" << text << "'";
        }
        EXPECT_EQ(enter(velmora::kMinVu, text), -1.0);
    }
}

TEST_F(ControllerTest, SetParamNormalizedReachesEditorsUnclamped) {
    auto first = owned(new RecordingEditor(controller));
    auto second = owned(new RecordingEditor(controller));
    first->attachedToParent();
    second->attachedToParent();

    EXPECT_EQ(controller->setParamNormalized(velmora::kMinVu, -7.33), kResultTrue);
    EXPECT_EQ(value(velmora::kMinVu), 0.0);
    EXPECT_EQ(controller->setParamNormalized(velmora::kMaxVu, 1.2), kResultTrue);
    EXPECT_EQ(value(velmora::kMaxVu), 1.0);
    // An unknown ID fails, but the editors still hear about it.
    EXPECT_EQ(controller->setParamNormalized(99, 0.5), kResultFalse);

    const std::vector<std::pair<ParamID, ParamValue>> expected = {
        {velmora::kMinVu, -7.33}, {velmora::kMaxVu, 1.2}, {99, 0.5}};
    EXPECT_EQ(first->calls, expected);
    EXPECT_EQ(second->calls, expected);

    first->removedFromParent();
    second->removedFromParent();
}

TEST_F(ControllerTest, NotANumberIsRefusedAndInfinitiesClamp) {
    auto editor = owned(new RecordingEditor(controller));
    editor->attachedToParent();
    controller->setParamNormalized(velmora::kThreshold, 0.25);
    editor->calls.clear();
    for (ParamValue nan :
         {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(controller->setParamNormalized(velmora::kThreshold, nan), kInvalidArgument);
        EXPECT_EQ(controller->setParamNormalized(velmora::kMaxVu, nan), kInvalidArgument);
    }
    EXPECT_EQ(value(velmora::kThreshold), 0.25);
    EXPECT_EQ(value(velmora::kMaxVu), 0.0);
    EXPECT_TRUE(editor->calls.empty());

    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(controller->setParamNormalized(velmora::kThreshold, kInf), kResultTrue);
    EXPECT_EQ(value(velmora::kThreshold), 1.0);
    EXPECT_EQ(controller->setParamNormalized(velmora::kThreshold, -kInf), kResultTrue);
    EXPECT_EQ(value(velmora::kThreshold), 0.0);
    editor->removedFromParent();
}

TEST_F(ControllerTest, MeterTextsFitTheirFieldForAnyValue) {
    auto shown = [&](ParamID id, ParamValue v) {
        // The field sits at the start of a larger, marked block, so that a
        // write past its 128 units shows.
        char16 block[160];
        std::fill(std::begin(block), std::end(block), char16{0x5a5a});
        EXPECT_EQ(controller->getParamStringByValue(id, v, block), kResultOk);
        for (int i = 128; i < 160; ++i) {
            EXPECT_EQ(block[i], 0x5a5a) << id << " at " << v << ": unit " << i << " written";
        }
        return ascii(block);
    };
    EXPECT_EQ(shown(velmora::kMaxVu, 0.25), "0.2500");
    // Outside 0..1 a meter shows what it would store.
    EXPECT_EQ(shown(velmora::kMaxVu, 1e130), "1.0000");
    EXPECT_EQ(shown(velmora::kMinVu, -1e130), "0.0000");
    EXPECT_EQ(shown(velmora::kMinVu, -7.33), "0.0000");
    EXPECT_EQ(shown(velmora::kMaxGateLevel, std::numeric_limits<double>::infinity()), "1.0000");
    EXPECT_EQ(shown(velmora::kMinGateLevel, std::numeric_limits<double>::quiet_NaN()), "0.0000");
    EXPECT_EQ(shown(velmora::kBypass, 1e200), "On");
}

TEST_F(ControllerTest, EditorList) {
    auto editor = owned(new RecordingEditor(controller));
    auto other = owned(new RecordingEditor(controller));
    auto plainView = owned(new EditorView(controller));

    // Views that do not take updates are not listed.
    plainView->attachedToParent();
    EXPECT_TRUE(controller->editors().empty());
    plainView->removedFromParent();

    // The same editor twice is listed twice; one removal removes the first.
    editor->attachedToParent();
    other->attachedToParent();
    editor->attachedToParent();
    ASSERT_EQ(controller->editors().size(), 3u);
    controller->setParamNormalized(velmora::kHold, 0.5);
    EXPECT_EQ(editor->calls.size(), 2u);
    EXPECT_EQ(other->calls.size(), 1u);

    editor->removedFromParent();
    ASSERT_EQ(controller->editors().size(), 2u);
    EXPECT_EQ(controller->editors()[0], static_cast<ParameterUpdateListener*>(other.get()));
    EXPECT_EQ(controller->editors()[1], static_cast<ParameterUpdateListener*>(editor.get()));
    // Removing what is not listed changes nothing.
    plainView->removedFromParent();
    ASSERT_EQ(controller->editors().size(), 2u);

    controller->terminate();
    EXPECT_TRUE(controller->editors().empty());
    ASSERT_EQ(controller->initialize(nullptr), kResultOk);
}

TEST_F(ControllerTest, MidiMappingAndViews) {
    ParamID id = 1234;
    for (int16 channel : {0, 5, 15}) {
        id = 1234;
        EXPECT_EQ(controller->getMidiControllerAssignment(0, channel, kCtrlVolume, id),
                  kResultTrue);
        EXPECT_EQ(id, static_cast<ParamID>(velmora::kInputLevel));
    }
    id = 1234;
    EXPECT_EQ(controller->getMidiControllerAssignment(1, 0, kCtrlVolume, id), kResultFalse);
    EXPECT_EQ(controller->getMidiControllerAssignment(0, 0, kCtrlModWheel, id), kResultFalse);
    EXPECT_EQ(id, 1234u);

    // No name but "editor" gives a view, each call a new one, not yet listed.
    EXPECT_EQ(controller->createView(nullptr), nullptr);
    EXPECT_EQ(controller->createView("Editor"), nullptr);
    EXPECT_EQ(controller->createView("editorx"), nullptr);
    IPtr<IPlugView> view = owned(controller->createView("editor"));
    IPtr<IPlugView> other = owned(controller->createView("editor"));
    ASSERT_TRUE(view && other);
    EXPECT_NE(view.get(), other.get());
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultTrue);
    EXPECT_EQ(size.getWidth(), 630);
    EXPECT_EQ(size.getHeight(), 330);
    EXPECT_TRUE(controller->editors().empty());
}

TEST_F(ControllerTest, ControllerStateRoundTrip) {
    // Before any setState: marker 0 and an all-zero text.
    TestStream fresh;
    ASSERT_EQ(controller->getState(&fresh), kResultOk);
    ASSERT_EQ(fresh.data.size(), static_cast<std::size_t>(againController::kStateBytes));
    EXPECT_EQ(fresh.data, std::vector<std::uint8_t>(257, 0));

    // Marker 0: the same 257 bytes come back.
    std::vector<std::uint8_t> saved(257, 0);
    const char* hello = "Hello";
    for (int i = 0; hello[i]; ++i) {
        saved[1 + 2 * i] = static_cast<std::uint8_t>(hello[i]);
    }
    saved[1 + 2 * 10] = 0x34;
    saved[2 + 2 * 10] = 0x12;
    TestStream in(saved);
    ASSERT_EQ(controller->setState(&in), kResultOk);
    EXPECT_EQ(ascii(controller->messageText()), "Hello");
    TestStream out;
    ASSERT_EQ(controller->getState(&out), kResultOk);
    EXPECT_EQ(out.data, saved);

    // A non-zero marker: the text was written big-endian and is swapped.
    std::vector<std::uint8_t> bigEndian = saved;
    bigEndian[0] = 1;
    for (int i = 0; i < 128; ++i) {
        std::swap(bigEndian[1 + 2 * i], bigEndian[2 + 2 * i]);
    }
    TestStream swappedIn(bigEndian);
    ASSERT_EQ(controller->setState(&swappedIn), kResultOk);
    EXPECT_EQ(controller->messageText()[10], 0x1234);
    TestStream swappedOut;
    ASSERT_EQ(controller->getState(&swappedOut), kResultOk);
    EXPECT_EQ(swappedOut.data, saved);
}

TEST_F(ControllerTest, ControllerStateFailures) {
    TestStream noMarker;
    noMarker.writesBeforeFailure = 0;
    EXPECT_EQ(controller->getState(&noMarker), kResultFalse);
    TestStream noText;
    noText.writesBeforeFailure = 1;
    EXPECT_NE(controller->getState(&noText), kResultOk);

    TestStream emptyFailing;
    emptyFailing.failReadsFrom = 0;
    EXPECT_EQ(controller->setState(&emptyFailing), kResultFalse);
    // The text read fails: no swap even with a non-zero marker.
    TestStream markerOnly(std::vector<std::uint8_t>{1});
    markerOnly.failReadsFrom = 1;
    EXPECT_EQ(controller->setState(&markerOnly), kResultFalse);
    EXPECT_EQ(controller->messageText()[0], 0);
    EXPECT_EQ(controller->setState(nullptr), kInvalidArgument);
    EXPECT_EQ(controller->getState(nullptr), kInvalidArgument);
}

TEST_F(ControllerTest, ReceivedTextGoesToStderr) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(controller->receiveText("again::setActive (true)"), kResultOk);
    EXPECT_EQ(controller->receiveText(nullptr), kResultOk);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[againController] received: again::setActive (true)\n");
}
