// Vst2Wrapper: one VST 3 processor and its edit controller, created from a
// plug-in factory and connected as a VST 3 host connects them, presented to a
// VST 2 host as a single effect.
//
// Threads. The host calls setParameter, getParameter and a few opcodes from
// any thread and processReplacing on its audio thread; everything else comes
// from its main (user-interface) thread. Values set by the host live in
// atomics; two sets of pending flags hand them on lock-free: to the processor
// as parameter changes at the start of the next processReplacing, and to the
// controller (and so the editor) at the next effEditIdle on the user-interface
// thread. Output parameters (meters) take the same way to the controller.
//
// Audio. Inputs 1-2 are the main pair and, when the processor has an
// auxiliary input bus, inputs 3-4 its side-chain pair. The side-chain feeds
// the detector only while the host has declared input 3 connected through
// effConnectInput (input 4 adds the right channel): hosts that know nothing
// of side-chains pass silence or copies of the main input there, which would
// key the gate wrongly, so a host that says nothing gets the plug-in's plain
// behaviour.
#pragma once

#include "sdk/parameterchanges.h"
#include "sdk/vst2/vst2abi.h"
#include "sdk/vst2/vst2editorframe.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Steinberg {
namespace Vst {

// What the VST 2 host learns about the effect besides the VST 3 classes.
struct Vst2EffectInfo {
    const char* effectName = "";
    const char* vendor = "";
    const char* product = "";
    std::int32_t vendorVersion = 0;
    std::int32_t uniqueId = 0;
    std::int32_t category = vst2::kPlugCategoryEffect;
    // Editor size reported before a view exists to ask.
    std::int16_t editorWidth = 0;
    std::int16_t editorHeight = 0;
};

class Vst2Wrapper final : public IComponentHandler {
public:
    // The effect for the host, or null when the processor class or its
    // controller cannot be created and initialised, or cannot process 32-bit
    // samples. The wrapper keeps a reference to the factory; the host's
    // effClose destroys it.
    static vst2::Effect* create(IPluginFactory* factory, const TUID processorClass,
                                const Vst2EffectInfo& info, vst2::HostCallback host);

    // The wrapper behind an effect this class created, or null.
    static Vst2Wrapper* fromEffect(vst2::Effect* effect);

    IEditController* controller() const { return controller_; }
    // The VST 2 index of a parameter, or -1 for one VST 2 hosts do not see.
    std::int32_t indexOf(ParamID id) const;

    //--- IComponentHandler: edits made in the editor, on the UI thread.
    tresult PLUGIN_API beginEdit(ParamID id) override;
    tresult PLUGIN_API performEdit(ParamID id, ParamValue valueNormalized) override;
    tresult PLUGIN_API endEdit(ParamID id) override;
    tresult PLUGIN_API restartComponent(int32 flags) override;

    // The effect owns the wrapper; reference counts do not decide its life.
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    Vst2Wrapper(const Vst2Wrapper&) = delete;
    Vst2Wrapper& operator=(const Vst2Wrapper&) = delete;

private:
    // The name the VST 3 classes see is the VST 2 host's product name.
    class Context final : public HostApplication {
    public:
        explicit Context(Vst2Wrapper& wrapper) : wrapper_(wrapper) {}
        tresult PLUGIN_API getName(String128 name) override;

    private:
        Vst2Wrapper& wrapper_;
    };

    struct Param {
        ParamID id = 0;
        std::string title;
        std::string units;
        std::string name;      // fits kMaxParamStrLen
        std::string shortName; // fits the properties' 8-byte short label
        int32 stepCount = 0;
        int32 flags = 0;
    };

    Vst2Wrapper(const Vst2EffectInfo& info, vst2::HostCallback host);
    ~Vst2Wrapper();

    bool init(IPluginFactory* factory, const TUID processorClass);
    bool createComponents(IPluginFactory* factory, const TUID processorClass);
    void collectParameters();
    void setUpBuses();
    bool measureStates();
    void teardown();

    static std::intptr_t dispatcherProc(vst2::Effect* e, std::int32_t opcode, std::int32_t index,
                                        std::intptr_t value, void* ptr, float opt);
    static void processReplacingProc(vst2::Effect* e, float** inputs, float** outputs,
                                     std::int32_t frames);
    static void processAccumulatingProc(vst2::Effect* e, float** inputs, float** outputs,
                                        std::int32_t frames);
    static void setParameterProc(vst2::Effect* e, std::int32_t index, float value);
    static float getParameterProc(vst2::Effect* e, std::int32_t index);

    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                           float opt);
    std::intptr_t callHost(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                           void* ptr = nullptr, float opt = 0.0f);

    // Audio thread.
    void processReplacing(float** inputs, float** outputs, std::int32_t frames);
    void passThrough(float** inputs, float** outputs, std::int32_t frames) const;
    void takeProcessorChanges();
    void keepOutputValues();

    // Any thread.
    bool validIndex(std::int32_t index) const;
    void setFromHost(std::int32_t index, double value);
    bool string2parameter(std::int32_t index, const char* text);
    std::string displayText(std::int32_t index) const;

    // Main thread.
    tresult editGesture(ParamID id, std::int32_t hostOpcode);
    void setupProcessing();
    std::intptr_t mainsChanged(bool on);
    void setProcessing(bool on);
    bool setSpeakerArrangement(const vst2::SpeakerArrangement* in,
                               const vst2::SpeakerArrangement* out);
    void describeArrangement(vst2::SpeakerArrangement& arr, int channels) const;
    bool pinProperties(bool input, std::int32_t index, vst2::PinProperties* p) const;
    bool parameterProperties(std::int32_t index, vst2::ParameterProperties* p) const;
    std::intptr_t canDo(const char* feature) const;
    void flushToIdleProcessor();
    std::intptr_t getChunk(void** data);
    std::intptr_t setChunk(const void* data, std::intptr_t size);
    void syncController();
    void refreshValuesFromController();
    bool openEditor(void* window);
    void closeEditor();
    void idleEditor();
    bool hostResizesEditor(int width, int height);

    vst2::Effect effect_{};
    Vst2EffectInfo info_;
    vst2::HostCallback host_;
    Context context_;

    IPtr<IPluginFactory> factory_;
    IPtr<IComponent> component_;
    IPtr<IAudioProcessor> processor_;
    IPtr<IEditController> controller_;
    IPtr<IConnectionPoint> componentPoint_;
    IPtr<IConnectionPoint> controllerPoint_;
    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool connected_ = false;

    // Writable parameters in ID order (the VST 2 index) and output ones.
    std::vector<Param> params_;
    std::vector<ParamID> outputIds_;
    std::int32_t bypassIndex_ = -1;

    // Lock-free hand-over; one bit per VST 2 index, 64 to a word.
    std::vector<std::atomic<float>> values_;
    std::vector<std::atomic<std::uint64_t>> toProcessor_;
    std::vector<std::atomic<std::uint64_t>> toController_;
    std::vector<std::atomic<float>> outputValues_;
    std::atomic<std::uint64_t> outputsChanged_{0};

    // Processing. Set-up fields change only while inactive; activation
    // publishes them to the audio thread through active_.
    std::atomic<bool> active_{false};
    bool processing_ = false;
    double sampleRate_ = 44100.0;
    std::int32_t blockSize_ = 1024;
    std::int32_t activeBlockSize_ = 1024;
    int mainInChannels_ = 2;
    int mainOutChannels_ = 2;
    std::int32_t auxBus_ = -1;
    std::atomic<std::uint32_t> connectedInputs_{0};

    velmora::ParameterChanges inChanges_;
    velmora::ParameterChanges outChanges_;
    ProcessData data_{};
    AudioBusBuffers inBuses_[2]{};
    AudioBusBuffers outBus_{};
    float* mainIn_[2] = {};
    float* auxIn_[2] = {};
    float* mainOut_[2] = {};

    vst2::SpeakerArrangement inArrangement_{};
    vst2::SpeakerArrangement outArrangement_{};

    // State sizes this version writes; chunks must carry exactly these.
    std::size_t processorStateSize_ = 0;
    std::size_t controllerStateSize_ = 0;
    std::vector<char> chunk_;
    std::string programName_ = "Default";

    IPtr<IPlugView> view_;
    IPtr<vst2::EditorFrame> frame_;
    vst2::Rect rect_{};
};

} // namespace Vst
} // namespace Steinberg
