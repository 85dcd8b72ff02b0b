#include "render/Measurements.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace velmora::host {
namespace {

TEST(Measurements, MeterValuesConvertToDecibels) {
    // m = 20 log10(r) / 60 + 1: 0 dB is 1, -60 dB is 0, the 1e-25 floor about -7.33.
    EXPECT_DOUBLE_EQ(meterToDb(1.0), 0.0);
    EXPECT_DOUBLE_EQ(meterToDb(0.0), -60.0);
    EXPECT_DOUBLE_EQ(meterToDb(0.5), -30.0);
    EXPECT_NEAR(meterToDb(20.0 * -25.0 / 60.0 + 1.0), -500.0, 1e-9);
    EXPECT_NEAR(meterToLinear(1.0 - 6.0 / 60.0), 0.501187, 1e-6);
    EXPECT_NEAR(linearToDb(0.1), -20.0, 1e-12);
}

TEST(Measurements, MeterLogKeepsChangesAndWritesDecibels) {
    MeterLog log;
    log.add(0.01, {0.5, 0.25, 1.0, 1.0});
    log.add(0.02, {0.5, 0.25, 1.0, 1.0}); // unchanged: no row
    log.add(0.05, {0.75, 0.25, 0.9, 0.8});
    ASSERT_EQ(log.rows().size(), 2u);
    EXPECT_DOUBLE_EQ(log.rows()[1].time, 0.05);
    // Unchanged readings still give a row once per meter period.
    MeterLog steady;
    for (int block = 1; block <= 100; ++block) {
        steady.add(block * 0.01, {0.5, 0.5, 1.0, 1.0});
    }
    ASSERT_EQ(steady.rows().size(), 20u);
    EXPECT_NEAR(steady.rows()[1].time, 0.06, 1e-12);

    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(log.writeCsv(dir / "m.csv", error)) << error;
    std::ifstream in(dir / "m.csv");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "time_s,max_vu_db,min_vu_db,max_gate_db,min_gate_db\n"
                          "0.010000,-30.000,-45.000,0.000,0.000\n"
                          "0.050000,-15.000,-45.000,-6.000,-12.000\n");
    EXPECT_FALSE(log.writeCsv(dir / "missing" / "m.csv", error));
}

TEST(Measurements, LevelsAndEnvelopes) {
    LevelStats stats;
    const float samples[] = {0.5f, -1.0f, 0.0f, 0.5f, 1.5f, -0.5f};
    stats.add(samples, 4);
    EXPECT_DOUBLE_EQ(stats.peak(), 1.0);
    EXPECT_NEAR(stats.rms(), std::sqrt((0.25 + 1.0 + 0.0 + 0.25) / 4.0), 1e-12);
    EXPECT_EQ(stats.clipped(), 0);
    stats.add(samples + 4, 2);
    EXPECT_DOUBLE_EQ(stats.peak(), 1.5);
    EXPECT_EQ(stats.clipped(), 1);
    EXPECT_EQ(LevelStats().rms(), 0.0);

    // Two channels, windows of two frames, the last window partial.
    EnvelopeRecorder env(2, 5);
    const float frames[] = {0.1f, -0.2f, 0.3f, 0.0f, 0.0f, 0.05f, -0.9f, 0.0f, 0.4f, 0.4f};
    env.add(frames, 3, 2);
    env.add(frames + 6, 2, 2);
    env.finish();
    ASSERT_EQ(env.peaks().size(), 3u);
    EXPECT_FLOAT_EQ(env.peaks()[0], 0.3f);
    EXPECT_FLOAT_EQ(env.peaks()[1], 0.9f);
    EXPECT_FLOAT_EQ(env.peaks()[2], 0.4f);
}

} // namespace
} // namespace velmora::host
