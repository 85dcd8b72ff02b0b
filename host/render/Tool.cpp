#include "render/Tool.h"

#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"
#include "render/Batch.h"
#include "render/Interrupt.h"
#include "render/Options.h"
#include "render/OutputPaths.h"
#include "render/ParameterLookup.h"
#include "render/PendingFile.h"
#include "render/Progress.h"
#include "render/Render.h"
#include "render/Settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>

namespace velmora::host {

namespace {

constexpr const char* kBundleName = "BK Velmora.vst3";

int fail(const std::string& message, int code = kExitFailure) {
    printError(message);
    return code;
}

// After a signal, the status that says so; 0 while none has come.
int interruptedStatus() {
    const int signal = interruptSignal();
    if (signal == 0) {
        return 0;
    }
    return fail("interrupted; no output written", interruptedExitCode(signal));
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

// What the single-file and the state-only forms read and write.
std::vector<NamedPath> singleInputs(const Options& o) {
    std::vector<NamedPath> inputs;
    for (const auto& [role, path] :
         {std::pair{"the input", &o.input}, std::pair{"the side-chain", &o.sidechain},
          std::pair{"the state file", &o.state}}) {
        if (!path->empty()) {
            inputs.push_back({role, *path});
        }
    }
    return inputs;
}

std::vector<NamedPath> singleOutputs(const Options& o) {
    std::vector<NamedPath> outputs;
    for (const auto& [role, path] :
         {std::pair{"OUT", &o.output}, std::pair{"--meters", &o.meters},
          std::pair{"--plot", &o.plot}, std::pair{"--save-state", &o.saveState}}) {
        if (!path->empty()) {
            outputs.push_back({role, *path});
        }
    }
    return outputs;
}

// The module, and the path it was found at.
std::optional<std::filesystem::path> loadModule(const Options& options, PluginSetup& setup,
                                                std::string& error) {
    auto path = findPlugin(options.plugin, error);
    if (!path) {
        return std::nullopt;
    }
    std::string why;
    setup.module = PluginModule::load(*path, why);
    if (!setup.module) {
        error = "cannot load the plug-in: " + why;
        return std::nullopt;
    }
    setup.hostOptions.hostName = "velmora-render";
    setup.hostOptions.deliverTextMessages = options.verbose;
    return path;
}

void printSummary(const RenderJob& job, const RenderResult& r) {
    const double seconds = double(r.frames) / r.info.sampleRate;
    std::printf("%s -> %s\n", job.input.c_str(), job.output.c_str());
    std::printf("  duration   %s s (%lld frames, %d ch, %d Hz, %s)\n", fixed(seconds, 3).c_str(),
                static_cast<long long>(r.frames), r.info.channels, r.info.sampleRate,
                describeFormat(r.info.format).c_str());
    std::printf("  input      peak %-12s RMS %s\n", dbfsText(r.input.peak()).c_str(),
                dbfsText(r.input.rms()).c_str());
    std::printf("  output     peak %-12s RMS %s\n", dbfsText(r.output.peak()).c_str(),
                dbfsText(r.output.rms()).c_str());
    std::printf(
        "  gate open  %s %% of the time\n",
        fixed(r.frames > 0 ? 100.0 * double(r.openFrames) / double(r.frames) : 0.0, 1).c_str());
    if (!job.meters.empty()) {
        std::printf("  meters     %s\n", job.meters.c_str());
    }
    if (!job.plot.empty()) {
        std::printf("  plot       %s\n", job.plot.c_str());
    }
    if (!job.saveState.empty()) {
        std::printf("  state      %s\n", job.saveState.c_str());
    }
}

int renderSingle(const Options& options, const RenderJob& job, RenderInputs& files,
                 HostedPlugin& plugin, const std::vector<Setting>& settings) {
    const AudioInfo& in = files.input->info();
    ProgressBar progress(!options.quiet, in.frames, in.sampleRate);
    const RenderResult result =
        renderFile(job, files, plugin, settings, nullptr,
                   [&progress](std::int64_t done) { progress.update(done); });
    progress.finish();
    if (result.status != kExitDone) {
        return fail(result.error, result.status);
    }
    for (const auto& warning : {formatWarning(result), clippingWarning(result)}) {
        if (warning) {
            printWarning(*warning);
        }
    }
    if (!options.quiet) {
        printSummary(job, result);
    }
    return kExitDone;
}

int saveStateOnly(const Options& options, HostedPlugin& plugin,
                  const std::vector<Setting>& settings) {
    std::string error;
    std::vector<std::unique_ptr<PendingFile>> file(1);
    file[0] = PendingFile::create(options.saveState, error);
    if (!file[0]) {
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
    if (!writeState(plugin, file[0]->temporary(), error)) {
        return fail(error);
    }
    switch (commitAll(file, error)) {
    case CommitResult::Done:
        break;
    case CommitResult::Interrupted:
        return interruptedStatus();
    case CommitResult::Failed:
        return fail(error);
    }
    if (!options.quiet) {
        std::printf("state saved to %s\n", options.saveState.c_str());
    }
    return kExitDone;
}

// Everything but the signal handling.
int run(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        return fail(error, kExitUsage);
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return kExitDone;
    }
    const bool batch = !options.outputDir.empty();
    const std::vector<RenderJob> jobs = batch ? batchJobs(options) : std::vector<RenderJob>{};
    const auto conflict = batch ? outputConflict(batchInputs(options), batchOutputs(options, jobs))
                                : outputConflict(singleInputs(options), singleOutputs(options));
    if (conflict) {
        return fail(*conflict, kExitUsage);
    }

    RenderJob job;
    RenderInputs files;
    if (!batch && !options.input.empty()) {
        job = RenderJob{options.input, options.output,    options.sidechain, options.meters,
                        options.plot,  options.saveState, options.blockSize};
        if (!openInputs(job, files, error)) {
            return fail(error);
        }
    }

    PluginSetup setup;
    const auto pluginPath = loadModule(options, setup, error);
    if (!pluginPath) {
        return fail(error);
    }
    auto plugin = HostedPlugin::create(setup.module, error, setup.hostOptions);
    if (!plugin) {
        return fail("cannot start the plug-in '" + pluginPath->string() + "': " + error);
    }
    if (options.verbose) {
        std::fprintf(stderr, "velmora-render: using '%s' from '%s'\n", plugin->className().c_str(),
                     pluginPath->c_str());
    }
    if (!options.state.empty()) {
        if (!readWholeFile(options.state, setup.state, error)) {
            return fail(error);
        }
        if (!plugin->setState(setup.state, error)) {
            return fail("cannot load state file '" + options.state + "': " + error);
        }
    }
    for (const std::string& assignment : options.settings) {
        Setting s;
        std::string warning;
        if (!resolveSetting(*plugin, assignment, s, error, warning)) {
            return fail(error);
        }
        if (!warning.empty()) {
            printWarning(warning);
        }
        plugin->setNormalized(s.id, s.value);
        setup.settings.push_back(s);
    }
    if (const int status = interruptedStatus()) {
        return status;
    }

    if (options.listParams) {
        listParameters(*plugin);
        return kExitDone;
    }
    if (batch) {
        for (const std::string& dir : {options.outputDir, options.meters, options.plot}) {
            std::error_code ec;
            if (!dir.empty() && !std::filesystem::is_directory(dir, ec) &&
                !std::filesystem::create_directories(dir, ec)) {
                return fail("cannot create the folder '" + dir + "': " + ec.message());
            }
        }
        const int status = runBatch(jobs, setup, options.jobs > 0 ? options.jobs : availableCores(),
                                    options.quiet);
        if (options.saveState.empty() || status > kExitFailure) {
            return status;
        }
        return std::max(status, saveStateOnly(options, *plugin, setup.settings));
    }
    if (options.input.empty()) {
        return saveStateOnly(options, *plugin, setup.settings);
    }
    return renderSingle(options, job, files, *plugin, setup.settings);
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
    // Before anything is created, so that no signal leaves a file behind.
    InterruptGuard guard;
    int status = kExitFailure;
    try {
        status = run(args);
    } catch (const std::bad_alloc&) {
        status = fail("out of memory");
    }
    // While a closed pipe is still only a failed write.
    std::fflush(stdout);
    return status;
}

} // namespace velmora::host
