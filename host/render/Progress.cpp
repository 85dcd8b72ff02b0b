#include "render/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace velmora::host {

namespace {

void writeAll(const char* text, int length) {
    while (length > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, static_cast<std::size_t>(length));
        if (n <= 0) {
            return;
        }
        text += n;
        length -= static_cast<int>(n);
    }
}

// "[####----]  42%" and `tail`, over the current line.
void drawBar(double share, const char* tail) {
    constexpr int kBarWidth = 40;
    share = std::clamp(share, 0.0, 1.0);
    const int filled = static_cast<int>(share * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) {
        bar[i] = i < filled ? '#' : '-';
    }
    bar[kBarWidth] = 0;
    char line[160];
    const int n = std::snprintf(line, sizeof(line), "\r[%s] %3.0f%%  %s", bar, share * 100.0, tail);
    writeAll(line, std::min<int>(n, static_cast<int>(sizeof(line)) - 1));
}

void clearLine() {
    writeAll("\r\033[K", 4);
}

} // namespace

ProgressBar::ProgressBar(bool enabled, std::int64_t totalFrames, double sampleRate)
    : total_(totalFrames), sampleRate_(sampleRate > 0.0 ? sampleRate : 1.0) {
    shown_ = enabled && ::isatty(STDERR_FILENO) == 1 && totalFrames > 0 &&
             double(totalFrames) / sampleRate_ > kProgressMinSeconds;
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(std::int64_t framesDone) {
    if (!shown_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100) && framesDone < total_) {
        return;
    }
    last_ = now;
    drawn_ = true;
    char tail[64];
    std::snprintf(tail, sizeof(tail), "%.1f / %.1f s", double(framesDone) / sampleRate_,
                  double(total_) / sampleRate_);
    drawBar(double(framesDone) / double(total_), tail);
}

void ProgressBar::finish() {
    if (shown_ && drawn_) {
        clearLine();
        drawn_ = false;
    }
}

BatchProgressBar::BatchProgressBar(bool enabled)
    : shown_(enabled && ::isatty(STDERR_FILENO) == 1) {}

BatchProgressBar::~BatchProgressBar() {
    clear();
}

void BatchProgressBar::update(double share, int done, int files) {
    if (!shown_) {
        return;
    }
    char tail[64];
    std::snprintf(tail, sizeof(tail), "%d of %d files", done, files);
    drawBar(share, tail);
    drawn_ = true;
}

void BatchProgressBar::clear() {
    if (shown_ && drawn_) {
        clearLine();
        drawn_ = false;
    }
}

} // namespace velmora::host
