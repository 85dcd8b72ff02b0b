#include "render/Interrupt.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace velmora::host {
namespace {

using test::TempDir;

std::vector<std::unique_ptr<PendingFile>> twoOutputs(const TempDir& dir) {
    std::vector<std::unique_ptr<PendingFile>> files;
    std::string error;
    for (const char* name : {"out.wav", "out.csv"}) {
        files.push_back(PendingFile::create(dir / name, error));
        EXPECT_TRUE(files.back()) << error;
        std::ofstream(files.back()->temporary()) << "complete";
    }
    return files;
}

int awaitSignal() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (interruptSignal() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return interruptSignal();
}

// The signals arrive as a terminal or a service manager sends them: to the
// process, while its files wait to be committed.
TEST(Interrupt, ASignalBeforeTheCommitLeavesNoFile) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        InterruptGuard guard;
        auto files = twoOutputs(dir);
        EXPECT_EQ(interruptSignal(), 0);
        ::kill(::getpid(), signal);
        EXPECT_EQ(awaitSignal(), signal);
        std::string error;
        EXPECT_EQ(commitAll(files, error), CommitResult::Interrupted);
        files.clear();
        EXPECT_TRUE(dir.entries().empty());
        EXPECT_EQ(interruptedExitCode(signal), 128 + signal);
    }
}

TEST(Interrupt, ABrokenPipeIsNoInterruption) {
    TempDir dir;
    InterruptGuard guard;
    auto files = twoOutputs(dir);
    ::kill(::getpid(), SIGPIPE);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(interruptSignal(), 0);
    std::string error;
    EXPECT_EQ(commitAll(files, error), CommitResult::Done) << error;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.csv", "out.wav"}));
}

} // namespace
} // namespace velmora::host
