// What the renderer measures while it runs: levels, envelopes and the meter
// readings the processor reports. Storage for a file of known length is
// reserved before processing, up to a limit that no header can push into an
// allocation failure; beyond it, and for files of unknown length, it grows.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora::host {

// The most rows or windows reserved ahead: hours of audio at 50 ms or 5 ms.
constexpr std::int64_t kMaxReservedRows = std::int64_t{1} << 21;

// The processor's four meter outputs, in the order of their IDs.
constexpr std::array<std::uint32_t, 4> kMeterIds = {31, 32, 33, 34};
constexpr std::array<const char*, 4> kMeterColumns = {"max_vu_db", "min_vu_db", "max_gate_db",
                                                      "min_gate_db"};

// A meter value m carries 20 log10(level) / 60 + 1.
inline double meterToDb(double m) {
    return (m - 1.0) * 60.0;
}
inline double meterToLinear(double m) {
    return std::pow(10.0, meterToDb(m) / 20.0);
}

inline double linearToDb(double x) {
    return x > 0.0 ? 20.0 * std::log10(x) : -HUGE_VAL;
}

struct MeterReading {
    double time = 0.0; // seconds from the start of the file
    std::array<double, 4> values{};
};

// Meter readings: one row whenever any of the four changes, and at least one
// per meter period while they hold still.
class MeterLog {
public:
    // The plug-in reduces its meters every 50 ms of audio.
    static constexpr double kPeriod = 0.05;

    // Room for `seconds` of audio: a row per period, whatever the block size.
    void reserveFor(double seconds);
    // Keeps the reading when it differs from the last one kept or a period
    // has passed since.
    void add(double time, const std::array<double, 4>& values);
    const std::vector<MeterReading>& rows() const { return rows_; }
    // Time in seconds and the four readings in dB.
    bool writeCsv(const std::filesystem::path& path, std::string& error) const;

private:
    std::vector<MeterReading> rows_;
};

// Peak and RMS over every sample of every channel.
class LevelStats {
public:
    void add(const float* interleaved, std::int64_t samples);
    double peak() const { return peak_; }
    double rms() const { return count_ > 0 ? std::sqrt(sumSquares_ / double(count_)) : 0.0; }
    std::int64_t clipped() const { return clipped_; }

private:
    double peak_ = 0.0;
    double sumSquares_ = 0.0;
    std::int64_t count_ = 0;
    std::int64_t clipped_ = 0;
};

// The highest absolute sample over all channels in consecutive windows.
class EnvelopeRecorder {
public:
    // `expectedFrames` is negative when the length is unknown.
    EnvelopeRecorder(std::int64_t windowFrames, std::int64_t expectedFrames);
    void add(const float* interleaved, std::int64_t frames, int channels);
    // Closes the last, partial window.
    void finish();
    const std::vector<float>& peaks() const { return peaks_; }
    std::int64_t windowFrames() const { return window_; }

private:
    std::int64_t window_;
    std::int64_t filled_ = 0;
    float current_ = 0.0f;
    std::vector<float> peaks_;
};

} // namespace velmora::host
