// Ending the tool cleanly on a signal: Ctrl-C (SIGINT), SIGTERM, a closed
// terminal (SIGHUP) and SIGQUIT stop the work at the next block, remove the
// temporary files and leave every earlier output as it was. A closed pipe
// (SIGPIPE) no longer kills the tool; the failed write is reported instead.
#pragma once

#include "render/PendingFile.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::host {

// Blocks the signals above in the calling thread, and so in every thread it
// starts afterwards, and waits for them on a thread of its own. Create it
// before any other thread and before any file. One at a time.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct Watcher;
    std::unique_ptr<Watcher> watcher_;
};

// The first of the signals that arrived, 0 while none has.
int interruptSignal();

// The exit status after a signal: 128 plus its number, as shells report it
// (130 for Ctrl-C).
inline int interruptedExitCode(int signal) {
    return 128 + signal;
}

enum class CommitResult { Done, Interrupted, Failed };

// Renames every file to its target, or none when a signal has arrived: a
// signal either comes before and nothing is committed, or after all are.
// Data reach the disk before the renames, the renames before the return.
CommitResult commitAll(std::vector<std::unique_ptr<PendingFile>>& files, std::string& error);

} // namespace velmora::host
