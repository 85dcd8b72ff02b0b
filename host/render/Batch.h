// The batch form, velmora-render -o DIR IN...: the same settings for every
// file, several files at once, each with a plug-in instance of its own.
#pragma once

#include "hosting/HostedPlugin.h"
#include "hosting/PluginModule.h"
#include "render/Options.h"
#include "render/OutputPaths.h"
#include "render/Render.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::host {

// How every instance is set up: one loaded module, the state and the
// settings given on the command line.
struct PluginSetup {
    std::shared_ptr<PluginModule> module;
    HostOptions hostOptions;
    std::vector<char> state; // empty for none
    std::vector<Setting> settings;
};

// A new instance with the state and the settings applied.
std::unique_ptr<HostedPlugin> makeInstance(const PluginSetup& setup, std::string& error);

// One job per input: the output under the input's name in the output folder;
// with --meters and --plot, which name folders here, "<name>.csv" and
// "<name>.png" in them (the input's name without its extension).
std::vector<RenderJob> batchJobs(const Options& options);

// What the batch reads and what it writes, for outputConflict.
std::vector<NamedPath> batchInputs(const Options& options);
std::vector<NamedPath> batchOutputs(const Options& options, const std::vector<RenderJob>& jobs);

// Renders the jobs on up to `workers` threads. A file that fails is reported
// at once on the error stream and the others go on. Shows one bar for the
// whole batch on a terminal and, unless quiet, a table of the files at the
// end. Returns the exit status: 0 when every file was done, 1 when any
// failed, interruptedExitCode() after a signal.
int runBatch(const std::vector<RenderJob>& jobs, const PluginSetup& setup, int workers, bool quiet);

// The cores this process may run on.
int availableCores();

} // namespace velmora::host
