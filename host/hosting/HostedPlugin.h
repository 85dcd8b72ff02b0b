// One plug-in instance as an offline host drives it: the processor component
// and its edit controller, created from a loaded module, initialized with the
// host's context and connected to each other; then buses, processing set-up,
// activation, blocks of audio with parameter changes in and out, and the
// teardown in reverse order.
#pragma once

#include "hosting/HostServices.h"
#include "hosting/ParameterChanges.h"
#include "hosting/ParameterEntry.h"
#include "hosting/PluginModule.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::host {

struct HostOptions {
    std::string hostName = "BK Velmora offline host";
    // Text messages are the plug-in's diagnostics between its two halves; a
    // command-line tool may keep them off its error stream.
    bool deliverTextMessages = true;
    std::int32_t pointsPerQueue = 64;
};

struct ProcessConfig {
    double sampleRate = 48000.0;
    std::int32_t maxBlockSize = 512;
    // Channels of the main input and output.
    std::int32_t channels = 2;
    // Activates the first auxiliary input bus.
    bool sidechain = false;
    std::int32_t processMode = Steinberg::Vst::kOffline;
};

class HostedPlugin {
public:
    static std::unique_ptr<HostedPlugin> create(std::shared_ptr<PluginModule> module,
                                                std::string& error, HostOptions options = {});

    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;
    ~HostedPlugin();

    Steinberg::Vst::IComponent* component() const { return component_; }
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }
    const ComponentHandler& componentHandler() const { return *handler_; }
    const std::string& className() const { return className_; }

    // Parameters as the controller publishes them, in index order.
    const std::vector<ParameterEntry>& parameters() const { return parameters_; }
    const ParameterEntry* parameter(Steinberg::Vst::ParamID id) const;
    Steinberg::Vst::ParamValue normalized(Steinberg::Vst::ParamID id) const;
    bool setNormalized(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    // The plug-in's own text for a value, and its reading of a text.
    std::string valueText(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) const;
    std::optional<Steinberg::Vst::ParamValue> valueFromText(Steinberg::Vst::ParamID id,
                                                            std::string_view text) const;

    // The processor's state goes to the processor and then to the controller.
    bool setState(const std::vector<char>& bytes, std::string& error);
    bool getState(std::vector<char>& bytes) const;

    // Proposes the bus layout, activates the side-chain when asked, sets up
    // processing and switches the processor on.
    bool startProcessing(const ProcessConfig& config, std::string& error);
    // Switches processing and the processor off; startProcessing may follow.
    void stopProcessing();
    bool isProcessing() const { return processing_; }
    const ProcessConfig& config() const { return config_; }

    // Buses as set up by startProcessing. Buffers hold maxBlockSize samples;
    // input buffers are the plug-in's to read and, as VST 3 allows, to write.
    std::int32_t busCount(Steinberg::Vst::BusDirection dir) const;
    std::int32_t channelCount(Steinberg::Vst::BusDirection dir, std::int32_t bus) const;
    float* channel(Steinberg::Vst::BusDirection dir, std::int32_t bus, std::int32_t channel);
    // The index of the active side-chain input bus, or -1.
    std::int32_t sidechainBus() const { return sidechainBus_; }
    // Silence flags the plug-in reported for an output bus in the last block.
    Steinberg::uint64 outputSilenceFlags(std::int32_t bus) const;

    // Changes for the next process call; emptied after it.
    ParameterChanges& inputChanges() { return *inputChanges_; }
    // What the processor reported in the last process call.
    const ParameterChanges& outputChanges() const { return *outputChanges_; }

    // Processes numSamples (at most maxBlockSize) samples of every bus.
    // Allocates nothing.
    Steinberg::tresult process(std::int32_t numSamples);
    // Hands the pending parameter changes over without audio.
    Steinberg::tresult flushParameters();

private:
    struct Bus {
        std::vector<std::vector<float>> storage;
        std::vector<float*> pointers;
    };

    HostedPlugin() = default;
    bool connect(std::string& error);
    void teardown();
    Steinberg::tresult run(Steinberg::Vst::ProcessData& data);

    std::shared_ptr<PluginModule> module_;
    HostOptions options_;
    std::unique_ptr<HostContext> hostContext_;
    ComponentHandler* handler_ = nullptr;
    std::string className_;

    Steinberg::Vst::IComponent* component_ = nullptr;
    Steinberg::Vst::IAudioProcessor* processor_ = nullptr;
    Steinberg::Vst::IEditController* controller_ = nullptr;
    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool separateController_ = false;

    Steinberg::Vst::IConnectionPoint* componentPoint_ = nullptr;
    Steinberg::Vst::IConnectionPoint* controllerPoint_ = nullptr;
    ConnectionProxy* toController_ = nullptr;
    ConnectionProxy* toComponent_ = nullptr;

    std::vector<ParameterEntry> parameters_;

    ProcessConfig config_;
    bool active_ = false;
    bool processing_ = false;
    std::int32_t sidechainBus_ = -1;
    std::vector<Bus> inputBuses_;
    std::vector<Bus> outputBuses_;
    std::vector<Steinberg::Vst::AudioBusBuffers> inputs_;
    std::vector<Steinberg::Vst::AudioBusBuffers> outputs_;
    std::unique_ptr<ParameterChanges> inputChanges_;
    std::unique_ptr<ParameterChanges> outputChanges_;
    Steinberg::Vst::ProcessContext context_{};
};

} // namespace velmora::host
