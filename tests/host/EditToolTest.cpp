// velmora-edit: its command line, and the tool driven by hand through its
// window with a test plug-in whose editor has a knob and a meter.
#include "TempDir.h"
#include "TestImages.h"
#include "XTestSession.h"

#include "edit/EditTool.h"
#include "render/AudioFile.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <numbers>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace velmora::host::test {
namespace {

using velmora::test::XTestSession;
using velmora::test::XWindow;

const std::string kTool = VELMORA_TEST_EDIT_TOOL;
const std::string kModule = VELMORA_TEST_GUI_MODULE;
const std::string kNoX11Module = VELMORA_TEST_LINKCHECK_MODULE;

TEST(EditOptions, ReadsTheCommandLineAndRefusesWhatCannotRun) {
    EditOptions o;
    std::string error;
    ASSERT_TRUE(parseEditOptions({"--plugin", "p.so", "--state=a.bin", "--save-state", "b.bin",
                                  "--in", "x.wav", "--sidechain", "k.wav"},
                                 o, error))
        << error;
    EXPECT_EQ(o.plugin, "p.so");
    EXPECT_EQ(o.state, "a.bin");
    EXPECT_EQ(o.saveState, "b.bin");
    EXPECT_EQ(o.input, "x.wav");
    EXPECT_EQ(o.sidechain, "k.wav");

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--sidechain", "k.wav"}, "--sidechain needs --in"},
        {{"--in"}, "option --in needs a value"},
        {{"--state="}, "option --state needs a value"},
        {{"--loud"}, "unknown option --loud"},
        {{"x.wav"}, "unexpected argument 'x.wav'"},
    };
    for (const auto& [args, message] : bad) {
        EditOptions options;
        EXPECT_FALSE(parseEditOptions(args, options, error));
        EXPECT_EQ(error, message);
    }
}

struct Child {
    pid_t pid = -1;
    int code = -1;
};

// The tool as a process of its own. Under the leak checker, fontconfig's own
// leak while reading its configuration is not the tool's.
Child spawnTool(const TempDir& dir, const std::vector<std::string>& args, bool withDisplay = true) {
    const auto suppressions = dir / ".lsan";
    std::ofstream(suppressions) << "leak:libexpat.so\n";
    std::vector<std::string> env;
    std::string asan = "ASAN_OPTIONS=";
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
            asan = entry + ":";
        } else if ((entry.rfind("DISPLAY=", 0) != 0 || withDisplay) &&
                   entry.rfind("LSAN_OPTIONS=", 0) != 0) {
            env.push_back(entry);
        }
    }
    // The full stack tells fontconfig's leak (inside expat) from others.
    env.push_back(asan + "fast_unwind_on_malloc=0");
    env.push_back("LSAN_OPTIONS=suppressions=" + suppressions.string());
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (std::string& s : strings) {
            p.push_back(s.data());
        }
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / ".stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / ".stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Child child;
    if (posix_spawn(&child.pid, kTool.c_str(), &actions, nullptr, argp.data(), envp.data()) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

bool waitFor(Child& child, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            child.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    return false;
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EditTool, ReportsWhatKeepsItFromOpeningAWindow) {
    TempDir dir;
    Child child = spawnTool(dir, {"--plugin", kModule}, false);
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 1);
    EXPECT_NE(readFile(dir / ".stderr").find("velmora-edit: cannot open the X display"),
              std::string::npos)
        << readFile(dir / ".stderr");

    child = spawnTool(dir, {"--plugin", kModule, "--state", (dir / "missing.bin").string()});
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 1);
    EXPECT_NE(readFile(dir / ".stderr").find("cannot read state file"), std::string::npos);

    child = spawnTool(dir, {"--plugin", kModule, "--sidechain", "k.wav"});
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 2);
}

class EditToolWindowTest : public ::testing::Test {
protected:
    void SetUp() override { VELMORA_REQUIRE_X(x); }
    // The tool's top-level window, found by its title.
    XWindow findWindow(const std::string& title) {
        XWindow root = 0;
        XWindow parent = 0;
        XWindow* list = nullptr;
        unsigned count = 0;
        XWindow found = 0;
        if (XQueryTree(x.display(), DefaultRootWindow(x.display()), &root, &parent, &list,
                       &count) != 0) {
            for (unsigned i = 0; i < count && found == 0; ++i) {
                char* name = nullptr;
                if (XFetchName(x.display(), list[i], &name) != 0 && name != nullptr) {
                    if (title == name) {
                        found = list[i];
                    }
                    XFree(name);
                }
            }
            XFree(list);
        }
        return found;
    }
    XWindow waitForWindow(const std::string& title) {
        XWindow w = 0;
        XTestSession::pumpUntil([] {}, [&] { return (w = findWindow(title)) != 0; },
                                std::chrono::seconds(20));
        return w;
    }
    bool waitForPixel(XWindow w, int px, int py, velmora::test::Rgb colour) {
        return XTestSession::pumpUntil(
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); },
            [&] { return velmora::test::near(x.pixel(w, px, py), colour, 8); },
            std::chrono::seconds(20));
    }
    void closeWindow(XWindow w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(x.display(), "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] =
            static_cast<long>(XInternAtom(x.display(), "WM_DELETE_WINDOW", False));
        XSendEvent(x.display(), w, False, NoEventMask, &e);
        x.sync();
    }

    XTestSession x;
};

TEST_F(EditToolWindowTest, PlaysTheLoopEditsThroughTheHostAndSavesTheSettings) {
    TempDir dir;
    {
        std::string error;
        auto f = SoundFile::openWrite(dir / "loop.wav", AudioInfo{0x010006, 2, 48000, 0}, error);
        ASSERT_TRUE(f) << error;
        std::vector<float> samples(48000 * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = 0.9f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 *
                                                            static_cast<double>(i / 2) / 48000));
        }
        ASSERT_TRUE(f->write(samples.data(), 48000));
        ASSERT_TRUE(f->close(error)) << error;
    }
    const auto saved = dir / "gate.state";
    Child child = spawnTool(dir, {"--plugin", kModule, "--in", (dir / "loop.wav").string(),
                                  "--save-state", saved.string()});
    ASSERT_GT(child.pid, 0);
    const XWindow w = waitForWindow("Edit Test - loop.wav");
    ASSERT_NE(w, 0u) << readFile(dir / ".stderr");

    // The processor's peak reaches the meter through the controller.
    EXPECT_TRUE(waitForPixel(w, 128, 100, {0, 200, 0})) << "the meter never lit";
    EXPECT_TRUE(waitForPixel(w, 128, 25, {0, 200, 0})) << "0.9 lights the top segments";

    // A drag of the knob 50 pixels down: the gain goes from 0.5 to 0.25
    // through the component handler and the next process call.
    x.moveTo(w, 30, 30);
    x.press(1);
    for (int i = 1; i <= 5; ++i) {
        x.moveTo(w, 30, 30 + 10 * i);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    x.release(1);
    EXPECT_TRUE(waitForPixel(w, 30, 30, {6, 249, 14})) << "the knob shows image 2";

    closeWindow(w);
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 0) << readFile(dir / ".stderr");
    const std::string state = readFile(saved);
    ASSERT_EQ(state.size(), 4u);
    float gain = 0.0f;
    std::memcpy(&gain, state.data(), 4);
    EXPECT_NEAR(gain, 0.25f, 1e-6f);
    EXPECT_NE(readFile(dir / ".stdout").find("settings saved to"), std::string::npos);

    // Started from those settings, the editor shows them, and closing without
    // a change saves the same bytes.
    const auto again = dir / "again.state";
    child = spawnTool(
        dir, {"--plugin", kModule, "--state", saved.string(), "--save-state", again.string()});
    const XWindow w2 = waitForWindow("Edit Test");
    ASSERT_NE(w2, 0u) << readFile(dir / ".stderr");
    EXPECT_TRUE(waitForPixel(w2, 30, 30, {6, 249, 14}));
    closeWindow(w2);
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 0) << readFile(dir / ".stderr");
    EXPECT_EQ(readFile(again), state);

    // A plug-in whose editor cannot live in an X11 window is reported.
    child = spawnTool(dir, {"--plugin", kNoX11Module});
    ASSERT_TRUE(waitFor(child, std::chrono::seconds(20)));
    EXPECT_EQ(child.code, 1);
    EXPECT_NE(readFile(dir / ".stderr").find("cannot be shown in an X11 window"), std::string::npos)
        << readFile(dir / ".stderr");
}

} // namespace
} // namespace velmora::host::test
