#include "render/Plot.h"

#include "TempDir.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <limits>

namespace velmora::host {
namespace {

TEST(Plot, WritesAPngWithEnvelopesAndGate) {
    test::TempDir dir;
    PlotData data;
    data.title = "test";
    data.duration = 1.0;
    data.windowSeconds = 0.01;
    for (int i = 0; i < 100; ++i) {
        data.inputPeaks.push_back(i % 25 < 5 ? 0.8f : 0.01f);
        data.outputPeaks.push_back(i % 25 < 5 ? 0.8f : 0.0001f);
    }
    for (int i = 0; i < 20; ++i) {
        MeterReading r;
        r.time = 0.05 * (i + 1);
        const double open = i % 5 == 0 ? 1.0 : 0.0;
        r.values = {open > 0 ? 0.95 : 0.4, -7.33, open, open};
        data.meters.push_back(r);
    }
    data.thresholdDb = -30.0;
    data.thresholdText = "-30.0 dB";
    std::string error;
    ASSERT_TRUE(writePlot(dir / "plot.png", data, error)) << error;

    cairo_surface_t* png = cairo_image_surface_create_from_png((dir / "plot.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 1200);
    EXPECT_EQ(cairo_image_surface_get_height(png), 620);
    cairo_surface_destroy(png);

    // Peaks of a damaged float file: the scale ends, and the picture with it.
    data.inputPeaks[3] = std::numeric_limits<float>::infinity();
    data.inputPeaks[4] = std::numeric_limits<float>::quiet_NaN();
    data.inputPeaks[5] = std::numeric_limits<float>::max();
    ASSERT_TRUE(writePlot(dir / "damaged.png", data, error)) << error;

    // No data at all still makes a picture; a missing folder does not.
    ASSERT_TRUE(writePlot(dir / "empty.png", PlotData{}, error)) << error;
    EXPECT_FALSE(writePlot(dir / "missing" / "plot.png", data, error));
}

} // namespace
} // namespace velmora::host
