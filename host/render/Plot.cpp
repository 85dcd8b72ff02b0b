#include "render/Plot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

namespace velmora::host {

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 620;
constexpr double kLeft = 64.0;
constexpr double kRight = 24.0;
constexpr double kTop = 44.0;
constexpr double kLevelHeight = 380.0;
constexpr double kGap = 26.0;
constexpr double kGateHeight = 110.0;
constexpr double kFloorDb = -84.0;

struct Rgb {
    double r, g, b;
};
constexpr Rgb kInputColour{0.70, 0.72, 0.75};
constexpr Rgb kOutputColour{0.16, 0.42, 0.78};
constexpr Rgb kDetectionColour{0.93, 0.55, 0.10};
constexpr Rgb kThresholdColour{0.85, 0.12, 0.15};
constexpr Rgb kGateColour{0.20, 0.62, 0.30};
constexpr Rgb kGridColour{0.88, 0.88, 0.88};
constexpr Rgb kTextColour{0.15, 0.15, 0.15};

void setColour(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

double niceStep(double span, int targetTicks) {
    const double raw = span / std::max(1, targetTicks);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * magnitude >= raw) {
            return m * magnitude;
        }
    }
    return 10.0 * magnitude;
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool rightAlign,
          Rgb colour = kTextColour) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, s.c_str(), &ext);
    setColour(cr, colour);
    cairo_move_to(cr, rightAlign ? x - ext.x_advance : x, y);
    cairo_show_text(cr, s.c_str());
}

// Peak of the envelope windows that fall into the pixel column [t0, t1).
double columnPeak(const std::vector<float>& peaks, double windowSeconds, double t0, double t1) {
    if (peaks.empty()) {
        return 0.0;
    }
    auto first = static_cast<std::size_t>(std::max(0.0, std::floor(t0 / windowSeconds)));
    auto last = static_cast<std::size_t>(std::max(0.0, std::ceil(t1 / windowSeconds)));
    first = std::min(first, peaks.size() - 1);
    last = std::clamp(last, first + 1, peaks.size());
    return *std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(first),
                             peaks.begin() + static_cast<std::ptrdiff_t>(last));
}

} // namespace

namespace {

bool draw(const std::filesystem::path& png, const PlotData& data, std::string& error) {
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight), &cairo_surface_destroy);
    std::unique_ptr<cairo_t, void (*)(cairo_t*)> context(cairo_create(surface.get()),
                                                         &cairo_destroy);
    cairo_t* cr = context.get();
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);

    const double plotWidth = kWidth - kLeft - kRight;
    const double duration = std::max(data.duration, 1e-3);
    const auto xOf = [&](double t) {
        return kLeft + plotWidth * std::clamp(t / duration, 0.0, 1.0);
    };

    // Level panel: a dB scale from the floor to just above the loudest peak.
    // The infinite samples of a damaged float file stay off the scale: the
    // grid would never reach an infinite top.
    double topDb = 0.0;
    for (const auto* peaks : {&data.inputPeaks, &data.outputPeaks}) {
        for (float peak : *peaks) {
            if (std::isfinite(peak)) {
                topDb = std::max(topDb, linearToDb(peak));
            }
        }
    }
    topDb = std::ceil(topDb / 6.0) * 6.0 + 6.0;
    const double levelTop = kTop;
    const double levelBottom = kTop + kLevelHeight;
    const auto yOfDb = [&](double db) {
        const double clamped = std::clamp(db, kFloorDb, topDb);
        return levelBottom - (clamped - kFloorDb) / (topDb - kFloorDb) * kLevelHeight;
    };

    text(cr, kLeft, 26.0, data.title, 15.0, false);

    cairo_set_line_width(cr, 1.0);
    for (double db = kFloorDb; db <= topDb + 1e-9; db += 12.0) {
        setColour(cr, kGridColour);
        cairo_move_to(cr, kLeft, std::round(yOfDb(db)) + 0.5);
        cairo_line_to(cr, kLeft + plotWidth, std::round(yOfDb(db)) + 0.5);
        cairo_stroke(cr);
        char label[32];
        std::snprintf(label, sizeof(label), "%.0f dB", db);
        text(cr, kLeft - 6.0, yOfDb(db) + 4.0, label, 11.0, true);
    }

    const int columns = static_cast<int>(plotWidth);
    const auto drawEnvelope = [&](const std::vector<float>& peaks, Rgb colour, double alpha) {
        if (peaks.empty()) {
            return;
        }
        cairo_move_to(cr, kLeft, levelBottom);
        for (int x = 0; x < columns; ++x) {
            const double t0 = duration * x / columns;
            const double t1 = duration * (x + 1) / columns;
            const double y = yOfDb(linearToDb(columnPeak(peaks, data.windowSeconds, t0, t1)));
            cairo_line_to(cr, kLeft + x, y);
            cairo_line_to(cr, kLeft + x + 1, y);
        }
        cairo_line_to(cr, kLeft + plotWidth, levelBottom);
        cairo_close_path(cr);
        setColour(cr, colour, alpha);
        cairo_fill(cr);
    };
    drawEnvelope(data.inputPeaks, kInputColour, 1.0);
    drawEnvelope(data.outputPeaks, kOutputColour, 0.75);

    // The detection level the gate compares with the threshold.
    const auto drawSteps = [&](std::size_t column, const auto& yOf) {
        bool started = false;
        for (std::size_t i = 0; i < data.meters.size(); ++i) {
            const double t0 = data.meters[i].time;
            const double t1 = i + 1 < data.meters.size() ? data.meters[i + 1].time : duration;
            const double y = yOf(data.meters[i].values[column]);
            if (!started) {
                cairo_move_to(cr, xOf(t0), y);
                started = true;
            } else {
                cairo_line_to(cr, xOf(t0), y);
            }
            cairo_line_to(cr, xOf(t1), y);
        }
    };
    cairo_set_line_width(cr, 1.5);
    drawSteps(0, [&](double m) { return yOfDb(meterToDb(m)); });
    setColour(cr, kDetectionColour);
    cairo_stroke(cr);

    if (data.thresholdDb) {
        const double y = yOfDb(*data.thresholdDb);
        const double dashes[] = {7.0, 4.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_set_line_width(cr, 1.5);
        setColour(cr, kThresholdColour);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + plotWidth, y);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
        text(cr, kLeft + plotWidth - 4.0, y - 5.0, "threshold " + data.thresholdText, 11.0, true,
             kThresholdColour);
    }

    setColour(cr, kTextColour);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, kLeft + 0.5, levelTop + 0.5, plotWidth - 1.0, kLevelHeight - 1.0);
    cairo_stroke(cr);

    // Legend, on the title's line at the right.
    double legendWidth = 0.0;
    cairo_set_font_size(cr, 11.0);
    for (const char* label : {"input", "output", "detection level", "threshold", "gate gain"}) {
        cairo_text_extents_t ext;
        cairo_text_extents(cr, label, &ext);
        legendWidth += 18.0 + ext.x_advance + 16.0;
    }
    double lx = kLeft + plotWidth - legendWidth + 16.0;
    const double ly = 26.0;
    for (const auto& [label, colour] : {std::pair<const char*, Rgb>{"input", kInputColour},
                                        {"output", kOutputColour},
                                        {"detection level", kDetectionColour},
                                        {"threshold", kThresholdColour},
                                        {"gate gain", kGateColour}}) {
        setColour(cr, colour);
        cairo_rectangle(cr, lx, ly - 9.0, 14.0, 10.0);
        cairo_fill(cr);
        cairo_set_font_size(cr, 11.0);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, label, &ext);
        text(cr, lx + 18.0, ly, label, 11.0, false);
        lx += 18.0 + ext.x_advance + 16.0;
    }

    // Gate panel: the smoothed gate gain from 0 (closed) to 1 (open).
    const double gateTop = levelBottom + kGap;
    const double gateBottom = gateTop + kGateHeight;
    const auto yOfGain = [&](double m) {
        return gateBottom - std::clamp(meterToLinear(m), 0.0, 1.0) * kGateHeight;
    };
    if (!data.meters.empty()) {
        cairo_move_to(cr, xOf(data.meters.front().time), gateBottom);
        for (std::size_t i = 0; i < data.meters.size(); ++i) {
            const double t0 = data.meters[i].time;
            const double t1 = i + 1 < data.meters.size() ? data.meters[i + 1].time : duration;
            const double y = yOfGain(data.meters[i].values[2]);
            cairo_line_to(cr, xOf(t0), y);
            cairo_line_to(cr, xOf(t1), y);
        }
        cairo_line_to(cr, xOf(duration), gateBottom);
        cairo_close_path(cr);
        setColour(cr, kGateColour, 0.55);
        cairo_fill(cr);
        // Channels gated one by one can differ; the lowest shows as a line.
        cairo_set_line_width(cr, 1.0);
        drawSteps(3, yOfGain);
        setColour(cr, kGateColour);
        cairo_stroke(cr);
    }
    setColour(cr, kTextColour);
    cairo_rectangle(cr, kLeft + 0.5, gateTop + 0.5, plotWidth - 1.0, kGateHeight - 1.0);
    cairo_stroke(cr);
    text(cr, kLeft - 6.0, gateTop + 10.0, "open", 11.0, true);
    text(cr, kLeft - 6.0, gateBottom, "closed", 11.0, true);

    // Time axis.
    const double step = niceStep(duration, 10);
    for (double t = 0.0; t <= duration + 1e-9; t += step) {
        const double x = std::round(xOf(t)) + 0.5;
        setColour(cr, kTextColour);
        cairo_move_to(cr, x, gateBottom);
        cairo_line_to(cr, x, gateBottom + 5.0);
        cairo_stroke(cr);
        char label[32];
        std::snprintf(label, sizeof(label), step < 1.0 ? "%.1f s" : "%.0f s", t);
        cairo_set_font_size(cr, 11.0);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, label, &ext);
        text(cr, x - ext.x_advance / 2.0, gateBottom + 18.0, label, 11.0, false);
    }

    cairo_surface_flush(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png(surface.get(), png.c_str()) != CAIRO_STATUS_SUCCESS) {
        error = "cannot write the plot '" + png.string() + "'";
        return false;
    }
    return true;
}

} // namespace

bool writePlot(const std::filesystem::path& png, const PlotData& data, std::string& error) {
    // The caches freed below are the whole process's: no other plot may be
    // drawing meanwhile.
    static std::mutex oneAtATime;
    std::lock_guard<std::mutex> lock(oneAtATime);
    const bool ok = draw(png, data, error);
    cairo_debug_reset_static_data();
    FcFini();
    return ok;
}

} // namespace velmora::host
