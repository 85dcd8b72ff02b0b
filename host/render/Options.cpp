#include "render/Options.h"

#include <charconv>
#include <optional>

namespace velmora::host {

namespace {

struct ValueOption {
    const char* longName;
    char shortName;
    std::string Options::*field;
};

const ValueOption kValueOptions[] = {
    {"--sidechain", 'c', &Options::sidechain},
    {"--state", 0, &Options::state},
    {"--save-state", 0, &Options::saveState},
    {"--meters", 'm', &Options::meters},
    {"--plot", 'p', &Options::plot},
    {"--plugin", 0, &Options::plugin},
    {"--output-dir", 'o', &Options::outputDir},
};

// A whole number in [low, high], or nothing.
std::optional<int> wholeNumber(const std::string& text, int low, int high) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < low || n > high) {
        return std::nullopt;
    }
    return n;
}

} // namespace

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> files;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
                hasInline = true;
            }
        }
        const auto takeValue = [&](std::string& out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto takeWholeNumber = [&](const char* name, const char* unit, int high, int& out) {
            std::string value;
            if (!takeValue(value)) {
                return false;
            }
            const auto n = wholeNumber(value, 1, high);
            if (!n) {
                error = std::string(name) + " expects a whole number of " + unit + " from 1 to " +
                        std::to_string(high) + ", not '" + value + "'";
                return false;
            }
            out = *n;
            return true;
        };
        const auto noValue = [&] {
            if (hasInline) {
                error = "option " + arg + " takes no value";
                return false;
            }
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            if (!noValue()) {
                return false;
            }
            options.help = true;
            continue;
        }
        if (arg == "--list-params" || arg == "-l") {
            if (!noValue()) {
                return false;
            }
            options.listParams = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            if (!noValue()) {
                return false;
            }
            options.quiet = true;
            continue;
        }
        if (arg == "--verbose" || arg == "-v") {
            if (!noValue()) {
                return false;
            }
            options.verbose = true;
            continue;
        }
        if (arg == "--set" || arg == "-s") {
            std::string value;
            if (!takeValue(value)) {
                return false;
            }
            if (value.find('=') == std::string::npos) {
                error = "--set expects NAME=VALUE, not '" + value + "'";
                return false;
            }
            options.settings.push_back(value);
            continue;
        }
        if (arg == "--block" || arg == "-b") {
            if (!takeWholeNumber("--block", "samples", kMaxBlockSize, options.blockSize)) {
                return false;
            }
            continue;
        }
        if (arg == "--jobs" || arg == "-j") {
            if (!takeWholeNumber("--jobs", "files", kMaxJobs, options.jobs)) {
                return false;
            }
            continue;
        }
        bool known = false;
        for (const ValueOption& o : kValueOptions) {
            if (arg == o.longName ||
                (o.shortName != 0 && arg.size() == 2 && arg[1] == o.shortName)) {
                if (!takeValue(options.*(o.field))) {
                    return false;
                }
                if ((options.*(o.field)).empty()) {
                    error = "option " + arg + " needs a file name";
                    return false;
                }
                known = true;
                break;
            }
        }
        if (!known) {
            error = "unknown option '" + arg + "' (--help lists them)";
            return false;
        }
    }
    if (options.help) {
        return true;
    }
    if (options.listParams) {
        if (!files.empty() || !options.outputDir.empty()) {
            error = "--list-params takes no audio files";
            return false;
        }
        return true;
    }
    if (!options.outputDir.empty()) {
        if (files.empty()) {
            error = "--output-dir needs at least one input file (--help shows usage)";
            return false;
        }
        options.inputs = files;
        return true;
    }
    if (files.size() == 2) {
        options.input = files[0];
        options.output = files[1];
    } else if (files.empty() && !options.saveState.empty()) {
        // Settings straight into a state file, no audio.
    } else {
        error = files.size() < 2 ? "expected an input and an output file (--help shows usage)"
                                 : "too many files: '" + files[2] + "' (--help shows usage)";
        return false;
    }
    if (options.output.empty() &&
        (!options.meters.empty() || !options.plot.empty() || !options.sidechain.empty())) {
        error = "--meters, --plot and --sidechain need an input and an output file";
        return false;
    }
    return true;
}

std::string usageText() {
    return R"(Usage: velmora-render IN OUT [options]
       velmora-render -o DIR IN... [-j N] [options]
       velmora-render --list-params [--plugin PATH] [--state FILE] [--set NAME=VALUE]...
       velmora-render --save-state FILE [--set NAME=VALUE]... [--state FILE]

Gates the audio file IN with the BK Velmora plug-in and writes OUT in the same
format (container, sample encoding, channels, sample rate). WAV, FLAC and AIFF;
encodings that store whole blocks only (ADPCM, GSM) are written as 16-bit PCM,
which keeps the length. No output may name an input, the side-chain or the
state file. Ctrl-C stops the work and leaves every output as it was (exit
status 130).

With -o, every IN goes into the folder DIR under its own name, with the same
settings, several files at once. A file that fails is reported and the others
go on; a table of the files follows at the end. Exit status 1 if any failed.

Options:
  -s, --set NAME=VALUE   set a parameter before processing; repeatable.
                         NAME is a title (any case, a unique beginning is
                         enough, '_' for spaces) or an ID. VALUE is read as the
                         plug-in reads typed text: "-30 dB", "250 Hz",
                         "1,5 ms", "0". Switches also take on/off and the two
                         words of their titles: "Detection Method: Peak/RMS"
                         takes Peak or RMS.
  -c, --sidechain FILE   detect from FILE instead of IN (same sample rate;
                         silence after its end)
      --state FILE       load a saved processor state before the --set values
      --save-state FILE  save the processor state at the end
  -b, --block N          samples per process call (default 512)
  -m, --meters FILE.csv  write the four meter readings in dB at every change
  -p, --plot FILE.png    draw input and output envelopes over the gate level
  -o, --output-dir DIR   batch form: write each IN as DIR/<its name>; there,
                         --meters and --plot name folders and each file gets
                         <name>.csv and <name>.png in them
  -j, --jobs N           files rendered at once in the batch form (default:
                         one per core)
      --plugin PATH      the plug-in bundle or its .so (default: beside this
                         tool, then ~/.vst3, /usr/local/lib/vst3, /usr/lib/vst3)
  -l, --list-params      print ID, title, current value and the values at 0
                         and 1 of every parameter, then stop
  -q, --quiet            no progress bar and no summary
  -v, --verbose          also show the plug-in's diagnostic messages
  -h, --help             this text

Examples:
  velmora-render drums.wav gated.wav --set threshold=-30 --set release="80 ms"
  velmora-render vox.flac out.flac --sidechain key.flac --set "gate mode=duck"
  velmora-render -o gated/ stems/*.wav --set threshold=-40 -j 4
)";
}

} // namespace velmora::host
