#include "render/Render.h"

#include "render/Interrupt.h"
#include "render/ParameterLookup.h"
#include "render/PendingFile.h"
#include "render/Plot.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

namespace velmora::host {

namespace {

using Steinberg::Vst::kInput;
using Steinberg::Vst::kOutput;

// Holds the host's main-thread lock, when there is one, for a scope.
std::unique_lock<std::mutex> onMainThread(std::mutex* mainThread) {
    return mainThread != nullptr ? std::unique_lock<std::mutex>(*mainThread)
                                 : std::unique_lock<std::mutex>();
}

struct Threshold {
    double db = 0.0;
    std::string text;
};

// The threshold as the plug-in shows it, for the plot.
std::optional<Threshold> currentThreshold(const HostedPlugin& plugin) {
    for (const ParameterEntry& p : plugin.parameters()) {
        if (normalizeName(p.title) == "threshold") {
            Threshold t;
            t.text = plugin.valueText(p.id, plugin.normalized(p.id));
            char* end = nullptr;
            t.db = std::strtod(t.text.c_str(), &end);
            if (end == t.text.c_str()) {
                return std::nullopt;
            }
            return t;
        }
    }
    return std::nullopt;
}

// Copies file channels into bus channels; a bus wider than the file repeats
// the file's channels.
void deinterleave(const float* interleaved, int fileChannels, std::int64_t frames,
                  HostedPlugin& plugin, std::int32_t bus) {
    const std::int32_t channels = plugin.channelCount(kInput, bus);
    for (std::int32_t c = 0; c < channels; ++c) {
        float* dst = plugin.channel(kInput, bus, c);
        const int src = c % fileChannels;
        for (std::int64_t i = 0; i < frames; ++i) {
            dst[i] = interleaved[i * fileChannels + src];
        }
    }
}

void interleave(HostedPlugin& plugin, int fileChannels, std::int64_t frames, float* interleaved) {
    const std::int32_t channels = plugin.channelCount(kOutput, 0);
    for (int c = 0; c < fileChannels; ++c) {
        const float* src = c < channels ? plugin.channel(kOutput, 0, c) : nullptr;
        for (std::int64_t i = 0; i < frames; ++i) {
            interleaved[i * fileChannels + c] = src != nullptr ? src[i] : 0.0f;
        }
    }
}

bool writeBytes(const std::filesystem::path& path, const std::vector<char>& bytes,
                std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write '" + path.string() + "'";
        return false;
    }
    return true;
}

RenderResult failed(RenderResult result, std::string error, int status = kExitFailure) {
    result.status = status;
    result.error = std::move(error);
    return result;
}

RenderResult interrupted(RenderResult result) {
    return failed(std::move(result), "interrupted; no output written",
                  interruptedExitCode(interruptSignal()));
}

} // namespace

void printError(const std::string& message) {
    std::fprintf(stderr, "velmora-render: %s\n", message.c_str());
}

void printWarning(const std::string& message) {
    std::fprintf(stderr, "velmora-render: warning: %s\n", message.c_str());
}

std::optional<std::string> clippingWarning(const RenderResult& result) {
    if (result.output.clipped() == 0 || isFloatEncoding(result.info.format)) {
        return std::nullopt;
    }
    return std::to_string(result.output.clipped()) + " output samples above 0 dBFS were clipped";
}

std::optional<std::string> formatWarning(const RenderResult& result) {
    const int written = outputFormat(result.info.format);
    if (written == result.info.format) {
        return std::nullopt;
    }
    return "the output is " + describeFormat(written) + ": " + describeFormat(result.info.format) +
           " stores whole blocks only and would add silence at the end";
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

std::string dbfsText(double linear) {
    if (linear <= 0.0) {
        return "-inf dBFS";
    }
    return fixed(linearToDb(linear), 1) + " dBFS";
}

bool openInputs(const RenderJob& job, RenderInputs& files, std::string& error) {
    files.input = SoundFile::openRead(job.input, error);
    if (!files.input) {
        return false;
    }
    const AudioInfo& in = files.input->info();
    if (auto mismatch = extensionMismatch(job.output, in.format)) {
        error = *mismatch;
        return false;
    }
    if (!job.sidechain.empty()) {
        files.sidechain = SoundFile::openRead(job.sidechain, error);
        if (!files.sidechain) {
            return false;
        }
        if (files.sidechain->info().sampleRate != in.sampleRate) {
            error = "side-chain '" + job.sidechain + "' runs at " +
                    std::to_string(files.sidechain->info().sampleRate) + " Hz, but '" + job.input +
                    "' at " + std::to_string(in.sampleRate) + " Hz";
            return false;
        }
    }
    return true;
}

RenderResult renderFile(const RenderJob& job, RenderInputs& files, HostedPlugin& plugin,
                        const std::vector<Setting>& settings, std::mutex* mainThread,
                        const RenderProgress& progress) {
    RenderResult result;
    std::string error;
    SoundFile* input = files.input.get();
    SoundFile* sidechain = files.sidechain.get();
    const AudioInfo in = input->info();
    result.info = in;

    // Every output is written beside its target and renamed at the end.
    std::vector<std::unique_ptr<PendingFile>> pending;
    for (const std::string* path : {&job.output, &job.meters, &job.plot, &job.saveState}) {
        if (path->empty()) {
            continue;
        }
        auto file = PendingFile::create(*path, error);
        if (!file) {
            return failed(result, error);
        }
        pending.push_back(std::move(file));
    }
    AudioInfo written = in;
    written.format = outputFormat(in.format);
    auto output = SoundFile::openWrite(pending[0]->temporary(), written, error);
    if (!output) {
        return failed(result, "cannot write '" + job.output + "': " + error);
    }
    output->copyTextsFrom(*input);

    ProcessConfig config;
    config.sampleRate = in.sampleRate;
    config.maxBlockSize = job.blockSize;
    config.channels = in.channels;
    config.sidechain = sidechain != nullptr;
    {
        auto lock = onMainThread(mainThread);
        if (!plugin.startProcessing(config, error)) {
            return failed(result, error);
        }
    }
    // Stops processing on every way out.
    struct Stopper {
        HostedPlugin& plugin;
        std::mutex* mainThread;
        bool running = true;
        void stop() {
            if (running) {
                running = false;
                auto lock = onMainThread(mainThread);
                plugin.stopProcessing();
            }
        }
        ~Stopper() { stop(); }
    } stopper{plugin, mainThread};
    for (const Setting& s : settings) {
        plugin.inputChanges().addChange(s.id, 0, s.value);
    }
    plugin.flushParameters();

    const int channels = in.channels;
    const std::int64_t block = job.blockSize;
    std::vector<float> inBlock(static_cast<std::size_t>(block * channels));
    std::vector<float> outBlock(inBlock.size());
    const int scChannels = sidechain ? sidechain->info().channels : 0;
    std::vector<float> scBlock(static_cast<std::size_t>(block * std::max(1, scChannels)));

    const double rate = in.sampleRate;
    const std::int64_t envelopeWindow = std::max<std::int64_t>(1, in.sampleRate / 200);
    EnvelopeRecorder inEnvelope(envelopeWindow, in.frames);
    EnvelopeRecorder outEnvelope(envelopeWindow, in.frames);
    MeterLog meters;
    if (in.lengthKnown()) {
        meters.reserveFor(double(in.frames) / rate);
    }

    std::int64_t& done = result.frames;
    bool sidechainLeft = sidechain != nullptr;
    bool meterSeen = false;
    while (interruptSignal() == 0) {
        const std::int64_t n = input->read(inBlock.data(), block);
        if (n <= 0) {
            break;
        }
        result.input.add(inBlock.data(), n * channels);
        inEnvelope.add(inBlock.data(), n, channels);
        deinterleave(inBlock.data(), channels, n, plugin, 0);
        if (sidechain) {
            // Read until the file ends, whatever its header said.
            std::int64_t got = sidechainLeft ? sidechain->read(scBlock.data(), n) : 0;
            got = std::max<std::int64_t>(0, got);
            sidechainLeft = got == n;
            std::fill(scBlock.begin() + got * scChannels, scBlock.begin() + n * scChannels, 0.0f);
            deinterleave(scBlock.data(), scChannels, n, plugin, plugin.sidechainBus());
        }
        if (plugin.process(static_cast<std::int32_t>(n)) != Steinberg::kResultOk) {
            return failed(result, "the plug-in failed to process the block at " +
                                      fixed(double(done) / rate, 3) + " s");
        }
        done += n;

        std::array<double, 4> reading{};
        bool complete = true;
        for (std::size_t k = 0; k < kMeterIds.size(); ++k) {
            complete = plugin.outputChanges().lastValue(kMeterIds[k], reading[k]) && complete;
        }
        if (complete) {
            meters.add(double(done) / rate, reading);
            meterSeen = true;
        }
        // The gate counts as open while its gain is above one half (-6 dB).
        if (meterSeen && meterToLinear(meters.rows().back().values[2]) > 0.5) {
            result.openFrames += n;
        }

        interleave(plugin, channels, n, outBlock.data());
        result.output.add(outBlock.data(), n * channels);
        outEnvelope.add(outBlock.data(), n, channels);
        if (!output->write(outBlock.data(), n)) {
            return failed(result, "cannot write '" + job.output + "': " + output->lastError());
        }
        if (progress) {
            progress(done);
        }
    }
    stopper.stop();
    if (interruptSignal() != 0) {
        return interrupted(result);
    }
    if (in.lengthKnown() && done < in.frames) {
        return failed(result, "cannot read '" + job.input + "' past " +
                                  fixed(double(done) / rate, 3) + " s of " +
                                  fixed(double(in.frames) / rate, 3) + " s");
    }
    inEnvelope.finish();
    outEnvelope.finish();

    if (!output->close(error)) {
        return failed(result, error);
    }
    std::size_t next = 1;
    if (!job.meters.empty()) {
        if (!meters.writeCsv(pending[next++]->temporary(), error)) {
            return failed(result, error);
        }
    }
    if (!job.plot.empty()) {
        PlotData plot;
        plot.title = "BK Velmora: " + std::filesystem::path(job.input).filename().string() +
                     " \u2192 " + std::filesystem::path(job.output).filename().string();
        plot.duration = double(done) / rate;
        plot.windowSeconds = double(envelopeWindow) / rate;
        plot.inputPeaks = inEnvelope.peaks();
        plot.outputPeaks = outEnvelope.peaks();
        plot.meters = meters.rows();
        if (auto t = currentThreshold(plugin)) {
            plot.thresholdDb = t->db;
            plot.thresholdText = t->text;
        }
        if (!writePlot(pending[next++]->temporary(), plot, error)) {
            return failed(result, error);
        }
    }
    if (!job.saveState.empty()) {
        auto lock = onMainThread(mainThread);
        if (!writeState(plugin, pending[next++]->temporary(), error)) {
            return failed(result, error);
        }
    }
    switch (commitAll(pending, error)) {
    case CommitResult::Done:
        return result;
    case CommitResult::Interrupted:
        return interrupted(result);
    case CommitResult::Failed:
        break;
    }
    return failed(result, error);
}

bool writeState(const HostedPlugin& plugin, const std::filesystem::path& path, std::string& error) {
    std::vector<char> state;
    if (!plugin.getState(state)) {
        error = "the plug-in did not hand over its state";
        return false;
    }
    return writeBytes(path, state, error);
}

} // namespace velmora::host
