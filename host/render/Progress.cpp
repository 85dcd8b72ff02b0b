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
    constexpr int kBarWidth = 40;
    const double share = std::clamp(double(framesDone) / double(total_), 0.0, 1.0);
    const int filled = static_cast<int>(share * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) {
        bar[i] = i < filled ? '#' : '-';
    }
    bar[kBarWidth] = 0;
    char line[128];
    const int n =
        std::snprintf(line, sizeof(line), "\r[%s] %3.0f%%  %.1f / %.1f s", bar, share * 100.0,
                      double(framesDone) / sampleRate_, double(total_) / sampleRate_);
    writeAll(line, std::min<int>(n, static_cast<int>(sizeof(line)) - 1));
}

void ProgressBar::finish() {
    if (shown_ && drawn_) {
        writeAll("\r\033[K", 4);
        drawn_ = false;
    }
}

} // namespace velmora::host
