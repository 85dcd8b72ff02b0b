// Parameters as validators check them: consistent information, units that
// exist, a MIDI mapping onto real parameters, texts that read back, and a
// bypass set through process that the controller learns from the state.
#include "ConformanceRig.h"

#include "hosting/ByteStream.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <string>

namespace conformance {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string utf8(const char16* text) {
    std::string out;
    for (const char16* p = text; *p != 0; ++p) {
        out += static_cast<char>(*p);
    }
    return out;
}

std::map<ParamID, ParameterInfo> parameterInfos(IEditController* controller) {
    std::map<ParamID, ParameterInfo> out;
    for (int32 i = 0; i < controller->getParameterCount(); ++i) {
        ParameterInfo info{};
        if (controller->getParameterInfo(i, info) == kResultOk) {
            out[info.id] = info;
        }
    }
    return out;
}

ParamID bypassId(IEditController* controller) {
    for (const auto& [id, info] : parameterInfos(controller)) {
        if ((info.flags & ParameterInfo::kIsBypass) != 0) {
            return id;
        }
    }
    ADD_FAILURE() << "no bypass parameter";
    return kNoParamId;
}

TEST(Parameters, InformationIsConsistent) {
    auto plugin = createHosted();
    ASSERT_TRUE(plugin);
    IEditController* controller = plugin->controller();
    const int32 count = controller->getParameterCount();
    ASSERT_GT(count, 0);

    std::set<UnitID> units{kRootUnitId};
    if (FUnknownPtr<IUnitInfo> unitInfo(controller); unitInfo) {
        const int32 n = unitInfo->getUnitCount();
        EXPECT_GE(n, 1) << "the root unit always exists";
        std::map<UnitID, UnitID> parents;
        for (int32 i = 0; i < n; ++i) {
            UnitInfo u{};
            ASSERT_EQ(unitInfo->getUnitInfo(i, u), kResultOk);
            EXPECT_TRUE(units.insert(u.id).second || u.id == kRootUnitId) << "unit " << u.id;
            parents[u.id] = u.parentUnitId;
        }
        for (const auto& [id, parent] : parents) {
            if (id == kRootUnitId) {
                EXPECT_EQ(parent, kNoParentUnitId);
            } else {
                EXPECT_TRUE(units.count(parent)) << "unit " << id << " has no parent " << parent;
            }
        }
    }

    std::set<ParamID> ids;
    int bypasses = 0;
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
        SCOPED_TRACE(testing::Message()
                     << "parameter " << info.id << " '" << utf8(info.title) << "'");
        EXPECT_TRUE(ids.insert(info.id).second) << "ID used twice";
        EXPECT_NE(info.id, kNoParamId);
        EXPECT_FALSE(utf8(info.title).empty());
        EXPECT_GE(info.defaultNormalizedValue, 0.0);
        EXPECT_LE(info.defaultNormalizedValue, 1.0);
        EXPECT_GE(info.stepCount, 0);
        const bool readOnly = (info.flags & ParameterInfo::kIsReadOnly) != 0;
        const bool automatable = (info.flags & ParameterInfo::kCanAutomate) != 0;
        EXPECT_FALSE(readOnly && automatable) << "read-only and automatable";
        EXPECT_TRUE(units.count(info.unitId)) << "unit " << info.unitId << " does not exist";
        if ((info.flags & ParameterInfo::kIsBypass) != 0) {
            ++bypasses;
            EXPECT_EQ(info.stepCount, 1) << "a bypass is a switch";
            EXPECT_FALSE(readOnly);
        }

        const ParamValue now = controller->getParamNormalized(info.id);
        EXPECT_GE(now, 0.0);
        EXPECT_LE(now, 1.0);

        // Every value has a text, and the text of a writable parameter
        // reads back to a value with the same text: numbers, and the
        // switches' words. (Off positions are entered as numbers instead.)
        for (ParamValue v : {0.0, 0.25, 0.5, 1.0, info.defaultNormalizedValue}) {
            String128 text{};
            ASSERT_EQ(controller->getParamStringByValue(info.id, v, text), kResultOk) << v;
            const std::string shown = utf8(text);
            EXPECT_FALSE(shown.empty()) << v;
            if (readOnly ||
                (info.stepCount != 1 && shown.find_first_of("0123456789") == std::string::npos)) {
                continue;
            }
            ParamValue back = -1.0;
            ASSERT_EQ(controller->getParamValueByString(info.id, text, back), kResultOk)
                << "'" << shown << "'";
            // Stored values are clamped; the text is of the stored value.
            back = std::clamp(back, 0.0, 1.0);
            String128 again{};
            ASSERT_EQ(controller->getParamStringByValue(info.id, back, again), kResultOk);
            EXPECT_EQ(utf8(again), shown) << v << " read back as " << back;
        }
    }
    EXPECT_EQ(bypasses, 1) << "exactly one bypass parameter";
}

TEST(Parameters, TextEntryNeverGivesANonNumber) {
    auto plugin = createHosted();
    ASSERT_TRUE(plugin);
    IEditController* controller = plugin->controller();
    for (ParamID id = 0; id < static_cast<ParamID>(controller->getParameterCount()); ++id) {
        for (const char* typed : {"nan", "inf", "-inf", "1e999"}) {
            String128 text{};
            std::copy(typed, typed + std::strlen(typed), text);
            ParamValue value = 0.5;
            controller->getParamValueByString(id, text, value);
            EXPECT_TRUE(std::isfinite(value)) << "parameter " << id << " took '" << typed << "'";
        }
    }
}

// Nothing may throw across a VST 3 interface: a host built without
// exceptions, or calling through C frames, would be torn down.
template <typename Call> void expectRefused(const char* what, Call call) {
    try {
        EXPECT_NE(call(), kResultOk) << what;
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << " threw across the interface: " << e.what();
    } catch (...) {
        ADD_FAILURE() << what << " threw across the interface";
    }
}

TEST(Parameters, QueriesOutOfRangeAreRefused) {
    auto plugin = createHosted();
    ASSERT_TRUE(plugin);
    IEditController* controller = plugin->controller();
    const int32 count = controller->getParameterCount();
    ParameterInfo info{};
    expectRefused("getParameterInfo(count)",
                  [&] { return controller->getParameterInfo(count, info); });
    expectRefused("getParameterInfo(-1)", [&] { return controller->getParameterInfo(-1, info); });
    String128 text{};
    expectRefused("getParamStringByValue(unknown ID)",
                  [&] { return controller->getParamStringByValue(kNoParamId - 1, 0.5, text); });
    ParamValue value = 0.0;
    expectRefused("getParamValueByString(unknown ID)",
                  [&] { return controller->getParamValueByString(kNoParamId - 1, text, value); });
    expectRefused("setParamNormalized(unknown ID)",
                  [&] { return controller->setParamNormalized(kNoParamId - 1, 0.5); });

    FUnknownPtr<IUnitInfo> units(controller);
    if (!units) {
        return;
    }
    UnitInfo unit{};
    const int32 unitCount = units->getUnitCount();
    expectRefused("getUnitInfo(count)", [&] { return units->getUnitInfo(unitCount, unit); });
    expectRefused("getUnitInfo(-1)", [&] { return units->getUnitInfo(-1, unit); });
    ProgramListInfo list{};
    const int32 lists = units->getProgramListCount();
    expectRefused("getProgramListInfo(count)",
                  [&] { return units->getProgramListInfo(lists, list); });
    expectRefused("getProgramListInfo(-1)", [&] { return units->getProgramListInfo(-1, list); });
}

TEST(Parameters, MidiMappingNamesOnlyExistingParameters) {
    auto plugin = createHosted();
    ASSERT_TRUE(plugin);
    FUnknownPtr<IMidiMapping> midi(plugin->controller());
    if (!midi) {
        GTEST_SKIP() << "no MIDI mapping";
    }
    const auto infos = parameterInfos(plugin->controller());
    int mapped = 0;
    for (int32 bus = 0; bus <= 1; ++bus) {
        for (int16 channel = 0; channel < 16; ++channel) {
            for (int16 cc = 0; cc < kCountCtrlNumber; ++cc) {
                ParamID id = kNoParamId;
                if (midi->getMidiControllerAssignment(bus, channel, cc, id) != kResultTrue) {
                    continue;
                }
                ++mapped;
                const auto it = infos.find(id);
                ASSERT_NE(it, infos.end()) << "bus " << bus << " channel " << channel
                                           << " controller " << cc << " maps to unknown " << id;
                EXPECT_EQ(it->second.flags & ParameterInfo::kIsReadOnly, 0)
                    << "controller " << cc << " maps to read-only " << id;
            }
        }
    }
    EXPECT_GT(mapped, 0);
}

std::vector<char> processorState(IComponent* component) {
    IPtr<velmora::host::ByteStream> stream = owned(new velmora::host::ByteStream());
    EXPECT_EQ(component->getState(stream), kResultOk);
    return stream->bytes();
}

TEST(Parameters, BypassSetThroughProcessSurvivesTheStateTransfer) {
    HostedRig h;
    ASSERT_TRUE(h.rig);
    const ParamID bypass = bypassId(h.plugin->controller());
    ASSERT_NE(bypass, kNoParamId);
    ASSERT_TRUE(h.rig->start(Layout{}));

    for (ParamValue value : {1.0, 0.0, 1.0}) {
        SCOPED_TRACE(value);
        h.rig->changes().addChange(bypass, 0, value);
        ASSERT_EQ(h.rig->process(512), kResultOk);
        ASSERT_EQ(h.rig->process(512), kResultOk);
        const std::vector<char> state = processorState(h.rig->component());
        ASSERT_FALSE(state.empty());

        // As when a project is reopened: a fresh pair gets the state.
        auto reopened = createHosted();
        ASSERT_TRUE(reopened);
        IPtr<velmora::host::ByteStream> forProcessor = owned(new velmora::host::ByteStream(state));
        ASSERT_EQ(reopened->component()->setState(forProcessor), kResultOk);
        IPtr<velmora::host::ByteStream> forController = owned(new velmora::host::ByteStream(state));
        ASSERT_EQ(reopened->controller()->setComponentState(forController), kResultOk);
        EXPECT_EQ(reopened->controller()->getParamNormalized(bypass), value);
        EXPECT_EQ(processorState(reopened->component()), state);

        // And the running controller when the host hands the state over.
        IPtr<velmora::host::ByteStream> again = owned(new velmora::host::ByteStream(state));
        ASSERT_EQ(h.plugin->controller()->setComponentState(again), kResultOk);
        EXPECT_EQ(h.plugin->controller()->getParamNormalized(bypass), value);
    }
}

TEST(Parameters, DamagedStatesLeaveTheControllerInRange) {
    // Hosts read normalised values back and pass them on; no number, or one
    // outside 0..1, must ever reach them.
    for (const auto& [name, bytes] : damagedStates()) {
        SCOPED_TRACE(name);
        auto plugin = createHosted();
        ASSERT_TRUE(plugin);
        IEditController* controller = plugin->controller();
        IPtr<velmora::host::ByteStream> stream = owned(new velmora::host::ByteStream(bytes));
        controller->setComponentState(stream);
        for (int32 i = 0; i < controller->getParameterCount(); ++i) {
            ParameterInfo info{};
            ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
            const ParamValue v = controller->getParamNormalized(info.id);
            EXPECT_TRUE(v >= 0.0 && v <= 1.0) << "parameter " << info.id << " reads " << v;
        }
    }
}

} // namespace
} // namespace conformance
