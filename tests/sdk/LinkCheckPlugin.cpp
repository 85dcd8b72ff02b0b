// A minimal plug-in module over our SDK layer. Linking it as a shared library with
// -Wl,--no-undefined (and the SDK archives whole) proves that the layer plus the
// SDK subset define every symbol they use; SdkModuleTest then loads it.
#include "sdk/audioeffect.h"
#include "sdk/pluginfactory.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

#include "LinkCheckIds.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class LinkCheckProcessor : public AudioEffect {
public:
    LinkCheckProcessor() { setControllerClass(FUID::fromTUID(kLinkCheckControllerUid)); }

    tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE {
        tresult result = AudioEffect::initialize(context);
        if (result != kResultOk)
            return result;
        addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
        addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
        addAudioInput(STR16("Stereo Aux In"), SpeakerArr::kStereo, kAux, 0);
        return kResultOk;
    }

    static FUnknown* createInstance(void*) {
        return static_cast<IAudioProcessor*>(new LinkCheckProcessor);
    }
};

class LinkCheckController : public EditControllerEx1 {
public:
    tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE {
        tresult result = EditControllerEx1::initialize(context);
        if (result != kResultOk)
            return result;
        addUnit(new Unit(STR16("Root"), kRootUnitId));
        parameters.addParameter(new RangeParameter(STR16("Gain"), 0, STR16("dB"), -60.0, 0.0));
        auto* mode = new StringListParameter(STR16("Mode"), 1);
        mode->appendString(STR16("Peak"));
        mode->appendString(STR16("RMS"));
        parameters.addParameter(mode);
        return kResultOk;
    }

    IPlugView* PLUGIN_API createView(FIDString) SMTG_OVERRIDE { return new EditorView(this); }

    static FUnknown* createInstance(void*) {
        return static_cast<IEditController*>(new LinkCheckController);
    }
};

} // namespace

BEGIN_FACTORY_DEF("Link Check Vendor", "https://example.invalid", "mailto:nobody@example.invalid")

DEF_CLASS2(LINKCHECK_PROCESSOR_UID, PClassInfo::kManyInstances, kVstAudioEffectClass, "Link Check",
           kDistributable, "Fx|Gate", "1.0.0.0", kVstVersionString,
           LinkCheckProcessor::createInstance)

DEF_CLASS2(LINKCHECK_CONTROLLER_UID, PClassInfo::kManyInstances, kVstComponentControllerClass,
           "Link Check Controller", 0, "", "1.0.0.0", kVstVersionString,
           LinkCheckController::createInstance)

END_FACTORY
