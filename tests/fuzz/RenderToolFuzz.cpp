// velmora-render's command line and audio file reading: options built from
// the words the tool knows and from any text, and small audio files that are
// either any bytes or a real file with some bytes changed, in the single
// form (IN OUT) and in the batch form (-o DIR IN...). The tool either
// renders (exit 0, an output with the input's channels, rate and length,
// every sample finite) or says why in one line and leaves no output and no
// half-written file behind; it never crashes. A batch may end with status 1
// when some of its files failed: then the outputs it wrote are still whole.
#include "FuzzCheck.h"

#include "render/AudioFile.h"
#include "render/Tool.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
namespace fuzz = velmora::fuzz;
using velmora::host::SoundFile;

namespace {

const fs::path& workDir() {
    static const fs::path dir = [] {
        char name[] = "/tmp/velmora-render-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(name) != nullptr, "no temporary folder");
        return fs::path(name);
    }();
    return dir;
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

// A short real audio file in a format the fuzzer picks, with some of its
// bytes then changed.
std::vector<uint8_t> audioFile(FuzzedDataProvider& in, const fs::path& scratch) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 300));
    }
    static const int formats[] = {
        SF_FORMAT_WAV | SF_FORMAT_PCM_16,   SF_FORMAT_WAV | SF_FORMAT_FLOAT,
        SF_FORMAT_WAV | SF_FORMAT_ULAW,     SF_FORMAT_WAV | SF_FORMAT_PCM_U8,
        SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, SF_FORMAT_RF64 | SF_FORMAT_PCM_32,
        SF_FORMAT_AIFF | SF_FORMAT_PCM_16,  SF_FORMAT_AIFF | SF_FORMAT_ALAW,
        SF_FORMAT_FLAC | SF_FORMAT_PCM_16,  SF_FORMAT_WAV | SF_FORMAT_DOUBLE,
        SF_FORMAT_AU | SF_FORMAT_PCM_16,    SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM};
    static const int rates[] = {44100, 48000, 8000, 1000, 999, 1, 96000, 192000, 22050};
    SF_INFO info{};
    info.format = in.PickValueInArray(formats);
    info.channels = in.ConsumeIntegralInRange(1, 3);
    info.samplerate = in.PickValueInArray(rates);
    const int frames = in.ConsumeIntegralInRange(0, 600);
    SNDFILE* f = sf_open(scratch.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        return {};
    }
    std::vector<float> samples(static_cast<size_t>(frames * info.channels));
    const float level = in.ConsumeBool() ? 0.5f : 4.0f;
    uint32_t state = in.ConsumeIntegral<uint32_t>() | 1u;
    for (float& x : samples) {
        state = state * 1664525u + 1013904223u;
        x = level * (static_cast<float>(state >> 8) / 16777216.0f - 0.5f);
    }
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    std::vector<uint8_t> bytes = readBytes(scratch);
    fs::remove(scratch);
    const int changes = bytes.empty() ? 0 : in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < changes; ++i) {
        bytes[in.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] =
            in.ConsumeIntegral<uint8_t>();
    }
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
        bytes.resize(in.ConsumeIntegralInRange<size_t>(0, bytes.size()));
    }
    return bytes;
}

std::string pick(FuzzedDataProvider& in, std::initializer_list<const char*> words) {
    std::vector<const char*> list(words);
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        // An argument ends at its first NUL on its way through exec, so the
        // tool and the checks below must see the same, shortened text.
        std::string word = in.ConsumeRandomLengthString(24);
        word.erase(std::find(word.begin(), word.end(), '\0'), word.end());
        return word;
    }
    return list[in.ConsumeIntegralInRange<size_t>(0, list.size() - 1)];
}

// Runs the tool with stdout and stderr going to a file; returns its status
// and what it wrote to stderr.
int runQuietly(const std::vector<std::string>& args, std::string& messages) {
    const fs::path log = workDir() / "log.txt";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1);
    const int savedErr = dup(2);
    FILE* sink = std::fopen(log.c_str(), "w");
    FUZZ_CHECK(sink != nullptr, "no log file");
    dup2(fileno(sink), 1);
    dup2(fileno(sink), 2);
    // Option words may end up as file names ("--plot -q"): those land in
    // the scratch folder too.
    const fs::path home = fs::current_path();
    fs::current_path(workDir());
    const int status = velmora::host::runTool(args);
    fs::current_path(home);
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    std::fclose(sink);
    const std::vector<uint8_t> text = readBytes(log);
    messages.assign(text.begin(), text.end());
    fs::remove(log);
    return status;
}

// An output is a whole render of its input: same channels, rate and length,
// every sample finite.
void checkRender(const fs::path& input, const fs::path& output) {
    std::string error;
    auto source = SoundFile::openRead(input, error);
    FUZZ_CHECK(source != nullptr, "rendered an input that does not open: %s", error.c_str());
    auto result = SoundFile::openRead(output, error);
    FUZZ_CHECK(result != nullptr, "the output does not open: %s", error.c_str());
    FUZZ_CHECK(result->info().channels == source->info().channels &&
                   result->info().sampleRate == source->info().sampleRate,
               "output has %d channels at %d Hz, the input %d at %d Hz", result->info().channels,
               result->info().sampleRate, source->info().channels, source->info().sampleRate);
    const auto channels = static_cast<size_t>(source->info().channels);
    std::vector<float> a(4096 * channels);
    std::int64_t inFrames = 0;
    for (std::int64_t n; (n = source->read(a.data(), 4096)) > 0;) {
        inFrames += n;
    }
    std::int64_t outFrames = 0;
    for (std::int64_t n; (n = result->read(a.data(), 4096)) > 0;) {
        for (std::int64_t i = 0; i < n * static_cast<std::int64_t>(channels); ++i) {
            FUZZ_CHECK(std::isfinite(a[static_cast<size_t>(i)]), "output sample %g",
                       static_cast<double>(a[static_cast<size_t>(i)]));
        }
        outFrames += n;
    }
    FUZZ_CHECK(outFrames == inFrames, "rendered %lld of %lld frames",
               static_cast<long long>(outFrames), static_cast<long long>(inFrames));
}

} // namespace

// The tool loads and unloads the plug-in for every run. Unloaded, the
// bundle's coverage counters would vanish under libFuzzer's feet, so one
// reference is held for the whole process.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(dlopen(VELMORA_FUZZ_PLUGIN_LIBRARY, RTLD_NOW | RTLD_NODELETE) != nullptr, "%s",
               dlerror());
    // While the tool runs, its standard streams go to a file: so does the
    // report of a crash or a timeout inside it.
    std::fprintf(stderr, "render-tool harness: a fault inside the tool is reported in %s\n",
                 (workDir() / "log.txt").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fs::path& dir = workDir();
    for (const auto& entry : fs::directory_iterator(dir)) {
        fs::remove_all(entry.path());
    }

    static const char* extensions[] = {".wav", ".flac", ".aiff", ".rf64", ".au", ""};
    const bool batch = in.ConsumeIntegralInRange(0, 3) == 0;
    std::vector<fs::path> inputs = {dir / (std::string("in") + in.PickValueInArray(extensions))};
    for (int extra = batch ? in.ConsumeIntegralInRange(0, 2) : 0; extra > 0; --extra) {
        inputs.push_back(
            dir / ("in" + std::to_string(inputs.size() + 1) + in.PickValueInArray(extensions)));
    }
    for (const fs::path& input : inputs) {
        writeBytes(input, audioFile(in, dir / "scratch.wav"));
    }
    const fs::path batchDir = dir / "batch";
    const fs::path output =
        batch ? fs::path() : dir / (std::string("out") + in.PickValueInArray(extensions));

    std::vector<std::string> args = {"--plugin", VELMORA_FUZZ_PLUGIN_BUNDLE};
    if (batch) {
        args.push_back(in.ConsumeBool() ? "-o" : "--output-dir");
        args.push_back(batchDir.string());
        if (in.ConsumeBool()) {
            args.push_back("-j");
            args.push_back(pick(in, {"1", "2", "3", "0", "-1", "65"}));
        }
    }
    // What a successful run may write; in the batch form --meters and
    // --plot name folders of "<name>.csv" and "<name>.png".
    std::set<fs::path> outputs;
    std::set<fs::path> folders;
    if (batch) {
        folders.insert(batchDir);
    } else {
        outputs.insert(output);
    }
    const int options = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < options; ++i) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
        case 1:
            args.push_back(in.ConsumeBool() ? "-s" : "--set");
            args.push_back(pick(in, {"Threshold", "Bypass", "8", "Release", "Beat Skip",
                                     "Control Band Edge 1", "Ctrl Out", "99", "Input Level"}) +
                           "=" +
                           pick(in, {"-30 dB", "0.5", "on", "off", "250 Hz", "nan", "1e999", "-1",
                                     "", "abc", "100%", "2"}));
            break;
        case 2:
            args.push_back("--block");
            args.push_back(pick(in, {"1", "512", "65536", "0", "-3", "65537", "7"}));
            break;
        case 3: {
            const fs::path state = dir / "state.bin";
            writeBytes(state, in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 140)));
            args.push_back("--state");
            args.push_back(state.string());
            break;
        }
        case 4: {
            const fs::path side = dir / "side.wav";
            writeBytes(side, audioFile(in, dir / "scratch.wav"));
            args.push_back("--sidechain");
            args.push_back(side.string());
            break;
        }
        case 5:
            args.push_back("--meters");
            args.push_back((dir / "meters.txt").string());
            if (batch) {
                folders.insert(dir / "meters.txt");
            } else {
                outputs.insert(dir / "meters.txt");
            }
            break;
        case 6:
            args.push_back("--save-state");
            args.push_back((dir / "saved.bin").string());
            outputs.insert(dir / "saved.bin");
            break;
        default:
            args.push_back(pick(in, {"-q", "--", "-x", "--nonsense", "-", "--plot"}));
            break;
        }
    }
    for (const fs::path& input : inputs) {
        args.push_back(input.string());
    }
    if (!batch) {
        args.push_back(output.string());
    }

    std::set<fs::path> before;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        before.insert(entry.path());
    }
    // In the batch form every word the options leave over is an input, so a
    // value taken as a name ("--plot --sidechain side.wav") makes the file
    // after it one too.
    std::vector<fs::path> rendered;
    for (const fs::path& p : before) {
        if (std::find(args.begin(), args.end(), p.string()) != args.end()) {
            rendered.push_back(p);
        }
    }
    for (const fs::path& p : batch ? rendered : std::vector<fs::path>{}) {
        outputs.insert(batchDir / p.filename());
        if (folders.count(dir / "meters.txt") != 0) {
            outputs.insert(dir / "meters.txt" / (p.stem().string() + ".csv"));
        }
    }
    std::string messages;
    const int status = runQuietly(args, messages);
    FUZZ_CHECK(status == 0 || status == 1 || status == 2, "exit status %d", status);

    // Nothing but the promised outputs may appear, and only on success (or,
    // in a batch, where some files failed and the others were written).
    const bool wrote = status == 0 || (batch && status == 1);
    auto namedByArgument = [&](const fs::path& p) {
        return std::find(args.begin(), args.end(), p.filename().string()) != args.end();
    };
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const fs::path& p = entry.path();
        if (before.count(p) != 0) {
            continue;
        }
        bool promised = outputs.count(p) != 0 || folders.count(p) != 0 ||
                        (p.parent_path() == dir && namedByArgument(p));
        if (batch && !promised && before.count(p.parent_path()) == 0 &&
            namedByArgument(p.parent_path())) {
            // A --plot folder named by a word the fuzzer picked.
            for (const fs::path& input : rendered) {
                promised |= p.filename() == input.stem().string() + ".png";
            }
        }
        FUZZ_CHECK(wrote && promised, "'%s' left behind (status %d): %s", p.c_str(), status,
                   messages.c_str());
    }
    if (status != 0) {
        // The reason, in a line of its own (an argument it quotes may hold
        // any characters, line breaks too).
        FUZZ_CHECK(!messages.empty() && messages.back() == '\n', "status %d without a message",
                   status);
        bool reason = false;
        for (size_t at = messages.find("velmora-render: "); at != std::string::npos;
             at = messages.find("velmora-render: ", at + 1)) {
            reason |= (at == 0 || messages[at - 1] == '\n') &&
                      messages.compare(at + 16, 8, "warning:") != 0;
        }
        FUZZ_CHECK(reason, "status %d without a reason: '%s'", status, messages.c_str());
        if (!batch) {
            return 0;
        }
    }
    if (batch) {
        for (const fs::path& input : inputs) {
            const fs::path written = batchDir / input.filename();
            FUZZ_CHECK(status != 0 || fs::exists(written), "a batch of status 0 left out '%s'",
                       written.c_str());
        }
        // Named files that were option values are not inputs, and have no
        // output to check.
        for (const fs::path& input : rendered) {
            if (fs::exists(batchDir / input.filename())) {
                checkRender(input, batchDir / input.filename());
            }
        }
    } else if (fs::exists(output)) {
        // Otherwise a run that only saves or lists.
        checkRender(inputs.front(), output);
    }
    return 0;
}
