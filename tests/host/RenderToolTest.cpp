// velmora-render run as a user runs it: exit codes, messages, files.
#include "render/AudioFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <numbers>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
        command += ' ' + quoted(a); // a char: see the note on VELMORA_WERROR
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

// Starts the tool without waiting for it; its streams go to /dev/null, its
// standard output to `stdoutFd` when one is given.
pid_t start(std::vector<std::string> args, int stdoutFd = -1) {
    args.insert(args.begin(), {kTool, "--plugin", kBundle.string()});
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    }
    pid_t pid = -1;
    posix_spawn(&pid, kTool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status, or minus the signal that ended the process.
int finish(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool hasPartFile(const TempDir& dir) {
    for (const std::string& name : dir.entries()) {
        if (name.find(".part-") != std::string::npos) {
            return true;
        }
    }
    return false;
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

// A FLAC as streaming encoders write it, with 0 ("unknown") as its total
// sample count.
void forgetFlacLength(const std::filesystem::path& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    char head[26];
    ASSERT_TRUE(f.read(head, sizeof(head)));
    ASSERT_EQ(std::string(head, 4), "fLaC");
    ASSERT_EQ(head[4] & 0x7F, 0); // STREAMINFO comes first
    // 36 bits: the low four of byte 21 and bytes 22 to 25.
    head[21] = static_cast<char>(head[21] & 0xF0);
    std::fill(head + 22, head + 26, 0);
    f.seekp(0);
    ASSERT_TRUE(f.write(head, sizeof(head)));
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
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.aiff", "in.flac", "in.wav", "out.aiff",
                                                       "out.flac", "out.wav"}));
}

// ADPCM and the like store whole blocks only, of a size the writer picks:
// written again with libsndfile's own block size, a render would end with
// up to a block of added silence. The output is 16-bit PCM instead, exactly
// as long as the input, and the tool says so.
TEST(RenderTool, BlockCodedInputsGiveAnOutputOfTheirLength) {
    TempDir dir;
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM,
                       SF_FORMAT_AIFF | SF_FORMAT_IMA_ADPCM}) {
        SCOPED_TRACE(describeFormat(format));
        const bool wav = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
        const auto input = dir / (wav ? "in.wav" : "in.aiff");
        const auto output = dir / (wav ? "out.wav" : "out.aiff");
        writeTone(input, format, 2, 8000, 0.3, 0.5);
        if (wav) {
            // The 8 kHz blocks (505 frames) relabelled 44.1 kHz, where
            // libsndfile writes blocks of 2041 frames.
            std::fstream f(input, std::ios::in | std::ios::out | std::ios::binary);
            const std::uint32_t rate = 44100;
            f.seekp(24);
            f.write(reinterpret_cast<const char*>(&rate), 4);
        }
        const RunResult r = run(dir, {input.string(), output.string(), "-q"});
        ASSERT_EQ(r.code, 0) << r.err;
        const int pcm = (format & SF_FORMAT_TYPEMASK) | SF_FORMAT_PCM_16;
        EXPECT_NE(r.err.find("warning: the output is " + describeFormat(pcm)), std::string::npos)
            << r.err;
        AudioInfo in{}, out{};
        const auto a = readAll(input, in);
        const auto b = readAll(output, out);
        EXPECT_EQ(out.format, pcm);
        EXPECT_EQ(out.frames, in.frames);
        EXPECT_EQ(b.size(), a.size());
    }
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

namespace velmora::host {
namespace {

TEST(RenderTool, RendersFlacOfUnknownLength) {
    TempDir dir;
    writeTone(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000, 1.0, 0.5);
    writeTone(dir / "key.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 48000, 0.4, 0.5, 100.0);
    forgetFlacLength(dir / "in.flac");
    forgetFlacLength(dir / "key.flac");
    std::string error;
    ASSERT_FALSE(SoundFile::openRead(dir / "in.flac", error)->info().lengthKnown());

    const RunResult r = run(dir, {(dir / "in.flac").string(), (dir / "out.flac").string(),
                                  "--sidechain", (dir / "key.flac").string(), "--meters",
                                  (dir / "m.csv").string(), "--plot", (dir / "p.png").string(),
                                  "--set", "threshold=-30", "--set", "release=20", "-b", "16"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("duration   1.000 s (48000 frames"), std::string::npos) << r.out;
    AudioInfo out{};
    const auto b = readAll(dir / "out.flac", out);
    EXPECT_EQ(out.frames, 48000);
    // The key of unknown length is read to its end: open while it plays.
    EXPECT_GT(rmsDb(b, 2, 48000, 0.1, 0.35), -10.0);
    EXPECT_LT(rmsDb(b, 2, 48000, 0.8, 1.0), -90.0);
    // One meter row per 50 ms, not one per block.
    const std::string csv = readText(dir / "m.csv");
    const auto rows = std::count(csv.begin(), csv.end(), '\n') - 1;
    EXPECT_GE(rows, 19);
    EXPECT_LE(rows, 22);
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"in.flac", "key.flac", "m.csv", "out.flac", "p.png"}));
}

TEST(RenderTool, NoOutputReplacesAnInput) {
    TempDir dir;
    writeTone(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 0.2, 0.5);
    writeTone(dir / "key.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, 0.2, 0.5);
    ASSERT_EQ(run(dir, {"--save-state", (dir / "s.state").string(), "-q"}).code, 0);
    std::filesystem::create_symlink(dir / "in.wav", dir / "soft.csv");
    std::filesystem::create_hard_link(dir / "in.wav", dir / "hard.png");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory(dir / "sub" / "in");
    const std::vector<std::string> before = dir.entries();
    const std::string audio = readText(dir / "in.wav");
    const std::string key = readText(dir / "key.wav");
    const std::string state = readText(dir / "s.state");

    const std::string in = (dir / "in.wav").string();
    const std::string out = (dir / "out.wav").string();
    const std::string keyPath = (dir / "key.wav").string();
    const std::string statePath = (dir / "s.state").string();
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{in, out, "--meters", in}, "--meters '"},
        {{in, out, "--sidechain", keyPath, "--plot", keyPath}, "would overwrite the side-chain"},
        {{in, out, "--state", statePath, "--save-state", statePath},
         "--save-state '" + statePath + "' would overwrite the state file"},
        {{"--state", statePath, "--save-state", (dir / "." / "s.state").string()},
         "would overwrite the state file"},
        {{in, in}, "OUT '"},
        {{in, (dir / "sub" / ".." / "in.wav").string()}, "would overwrite the input"},
        {{in, out, "--meters", (dir / "soft.csv").string()}, "soft.csv' would overwrite the input"},
        {{in, out, "--plot", (dir / "hard.png").string()}, "hard.png' would overwrite the input"},
        {{"-o", dir.path().string(), in}, "the output '"},
        {{"-o", (dir / "sub").string(), in, (dir / "sub" / "in" / "in.wav").string()},
         "both write"},
        {{in, out, "--meters", out}, "OUT and --meters both write"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        expectOneLineError(run(dir, c.args), 2, c.message);
    }
    EXPECT_EQ(dir.entries(), before);
    EXPECT_TRUE(readText(dir / "in.wav") == audio);
    EXPECT_TRUE(readText(dir / "key.wav") == key);
    EXPECT_TRUE(readText(dir / "s.state") == state);
}

TEST(RenderTool, SignalsStopTheRenderAndLeaveEveryFileAsItWas) {
    TempDir dir;
    // Long enough to be still rendering when the signal comes.
    writeTone(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 60.0, 0.5);
    std::ofstream(dir / "out.wav") << "previous";
    const std::vector<std::string> before = dir.entries();
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        const pid_t pid = start({(dir / "in.wav").string(), (dir / "out.wav").string(), "--meters",
                                 (dir / "m.csv").string(), "--plot", (dir / "p.png").string()});
        ASSERT_GT(pid, 0);
        // The temporary files exist only once the signals are handled.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!hasPartFile(dir) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(pid, signal);
        EXPECT_EQ(finish(pid), 128 + signal);
        EXPECT_EQ(dir.entries(), before);
        EXPECT_EQ(readText(dir / "out.wav"), "previous");
    }

    // A closed pipe on the standard output does not end the tool.
    writeTone(dir / "short.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 0.2, 0.5);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    const pid_t pid =
        start({(dir / "short.wav").string(), (dir / "out.wav").string()}, pipeEnds[1]);
    close(pipeEnds[1]);
    EXPECT_EQ(finish(pid), 0);
    AudioInfo info{};
    readAll(dir / "out.wav", info);
    EXPECT_EQ(info.frames, 9600);
}

TEST(RenderTool, LongNamesLinksAndModesOfOutputs) {
    TempDir dir;
    writeTone(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, 0.2, 0.5);
    // The longest name the file system takes.
    const std::string longName = std::string(251, 'n') + ".wav";
    const RunResult r = run(dir, {(dir / "in.wav").string(), (dir / longName).string(), "-q"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / longName));

    // A replaced output keeps its mode, and a link to it stays a link.
    ::umask(022);
    std::ofstream(dir / "kept.wav") << "previous";
    std::filesystem::permissions(dir / "kept.wav", std::filesystem::perms(0640));
    std::filesystem::create_symlink("kept.wav", dir / "link.wav");
    ASSERT_EQ(run(dir, {(dir / "in.wav").string(), (dir / "link.wav").string(), "-q"}).code, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.wav"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "kept.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    AudioInfo info{};
    readAll(dir / "kept.wav", info);
    EXPECT_EQ(info.frames, 9600);
}

TEST(RenderTool, BatchRendersEveryGoodFileAndReportsTheBadOne) {
    TempDir dir;
    writeTone(dir / "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, 0.5, 0.5);
    writeTone(dir / "b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, 0.3, 0.05);
    writeTone(dir / "c.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 96000, 0.2, 0.5);
    std::ofstream(dir / "bad.wav") << "not audio";
    const std::vector<std::string> settings = {"--set", "threshold=-30", "--set", "hold=5 ms"};
    std::vector<std::string> args = {"-o",
                                     (dir / "out").string(),
                                     (dir / "a.wav").string(),
                                     (dir / "bad.wav").string(),
                                     (dir / "b.flac").string(),
                                     (dir / "c.aiff").string(),
                                     "-j",
                                     "2",
                                     "--meters",
                                     (dir / "meters").string(),
                                     "--plot",
                                     (dir / "plots").string()};
    args.insert(args.end(), settings.begin(), settings.end());
    const RunResult r = run(dir, args);
    expectOneLineError(r, 1, "bad.wav");
    EXPECT_NE(r.out.find("4 files: 3 done, 1 failed"), std::string::npos) << r.out;
    EXPECT_EQ(columns(lineOf(r.out, "bad.wav"))[1], "failed");
    const std::vector<std::string> row = columns(lineOf(r.out, "c.aiff"));
    ASSERT_EQ(row.size(), 6u) << r.out;
    EXPECT_EQ(row[1], "done");
    EXPECT_EQ(row[2], "0.200 s");
    EXPECT_EQ(row[3], "-6.0 dBFS");

    TempDir outDir;
    for (const char* name : {"a.wav", "b.flac", "c.aiff"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> single = {(dir / name).string(), (outDir / name).string(), "-q"};
        single.insert(single.end(), settings.begin(), settings.end());
        ASSERT_EQ(run(dir, single).code, 0);
        // The same settings as one file alone, with an instance of its own.
        AudioInfo batchInfo{}, singleInfo{};
        EXPECT_EQ(readAll(dir / "out" / name, batchInfo), readAll(outDir / name, singleInfo));
        EXPECT_EQ(batchInfo.format, singleInfo.format);
    }
    EXPECT_EQ(TempDir::entriesOf(dir / "meters"),
              (std::vector<std::string>{"a.csv", "b.csv", "c.csv"}));
    EXPECT_EQ(TempDir::entriesOf(dir / "plots"),
              (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(TempDir::entriesOf(dir / "out"),
              (std::vector<std::string>{"a.wav", "b.flac", "c.aiff"}));

    const RunResult good = run(dir, {"-o", (dir / "again").string(), (dir / "a.wav").string(),
                                     (dir / "c.aiff").string(), "-q"});
    EXPECT_EQ(good.code, 0) << good.err;
    EXPECT_TRUE(good.out.empty() && good.err.empty());
}

} // namespace
} // namespace velmora::host
