// Writes the demo drum loop as a 24-bit stereo WAV file.
#include "DemoLoop.h"

#include <sndfile.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage(const char* message) {
    if (message != nullptr) {
        std::fprintf(stderr, "velmora-make-demo: %s\n", message);
    }
    std::fprintf(message ? stderr : stdout,
                 "Usage: velmora-make-demo OUT.wav [--seconds S]\n"
                 "Writes a drum loop (kicks, snares, hi-hats over hiss, hum and room bleed),\n"
                 "stereo, 48 kHz, 24-bit; the same file every time.\n");
    return message ? 2 : 0;
}

} // namespace

int main(int argc, char** argv) {
    velmora::demo::DemoSettings settings;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return usage(nullptr);
        }
        if (std::strcmp(argv[i], "--seconds") == 0) {
            if (i + 1 >= argc) {
                return usage("--seconds needs a value");
            }
            const std::string value = argv[++i];
            double s = 0.0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), s);
            if (ec != std::errc() || end != value.data() + value.size() || !(s > 0.0) ||
                s > 600.0) {
                return usage("--seconds expects a length from 0 to 600 seconds");
            }
            settings.seconds = s;
        } else if (out == nullptr && argv[i][0] != '-') {
            out = argv[i];
        } else {
            return usage((std::string("unexpected argument '") + argv[i] + "'").c_str());
        }
    }
    if (out == nullptr) {
        return usage("no output file given");
    }

    const std::vector<float> samples = velmora::demo::makeDemoLoop(settings);
    SF_INFO info{};
    info.samplerate = settings.sampleRate;
    info.channels = velmora::demo::kDemoChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(out, SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "velmora-make-demo: cannot write '%s': %s\n", out,
                     sf_strerror(nullptr));
        return 1;
    }
    const auto frames = static_cast<sf_count_t>(samples.size() / velmora::demo::kDemoChannels);
    const sf_count_t written = sf_writef_float(file, samples.data(), frames);
    if (sf_close(file) != 0 || written != frames) {
        std::fprintf(stderr, "velmora-make-demo: cannot write '%s'\n", out);
        return 1;
    }
    return 0;
}
