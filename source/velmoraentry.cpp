// The library's exported entry points and its class factory.
#include "againcids.h"
#include "controller/againcontroller.h"
#include "processor/again.h"
#include "sdk/pluginfactory.h"
#include "sdk/vst2/vst2wrapper.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#define VELMORA_EXPORT extern "C" __attribute__((visibility("default")))

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kVendor = "Brackwell";
constexpr const char* kVendorUrl = "https://www.brackwell.com";
constexpr const char* kVendorEmail = "mailto:support@brackwell.com";
constexpr const char* kVersion = VELMORA_VERSION;
constexpr const char* kSdkVersion = "VST 3.5.2";

CPluginFactory* buildFactory() {
    static const PFactoryInfo factoryInfo(kVendor, kVendorUrl, kVendorEmail,
                                          PFactoryInfo::kUnicode);
    static const PClassInfo2 processorInfo(AgainProcessorUID, PClassInfo::kManyInstances,
                                           kVstAudioEffectClass, "BK Velmora", kDistributable,
                                           "Fx|Gate", nullptr, kVersion, kSdkVersion);
    static const PClassInfo2 controllerInfo(AgainControllerUID, PClassInfo::kManyInstances,
                                            kVstComponentControllerClass, "BK VelmoraController", 0,
                                            "", nullptr, kVersion, kSdkVersion);

    auto* factory = new CPluginFactory(factoryInfo);
    factory->registerClass(&processorInfo, again::createInstance);
    factory->registerClass(&controllerInfo, againController::createInstance);
    return factory;
}

// VST 2 hosts know the effect by this code; it is stored in their projects.
constexpr std::int32_t kVst2UniqueId = vst2::fourCC('T', 'z', '8', 'k');
static_assert(kVst2UniqueId == 1417295979);

// The project version a.b.c.d as the single number VST 2 hosts compare.
constexpr std::int32_t kVst2VendorVersion = VELMORA_VERSION_MAJOR * 1000 +
                                            VELMORA_VERSION_MINOR * 100 +
                                            VELMORA_VERSION_PATCH * 10 + VELMORA_VERSION_TWEAK;

Vst2EffectInfo vst2EffectInfo() {
    Vst2EffectInfo info;
    info.effectName = "BK Velmora";
    info.vendor = kVendor;
    info.product = "BK Velmora VST2";
    info.vendorVersion = kVst2VendorVersion;
    info.uniqueId = kVst2UniqueId;
    info.category = vst2::kPlugCategoryEffect;
    info.editorWidth = 630;
    info.editorHeight = 330;
    return info;
}

} // namespace

// The factory clears gPluginFactory when the host releases its last
// reference, so a later call builds a new one.
VELMORA_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory() {
    if (gPluginFactory == nullptr) {
        // A host gets no factory rather than an exception when memory runs out.
        try {
            gPluginFactory = buildFactory();
        } catch (...) {
            gPluginFactory = nullptr;
        }
    } else {
        gPluginFactory->addRef();
    }
    return gPluginFactory;
}

VELMORA_EXPORT bool InitDll();

// The VST 2 entry: the same processor and controller, wrapped as one effect.
VELMORA_EXPORT vst2::Effect* VSTPluginMain(vst2::HostCallback host) {
    if (host == nullptr || host(nullptr, vst2::host::kVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    InitDll();
    IPluginFactory* factory = GetPluginFactory();
    if (factory == nullptr) {
        return nullptr;
    }
    // The wrapper holds its own reference for as long as the effect lives.
    vst2::Effect* effect = Vst2Wrapper::create(factory, AgainProcessorUID, vst2EffectInfo(), host);
    factory->release();
    return effect;
}

VELMORA_EXPORT bool InitDll() {
    return true;
}
VELMORA_EXPORT bool ExitDll() {
    return true;
}

// Linux hosts call these around every use of the module.
VELMORA_EXPORT bool ModuleEntry(void* /*sharedLibraryHandle*/) {
    return true;
}
VELMORA_EXPORT bool ModuleExit() {
    return true;
}
