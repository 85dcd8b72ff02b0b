// Factory, creation and the processor's state machine as strict hosts drive
// it: every class creatable, repeated initialize/terminate, every legal order
// of set-up calls, and illegal calls refused without harm.
#include "ConformanceRig.h"

#include "hosting/ByteStream.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace conformance {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string idText(const TUID cid) {
    return std::string(cid, sizeof(TUID));
}

TEST(Factory, EveryClassIsCreatableByItsIdAndTheProcessorNamesAFactoryController) {
    auto m = module();
    ASSERT_TRUE(m);
    IPluginFactory* factory = m->factory();
    FUnknownPtr<IPluginFactory2> factory2(factory);
    ASSERT_TRUE(factory2);
    const auto classes = m->classes();
    ASSERT_EQ(static_cast<int32>(classes.size()), factory->countClasses());

    std::set<std::string> ids;
    int processors = 0;
    for (int32 i = 0; i < static_cast<int32>(classes.size()); ++i) {
        const auto& c = classes[static_cast<size_t>(i)];
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ids.insert(idText(c.cid)).second) << "class ID used twice";

        void* obj = nullptr;
        ASSERT_EQ(factory->createInstance(c.cid, FUnknown::iid, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        IPtr<FUnknown> object = owned(static_cast<FUnknown*>(obj));

        if (c.category == kVstAudioEffectClass) {
            ++processors;
            FUnknownPtr<IComponent> component(object);
            ASSERT_TRUE(component);
            EXPECT_TRUE(FUnknownPtr<IAudioProcessor>(object));

            TUID controllerId{};
            ASSERT_EQ(component->getControllerClassId(controllerId), kResultOk);
            bool found = false;
            for (const auto& other : classes) {
                if (std::memcmp(other.cid, controllerId, sizeof(TUID)) == 0) {
                    found = true;
                    EXPECT_EQ(other.category, kVstComponentControllerClass);
                }
            }
            EXPECT_TRUE(found) << "the processor names a controller the factory does not offer";

            // A distributable processor may run apart from its controller, so
            // it must not be the controller itself.
            PClassInfo2 info{};
            ASSERT_EQ(factory2->getClassInfo2(i, &info), kResultOk);
            if ((info.classFlags & kDistributable) != 0) {
                EXPECT_FALSE(FUnknownPtr<IEditController>(object));
            }
        } else if (c.category == kVstComponentControllerClass) {
            EXPECT_TRUE(FUnknownPtr<IEditController>(object));
        }
    }
    EXPECT_GE(processors, 1);

    // An unknown class and an interface a class lacks give nothing.
    TUID unknown;
    std::memset(unknown, 0x5a, sizeof(unknown));
    void* obj = &obj;
    EXPECT_NE(factory->createInstance(unknown, FUnknown::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
    obj = &obj;
    EXPECT_NE(factory->createInstance(classIds().processor, IPluginFactory::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
}

TEST(Factory, InstancesShareNothing) {
    RawPair a = createRaw();
    RawPair b = createRaw();
    ASSERT_TRUE(a.component && a.controller && b.component && b.controller);
    EXPECT_NE(a.component.get(), b.component.get());
    EXPECT_NE(a.controller.get(), b.controller.get());
    for (RawPair* p : {&a, &b}) {
        ASSERT_EQ(p->component->initialize(&hostContext()), kResultOk);
        ASSERT_EQ(p->controller->initialize(&hostContext()), kResultOk);
    }

    const std::vector<WritableParameter> params = writableParameters(a.controller);
    ASSERT_FALSE(params.empty());
    const ParamID id = params.back().id;
    const ParamValue before = b.controller->getParamNormalized(id);
    const ParamValue other = before > 0.5 ? 0.0 : 1.0;
    ASSERT_EQ(a.controller->setParamNormalized(id, other), kResultOk);
    EXPECT_EQ(b.controller->getParamNormalized(id), before);

    // A state loaded into one processor does not reach the other.
    IPtr<velmora::host::ByteStream> original = owned(new velmora::host::ByteStream());
    ASSERT_EQ(b.component->getState(original), kResultOk);
    std::vector<char> changed = original->bytes();
    ASSERT_FALSE(changed.empty());
    for (char& byte : changed) {
        byte = static_cast<char>(~byte);
    }
    IPtr<velmora::host::ByteStream> load = owned(new velmora::host::ByteStream(changed));
    a.component->setState(load);
    IPtr<velmora::host::ByteStream> after = owned(new velmora::host::ByteStream());
    ASSERT_EQ(b.component->getState(after), kResultOk);
    EXPECT_EQ(after->bytes(), original->bytes());

    for (RawPair* p : {&a, &b}) {
        EXPECT_EQ(p->controller->terminate(), kResultOk);
        EXPECT_EQ(p->component->terminate(), kResultOk);
    }
}

struct Published {
    std::vector<std::string> buses;
    std::vector<ParamID> parameters;
    int32 units = 0;
    bool operator==(const Published&) const = default;
};

std::string busText(IComponent* c, MediaType media, BusDirection dir, int32 index) {
    BusInfo info{};
    if (c->getBusInfo(media, dir, index, info) != kResultOk) {
        return "?";
    }
    std::string text = std::to_string(media) + "/" + std::to_string(dir) + "/" +
                       std::to_string(info.channelCount) + "/" + std::to_string(info.busType) +
                       "/" + std::to_string(info.flags) + "/";
    for (const char16* p = info.name; *p != 0; ++p) {
        text += static_cast<char>(*p);
    }
    return text;
}

Published published(IComponent* component, IEditController* controller) {
    Published p;
    for (MediaType media : {kAudio, kEvent}) {
        for (BusDirection dir : {kInput, kOutput}) {
            const int32 count = component->getBusCount(media, dir);
            for (int32 i = 0; i < count; ++i) {
                p.buses.push_back(busText(component, media, dir, i));
            }
        }
    }
    for (int32 i = 0; i < controller->getParameterCount(); ++i) {
        ParameterInfo info{};
        controller->getParameterInfo(i, info);
        p.parameters.push_back(info.id);
    }
    if (FUnknownPtr<IUnitInfo> units(controller); units) {
        p.units = units->getUnitCount();
    }
    return p;
}

void processSome(Rig& rig, int blocks, int32 frames, std::uint32_t seed) {
    const int32 n = frames;
    for (int b = 0; b < blocks; ++b) {
        const Signal in = noise(rig.channels(kInput, 0), n, 0.5f, seed + static_cast<uint32>(b));
        for (int32 c = 0; c < rig.channels(kInput, 0); ++c) {
            std::copy(in[static_cast<size_t>(c)].begin(), in[static_cast<size_t>(c)].end(),
                      rig.input(0, c));
        }
        EXPECT_EQ(rig.process(n), kResultOk);
    }
}

TEST(Lifecycle, InitializeAndTerminateRepeatedlyPublishTheSameThings) {
    RawPair p = createRaw();
    ASSERT_TRUE(p.component && p.processor && p.controller);
    Published first;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(p.component->initialize(&hostContext()), kResultOk);
        ASSERT_EQ(p.controller->initialize(&hostContext()), kResultOk);
        const Published now = published(p.component, p.controller);
        if (round == 0) {
            first = now;
            EXPECT_FALSE(first.buses.empty());
            EXPECT_FALSE(first.parameters.empty());
        } else {
            EXPECT_EQ(now, first) << "a second initialize publishes buses, parameters or "
                                     "units twice or loses some";
        }
        if (round % 2 == 1) {
            Rig rig(p.component, p.processor);
            ASSERT_TRUE(rig.start(Layout{}));
            processSome(rig, 4, 512, 10u + static_cast<uint32>(round));
        }
        EXPECT_EQ(p.controller->terminate(), kResultOk);
        EXPECT_EQ(p.component->terminate(), kResultOk);
    }
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(Lifecycle, ConnectionPointsConnectDisconnectAndReconnect) {
    RawPair p = createRaw();
    ASSERT_TRUE(p.component && p.processor && p.controller);
    ASSERT_EQ(p.component->initialize(&hostContext()), kResultOk);
    ASSERT_EQ(p.controller->initialize(&hostContext()), kResultOk);
    FUnknownPtr<IConnectionPoint> processorPoint(p.component);
    FUnknownPtr<IConnectionPoint> controllerPoint(p.controller);
    ASSERT_TRUE(processorPoint && controllerPoint);
    EXPECT_NE(processorPoint->notify(nullptr), kResultOk);
    EXPECT_NE(controllerPoint->notify(nullptr), kResultOk);

    // The processor talks to the controller only while connected.
    testing::internal::CaptureStderr();
    {
        Rig rig(p.component, p.processor);
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            EXPECT_EQ(processorPoint->connect(controllerPoint), kResultTrue);
            EXPECT_EQ(controllerPoint->connect(processorPoint), kResultTrue);
            ASSERT_TRUE(rig.start(Layout{}));
            processSome(rig, 2, 512, 800u + static_cast<uint32>(round));
            rig.stop();
            EXPECT_EQ(processorPoint->disconnect(controllerPoint), kResultTrue);
            EXPECT_EQ(controllerPoint->disconnect(processorPoint), kResultTrue);
            EXPECT_NE(processorPoint->disconnect(controllerPoint), kResultTrue);

            ASSERT_TRUE(rig.start(Layout{}));
            processSome(rig, 2, 512, 900u + static_cast<uint32>(round));
            rig.stop();
        }
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(err, "received: again::setActive (true)"), 3u) << err;
    EXPECT_EQ(occurrences(err, "received: again::setActive (false)"), 3u) << err;

    EXPECT_EQ(p.controller->terminate(), kResultOk);
    EXPECT_EQ(p.component->terminate(), kResultOk);
}

TEST(Lifecycle, StateTransitionsInEveryLegalOrder) {
    RawPair p = createRaw();
    ASSERT_TRUE(p.component && p.processor);
    IComponent* component = p.component;
    IAudioProcessor* processor = p.processor;

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(component->initialize(&hostContext()), kResultOk);
        Rig rig(component, processor);

        // The usual order, several times over.
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(rig.start(Layout{}));
            processSome(rig, 3, 512, 100u + static_cast<uint32>(i));
            rig.stop();
        }

        // Set-up twice before activation; a host that never calls
        // setProcessing.
        Layout layout;
        layout.sampleRate = 44100.0;
        ASSERT_EQ(rig.setup(layout), kResultOk);
        layout.sampleRate = 96000.0;
        layout.maxBlock = 1024;
        ASSERT_EQ(rig.setup(layout), kResultOk);
        rig.allocate(1024);
        ASSERT_EQ(component->setActive(true), kResultOk);
        processSome(rig, 3, 1024, 200);
        ASSERT_EQ(component->setActive(false), kResultOk);

        // Processing switched on and off while active; reactivation without
        // a new set-up.
        ASSERT_EQ(component->setActive(true), kResultOk);
        for (int i = 0; i < 3; ++i) {
            processor->setProcessing(true);
            processSome(rig, 2, 512, 300u + static_cast<uint32>(i));
            processor->setProcessing(false);
        }
        ASSERT_EQ(component->setActive(false), kResultOk);
        ASSERT_EQ(component->setActive(true), kResultOk);
        processor->setProcessing(true);
        processSome(rig, 2, 512, 400);
        processor->setProcessing(false);
        ASSERT_EQ(component->setActive(false), kResultOk);

        // New layouts between sessions, with and without the side-chain.
        Layout mono;
        mono.in = SpeakerArr::kMono;
        mono.out = SpeakerArr::kMono;
        mono.sampleRate = 22050.0;
        ASSERT_TRUE(rig.start(mono));
        processSome(rig, 3, 512, 500);
        rig.stop();
        Layout wide;
        wide.in = SpeakerArr::kStereo;
        wide.out = SpeakerArr::k51;
        wide.sidechain = true;
        wide.maxBlock = 256;
        ASSERT_TRUE(rig.start(wide));
        processSome(rig, 3, 256, 600);
        rig.stop();
        ASSERT_TRUE(rig.start(Layout{}));
        processSome(rig, 3, 512, 700);
        rig.stop();

        EXPECT_EQ(component->terminate(), kResultOk);
    }
}

TEST(Lifecycle, IllegalCallsAreRefusedWithoutHarm) {
    RawPair p = createRaw();
    ASSERT_TRUE(p.component && p.processor && p.controller);
    IComponent* component = p.component;
    IAudioProcessor* processor = p.processor;
    ASSERT_EQ(component->initialize(&hostContext()), kResultOk);
    ASSERT_EQ(p.controller->initialize(&hostContext()), kResultOk);
    Rig rig(component, processor);

    // process before setupProcessing, then before setActive.
    rig.allocate(512);
    processSome(rig, 2, 512, 1);
    Layout layout;
    ASSERT_EQ(rig.setup(layout), kResultOk);
    processSome(rig, 2, 512, 2);

    // 64-bit samples and rates that are no rates.
    EXPECT_EQ(processor->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(processor->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
    EXPECT_NE(processor->setupProcessing(setup), kResultOk);
    for (double rate : {0.0, -48000.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), 1e300}) {
        SCOPED_TRACE(rate);
        setup = {kRealtime, kSample32, 512, rate};
        EXPECT_NE(processor->setupProcessing(setup), kResultOk);
    }

    // Bus requests out of range.
    BusInfo info{};
    SpeakerArrangement arr = 0;
    EXPECT_NE(component->getBusInfo(kAudio, kInput, 99, info), kResultOk);
    EXPECT_NE(component->getBusInfo(kAudio, kOutput, -1, info), kResultOk);
    EXPECT_NE(component->getBusInfo(kEvent, kInput, 0, info), kResultOk);
    EXPECT_NE(processor->getBusArrangement(kInput, 99, arr), kResultOk);
    EXPECT_NE(processor->getBusArrangement(kOutput, -1, arr), kResultOk);
    EXPECT_NE(component->activateBus(kAudio, kInput, 99, true), kResultTrue);
    EXPECT_NE(component->activateBus(kAudio, kOutput, -1, true), kResultTrue);
    EXPECT_NE(component->activateBus(kEvent, kInput, 0, true), kResultTrue);

    // Null streams.
    EXPECT_NE(component->setState(nullptr), kResultOk);
    EXPECT_NE(component->getState(nullptr), kResultOk);
    EXPECT_NE(p.controller->getState(nullptr), kResultOk);
    EXPECT_NE(p.controller->setState(nullptr), kResultOk);
    p.controller->setComponentState(nullptr);

    ASSERT_TRUE(rig.start(layout));
    processSome(rig, 2, 512, 3);

    // While active: no new buses, no new rate.
    std::vector<std::string> before;
    for (int32 i = 0; i < component->getBusCount(kAudio, kInput); ++i) {
        before.push_back(busText(component, kAudio, kInput, i));
    }
    before.push_back(busText(component, kAudio, kOutput, 0));
    EXPECT_EQ(rig.propose(SpeakerArr::kMono, SpeakerArr::kMono), kResultFalse);
    EXPECT_EQ(rig.propose(SpeakerArr::k71Cine, SpeakerArr::k71Cine), kResultFalse);
    std::vector<std::string> after;
    for (int32 i = 0; i < component->getBusCount(kAudio, kInput); ++i) {
        after.push_back(busText(component, kAudio, kInput, i));
    }
    after.push_back(busText(component, kAudio, kOutput, 0));
    EXPECT_EQ(after, before);
    ASSERT_EQ(processor->getBusArrangement(kInput, 0, arr), kResultOk);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
    ASSERT_EQ(processor->getBusArrangement(kOutput, 0, arr), kResultOk);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
    setup = {kRealtime, kSample32, 512, 96000.0};
    EXPECT_NE(processor->setupProcessing(setup), kResultOk);
    processSome(rig, 2, 512, 4);

    // Repeated switches.
    EXPECT_EQ(component->setActive(true), kResultOk);
    processor->setProcessing(true);
    processSome(rig, 2, 512, 5);
    rig.stop();
    EXPECT_EQ(component->setActive(false), kResultOk);
    processor->setProcessing(false);

    // process after deactivation.
    processSome(rig, 2, 512, 6);

    // Torn down while still running, as a crashing host session would.
    ASSERT_TRUE(rig.start(layout));
    processSome(rig, 2, 512, 7);
    EXPECT_EQ(p.controller->terminate(), kResultOk);
    EXPECT_EQ(component->terminate(), kResultOk);

    // A new session on the same processor sets up as a first one would.
    ASSERT_EQ(component->initialize(&hostContext()), kResultOk);
    Rig next(component, processor);
    ASSERT_TRUE(
        next.start({.in = SpeakerArr::kMono, .out = SpeakerArr::kMono, .sampleRate = 96000.0}));
    processSome(next, 2, 512, 8);
    next.stop();
    EXPECT_EQ(component->terminate(), kResultOk);
}

} // namespace
} // namespace conformance
