// The adapter from inside: edits the editor makes reach the host as VST 2
// automation, host values and meters reach the controller on the editor's
// thread, and the run loop the adapter lends to editor views.
#include "Vst2TestHost.h"

#include "againcids.h"
#include "controller/ParameterIds.h"
#include "controller/againcontroller.h"
#include "processor/again.h"
#include "sdk/pluginfactory.h"
#include "sdk/vst2/vst2wrapper.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vst2test {
namespace {

std::vector<HostCall> gCalls;

std::intptr_t recordingHost(Effect*, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                            void*, float opt) {
    if (opcode == Version) {
        return 2400;
    }
    gCalls.push_back({opcode, index, value, opt});
    return opcode == 15 ? 1 : 0; // agrees to resize its window
}

struct Adapter {
    Adapter() {
        static const PClassInfo2 processor(AgainProcessorUID, PClassInfo::kManyInstances,
                                           kVstAudioEffectClass, "P", 0, "", nullptr, "1", "1");
        static const PClassInfo2 controller(AgainControllerUID, PClassInfo::kManyInstances,
                                            kVstComponentControllerClass, "C", 0, "", nullptr, "1",
                                            "1");
        factory = owned(new CPluginFactory(PFactoryInfo("v", "u", "e", 0)));
        factory->registerClass(&processor, again::createInstance);
        factory->registerClass(&controller, againController::createInstance);
        Vst2EffectInfo info;
        effect = Vst2Wrapper::create(factory, AgainProcessorUID, info,
                                     reinterpret_cast<vst2::HostCallback>(&recordingHost));
        wrapper = Vst2Wrapper::fromEffect(effect);
        gCalls.clear();
    }
    ~Adapter() {
        if (effect != nullptr) {
            effect->dispatcher(effect, Close, 0, 0, nullptr, 0.0f);
        }
    }
    IPtr<CPluginFactory> factory;
    vst2::Effect* effect = nullptr;
    Vst2Wrapper* wrapper = nullptr;
};

TEST(Vst2Adapter, EditorEditsReachTheHostAsAutomation) {
    Adapter a;
    ASSERT_NE(a.wrapper, nullptr);
    IComponentHandler* handler = a.wrapper;
    handler->beginEdit(velmora::kThreshold);
    handler->performEdit(velmora::kThreshold, 0.375);
    handler->endEdit(velmora::kThreshold);
    // A meter is no VST 2 parameter: nothing goes to the host.
    EXPECT_NE(handler->performEdit(velmora::kMaxVu, 0.5), kResultOk);

    ASSERT_EQ(gCalls.size(), 3u);
    EXPECT_EQ(gCalls[0].opcode, BeginEdit);
    EXPECT_EQ(gCalls[1].opcode, Automate);
    EXPECT_EQ(gCalls[1].opt, 0.375f); // arrives in the float argument
    EXPECT_EQ(gCalls[2].opcode, EndEdit);
    for (const HostCall& c : gCalls) {
        EXPECT_EQ(c.index, a.wrapper->indexOf(velmora::kThreshold));
    }
    EXPECT_EQ(a.effect->getParameter(a.effect, velmora::kThreshold), 0.375f);
}

TEST(Vst2Adapter, ControllerFollowsHostValuesAndMetersOnIdle) {
    Adapter a;
    ASSERT_NE(a.wrapper, nullptr);
    IEditController* controller = a.wrapper->controller();
    a.effect->setParameter(a.effect, velmora::kThreshold, 0.8f);
    EXPECT_NE(controller->getParamNormalized(velmora::kThreshold), 0.8f);

    constexpr std::int32_t kBlock = 4800; // one meter period at 48 kHz
    a.effect->dispatcher(a.effect, SetSampleRate, 0, 0, nullptr, 48000.0f);
    a.effect->dispatcher(a.effect, SetBlockSize, 0, kBlock, nullptr, 0.0f);
    a.effect->dispatcher(a.effect, MainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> buffer(4 * kBlock, 0.5f);
    float* pins[4] = {&buffer[0], &buffer[kBlock], &buffer[2 * kBlock], &buffer[3 * kBlock]};
    for (int k = 0; k < 3; ++k) {
        a.effect->processReplacing(a.effect, pins, pins, kBlock);
    }
    a.effect->dispatcher(a.effect, EditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(controller->getParamNormalized(velmora::kThreshold)), 0.8f);
    EXPECT_GT(controller->getParamNormalized(velmora::kMaxVu), 0.5);
    a.effect->dispatcher(a.effect, MainsChanged, 0, 0, nullptr, 0.0f);
}

class CountingHandler : public Linux::ITimerHandler, public Linux::IEventHandler {
public:
    void PLUGIN_API onTimer() override {
        ++timers;
        if (loop != nullptr && timers == 2) {
            loop->unregisterTimer(this); // from inside its own call
        }
    }
    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { ++events; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++refs; }
    uint32 PLUGIN_API release() override { return --refs; }

    int timers = 0;
    int events = 0;
    int refs = 1;
    Linux::IRunLoop* loop = nullptr;
};

TEST(Vst2Adapter, RunLoopDrivesTimersAndDescriptors) {
    std::vector<std::pair<int, int>> sizes;
    IPtr<vst2::EditorFrame> frame = owned(new vst2::EditorFrame([&](int w, int h) {
        sizes.emplace_back(w, h);
        return true;
    }));
    FUnknownPtr<Linux::IRunLoop> loop(static_cast<IPlugFrame*>(frame));
    ASSERT_TRUE(loop);
    CountingHandler handler;
    handler.loop = loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(loop->registerTimer(&handler, 1), kResultTrue);
    ASSERT_EQ(loop->registerEventHandler(&handler, fds[0]), kResultTrue);

    frame->idle(); // nothing readable yet
    EXPECT_EQ(handler.events, 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    for (int k = 0; k < 5; ++k) {
        usleep(2000);
        frame->idle();
    }
    EXPECT_EQ(handler.timers, 2);
    EXPECT_EQ(handler.events, 5); // level-triggered: still readable
    EXPECT_EQ(frame->timerCount(), 0u);

    frame->detach();
    EXPECT_EQ(handler.refs, 1); // every reference given back
    close(fds[0]);
    close(fds[1]);
}

} // namespace
} // namespace vst2test
