// Progress bars on the error stream for long renders on a terminal.
#pragma once

#include <chrono>
#include <cstdint>

namespace velmora::host {

class ProgressBar {
public:
    // Shown only when `enabled` and the error stream is a terminal.
    ProgressBar(bool enabled, std::int64_t totalFrames, double sampleRate);
    ~ProgressBar();

    bool shown() const { return shown_; }
    // Redraws at most a few times a second; allocates nothing.
    void update(std::int64_t framesDone);
    // Clears the bar's line.
    void finish();

private:
    bool shown_ = false;
    std::int64_t total_ = 0;
    double sampleRate_ = 1.0;
    std::chrono::steady_clock::time_point last_{};
    bool drawn_ = false;
};

// Files longer than this get a bar.
constexpr double kProgressMinSeconds = 5.0;

// One bar for a batch of files.
class BatchProgressBar {
public:
    // Shown only when `enabled` and the error stream is a terminal.
    explicit BatchProgressBar(bool enabled);
    ~BatchProgressBar();

    bool shown() const { return shown_; }
    // `share` of the whole work done, `done` of `files` files finished.
    void update(double share, int done, int files);
    // Clears the bar's line, for other text or at the end.
    void clear();

private:
    bool shown_ = false;
    bool drawn_ = false;
};

} // namespace velmora::host
