// Shared set-up for the engine tests: plain default settings and
// non-interleaved channel buffers.
#pragma once

#include "engine/GateEngine.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace velmora::test {

// Every setting at its plain default: peak, linked, standard, gradual;
// threshold -20 dB, RMS window 50 ms, attacks 1 ms and 5 ms, release 10 ms,
// hold 35 ms, control edges 1000/5000 Hz, output edges 220/880 Hz, open
// levels 0 dB, closed levels -99 dB. Bypass and Ctrl Out are left alone, so
// no switching ramp runs.
inline void configureDefaults(GateEngine& e, float fs, int inputs, int outputs, int sidechain) {
    e.setSampleRate(fs);
    e.setInputChannels(inputs);
    e.setOutputChannels(outputs);
    e.setSidechainChannels(sidechain);
    e.setDetectionMethod(false);
    e.setChannelMode(true);
    e.setGateMode(false);
    e.setAttEnvelope(true);
    e.setInputLev(0.0f);
    e.setOutputLev(0.0f);
    e.setThreshold(-20.0f);
    e.setTimeRms(50.0f);
    e.setTimeAtt1(1.0f);
    e.setTimeAtt2(5.0f);
    e.setTimeRel(10.0f);
    e.setHoldOpenTime(35.0f);
    e.setHoldClosedTime(0.0f);
    e.setHoldClosedProb(0.0f);
    e.setAttDelayTime(0.0f);
    e.setAttIsoTime(0.0f);
    e.setDetFreq1(1000.0f);
    e.setDetFreq2(5000.0f);
    e.setDetLevLo(0.0f);
    e.setDetLevMid(0.0f);
    e.setDetLevHi(0.0f);
    e.setSigFreq1(220.0f);
    e.setSigFreq2(880.0f);
    e.setCeilLevLo(0.0f);
    e.setCeilLevMid(0.0f);
    e.setCeilLevHi(0.0f);
    e.setFloorLevLo(-99.0f);
    e.setFloorLevMid(-99.0f);
    e.setFloorLevHi(-99.0f);
    e.seedRandom(1);
}

// Channel buffers with the pointer arrays the block entries take.
class Buffers {
public:
    Buffers(int channels, int samples, float value = 0.0f)
        : data_(static_cast<size_t>(channels),
                std::vector<float>(static_cast<size_t>(samples), value)) {
        point();
    }
    // Copies own their samples: the pointer array follows the new data.
    Buffers(const Buffers& other) : data_(other.data_) { point(); }
    Buffers& operator=(const Buffers& other) {
        data_ = other.data_;
        point();
        return *this;
    }

    float* const* out() { return ptrs_.data(); }
    const float* const* in() const { return ptrs_.data(); }
    std::vector<float>& operator[](int c) { return data_[static_cast<size_t>(c)]; }
    const std::vector<float>& operator[](int c) const { return data_[static_cast<size_t>(c)]; }
    int channels() const { return static_cast<int>(data_.size()); }
    int samples() const { return data_.empty() ? 0 : static_cast<int>(data_[0].size()); }

    void fill(int c, float value) {
        std::fill(data_[static_cast<size_t>(c)].begin(), data_[static_cast<size_t>(c)].end(),
                  value);
    }

    // A sine continuing from sample `start`, so consecutive blocks join up.
    void sine(int c, float amplitude, double hz, double fs, long start = 0) {
        auto& ch = data_[static_cast<size_t>(c)];
        for (size_t i = 0; i < ch.size(); ++i) {
            const double t = static_cast<double>(start + static_cast<long>(i)) / fs;
            ch[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * t));
        }
    }

private:
    void point() {
        ptrs_.clear();
        for (auto& ch : data_) {
            ptrs_.push_back(ch.data());
        }
    }

    std::vector<std::vector<float>> data_;
    std::vector<float*> ptrs_;
};

inline double rms(const std::vector<float>& x, size_t from = 0) {
    double sum = 0.0;
    for (size_t i = from; i < x.size(); ++i) {
        sum += static_cast<double>(x[i]) * x[i];
    }
    return x.size() > from ? std::sqrt(sum / static_cast<double>(x.size() - from)) : 0.0;
}

} // namespace velmora::test
