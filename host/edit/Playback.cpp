#include "edit/Playback.h"

#include <algorithm>
#include <chrono>

namespace velmora::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

// What the edit controller reports to the host: each performed value is an
// edit for the processor.
class Playback::Handler final : public IComponentHandler {
public:
    explicit Handler(Playback& playback) : playback_(playback) { FUNKNOWN_CTOR }
    virtual ~Handler(){FUNKNOWN_DTOR}

    tresult PLUGIN_API beginEdit(ParamID) override {
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override {
        playback_.queueEdit(id, value);
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }

    DECLARE_FUNKNOWN_METHODS

private:
    Playback& playback_;
};

IMPLEMENT_FUNKNOWN_METHODS(Playback::Handler, IComponentHandler, IComponentHandler::iid)

Playback::Playback(HostedPlugin& plugin) : plugin_(plugin) {
    handler_ = owned(static_cast<IComponentHandler*>(new Handler(*this)));
    const auto& parameters = plugin_.parameters();
    outputs_ = std::make_unique<OutputSlot[]>(parameters.size());
    outputCount_ = parameters.size();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        outputs_[i].id = parameters[i].id;
    }
}

Playback::~Playback() {
    stop();
}

IComponentHandler* Playback::componentHandler() const {
    return handler_;
}

bool Playback::start(LoopSource input, LoopSource sidechain, std::string& error) {
    if (isRunning()) {
        return true;
    }
    if (!plugin_.isProcessing()) {
        error = "the plug-in is not processing";
        return false;
    }
    input_ = std::move(input);
    sidechain_ = std::move(sidechain);
    inputPosition_ = 0;
    sidechainPosition_ = 0;
    plugin_.controller()->setComponentHandler(handler_);
    stopRequested_.store(false);
    thread_ = std::thread([this] { audioLoop(); });
    return true;
}

void Playback::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopRequested_.store(true);
    thread_.join();
    // The audio thread is gone: what is left of the edits goes to the
    // processor from here.
    takeEdits(true);
    if (plugin_.inputChanges().count() > 0) {
        plugin_.flushParameters();
    }
    plugin_.controller()->setComponentHandler(nullptr);
}

bool Playback::pushEdit(const Edit& edit) {
    const std::size_t head = ringHead_.load(std::memory_order_relaxed);
    const std::size_t next = (head + 1) % kEditCapacity;
    if (next == ringTail_.load(std::memory_order_acquire)) {
        return false;
    }
    ring_[head] = edit;
    ringHead_.store(next, std::memory_order_release);
    return true;
}

void Playback::queueEdit(ParamID id, ParamValue value) {
    // Edits keep their order: none overtakes those waiting for room.
    while (!overflow_.empty() && pushEdit(overflow_.front())) {
        overflow_.pop_front();
    }
    if (!overflow_.empty() || !pushEdit({id, value})) {
        overflow_.push_back({id, value});
    }
}

void Playback::takeEdits(bool withOverflow) {
    std::size_t tail = ringTail_.load(std::memory_order_relaxed);
    const std::size_t head = ringHead_.load(std::memory_order_acquire);
    ParameterChanges& changes = plugin_.inputChanges();
    while (tail != head) {
        const Edit& e = ring_[tail];
        changes.addChange(e.id, 0, e.value);
        tail = (tail + 1) % kEditCapacity;
    }
    ringTail_.store(tail, std::memory_order_release);
    if (withOverflow) {
        for (const Edit& e : overflow_) {
            changes.addChange(e.id, 0, e.value);
        }
        overflow_.clear();
    }
}

std::size_t Playback::deliverOutputs() {
    while (!overflow_.empty() && pushEdit(overflow_.front())) {
        overflow_.pop_front();
    }
    std::size_t delivered = 0;
    IEditController* controller = plugin_.controller();
    for (std::size_t i = 0; i < outputCount_; ++i) {
        OutputSlot& slot = outputs_[i];
        if (slot.fresh.exchange(false, std::memory_order_acquire)) {
            controller->setParamNormalized(slot.id, slot.value.load(std::memory_order_relaxed));
            ++delivered;
        }
    }
    return delivered;
}

void Playback::fill(const LoopSource& source, std::int64_t& position, std::int32_t bus,
                    std::int32_t frames) {
    const std::int32_t channels = plugin_.channelCount(kInput, bus);
    for (std::int32_t c = 0; c < channels; ++c) {
        float* out = plugin_.channel(kInput, bus, c);
        if (source.frames <= 0 || source.channels <= 0) {
            std::fill(out, out + frames, 0.0f);
            continue;
        }
        // A bus wider than the file repeats the file's channels.
        const int from = c % source.channels;
        std::int64_t at = position;
        for (std::int32_t i = 0; i < frames; ++i) {
            out[i] = source.samples[static_cast<std::size_t>(at * source.channels + from)];
            if (++at == source.frames) {
                at = 0;
            }
        }
    }
    if (source.frames > 0) {
        position = (position + frames) % source.frames;
    }
}

void Playback::audioLoop() {
    using Clock = std::chrono::steady_clock;
    const std::int32_t block = plugin_.config().maxBlockSize;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(block / plugin_.config().sampleRate));
    auto next = Clock::now();
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        takeEdits(false);
        if (plugin_.busCount(kInput) > 0) {
            fill(input_, inputPosition_, 0, block);
        }
        if (plugin_.sidechainBus() >= 0) {
            fill(sidechain_, sidechainPosition_, plugin_.sidechainBus(), block);
        }
        plugin_.process(block);
        const ParameterChanges& reported = plugin_.outputChanges();
        for (std::size_t i = 0; reported.count() > 0 && i < outputCount_; ++i) {
            ParamValue value = 0.0;
            if (reported.lastValue(outputs_[i].id, value)) {
                outputs_[i].value.store(value, std::memory_order_relaxed);
                outputs_[i].fresh.store(true, std::memory_order_release);
            }
        }
        blocks_.fetch_add(1, std::memory_order_relaxed);

        next += period;
        const auto now = Clock::now();
        if (now - next > std::chrono::seconds(1)) {
            // Far behind (the machine was suspended): start the clock afresh
            // rather than racing to catch up.
            next = now;
        }
        std::this_thread::sleep_until(next);
    }
}

} // namespace velmora::host
