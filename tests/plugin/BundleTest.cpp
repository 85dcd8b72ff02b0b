// What a VST 3 host sees of the built bundle: exports, factory, classes,
// parameters, units and the state shared by processor and controller.
#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"

#include "base/source/fstring.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;
using velmora::host::HostedPlugin;
using velmora::host::PluginModule;

namespace {

const char* const kProcessorCid = "5A1C3E970B64D2F193E8A74C1F2D6B85";
const char* const kControllerCid = "6E27B4D0A9C35F182478E1B6D05B9C3A";

std::shared_ptr<PluginModule> loadBundle() {
    std::string error;
    auto module = PluginModule::load(VELMORA_BUNDLE_PATH, error);
    EXPECT_NE(module, nullptr) << error;
    return module;
}

std::string cidText(const TUID cid) {
    char text[33] = {};
    FUID::fromTUID(cid).toString(text);
    return text;
}

std::string ascii(const char16* text) {
    std::string out;
    for (; *text != 0; ++text) {
        out += static_cast<char>(*text);
    }
    return out;
}

TEST(Bundle, ExportsOnlyTheEntryPoints) {
    const std::string command =
        "nm -D --defined-only '" + PluginModule::libraryPath(VELMORA_BUNDLE_PATH).string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) {
            exported.insert(name);
        }
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(exported, (std::set<std::string>{"GetPluginFactory", "VSTPluginMain", "InitDll",
                                               "ExitDll", "ModuleEntry", "ModuleExit"}));
}

TEST(Bundle, FactoryDescribesVendorAndBothClasses) {
    auto module = loadBundle();
    ASSERT_NE(module, nullptr);
    IPluginFactory* factory = module->factory();

    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Brackwell");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    EXPECT_EQ(std::strncmp(info.email, "mailto:", 7), 0);
    EXPECT_GT(std::strlen(info.url), 0u);

    ASSERT_EQ(factory->countClasses(), 2);
    FUnknownPtr<IPluginFactory2> factory2(factory);
    FUnknownPtr<IPluginFactory3> factory3(factory);
    ASSERT_TRUE(factory2);
    ASSERT_TRUE(factory3);

    struct Expected {
        const char* cid;
        const char* category;
        const char* name;
        uint32 flags;
        const char* subCategories;
    };
    const Expected expected[2] = {
        {kProcessorCid, kVstAudioEffectClass, "BK Velmora", 1, "Fx|Gate"},
        {kControllerCid, kVstComponentControllerClass, "BK VelmoraController", 0, ""},
    };
    for (int32 i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        PClassInfo2 c2;
        ASSERT_EQ(factory2->getClassInfo2(i, &c2), kResultOk);
        EXPECT_EQ(cidText(c2.cid), expected[i].cid);
        EXPECT_STREQ(c2.category, expected[i].category);
        EXPECT_STREQ(c2.name, expected[i].name);
        EXPECT_EQ(c2.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ(c2.classFlags, expected[i].flags);
        EXPECT_STREQ(c2.subCategories, expected[i].subCategories);
        EXPECT_STREQ(c2.vendor, "");
        EXPECT_STREQ(c2.version, "1.8.0.1");
        EXPECT_STREQ(c2.sdkVersion, "VST 3.5.2");

        PClassInfoW cw;
        ASSERT_EQ(factory3->getClassInfoUnicode(i, &cw), kResultOk);
        EXPECT_EQ(ascii(cw.name), expected[i].name);
        EXPECT_EQ(ascii(cw.version), "1.8.0.1");
        EXPECT_EQ(ascii(cw.sdkVersion), "VST 3.5.2");
    }
}

TEST(Bundle, LaterFactoryCallsAddAReferenceToTheSameFactory) {
    const std::string path = PluginModule::libraryPath(VELMORA_BUNDLE_PATH).string();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using Entry = bool (*)(void*);
    using Exit = bool (*)();
    using GetFactory = IPluginFactory* (*)();
    auto moduleEntry = reinterpret_cast<Entry>(dlsym(handle, "ModuleEntry"));
    auto moduleExit = reinterpret_cast<Exit>(dlsym(handle, "ModuleExit"));
    auto getFactory = reinterpret_cast<GetFactory>(dlsym(handle, "GetPluginFactory"));
    ASSERT_TRUE(moduleEntry && moduleExit && getFactory);
    ASSERT_TRUE(moduleEntry(handle));

    IPluginFactory* first = getFactory();
    IPluginFactory* second = getFactory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    // Two references handed out: one release leaves the factory alive.
    EXPECT_EQ(second->release(), 1u);
    EXPECT_EQ(first->release(), 0u);
    // Once released for good, the next call builds a fresh factory.
    IPluginFactory* third = getFactory();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->countClasses(), 2);
    third->release();

    EXPECT_TRUE(moduleExit());
    dlclose(handle);
}

std::unique_ptr<HostedPlugin> hostPlugin(std::shared_ptr<PluginModule> module) {
    std::string error;
    auto plugin = HostedPlugin::create(std::move(module), error);
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

TEST(Bundle, ProcessorNamesTheControllerAndTheyTalkThroughTheHost) {
    auto module = loadBundle();
    ASSERT_NE(module, nullptr);

    testing::internal::CaptureStderr();
    {
        auto plugin = hostPlugin(module);
        ASSERT_NE(plugin, nullptr);
        TUID controllerCid;
        ASSERT_EQ(plugin->component()->getControllerClassId(controllerCid), kResultOk);
        EXPECT_EQ(cidText(controllerCid), kControllerCid);

        std::string error;
        velmora::host::ProcessConfig config;
        ASSERT_TRUE(plugin->startProcessing(config, error)) << error;
        EXPECT_EQ(plugin->process(config.maxBlockSize), kResultOk);
        plugin->stopProcessing();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[againController] received: again::setActive (true)\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("[againController] received: again::setActive (false)\n"), std::string::npos)
        << err;
}

TEST(Bundle, ParametersAsAHostSeesThem) {
    auto plugin = hostPlugin(loadBundle());
    ASSERT_NE(plugin, nullptr);
    IEditController* controller = plugin->controller();
    ASSERT_EQ(controller->getParameterCount(), velmora::kNumParams);

    const velmora::ParameterScaling scaling;
    for (int32 i = 0; i < velmora::kNumParams; ++i) {
        SCOPED_TRACE(i);
        ParameterInfo info{};
        ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(ascii(info.title), velmora::kParamTitles[static_cast<size_t>(i)]);
        EXPECT_EQ(ascii(info.units), "");
        EXPECT_EQ(ascii(info.shortTitle), "");

        const float start = static_cast<float>(controller->getParamNormalized(info.id));
        if (velmora::isSwitch(info.id)) {
            EXPECT_EQ(info.stepCount, 1);
            EXPECT_EQ(info.flags, info.id == velmora::kBypass ? 0x10001 : 1);
            EXPECT_EQ(info.unitId, info.id == velmora::kBypass ? 1 : 0);
            EXPECT_EQ(info.defaultNormalizedValue, scaling.switchDefault(info.id));
            EXPECT_EQ(start, scaling.switchDefault(info.id));
        } else if (velmora::isContinuous(info.id)) {
            EXPECT_EQ(info.stepCount, 0);
            EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
            EXPECT_EQ(info.unitId, 0);
            EXPECT_EQ(info.defaultNormalizedValue, info.id == velmora::kNoteTruncate ? 0.0 : 1.0);
            EXPECT_EQ(start, scaling.defaultNormalized(info.id));
        } else {
            EXPECT_EQ(info.stepCount, 0);
            EXPECT_EQ(info.flags, ParameterInfo::kIsReadOnly);
            EXPECT_EQ(info.unitId, 0);
            EXPECT_EQ(info.defaultNormalizedValue, 0.0);
        }
    }

    FUnknownPtr<IUnitInfo> units(controller);
    ASSERT_TRUE(units);
    ASSERT_EQ(units->getUnitCount(), 2);
    UnitInfo unit{};
    ASSERT_EQ(units->getUnitInfo(1, unit), kResultOk);
    EXPECT_EQ(unit.id, 1);
    EXPECT_EQ(ascii(unit.name), "Unit1");
    EXPECT_EQ(unit.parentUnitId, kRootUnitId);
    EXPECT_EQ(unit.programListId, kNoProgramListId);

    FUnknownPtr<IMidiMapping> midi(controller);
    ASSERT_TRUE(midi);
    ParamID mapped = 0;
    EXPECT_EQ(midi->getMidiControllerAssignment(0, 3, 7, mapped), kResultTrue);
    EXPECT_EQ(mapped, static_cast<ParamID>(velmora::kInputLevel));
    EXPECT_EQ(midi->getMidiControllerAssignment(1, 0, 7, mapped), kResultFalse);
}

TEST(Bundle, ProcessorStateReachesTheControllerUnchanged) {
    auto plugin = hostPlugin(loadBundle());
    ASSERT_NE(plugin, nullptr);
    std::string error;
    velmora::host::ProcessConfig config;
    ASSERT_TRUE(plugin->startProcessing(config, error)) << error;

    // Changes delivered through process are the processor's record; the
    // controller learns them only through the component state.
    const std::array<std::pair<ParamID, double>, 5> changes = {{
        {velmora::kBypass, 1.0},
        {velmora::kDetectionMethod, 1.0},
        {velmora::kThreshold, 0.625},
        {velmora::kRelease, 0.3},
        {velmora::kClosedLevelMid, 0.75},
    }};
    for (const auto& [id, value] : changes) {
        ASSERT_TRUE(plugin->inputChanges().addChange(id, 0, value));
    }
    ASSERT_EQ(plugin->process(config.maxBlockSize), kResultOk);
    plugin->stopProcessing();

    std::vector<char> state;
    ASSERT_TRUE(plugin->getState(state));
    ASSERT_EQ(state.size(), 124u);
    ASSERT_TRUE(plugin->setState(state, error)) << error;

    for (int32 id = 0; id < velmora::kNumStateParams; ++id) {
        SCOPED_TRACE(id);
        double expected = 0.0;
        if (id < velmora::kNumSwitches) {
            int32 raw = 0;
            std::memcpy(&raw, state.data() + 4 * id, 4);
            expected = raw != 0 ? 1.0 : 0.0;
        } else {
            float raw = 0.0f;
            std::memcpy(&raw, state.data() + 4 * id, 4);
            expected = raw;
        }
        EXPECT_EQ(plugin->controller()->getParamNormalized(static_cast<ParamID>(id)), expected);
    }
    EXPECT_EQ(plugin->controller()->getParamNormalized(velmora::kBypass), 1.0);
    EXPECT_EQ(plugin->controller()->getParamNormalized(velmora::kThreshold),
              static_cast<double>(0.625f));
}

} // namespace
