// velmora-render run as a user runs it: exit codes, messages, files.
#include "render/AudioFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sstream>

namespace velmora::host {
namespace {

using test::TempDir;

const std::string kTool = VELMORA_TEST_RENDER_TOOL;
const std::filesystem::path kLibrary = VELMORA_TEST_PLUGIN_LIBRARY;
const std::filesystem::path kBundle = kLibrary.parent_path().parent_path().parent_path();

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string readText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the tool with the test's bundle unless the arguments name another.
RunResult run(const TempDir& dir, std::vector<std::string> args, bool withPlugin = true) {
    std::string command = quoted(kTool);
    if (withPlugin) {
        command += " --plugin " + quoted(kBundle.string());
    }
    for (const std::string& a : args) {
        command += " " + quoted(a);
    }
    const auto outFile = dir.path() / ".stdout";
    const auto errFile = dir.path() / ".stderr";
    command += " >" + quoted(outFile.string()) + " 2>" + quoted(errFile.string()) + " </dev/null";
    RunResult r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readText(outFile);
    r.err = readText(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

// One line naming the tool, and nothing else, on the error stream.
void expectOneLineError(const RunResult& r, int code, const std::string& part) {
    EXPECT_EQ(r.code, code) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.rfind("velmora-render: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
}

// A sine on every channel, one channel a little louder than the next.
void writeTone(const std::filesystem::path& path, int format, int channels, int rate,
               double seconds, double amplitude, double hz = 440.0) {
    std::string error;
    auto f = SoundFile::openWrite(path, AudioInfo{format, channels, rate, 0}, error);
    ASSERT_TRUE(f) << error;
    const auto frames = static_cast<std::int64_t>(seconds * rate);
    std::vector<float> s(static_cast<std::size_t>(frames * channels));
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            s[static_cast<std::size_t>(i * channels + c)] = static_cast<float>(
                amplitude * (1.0 - 0.1 * c) * std::sin(2.0 * std::numbers::pi * hz * i / rate));
        }
    }
    ASSERT_TRUE(f->write(s.data(), frames));
    ASSERT_TRUE(f->close(error)) << error;
}

std::vector<float> readAll(const std::filesystem::path& path, AudioInfo& info) {
    std::string error;
    auto f = SoundFile::openRead(path, error);
    EXPECT_TRUE(f) << error;
    if (!f) {
        return {};
    }
    info = f->info();
    std::vector<float> s(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(f->read(s.data(), info.frames), info.frames);
    return s;
}

double rmsDb(const std::vector<float>& s, int channels, int rate, double from, double to) {
    const auto a = static_cast<std::size_t>(from * rate) * static_cast<std::size_t>(channels);
    const auto b = std::min(s.size(), static_cast<std::size_t>(to * rate) * channels);
    double sum = 0.0;
    for (std::size_t i = a; i < b; ++i) {
        sum += double(s[i]) * s[i];
    }
    return 10.0 * std::log10(sum / double(b - a) + 1e-30);
}

// The columns of a listed line, split at runs of two or more spaces.
std::vector<std::string> columns(const std::string& line) {
    std::vector<std::string> out;
    std::size_t i = line.find_first_not_of(' ');
    while (i != std::string::npos && i < line.size()) {
        std::size_t end = line.find("  ", i);
        out.push_back(line.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? end : line.find_first_not_of(' ', end);
    }
    return out;
}

std::string lineOf(const std::string& text, const std::string& containing) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(containing) != std::string::npos) {
            return line;
        }
    }
    return {};
}

TEST(RenderTool, ListsParametersWithTheirTexts) {
    TempDir dir;
    const RunResult help = run(dir, {"--help"}, false);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--list-params"), std::string::npos);

    const RunResult r = run(dir, {"--list-params"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 36); // header and 35 parameters
    EXPECT_EQ(columns(lineOf(r.out, "Threshold")),
              (std::vector<std::string>{"8", "Threshold", "-20.0 dB", "0.0 dB", "-60.0 dB"}));
    EXPECT_EQ(columns(lineOf(r.out, "Detection Method")),
              (std::vector<std::string>{"2", "Detection Method: Peak/RMS", "Off (Peak)",
                                        "Off (Peak)", "On (RMS)"}));
    EXPECT_EQ(columns(lineOf(r.out, "Note Truncate")),
              (std::vector<std::string>{"17", "Note Truncate", "off", "off", "1000 ms"}));
    EXPECT_EQ(columns(lineOf(r.out, "Max Vu")).back(), "(read-only)");

    // Settings show in the list: texts, words of switch titles, IDs, prefixes.
    const RunResult set =
        run(dir, {"--list-params", "--set", "thresh=-30 dB", "--set", "detection=RMS", "--set",
                  "12=1,5 ms", "--set", "control_band_edge_1=250 Hz", "--set", "triggered=0"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(columns(lineOf(set.out, "Threshold"))[2], "-30.0 dB");
    EXPECT_EQ(columns(lineOf(set.out, "Detection Method"))[2], "On (RMS)");
    EXPECT_EQ(columns(lineOf(set.out, "Release"))[2], "1.50 ms");
    EXPECT_EQ(columns(lineOf(set.out, "Control Band Edge 1"))[2], "250 Hz");
    EXPECT_EQ(columns(lineOf(set.out, "Triggered Muting"))[2], "off");
}

TEST(RenderTool, RendersKeepingTheFormatAndReportsWhatItDid) {
    TempDir dir;
    struct Case {
        const char* in;
        const char* out;
        int format;
        int channels;
        int rate;
    };
    const Case cases[] = {
        {"in.wav", "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000},
        {"in.flac", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100},
        {"in.aiff", "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 96000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        writeTone(dir / c.in, c.format, c.channels, c.rate, 0.5, 0.5);
        const RunResult r = run(dir, {(dir / c.in).string(), (dir / c.out).string(), "--set",
                                      "threshold=-50", "--block", "100"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        AudioInfo in{}, out{};
        const auto a = readAll(dir / c.in, in);
        const auto b = readAll(dir / c.out, out);
        EXPECT_EQ(out.format, in.format);
        EXPECT_EQ(out.channels, in.channels);
        EXPECT_EQ(out.sampleRate, in.sampleRate);
        EXPECT_EQ(out.frames, in.frames);
        // The gate is open for a tone far above the threshold.
        EXPECT_NEAR(rmsDb(b, c.channels, c.rate, 0.2, 0.5), rmsDb(a, c.channels, c.rate, 0.2, 0.5),
                    1.0);
        EXPECT_NE(r.out.find("duration   0.500 s"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("gate open"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("peak -6.0 dBFS"), std::string::npos) << r.out;
    }
    // The output may replace the input: it is renamed over it at the end.
    const RunResult same = run(dir, {(dir / "in.wav").string(), (dir / "in.wav").string(), "-q"});
    ASSERT_EQ(same.code, 0) << same.err;
    AudioInfo replaced{};
    readAll(dir / "in.wav", replaced);
    EXPECT_EQ(replaced.frames, 24000);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.aiff", "in.flac", "in.wav", "out.aiff",
                                                       "out.flac", "out.wav"}));
}

TEST(RenderTool, WritesMetersPlotAndState) {
    TempDir dir;
    writeTone(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 1.0, 0.5);
    const RunResult r =
        run(dir, {(dir / "in.wav").string(), (dir / "out.wav").string(), "--meters",
                  (dir / "m.csv").string(), "--plot", (dir / "p.png").string(), "--save-state",
                  (dir / "s.state").string(), "--set", "threshold=-42", "--set", "gate mode=Duck"});
    ASSERT_EQ(r.code, 0) << r.err;

    const std::string csv = readText(dir / "m.csv");
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time_s,max_vu_db,min_vu_db,max_gate_db,min_gate_db");
    double last = -1.0;
    int rows = 0;
    while (std::getline(lines, line)) {
        const double t = std::stod(line);
        EXPECT_GT(t, last);
        last = t;
        ++rows;
    }
    // A reading every 50 ms for a second, give or take the first and last.
    EXPECT_GE(rows, 10);
    EXPECT_LE(last, 1.0);

    const std::string png = readText(dir / "p.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");

    const std::string state = readText(dir / "s.state");
    ASSERT_EQ(state.size(), 124u);
    std::int32_t duck = 0;
    float threshold = 0.0f;
    std::memcpy(&duck, state.data() + 16, 4);
    std::memcpy(&threshold, state.data() + 32, 4);
    EXPECT_EQ(duck, 1);
    EXPECT_FLOAT_EQ(threshold, 0.7f);

    // The saved state comes back: as the starting point of another run, and
    // straight into a state file without audio.
    const RunResult listed = run(dir, {"--list-params", "--state", (dir / "s.state").string()});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(columns(lineOf(listed.out, "Threshold"))[2], "-42.0 dB");
    EXPECT_EQ(columns(lineOf(listed.out, "Gate Mode"))[2], "On (Duck)");

    const RunResult saved = run(dir, {"--state", (dir / "s.state").string(), "--set", "hold=100 ms",
                                      "--save-state", (dir / "t.state").string()});
    ASSERT_EQ(saved.code, 0) << saved.err;
    const std::string second = readText(dir / "t.state");
    ASSERT_EQ(second.size(), 124u);
    EXPECT_EQ(second.substr(0, 52), state.substr(0, 52)); // everything before Hold
    EXPECT_NE(second.substr(52, 4), state.substr(52, 4));
}

TEST(RenderTool, ASidechainShorterThanTheInputIsFollowedBySilence) {
    TempDir dir;
    // A quiet main signal under the -30 dB threshold, a loud key for 0.4 s.
    writeTone(dir / "main.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 1.5, 0.01);
    writeTone(dir / "key.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, 0.4, 0.5, 100.0);
    const RunResult r =
        run(dir, {(dir / "main.wav").string(), (dir / "out.wav").string(), "--sidechain",
                  (dir / "key.wav").string(), "--set", "threshold=-30", "--set", "release=20"});
    ASSERT_EQ(r.code, 0) << r.err;
    AudioInfo in{}, out{};
    const auto a = readAll(dir / "main.wav", in);
    const auto b = readAll(dir / "out.wav", out);
    ASSERT_EQ(out.frames, in.frames);
    // Open while the key plays, closed once it has ended.
    EXPECT_NEAR(rmsDb(b, 2, 48000, 0.1, 0.35), rmsDb(a, 2, 48000, 0.1, 0.35), 1.0);
    EXPECT_LT(rmsDb(b, 2, 48000, 0.8, 1.5), -90.0);
}

TEST(RenderTool, BadInputGetsOneLineAndNoOutput) {
    TempDir dir;
    writeTone(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 0.2, 0.5);
    writeTone(dir / "key.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 0.2, 0.5);
    {
        std::ofstream(dir / "text.wav") << "hello";
        std::ofstream(dir / "fake.so") << "not a library";
        SF_INFO info{};
        info.format = SF_FORMAT_AU | SF_FORMAT_PCM_16;
        info.channels = 1;
        info.samplerate = 8000;
        SNDFILE* f = sf_open((dir / "sun.au").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_close(f);
    }
    const std::vector<std::string> before = dir.entries();
    const std::string in = (dir / "in.wav").string();
    const std::string out = (dir / "out.wav").string();

    expectOneLineError(run(dir, {(dir / "missing.wav").string(), out}), 1, "missing.wav");
    expectOneLineError(run(dir, {(dir / "text.wav").string(), out}), 1, "text.wav");
    expectOneLineError(run(dir, {(dir / "sun.au").string(), (dir / "out.au").string()}), 1,
                       "only WAV, FLAC and AIFF");
    expectOneLineError(run(dir, {in, (dir / "out.flac").string()}), 1, "names a FLAC file");
    expectOneLineError(run(dir, {in, out, "--set", "treshold=-30"}), 1,
                       "unknown parameter 'treshold' (did you mean 'Threshold'?)");
    expectOneLineError(run(dir, {in, out, "--set", "attack=5"}), 1, "ambiguous");
    expectOneLineError(run(dir, {in, out, "--set", "threshold=loud"}), 1,
                       "cannot read 'loud' as a value of 'Threshold'");
    expectOneLineError(run(dir, {in, out, "--set", "gate mode=sideways"}), 1,
                       "Standard, Duck, on or off");
    expectOneLineError(run(dir, {in, out, "--set", "max vu=1"}), 1, "read-only");
    expectOneLineError(run(dir, {in, out, "--sidechain", (dir / "key.wav").string()}), 1,
                       "44100 Hz");
    expectOneLineError(run(dir, {in, out, "--state", (dir / "missing.state").string()}), 1,
                       "missing.state");
    expectOneLineError(run(dir, {in, out, "--state", (dir / "text.wav").string()}), 1,
                       "cannot load state file");
    expectOneLineError(run(dir, {in, out, "--plugin", (dir / "fake.so").string()}, false), 1,
                       "cannot load the plug-in");
    expectOneLineError(run(dir, {in, out, "--plugin", (dir / "none.vst3").string()}, false), 1,
                       "none.vst3");
    expectOneLineError(run(dir, {in, (dir / "no-folder" / "out.wav").string()}), 1, "no-folder");
    expectOneLineError(run(dir, {in, out, "--meters", out}), 2, "both write");
    expectOneLineError(run(dir, {in, out, "--block", "0"}), 2, "--block");
    expectOneLineError(run(dir, {in}), 2, "expected an input and an output file");
    EXPECT_EQ(dir.entries(), before);

    // Out-of-range values are clamped with a warning, and the run goes on.
    const RunResult clamped = run(dir, {in, out, "-q", "--set", "input level=100 dB"});
    EXPECT_EQ(clamped.code, 0);
    EXPECT_NE(clamped.err.find("warning: '100 dB' is outside the range of 'Input Level'; using "
                               "'60.0 dB'"),
              std::string::npos)
        << clamped.err;
    EXPECT_TRUE(clamped.out.empty());
}

} // namespace
} // namespace velmora::host
