// The library's exported entry points and its class factory.
#include "againcids.h"
#include "controller/againcontroller.h"
#include "processor/again.h"
#include "sdk/pluginfactory.h"

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
constexpr const char* kVersion = "1.8.0.1";
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
