// One audio file through the plug-in: read, process, measure, write the
// outputs beside their targets and commit them together.
#pragma once

#include "hosting/HostedPlugin.h"
#include "render/AudioFile.h"
#include "render/Measurements.h"
#include "render/Settings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora::host {

constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct RenderJob {
    std::string input;
    std::string output;
    std::string sidechain; // the optional outputs and side-chain: empty for none
    std::string meters;
    std::string plot;
    std::string saveState;
    std::int32_t blockSize = 512;
};

struct RenderInputs {
    std::unique_ptr<SoundFile> input;
    std::unique_ptr<SoundFile> sidechain;
};

// Opens the job's audio files and checks that they fit together and with the
// output's name. False with a one-line message.
bool openInputs(const RenderJob& job, RenderInputs& files, std::string& error);

struct RenderResult {
    int status = kExitDone; // kExitDone, kExitFailure or interruptedExitCode()
    std::string error;      // one line when status is not kExitDone
    AudioInfo info;         // the input's format
    std::int64_t frames = 0;
    std::int64_t openFrames = 0; // frames with the gate above one half
    LevelStats input;
    LevelStats output;
};

// Told the frames done after every block, on the rendering thread.
using RenderProgress = std::function<void(std::int64_t)>;

// Renders `files` with `plugin`, whose parameters already hold `settings`;
// they are also sent as changes at the start. Calls the plug-in makes on a
// host's main thread (set-up, activation, state) hold `mainThread` when one
// is given, so several instances may render at once. Every output of the job
// is committed, or none.
RenderResult renderFile(const RenderJob& job, RenderInputs& files, HostedPlugin& plugin,
                        const std::vector<Setting>& settings, std::mutex* mainThread,
                        const RenderProgress& progress);

// Saves the plug-in's processor state to `path`.
bool writeState(const HostedPlugin& plugin, const std::filesystem::path& path, std::string& error);

// "velmora-render: MESSAGE" and "velmora-render: warning: MESSAGE" on the
// error stream, one line each.
void printError(const std::string& message);
void printWarning(const std::string& message);

// The warning about samples an integer format had to clip, if any.
std::optional<std::string> clippingWarning(const RenderResult& result);
// The warning that the output is written in another encoding than the
// input's (see outputFormat), if it is.
std::optional<std::string> formatWarning(const RenderResult& result);

// The number with `decimals` places, and a linear level in dBFS ("-inf dBFS"
// for silence), as the summaries show them.
std::string fixed(double value, int decimals);
std::string dbfsText(double linear);

} // namespace velmora::host
