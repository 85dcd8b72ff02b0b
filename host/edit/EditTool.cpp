#include "edit/EditTool.h"

#include "edit/Playback.h"
#include "hosting/EditorWindow.h"
#include "hosting/HostedPlugin.h"
#include "render/AudioFile.h"
#include "render/PendingFile.h"
#include "render/Tool.h"

#include "pluginterfaces/gui/iplugview.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

namespace velmora::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Output parameters reach the controller this often, as in a DAW.
constexpr Linux::TimerInterval kDeliveryMs = 20;
// Longest file held in memory for looping: ten minutes of stereo at 192 kHz.
constexpr std::int64_t kMaxSamples = 10LL * 60 * 192000 * 2;

EditorWindow* gWindow = nullptr;

void onSignal(int) {
    if (gWindow != nullptr) {
        gWindow->requestClose();
    }
}

int fail(const std::string& message, int code = kExitFailure) {
    std::fprintf(stderr, "velmora-edit: %s\n", message.c_str());
    return code;
}

bool readLoop(const std::string& path, LoopSource& source, int& sampleRate, std::string& error) {
    auto file = SoundFile::openRead(path, error);
    if (!file) {
        return false;
    }
    const AudioInfo& info = file->info();
    if (info.frames <= 0 || info.channels <= 0) {
        error = "'" + path + "' holds no audio";
        return false;
    }
    if (info.frames > kMaxSamples / info.channels) {
        error = "'" + path + "' is too long to loop (at most ten minutes of stereo at 192 kHz)";
        return false;
    }
    source.channels = info.channels;
    source.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    source.frames = file->read(source.samples.data(), info.frames);
    if (source.frames <= 0) {
        error = "cannot read the audio of '" + path + "'";
        return false;
    }
    sampleRate = info.sampleRate;
    return true;
}

bool readState(const std::string& path, std::vector<char>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read state file '" + path + "'";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.empty()) {
        error = bytes.empty() ? "state file '" + path + "' is empty"
                              : "cannot read state file '" + path + "'";
        return false;
    }
    return true;
}

std::optional<std::filesystem::path> findPlugin(const std::string& given, std::string& error) {
    if (!given.empty()) {
        return std::filesystem::path(given);
    }
    for (const auto& place : defaultPluginLocations()) {
        std::error_code ec;
        if (std::filesystem::exists(place, ec)) {
            return place;
        }
    }
    error = "no BK Velmora plug-in found; give one with --plugin PATH";
    return std::nullopt;
}

} // namespace

std::string editUsageText() {
    return "usage: velmora-edit [--plugin PATH] [--state FILE] [--save-state FILE]\n"
           "                    [--in FILE [--sidechain FILE]]\n"
           "\n"
           "Opens the plug-in's editor in a window. With --in the file loops through the\n"
           "plug-in in real time (no sound is played), so the meters move as in a DAW.\n"
           "\n"
           "  --plugin PATH       the plug-in bundle or .so (default: beside this tool,\n"
           "                      then ~/.vst3, /usr/local/lib/vst3, /usr/lib/vst3)\n"
           "  --state FILE        start from settings saved earlier\n"
           "  --save-state FILE   write the settings when the window closes; velmora-render\n"
           "                      --state FILE renders files with exactly these settings\n"
           "  --in FILE           audio to loop through the plug-in (WAV, FLAC, AIFF)\n"
           "  --sidechain FILE    audio for the side-chain input, at the rate of --in\n"
           "  -h, --help          this text\n";
}

bool parseEditOptions(const std::vector<std::string>& args, EditOptions& options,
                      std::string& error) {
    const std::pair<const char*, std::string EditOptions::*> valued[] = {
        {"--plugin", &EditOptions::plugin},        {"--state", &EditOptions::state},
        {"--save-state", &EditOptions::saveState}, {"--in", &EditOptions::input},
        {"--sidechain", &EditOptions::sidechain},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inlineValue = true;
        }
        bool known = false;
        for (const auto& [name, field] : valued) {
            if (arg != name) {
                continue;
            }
            known = true;
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + arg + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (value.empty()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            options.*field = value;
        }
        if (!known) {
            error = arg.rfind("-", 0) == 0 ? "unknown option " + arg
                                           : "unexpected argument '" + arg + "'";
            return false;
        }
    }
    if (!options.sidechain.empty() && options.input.empty()) {
        error = "--sidechain needs --in";
        return false;
    }
    return true;
}

int runEditTool(const std::vector<std::string>& args) {
    EditOptions options;
    std::string error;
    if (!parseEditOptions(args, options, error)) {
        return fail(error + " (see --help)", kExitUsage);
    }
    if (options.help) {
        std::fputs(editUsageText().c_str(), stdout);
        return 0;
    }

    LoopSource input;
    LoopSource sidechain;
    int sampleRate = 48000;
    if (!options.input.empty() && !readLoop(options.input, input, sampleRate, error)) {
        return fail(error);
    }
    if (!options.sidechain.empty()) {
        int sidechainRate = 0;
        if (!readLoop(options.sidechain, sidechain, sidechainRate, error)) {
            return fail(error);
        }
        if (sidechainRate != sampleRate) {
            return fail("side-chain '" + options.sidechain + "' runs at " +
                        std::to_string(sidechainRate) + " Hz, but '" + options.input + "' at " +
                        std::to_string(sampleRate) + " Hz");
        }
    }
    std::vector<char> startState;
    if (!options.state.empty() && !readState(options.state, startState, error)) {
        return fail(error);
    }
    // The output's folder is checked before anyone spends time in the window.
    std::unique_ptr<PendingFile> saved;
    if (!options.saveState.empty()) {
        saved = PendingFile::create(options.saveState, error);
        if (!saved) {
            return fail(error);
        }
    }

    const auto path = findPlugin(options.plugin, error);
    if (!path) {
        return fail(error);
    }
    auto module = PluginModule::load(*path, error);
    if (!module) {
        return fail("cannot load the plug-in: " + error);
    }
    HostOptions hostOptions;
    hostOptions.hostName = "velmora-edit";
    hostOptions.deliverTextMessages = false;
    auto plugin = HostedPlugin::create(module, error, hostOptions);
    if (!plugin) {
        return fail("cannot start the plug-in '" + path->string() + "': " + error);
    }
    if (!startState.empty() && !plugin->setState(startState, error)) {
        return fail("cannot load state file '" + options.state + "': " + error);
    }

    ProcessConfig config;
    config.sampleRate = sampleRate;
    config.channels = input.channels > 0 ? input.channels : 2;
    config.sidechain = !options.sidechain.empty();
    config.processMode = kRealtime;
    if (!plugin->startProcessing(config, error)) {
        return fail(error);
    }
    Playback playback(*plugin);
    if (!playback.start(std::move(input), std::move(sidechain), error)) {
        return fail(error);
    }

    {
        IPtr<IPlugView> view = owned(plugin->controller()->createView(ViewType::kEditor));
        if (!view) {
            return fail("the plug-in '" + plugin->className() + "' has no editor");
        }
        const std::string title =
            plugin->className() +
            (options.input.empty()
                 ? std::string()
                 : " - " + std::filesystem::path(options.input).filename().string());
        IPtr<EditorWindow> window = EditorWindow::create(title, error);
        if (!window || !window->open(view, error)) {
            return fail(error);
        }
        IPtr<Linux::ITimerHandler> delivery =
            EditorWindow::makeTimer([&playback] { playback.deliverOutputs(); });
        window->registerTimer(delivery, kDeliveryMs);

        gWindow = window;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        window->run();
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        gWindow = nullptr;
        window->unregisterTimer(delivery);
    }

    playback.stop();
    plugin->stopProcessing();
    if (saved) {
        std::vector<char> state;
        if (!plugin->getState(state)) {
            return fail("the plug-in did not hand over its state");
        }
        std::ofstream out(saved->temporary(), std::ios::binary | std::ios::trunc);
        out.write(state.data(), static_cast<std::streamsize>(state.size()));
        out.close();
        if (!out || !saved->commit(error)) {
            return fail(out ? error : "cannot write '" + options.saveState + "'");
        }
        std::printf("settings saved to %s\n", options.saveState.c_str());
    }
    return 0;
}

} // namespace velmora::host
