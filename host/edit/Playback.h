// Real-time playback through a hosted plug-in without an audio device, as a
// DAW's audio engine drives it: a thread of its own calls process every block
// at the pace of the sample rate, looping the input; parameter edits made on
// the user-interface thread reach the processor in the next block, and the
// values the processor reports (meters) go back to the edit controller on the
// user-interface thread. The two threads meet only through lock-free slots.
#pragma once

#include "hosting/HostedPlugin.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::host {

// Audio held in memory, interleaved; no frames plays silence.
struct LoopSource {
    std::vector<float> samples;
    int channels = 0;
    std::int64_t frames = 0;
};

class Playback {
public:
    static constexpr std::size_t kEditCapacity = 1024;

    // `plugin` must be processing (startProcessing) and outlive the playback.
    explicit Playback(HostedPlugin& plugin);
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;
    ~Playback();

    // Installs the playback's component handler on the controller and starts
    // the audio thread.
    bool start(LoopSource input, LoopSource sidechain, std::string& error);
    // Stops the audio thread; edits still on their way go to the processor
    // through a parameter flush, so its state holds every edit.
    void stop();
    bool isRunning() const { return thread_.joinable(); }

    // User-interface thread: an edit for the processor's next block.
    void queueEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    // User-interface thread: hands the values the processor reported since
    // the last call to the controller (setParamNormalized), as a DAW does.
    // Returns how many were handed over.
    std::size_t deliverOutputs();

    Steinberg::Vst::IComponentHandler* componentHandler() const;
    std::uint64_t blocksProcessed() const { return blocks_.load(std::memory_order_relaxed); }

private:
    struct Edit {
        Steinberg::Vst::ParamID id = 0;
        Steinberg::Vst::ParamValue value = 0.0;
    };
    struct OutputSlot {
        Steinberg::Vst::ParamID id = 0;
        std::atomic<double> value{0.0};
        std::atomic<bool> fresh{false};
    };
    class Handler;

    void audioLoop();
    void fill(const LoopSource& source, std::int64_t& position, std::int32_t bus,
              std::int32_t frames);
    bool pushEdit(const Edit& edit);
    // The audio thread leaves the overflow to the interface thread.
    void takeEdits(bool withOverflow);

    HostedPlugin& plugin_;
    Steinberg::IPtr<Steinberg::Vst::IComponentHandler> handler_;
    LoopSource input_;
    LoopSource sidechain_;
    std::int64_t inputPosition_ = 0;
    std::int64_t sidechainPosition_ = 0;

    std::vector<Edit> ring_ = std::vector<Edit>(kEditCapacity);
    std::atomic<std::size_t> ringHead_{0}; // written by the interface thread
    std::atomic<std::size_t> ringTail_{0}; // written by the audio thread
    std::deque<Edit> overflow_;            // interface thread only
    std::unique_ptr<OutputSlot[]> outputs_;
    std::size_t outputCount_ = 0;

    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> blocks_{0};
    std::thread thread_;
};

} // namespace velmora::host
