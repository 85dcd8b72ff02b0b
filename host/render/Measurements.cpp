#include "render/Measurements.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace velmora::host {

void MeterLog::reserveFor(double seconds) {
    if (seconds > 0.0) {
        const double rows = std::min(seconds / kPeriod + 2.0, double(kMaxReservedRows));
        rows_.reserve(static_cast<std::size_t>(rows));
    }
}

void MeterLog::add(double time, const std::array<double, 4>& values) {
    // A little slack so that block boundaries a hair short of the period
    // still count.
    if (!rows_.empty() && rows_.back().values == values &&
        time - rows_.back().time < kPeriod * 0.999) {
        return;
    }
    rows_.push_back(MeterReading{time, values});
}

bool MeterLog::writeCsv(const std::filesystem::path& path, std::string& error) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "w"), &std::fclose);
    if (!f) {
        error = "cannot write '" + path.string() + "'";
        return false;
    }
    std::fprintf(f.get(), "time_s");
    for (const char* column : kMeterColumns) {
        std::fprintf(f.get(), ",%s", column);
    }
    std::fprintf(f.get(), "\n");
    for (const MeterReading& r : rows_) {
        std::fprintf(f.get(), "%.6f", r.time);
        for (double v : r.values) {
            std::fprintf(f.get(), ",%.3f", meterToDb(v));
        }
        std::fprintf(f.get(), "\n");
    }
    if (std::ferror(f.get()) != 0 || std::fflush(f.get()) != 0) {
        error = "cannot write '" + path.string() + "'";
        return false;
    }
    return true;
}

void LevelStats::add(const float* interleaved, std::int64_t samples) {
    for (std::int64_t i = 0; i < samples; ++i) {
        const double x = interleaved[i];
        const double a = std::fabs(x);
        peak_ = std::max(peak_, a);
        sumSquares_ += x * x;
        if (a > 1.0) {
            ++clipped_;
        }
    }
    count_ += samples;
}

EnvelopeRecorder::EnvelopeRecorder(std::int64_t windowFrames, std::int64_t expectedFrames)
    : window_(std::max<std::int64_t>(1, windowFrames)) {
    if (expectedFrames >= 0) {
        peaks_.reserve(
            static_cast<std::size_t>(std::min(expectedFrames / window_ + 2, kMaxReservedRows)));
    }
}

void EnvelopeRecorder::add(const float* interleaved, std::int64_t frames, int channels) {
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            current_ = std::max(current_, std::fabs(interleaved[i * channels + c]));
        }
        if (++filled_ == window_) {
            peaks_.push_back(current_);
            current_ = 0.0f;
            filled_ = 0;
        }
    }
}

void EnvelopeRecorder::finish() {
    if (filled_ > 0) {
        peaks_.push_back(current_);
        current_ = 0.0f;
        filled_ = 0;
    }
}

} // namespace velmora::host
