// The picture for setting the threshold: input and output envelopes with the
// detection level and the threshold over them, the gate's gain underneath.
#pragma once

#include "render/Measurements.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::host {

struct PlotData {
    std::string title;
    double duration = 0.0;       // seconds
    double windowSeconds = 0.01; // length of one envelope window
    std::vector<float> inputPeaks;
    std::vector<float> outputPeaks;
    std::vector<MeterReading> meters;
    std::optional<double> thresholdDb;
    std::string thresholdText;
};

// Draws and saves the picture. Afterwards it frees the font caches cairo and
// fontconfig keep for the whole process (so leak checkers see a clean exit),
// which requires that the caller holds no cairo objects of its own. Plots
// from several threads are drawn one at a time.
bool writePlot(const std::filesystem::path& png, const PlotData& data, std::string& error);

} // namespace velmora::host
