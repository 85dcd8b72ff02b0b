#include "render/Tool.h"

#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"
#include "render/AudioFile.h"
#include "render/Measurements.h"
#include "render/Options.h"
#include "render/ParameterLookup.h"
#include "render/PendingFile.h"
#include "render/Plot.h"
#include "render/Progress.h"
#include "render/Settings.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

namespace velmora::host {

namespace {

using Steinberg::Vst::kInput;
using Steinberg::Vst::kOutput;

constexpr const char* kBundleName = "BK Velmora.vst3";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
    gInterrupted = 1;
}

// Lets Ctrl-C end the render cleanly, so no temporary file is left behind.
class InterruptGuard {
public:
    InterruptGuard() {
        gInterrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

int fail(const std::string& message, int code = kExitFailure) {
    std::fprintf(stderr, "velmora-render: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) {
    std::fprintf(stderr, "velmora-render: warning: %s\n", message.c_str());
}

std::optional<std::filesystem::path> findPlugin(const std::string& given, std::string& error) {
    std::error_code ec;
    if (!given.empty()) {
        if (!std::filesystem::exists(given, ec)) {
            error = "no plug-in at '" + given + "'";
            return std::nullopt;
        }
        return std::filesystem::path(given);
    }
    const std::vector<std::filesystem::path> places = defaultPluginLocations();
    for (const auto& p : places) {
        if (std::filesystem::exists(p, ec)) {
            return p;
        }
    }
    error = "no BK Velmora plug-in found (looked for";
    for (std::size_t i = 0; i < places.size(); ++i) {
        error += (i == 0 ? " '" : ", '") + places[i].string() + "'";
    }
    error += "); give one with --plugin PATH";
    return std::nullopt;
}

bool readWholeFile(const std::string& path, std::vector<char>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
        error = "cannot read state file '" + path + "'";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read state file '" + path + "'";
        return false;
    }
    if (bytes.empty()) {
        error = "state file '" + path + "' is empty";
        return false;
    }
    return true;
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

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

std::string dbText(double linear) {
    if (linear <= 0.0) {
        return "-inf dBFS";
    }
    return fixed(linearToDb(linear), 1) + " dBFS";
}

// The plug-in's text for a value; for a switch whose title names its two
// states, the state as well.
std::string listedText(const HostedPlugin& plugin, const ParameterEntry& p, double value) {
    std::string text = plugin.valueText(p.id, value);
    if (p.isSwitch()) {
        const std::vector<std::string> words = switchWords(p.title);
        if (words.size() == 2) {
            text += " (" + words[value > 0.5 ? 1 : 0] + ")";
        }
    }
    return text;
}

void listParameters(const HostedPlugin& plugin) {
    std::vector<std::array<std::string, 5>> rows = {{"ID", "Title", "Value", "At 0", "At 1"}};
    for (const ParameterEntry& p : plugin.parameters()) {
        rows.push_back({std::to_string(p.id), p.title,
                        listedText(plugin, p, plugin.normalized(p.id)), listedText(plugin, p, 0.0),
                        listedText(plugin, p, 1.0)});
    }
    std::array<std::size_t, 5> width{};
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        std::string line = std::string(width[0] - row[0].size(), ' ') + row[0];
        for (std::size_t c = 1; c < row.size(); ++c) {
            line += "  " + row[c] + std::string(width[c] - row[c].size(), ' ');
        }
        if (r > 0 && plugin.parameters()[r - 1].isReadOnly()) {
            line += "  (read-only)";
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::printf("%s\n", line.c_str());
    }
}

// Two outputs with one name would overwrite each other.
bool distinctOutputs(const std::vector<std::pair<std::string, std::string>>& outputs,
                     std::string& error) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            std::error_code ec;
            const auto a = std::filesystem::weakly_canonical(outputs[i].second, ec);
            const auto b = std::filesystem::weakly_canonical(outputs[j].second, ec);
            if (a == b) {
                error = outputs[i].first + " and " + outputs[j].first + " both write '" +
                        outputs[i].second + "'";
                return false;
            }
        }
    }
    return true;
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

struct Loaded {
    std::shared_ptr<PluginModule> module;
    std::unique_ptr<HostedPlugin> plugin;
};

std::optional<Loaded> loadPlugin(const Options& options, std::string& error) {
    const auto path = findPlugin(options.plugin, error);
    if (!path) {
        return std::nullopt;
    }
    Loaded loaded;
    std::string why;
    loaded.module = PluginModule::load(*path, why);
    if (!loaded.module) {
        error = "cannot load the plug-in: " + why;
        return std::nullopt;
    }
    HostOptions hostOptions;
    hostOptions.hostName = "velmora-render";
    hostOptions.deliverTextMessages = options.verbose;
    loaded.plugin = HostedPlugin::create(loaded.module, why, hostOptions);
    if (!loaded.plugin) {
        error = "cannot start the plug-in '" + path->string() + "': " + why;
        return std::nullopt;
    }
    if (options.verbose) {
        std::fprintf(stderr, "velmora-render: using '%s' from '%s'\n",
                     loaded.plugin->className().c_str(), path->c_str());
    }
    return loaded;
}

struct Inputs {
    std::unique_ptr<SoundFile> input;
    std::unique_ptr<SoundFile> sidechain;
};

// Opens the audio files before the plug-in is loaded, so a wrong file name
// is reported first.
bool openInputs(const Options& options, Inputs& files, std::string& error) {
    files.input = SoundFile::openRead(options.input, error);
    if (!files.input) {
        return false;
    }
    const AudioInfo& in = files.input->info();
    if (auto mismatch = extensionMismatch(options.output, in.format)) {
        error = *mismatch;
        return false;
    }
    if (!options.sidechain.empty()) {
        files.sidechain = SoundFile::openRead(options.sidechain, error);
        if (!files.sidechain) {
            return false;
        }
        if (files.sidechain->info().sampleRate != in.sampleRate) {
            error = "side-chain '" + options.sidechain + "' runs at " +
                    std::to_string(files.sidechain->info().sampleRate) + " Hz, but '" +
                    options.input + "' at " + std::to_string(in.sampleRate) + " Hz";
            return false;
        }
    }
    return true;
}

int renderFile(const Options& options, Inputs& files, HostedPlugin& plugin,
               const std::vector<Setting>& settings) {
    std::string error;
    SoundFile* input = files.input.get();
    SoundFile* sidechain = files.sidechain.get();
    const AudioInfo in = input->info();
    std::vector<std::pair<std::string, std::string>> outputs = {{"OUT", options.output}};
    if (!options.meters.empty()) {
        outputs.emplace_back("--meters", options.meters);
    }
    if (!options.plot.empty()) {
        outputs.emplace_back("--plot", options.plot);
    }
    if (!options.saveState.empty()) {
        outputs.emplace_back("--save-state", options.saveState);
    }
    if (!distinctOutputs(outputs, error)) {
        return fail(error, kExitUsage);
    }

    // Every output is written beside its target and renamed at the end.
    std::vector<std::unique_ptr<PendingFile>> pending;
    for (const auto& [what, path] : outputs) {
        auto file = PendingFile::create(path, error);
        if (!file) {
            return fail(error);
        }
        pending.push_back(std::move(file));
    }
    auto output = SoundFile::openWrite(pending[0]->temporary(), in, error);
    if (!output) {
        return fail("cannot write '" + options.output + "': " + error);
    }
    output->copyTextsFrom(*input);

    ProcessConfig config;
    config.sampleRate = in.sampleRate;
    config.maxBlockSize = options.blockSize;
    config.channels = in.channels;
    config.sidechain = sidechain != nullptr;
    if (!plugin.startProcessing(config, error)) {
        return fail(error);
    }
    for (const Setting& s : settings) {
        plugin.inputChanges().addChange(s.id, 0, s.value);
    }
    plugin.flushParameters();

    const int channels = in.channels;
    const std::int64_t block = options.blockSize;
    std::vector<float> inBlock(static_cast<std::size_t>(block * channels));
    std::vector<float> outBlock(inBlock.size());
    const int scChannels = sidechain ? sidechain->info().channels : 0;
    std::vector<float> scBlock(static_cast<std::size_t>(block * std::max(1, scChannels)));

    const double rate = in.sampleRate;
    const std::int64_t envelopeWindow = std::max<std::int64_t>(1, in.sampleRate / 200);
    EnvelopeRecorder inEnvelope(envelopeWindow, in.frames);
    EnvelopeRecorder outEnvelope(envelopeWindow, in.frames);
    LevelStats inStats;
    LevelStats outStats;
    MeterLog meters;
    meters.reserve(static_cast<std::size_t>(in.frames / block + 2));
    ProgressBar progress(!options.quiet, in.frames, rate);
    InterruptGuard interruptGuard;

    std::int64_t done = 0;
    std::int64_t openFrames = 0;
    std::int64_t scLeft = sidechain ? sidechain->info().frames : 0;
    bool meterSeen = false;
    while (gInterrupted == 0) {
        const std::int64_t n = input->read(inBlock.data(), block);
        if (n <= 0) {
            break;
        }
        inStats.add(inBlock.data(), n * channels);
        inEnvelope.add(inBlock.data(), n, channels);
        deinterleave(inBlock.data(), channels, n, plugin, 0);
        if (sidechain) {
            std::int64_t got = scLeft > 0 ? sidechain->read(scBlock.data(), n) : 0;
            got = std::max<std::int64_t>(0, got);
            scLeft -= got;
            std::fill(scBlock.begin() + got * scChannels, scBlock.begin() + n * scChannels, 0.0f);
            deinterleave(scBlock.data(), scChannels, n, plugin, plugin.sidechainBus());
        }
        if (plugin.process(static_cast<std::int32_t>(n)) != Steinberg::kResultOk) {
            plugin.stopProcessing();
            return fail("the plug-in failed to process the block at " +
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
            openFrames += n;
        }

        interleave(plugin, channels, n, outBlock.data());
        outStats.add(outBlock.data(), n * channels);
        outEnvelope.add(outBlock.data(), n, channels);
        if (!output->write(outBlock.data(), n)) {
            plugin.stopProcessing();
            return fail("cannot write '" + options.output + "': " + output->lastError());
        }
        progress.update(done);
    }
    progress.finish();
    plugin.stopProcessing();
    if (gInterrupted != 0) {
        return fail("interrupted; no output written", kExitInterrupted);
    }
    if (in.frames > 0 && done < in.frames) {
        return fail("cannot read '" + options.input + "' past " + fixed(double(done) / rate, 3) +
                    " s of " + fixed(double(in.frames) / rate, 3) + " s");
    }
    inEnvelope.finish();
    outEnvelope.finish();

    if (!output->close(error)) {
        return fail(error);
    }
    std::size_t next = 1;
    if (!options.meters.empty()) {
        if (!meters.writeCsv(pending[next++]->temporary(), error)) {
            return fail(error);
        }
    }
    if (!options.plot.empty()) {
        PlotData plot;
        plot.title = "BK Velmora: " + std::filesystem::path(options.input).filename().string() +
                     " \u2192 " + std::filesystem::path(options.output).filename().string();
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
            return fail(error);
        }
    }
    if (!options.saveState.empty()) {
        std::vector<char> state;
        if (!plugin.getState(state)) {
            return fail("the plug-in did not hand over its state");
        }
        if (!writeBytes(pending[next++]->temporary(), state, error)) {
            return fail(error);
        }
    }
    for (auto& file : pending) {
        if (!file->commit(error)) {
            return fail(error);
        }
    }

    if (outStats.clipped() > 0 && !isFloatEncoding(in.format)) {
        warn(std::to_string(outStats.clipped()) + " output samples above 0 dBFS were clipped");
    }
    if (!options.quiet) {
        const double seconds = double(done) / rate;
        std::printf("%s -> %s\n", options.input.c_str(), options.output.c_str());
        std::printf("  duration   %s s (%lld frames, %d ch, %d Hz, %s)\n",
                    fixed(seconds, 3).c_str(), static_cast<long long>(done), channels,
                    in.sampleRate, describeFormat(in.format).c_str());
        std::printf("  input      peak %-12s RMS %s\n", dbText(inStats.peak()).c_str(),
                    dbText(inStats.rms()).c_str());
        std::printf("  output     peak %-12s RMS %s\n", dbText(outStats.peak()).c_str(),
                    dbText(outStats.rms()).c_str());
        std::printf("  gate open  %s %% of the time\n",
                    fixed(done > 0 ? 100.0 * double(openFrames) / double(done) : 0.0, 1).c_str());
        if (!options.meters.empty()) {
            std::printf("  meters     %s\n", options.meters.c_str());
        }
        if (!options.plot.empty()) {
            std::printf("  plot       %s\n", options.plot.c_str());
        }
        if (!options.saveState.empty()) {
            std::printf("  state      %s\n", options.saveState.c_str());
        }
    }
    return 0;
}

int saveStateOnly(const Options& options, HostedPlugin& plugin,
                  const std::vector<Setting>& settings) {
    std::string error;
    auto file = PendingFile::create(options.saveState, error);
    if (!file) {
        return fail(error);
    }
    ProcessConfig config;
    config.maxBlockSize = options.blockSize;
    if (!plugin.startProcessing(config, error)) {
        return fail(error);
    }
    for (const Setting& s : settings) {
        plugin.inputChanges().addChange(s.id, 0, s.value);
    }
    plugin.flushParameters();
    plugin.stopProcessing();
    std::vector<char> state;
    if (!plugin.getState(state)) {
        return fail("the plug-in did not hand over its state");
    }
    if (!writeBytes(file->temporary(), state, error) || !file->commit(error)) {
        return fail(error);
    }
    if (!options.quiet) {
        std::printf("state saved to %s\n", options.saveState.c_str());
    }
    return 0;
}

} // namespace

std::vector<std::filesystem::path> defaultPluginLocations() {
    std::vector<std::filesystem::path> places;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        places.push_back(self.parent_path() / kBundleName);
        places.push_back(self.parent_path().parent_path() / kBundleName);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
        places.push_back(std::filesystem::path(home) / ".vst3" / kBundleName);
    }
    places.push_back(std::filesystem::path("/usr/local/lib/vst3") / kBundleName);
    places.push_back(std::filesystem::path("/usr/lib/vst3") / kBundleName);
    return places;
}

int runTool(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        return fail(error, kExitUsage);
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }

    Inputs files;
    if (!options.input.empty() && !openInputs(options, files, error)) {
        return fail(error);
    }

    auto loaded = loadPlugin(options, error);
    if (!loaded) {
        return fail(error);
    }
    HostedPlugin& plugin = *loaded->plugin;

    if (!options.state.empty()) {
        std::vector<char> bytes;
        if (!readWholeFile(options.state, bytes, error)) {
            return fail(error);
        }
        if (!plugin.setState(bytes, error)) {
            return fail("cannot load state file '" + options.state + "': " + error);
        }
    }

    std::vector<Setting> settings;
    for (const std::string& assignment : options.settings) {
        Setting s;
        std::string warning;
        if (!resolveSetting(plugin, assignment, s, error, warning)) {
            return fail(error);
        }
        if (!warning.empty()) {
            warn(warning);
        }
        plugin.setNormalized(s.id, s.value);
        settings.push_back(s);
    }

    if (options.listParams) {
        listParameters(plugin);
        return 0;
    }
    if (options.input.empty()) {
        return saveStateOnly(options, plugin, settings);
    }
    return renderFile(options, files, plugin, settings);
}

} // namespace velmora::host
