#include "render/Interrupt.h"

#include <atomic>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace velmora::host {

namespace {

std::atomic<int> gSignal{0};
// Held while outputs are renamed and while a signal is recorded, so that a
// signal never lands between two renames of one commit.
std::mutex gCommitMutex;

sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&set, s);
    }
    return set;
}

} // namespace

// A thread that takes the signals with sigwait instead of a handler: it may
// lock, so the commit can be made atomic against it, and any thread that
// renders sees the signal at its next block.
struct InterruptGuard::Watcher {
    sigset_t set = watchedSignals();
    sigset_t previousMask{};
    struct sigaction previousPipe {};
    std::atomic<bool> stopping{false};
    std::thread thread;
};

InterruptGuard::InterruptGuard() : watcher_(std::make_unique<Watcher>()) {
    gSignal = 0;
    Watcher& w = *watcher_;
    pthread_sigmask(SIG_BLOCK, &w.set, &w.previousMask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &w.previousPipe);
    w.thread = std::thread([&w] {
        for (;;) {
            int signal = 0;
            if (sigwait(&w.set, &signal) != 0) {
                continue;
            }
            if (w.stopping.load()) {
                return;
            }
            std::lock_guard<std::mutex> lock(gCommitMutex);
            int none = 0;
            gSignal.compare_exchange_strong(none, signal);
        }
    });
}

InterruptGuard::~InterruptGuard() {
    Watcher& w = *watcher_;
    w.stopping = true;
    pthread_kill(w.thread.native_handle(), SIGHUP);
    w.thread.join();
    sigaction(SIGPIPE, &w.previousPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &w.previousMask, nullptr);
}

int interruptSignal() {
    return gSignal.load();
}

CommitResult commitAll(std::vector<std::unique_ptr<PendingFile>>& files, std::string& error) {
    for (auto& file : files) {
        if (interruptSignal() != 0) {
            return CommitResult::Interrupted;
        }
        if (!file->prepare(error)) {
            return CommitResult::Failed;
        }
    }
    std::lock_guard<std::mutex> lock(gCommitMutex);
    if (interruptSignal() != 0) {
        return CommitResult::Interrupted;
    }
    for (auto& file : files) {
        if (!file->commit(error)) {
            return CommitResult::Failed;
        }
    }
    return CommitResult::Done;
}

} // namespace velmora::host
