// A strict host for the built bundle: the module is loaded once per test
// process, instances come from its factory, and every block is checked the
// way a validator checks it (inputs come back untouched, outputs are finite).
#pragma once

#include "hosting/HostServices.h"
#include "hosting/HostedPlugin.h"
#include "hosting/ParameterChanges.h"
#include "hosting/PluginModule.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace conformance {

using Steinberg::int32;
using Steinberg::int64;
using Steinberg::IPtr;
using Steinberg::tresult;
using Steinberg::uint64;
using Steinberg::Vst::IAudioProcessor;
using Steinberg::Vst::IComponent;
using Steinberg::Vst::IEditController;
using Steinberg::Vst::ParamID;
using Steinberg::Vst::SpeakerArrangement;

// Channels × frames.
using Signal = std::vector<std::vector<float>>;

std::shared_ptr<velmora::host::PluginModule> module();
velmora::host::HostContext& hostContext();

// Factory classes by category; fails the test when missing.
struct ClassIds {
    Steinberg::TUID processor{};
    Steinberg::TUID controller{};
};
ClassIds classIds();

// A processor and a controller straight from the factory, not initialized.
struct RawPair {
    IPtr<IComponent> component;
    IPtr<IAudioProcessor> processor;
    IPtr<IEditController> controller;
};
RawPair createRaw();

// A processor and controller as a host holds them: initialized and connected,
// text messages kept off the error stream.
std::unique_ptr<velmora::host::HostedPlugin> createHosted();

// White noise at a peak level, reproducible by seed.
Signal noise(int channels, int64 frames, float level, std::uint32_t seed);
Signal silence(int channels, int64 frames);

// Noise bursts that open and close the gate at its default threshold:
// 200 ms at -12 dBFS, 200 ms at -60 dBFS.
Signal bursts(int channels, int64 frames, double sampleRate, std::uint32_t seed);

struct Layout {
    SpeakerArrangement in = Steinberg::Vst::SpeakerArr::kStereo;
    SpeakerArrangement out = Steinberg::Vst::SpeakerArr::kStereo;
    bool sidechain = false;
    double sampleRate = 48000.0;
    int32 maxBlock = 512;
    int32 processMode = Steinberg::Vst::kRealtime;
};

// Drives one processor through IAudioProcessor with buffers of its own. It
// does not own the processor.
class Rig {
public:
    Rig(IComponent* component, IAudioProcessor* processor);
    // Leaves the processor inactive.
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    IComponent* component() const { return component_; }
    IAudioProcessor* processor() const { return processor_; }

    // Proposes the layout for the main buses (other buses keep theirs),
    // activates the side-chain if asked, allocates buffers, sets up,
    // activates and starts processing.
    testing::AssertionResult start(const Layout& layout);
    // Processing off, inactive.
    void stop();

    // Steps of start, for hosts that call them in other orders.
    tresult propose(SpeakerArrangement in, SpeakerArrangement out);
    tresult activateSidechain(bool on);
    tresult setup(const Layout& layout);
    // Buffers for every bus as getBusInfo describes it now.
    void allocate(int32 maxBlock);

    int32 buses(Steinberg::Vst::BusDirection dir) const;
    int32 channels(Steinberg::Vst::BusDirection dir, int32 bus) const;
    float* input(int32 bus, int32 channel);
    float* output(int32 bus, int32 channel);
    uint64& inputFlags(int32 bus);
    // Output silence flags to hand over with the next block (then reset to 0),
    // and the ones the processor reported in the last block.
    uint64& outputFlags(int32 bus);
    uint64 reportedFlags(int32 bus) const;

    // Changes for the next block; emptied after it.
    velmora::host::ParameterChanges& changes() { return changes_; }
    // What the processor reported in the last block.
    velmora::host::ParameterChanges& reported() { return reported_; }

    // One block from the rig's buffers. Output silence flags go in as set
    // with outputFlags(). In place, output bus 0 shares input bus 0's buffers.
    // Fails the test when an input buffer changed (not in place) or an output
    // sample is not finite.
    tresult process(int32 frames, bool inPlace = false);

    struct RunOptions {
        // Block sizes, used in turn; the last one repeats.
        std::vector<int32> blocks{512};
        const Signal* key = nullptr;
        bool inPlace = false;
        // Called before each block with its first frame and its size.
        std::function<void(Rig&, int64, int32)> beforeBlock;
    };
    // Runs a whole signal through output bus 0 and returns that bus.
    Signal run(const Signal& in, const RunOptions& options);
    Signal run(const Signal& in) { return run(in, RunOptions{}); }

    int64 blocksProcessed() const { return blocks_; }

private:
    struct Bus {
        std::vector<std::vector<float>> storage;
        std::vector<float*> pointers;
        std::vector<std::vector<float>> before;
        uint64 flags = 0;
        uint64 reported = 0;
    };

    IComponent* component_;
    IAudioProcessor* processor_;
    bool active_ = false;
    bool processing_ = false;
    int32 maxBlock_ = 0;
    int32 processMode_ = Steinberg::Vst::kRealtime;
    std::vector<Bus> inputs_;
    std::vector<Bus> outputs_;
    std::vector<Steinberg::Vst::AudioBusBuffers> inBuffers_;
    std::vector<Steinberg::Vst::AudioBusBuffers> outBuffers_;
    std::vector<float*> inPlacePointers_;
    velmora::host::ParameterChanges changes_{64, 64};
    velmora::host::ParameterChanges reported_{64, 64};
    int64 blocks_ = 0;
    int64 time_ = 0;
    int reportedFailures_ = 0;
};

// A hosted instance with its rig.
struct HostedRig {
    HostedRig();
    std::unique_ptr<velmora::host::HostedPlugin> plugin;
    std::unique_ptr<Rig> rig;
};

// Writable parameters (not read-only), as the controller lists them.
struct WritableParameter {
    ParamID id = 0;
    int32 stepCount = 0;
};
std::vector<WritableParameter> writableParameters(IEditController* controller);

// A random value a host might send: mostly anywhere in 0..1, sometimes an
// end of the range; switches get 0 or 1.
double randomValue(const WritableParameter& p, std::mt19937& rng);

// Processor states a damaged project file could hand over: 124 bytes whose
// floats are no numbers or far outside 0..1, random bytes, too few bytes.
std::vector<std::pair<std::string, std::vector<char>>> damagedStates();

bool allFinite(const Signal& s);
float peak(const Signal& s, int64 from = 0);
double rms(const Signal& s, int64 from = 0, int64 to = -1);

} // namespace conformance
