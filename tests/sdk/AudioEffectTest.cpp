#include "sdk/audioeffect.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::u16string u16(const char16* s) {
    return std::u16string(s);
}

// Current reference count without changing it.
uint32 refCount(FUnknown* object) {
    object->addRef();
    return object->release();
}

class TestEffect : public AudioEffect {
public:
    ~TestEffect() override { ++destroyed; }
    const ProcessSetup& setup() const { return processSetup; }
    static inline int destroyed = 0;
};

// Owns the creation reference of a TestEffect for one test.
struct EffectFixture : ::testing::Test {
    TestEffect* fx = new TestEffect;
    ~EffectFixture() override {
        if (fx)
            fx->release();
    }
};

using AudioEffectBuses = EffectFixture;
using AudioEffectSetup = EffectFixture;
using AudioEffectInterfaces = EffectFixture;

} // namespace

TEST_F(AudioEffectBuses, AddedBusesAreReportedWithNamesTypesFlagsAndArrangements) {
    AudioBus* in = fx->addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
    AudioBus* out = fx->addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
    AudioBus* aux = fx->addAudioInput(STR16("Mono Aux In"), SpeakerArr::kMono, kAux, 0);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(aux, nullptr);

    EXPECT_EQ(fx->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(fx->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(fx->getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(fx->getAudioInput(0), in);
    EXPECT_EQ(fx->getAudioInput(1), aux);
    EXPECT_EQ(fx->getAudioOutput(0), out);
    EXPECT_EQ(fx->getAudioInput(2), nullptr);
    EXPECT_EQ(fx->getAudioInput(-1), nullptr);
    EXPECT_EQ(fx->getAudioOutput(1), nullptr);

    BusInfo info{};
    ASSERT_EQ(fx->getBusInfo(kAudio, kInput, 0, info), kResultTrue);
    EXPECT_EQ(u16(info.name), u"Stereo In");
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.busType, kMain);
    EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));
    EXPECT_EQ(info.mediaType, kAudio);
    EXPECT_EQ(info.direction, kInput);

    ASSERT_EQ(fx->getBusInfo(kAudio, kInput, 1, info), kResultTrue);
    EXPECT_EQ(u16(info.name), u"Mono Aux In");
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(info.busType, kAux);
    EXPECT_EQ(info.flags, 0u);

    ASSERT_EQ(fx->getBusInfo(kAudio, kOutput, 0, info), kResultTrue);
    EXPECT_EQ(u16(info.name), u"Stereo Out");
    EXPECT_EQ(info.direction, kOutput);
    EXPECT_EQ(fx->getBusInfo(kAudio, kOutput, 1, info), kInvalidArgument);

    SpeakerArrangement arr = 0;
    ASSERT_EQ(fx->getBusArrangement(kInput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
    ASSERT_EQ(fx->getBusArrangement(kInput, 1, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kMono);
    ASSERT_EQ(fx->getBusArrangement(kOutput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
    EXPECT_EQ(fx->getBusArrangement(kInput, 2, arr), kInvalidArgument);
    EXPECT_EQ(fx->getBusArrangement(kOutput, -1, arr), kInvalidArgument);

    // Only the aux bus starts inactive; activateBus reaches the same bus objects.
    EXPECT_FALSE(aux->isActive());
    EXPECT_EQ(fx->activateBus(kAudio, kInput, 1, true), kResultTrue);
    EXPECT_TRUE(fx->getAudioInput(1)->isActive());

    EXPECT_EQ(fx->removeAudioBusses(), kResultOk);
    EXPECT_EQ(fx->getBusCount(kAudio, kInput), 0);
    EXPECT_EQ(fx->getBusCount(kAudio, kOutput), 0);
    EXPECT_EQ(fx->getAudioInput(0), nullptr);
    EXPECT_EQ(fx->getBusArrangement(kInput, 0, arr), kInvalidArgument);
}

TEST_F(AudioEffectBuses, DefaultSetBusArrangementsTakesLayoutsForExistingBusesOnly) {
    fx->addAudioInput(STR16("In"), SpeakerArr::kStereo);
    fx->addAudioInput(STR16("Aux"), SpeakerArr::kStereo, kAux, 0);
    fx->addAudioOutput(STR16("Out"), SpeakerArr::kStereo);

    SpeakerArrangement ins[3] = {SpeakerArr::k51, SpeakerArr::kMono, SpeakerArr::kMono};
    SpeakerArrangement outs[2] = {SpeakerArr::kMono, SpeakerArr::kMono};
    SpeakerArrangement arr = 0;

    // More layouts than buses: refused, nothing changes.
    EXPECT_EQ(fx->setBusArrangements(ins, 3, outs, 1), kResultFalse);
    EXPECT_EQ(fx->setBusArrangements(ins, 1, outs, 2), kResultFalse);
    EXPECT_EQ(fx->setBusArrangements(ins, -1, outs, 1), kInvalidArgument);
    ASSERT_EQ(fx->getBusArrangement(kInput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kStereo);

    // A layout for the first input only: the aux input keeps its own.
    EXPECT_EQ(fx->setBusArrangements(ins, 1, outs, 1), kResultTrue);
    ASSERT_EQ(fx->getBusArrangement(kInput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::k51);
    ASSERT_EQ(fx->getBusArrangement(kInput, 1, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
    ASSERT_EQ(fx->getBusArrangement(kOutput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kMono);

    BusInfo info{};
    ASSERT_EQ(fx->getBusInfo(kAudio, kInput, 0, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 6);
}

TEST_F(AudioEffectSetup, DefaultsThenOnly32BitSetUpsAreStored) {
    EXPECT_EQ(fx->setup().processMode, kRealtime);
    EXPECT_EQ(fx->setup().symbolicSampleSize, kSample32);
    EXPECT_EQ(fx->setup().maxSamplesPerBlock, 1024);
    EXPECT_EQ(fx->setup().sampleRate, 44100.0);

    EXPECT_EQ(fx->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(fx->canProcessSampleSize(kSample64), kResultFalse);

    ProcessSetup wide{kOffline, kSample64, 512, 96000.0};
    EXPECT_EQ(fx->setupProcessing(wide), kResultFalse);
    EXPECT_EQ(fx->setup().processMode, kRealtime);
    EXPECT_EQ(fx->setup().symbolicSampleSize, kSample32);
    EXPECT_EQ(fx->setup().maxSamplesPerBlock, 1024);
    EXPECT_EQ(fx->setup().sampleRate, 44100.0);

    ProcessSetup narrow{kOffline, kSample32, 256, 48000.0};
    EXPECT_EQ(fx->setupProcessing(narrow), kResultOk);
    EXPECT_EQ(fx->setup().processMode, kOffline);
    EXPECT_EQ(fx->setup().symbolicSampleSize, kSample32);
    EXPECT_EQ(fx->setup().maxSamplesPerBlock, 256);
    EXPECT_EQ(fx->setup().sampleRate, 48000.0);

    EXPECT_EQ(fx->getLatencySamples(), 0u);
    EXPECT_EQ(fx->getTailSamples(), kNoTail);
    EXPECT_EQ(fx->getProcessContextRequirements(), 0u);
    EXPECT_EQ(fx->setProcessing(true), kResultOk);
    ProcessData data;
    EXPECT_EQ(fx->process(data), kResultOk);
}

TEST_F(AudioEffectInterfaces, AnswersItsInterfacesWithOneReferenceEach) {
    ASSERT_EQ(refCount(static_cast<IAudioProcessor*>(fx)), 1u);

    void* obj = nullptr;
    ASSERT_EQ(fx->queryInterface(IAudioProcessor::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IAudioProcessor*>(fx));
    EXPECT_EQ(refCount(static_cast<IAudioProcessor*>(fx)), 2u);
    static_cast<IAudioProcessor*>(obj)->release();

    ASSERT_EQ(fx->queryInterface(IProcessContextRequirements::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IProcessContextRequirements*>(fx));
    EXPECT_EQ(static_cast<IProcessContextRequirements*>(obj)->getProcessContextRequirements(), 0u);
    EXPECT_EQ(refCount(static_cast<IAudioProcessor*>(fx)), 2u);
    static_cast<IProcessContextRequirements*>(obj)->release();

    ASSERT_EQ(fx->queryInterface(IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IComponent*>(fx));
    EXPECT_EQ(static_cast<IComponent*>(obj)->getBusCount(kAudio, kInput), 0);
    EXPECT_EQ(refCount(static_cast<IAudioProcessor*>(fx)), 2u);
    static_cast<IComponent*>(obj)->release();

    ASSERT_EQ(fx->queryInterface(IConnectionPoint::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IConnectionPoint*>(fx));
    static_cast<IConnectionPoint*>(obj)->release();

    ASSERT_EQ(fx->queryInterface(IPluginBase::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IPluginBase*>(static_cast<ComponentBase*>(fx)));
    static_cast<IPluginBase*>(obj)->release();

    ASSERT_EQ(fx->queryInterface(FUnknown::iid, &obj), kResultOk);
    ASSERT_NE(obj, nullptr);
    static_cast<FUnknown*>(obj)->release();

    // Not an edit controller: no interface and no reference taken.
    obj = &obj;
    EXPECT_EQ(fx->queryInterface(IEditController::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(refCount(static_cast<IAudioProcessor*>(fx)), 1u);

    // The last release through any interface destroys the object.
    int before = TestEffect::destroyed;
    ASSERT_EQ(fx->queryInterface(IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(fx->release(), 1u);
    fx = nullptr;
    EXPECT_EQ(TestEffect::destroyed, before);
    EXPECT_EQ(static_cast<IComponent*>(obj)->release(), 0u);
    EXPECT_EQ(TestEffect::destroyed, before + 1);
}

TEST_F(AudioEffectInterfaces, InitializeAndTerminateKeepTheComponentContract) {
    EXPECT_EQ(fx->initialize(nullptr), kResultOk);
    fx->addAudioInput(STR16("In"), SpeakerArr::kStereo);
    fx->addAudioOutput(STR16("Out"), SpeakerArr::kStereo);
    // terminate drops every bus, as the SDK's Component does.
    EXPECT_EQ(fx->terminate(), kResultOk);
    EXPECT_EQ(fx->getBusCount(kAudio, kInput), 0);
    EXPECT_EQ(fx->getBusCount(kAudio, kOutput), 0);
}
