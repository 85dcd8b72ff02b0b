// Loads the link-check module as a host would: through dlopen and its exported
// GetPluginFactory only.
#include "LinkCheckIds.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Module {
    void* handle = dlopen(VELMORA_LINKCHECK_MODULE, RTLD_NOW | RTLD_LOCAL);
    ~Module() {
        if (handle)
            dlclose(handle);
    }
};

} // namespace

TEST(SdkModule, LoadsAndCreatesItsClassesThroughTheExportedFactory) {
    Module module;
    ASSERT_NE(module.handle, nullptr) << dlerror();
    auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(module.handle, "GetPluginFactory"));
    ASSERT_NE(getFactory, nullptr);
    // The static SDK code stays inside the module.
    EXPECT_EQ(dlsym(module.handle, "_ZN9Steinberg14gPluginFactoryE"), nullptr);

    IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(getFactory(), factory); // later calls add a reference to the same factory
    factory->release();

    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Link Check Vendor");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(factory->countClasses(), 2);

    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, &obj), kResultOk);
    auto* factory3 = static_cast<IPluginFactory3*>(obj);
    PClassInfoW w;
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &w), kResultOk);
    EXPECT_EQ(std::memcmp(w.cid, kLinkCheckProcessorUid, sizeof(TUID)), 0);
    EXPECT_STREQ(w.category, kVstAudioEffectClass);
    EXPECT_EQ(std::u16string(w.name), u"Link Check");
    EXPECT_EQ(w.classFlags, static_cast<uint32>(kDistributable));
    EXPECT_STREQ(w.subCategories, "Fx|Gate");
    factory3->release();

    // The SDK's HostApplication ignores reference counting: it lives on the stack.
    HostApplication host;
    FUnknown* context = &host;

    // Processor: buses appear after initialize, and it names its controller.
    ASSERT_EQ(factory->createInstance(kLinkCheckProcessorUid, IComponent::iid, &obj), kResultOk);
    auto* component = static_cast<IComponent*>(obj);
    ASSERT_EQ(component->initialize(context), kResultOk);
    EXPECT_EQ(component->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(component->getBusCount(kAudio, kOutput), 1);
    BusInfo bus{};
    ASSERT_EQ(component->getBusInfo(kAudio, kInput, 1, bus), kResultTrue);
    EXPECT_EQ(std::u16string(bus.name), u"Stereo Aux In");
    EXPECT_EQ(bus.busType, kAux);
    TUID controllerCid;
    ASSERT_EQ(component->getControllerClassId(controllerCid), kResultTrue);
    EXPECT_EQ(std::memcmp(controllerCid, kLinkCheckControllerUid, sizeof(TUID)), 0);
    ASSERT_EQ(component->queryInterface(IAudioProcessor::iid, &obj), kResultOk);
    auto* processor = static_cast<IAudioProcessor*>(obj);
    ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultFalse);
    setup.symbolicSampleSize = kSample32;
    EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
    processor->release();
    EXPECT_EQ(component->terminate(), kResultOk);
    EXPECT_EQ(component->release(), 0u);

    // Controller: parameters and an editor view (CPluginView needs IPlugView's ID).
    ASSERT_EQ(factory->createInstance(controllerCid, IEditController::iid, &obj), kResultOk);
    auto* controller = static_cast<IEditController*>(obj);
    ASSERT_EQ(controller->initialize(context), kResultOk);
    EXPECT_EQ(controller->getParameterCount(), 2);
    String128 text{};
    ASSERT_EQ(controller->getParamStringByValue(1, 1.0, text), kResultOk);
    EXPECT_EQ(std::u16string(text), u"RMS");
    IPlugView* view = controller->createView("editor");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->queryInterface(IPlugView::iid, &obj), kResultOk);
    static_cast<IPlugView*>(obj)->release();
    EXPECT_EQ(view->release(), 0u);
    EXPECT_EQ(controller->terminate(), kResultOk);
    EXPECT_EQ(controller->release(), 0u);

    // Asking for an interface the class lacks hands out nothing.
    obj = &obj;
    EXPECT_EQ(factory->createInstance(kLinkCheckProcessorUid, IEditController::iid, &obj),
              kNoInterface);
    EXPECT_EQ(obj, nullptr);

    EXPECT_EQ(factory->release(), 0u);
}
