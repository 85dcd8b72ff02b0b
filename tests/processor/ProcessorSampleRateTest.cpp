// The host's sample rate reaches every time constant, the meter interval
// and the filter designs; the reported tail covers the longest ringing.
#include "ProcessorTestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace velmora::test {
namespace {

// |H(e^jw)| of one second-order section at f Hz.
double magnitude(const BiquadCoeffs& c, double f, double fs) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * f / fs);
    const std::complex<double> num = c.b0 + c.b1 * z1 + c.b2 * z1 * z1;
    const std::complex<double> den = c.a0 + c.a1 * z1 + c.a2 * z1 * z1;
    return std::abs(num / den);
}

// The one-pole factor that moves by `ratio` in t ms at fs.
float pole(double ratio, double ms, double fs) {
    return static_cast<float>(std::pow(ratio, 1.0 / (fs * ms * 0.001)));
}

float eighth(float c) {
    return static_cast<float>(std::pow(static_cast<double>(c), 8.0));
}

TEST(ProcessorSampleRate, SetupProcessingRetunesEveryTimeConstant) {
    const ParameterScaling sc;
    const StateFields start = StateFields::defaults();
    auto plain = [&](ParamId id) { return static_cast<double>(sc.toPlain(id, start.value(id))); };

    for (double fs : {48000.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Processor p;
        ASSERT_EQ(p.initialize(), kResultOk);
        ASSERT_EQ(p.setup(fs), kResultOk);
        const GateEngine& e = p.engine();
        EXPECT_EQ(e.sampleRate(), static_cast<float>(fs));

        // Release 10 ms and gradual attack 1 ms fall / rise by 1000 in
        // their time; the synth attack climbs from 0 to 0.999 towards 1.3.
        EXPECT_FLOAT_EQ(e.releaseCoef(), pole(0.001, plain(kRelease), fs));
        EXPECT_FLOAT_EQ(e.releaseSmooth(), eighth(e.releaseCoef()));
        EXPECT_FLOAT_EQ(e.gradAttackCoef(), pole(0.001, plain(kAttackGradual), fs));
        EXPECT_FLOAT_EQ(e.gradAttackSmooth(), eighth(e.gradAttackCoef()));
        EXPECT_FLOAT_EQ(e.synthAttackCoef(), pole(1.0 - 0.999 / 1.3, plain(kAttackSynth), fs));
        EXPECT_FLOAT_EQ(e.rmsCoef(), pole(0.001, plain(kRmsWindow), fs));
        // Hold 35 ms: 1680 samples at 48 kHz, 3360 at 96 kHz.
        EXPECT_EQ(e.holdSamples(), static_cast<int>(plain(kHold) * 0.001 * fs + 0.5));
        EXPECT_EQ(e.holdSamples(), static_cast<int>(0.035 * fs + 0.5));
        // 50 ms meter interval; the switching ramp falls by 100 in 10 ms.
        EXPECT_EQ(e.meterInterval(), static_cast<int>(fs * 0.05));
        EXPECT_FLOAT_EQ(e.rampCoef(), pole(0.01, 10.0, fs));
        // Both Nyquist limits are far above the 5000 Hz control edge 2.
        EXPECT_NEAR(e.controlSplitter().edge2Hz(), 5000.0, 0.01);
        // setSampleRate stops the ramp, and initialize's order pushes Bypass
        // and Ctrl Out again, which starts it once more.
        EXPECT_TRUE(e.rampActive());

        // Settings changed later are re-pushed at the next rate change.
        StateFields s = start;
        s.value(kRelease) = 0.5f;
        ASSERT_EQ(p.setState(s), kResultOk);
        ASSERT_EQ(p.setup(44100.0), kResultOk);
        EXPECT_FLOAT_EQ(e.releaseCoef(), pole(0.001, sc.toPlain(kRelease, 0.5f), 44100.0));
        ASSERT_EQ(p.setup(fs), kResultOk);
        EXPECT_FLOAT_EQ(e.releaseCoef(), pole(0.001, sc.toPlain(kRelease, 0.5f), fs));
    }
}

TEST(ProcessorSampleRate, ControlEdgesFollowTheNyquistRuleOfTheNewRate) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    // 5000 Hz is above Nyquist at 9 kHz: 0.18 and 0.34 of 4500 Hz.
    ASSERT_EQ(p.setup(9000.0), kResultOk);
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().controlSplitter().edge1Hz()), 810.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(p.engine().controlSplitter().edge2Hz()), 1530.0f);
    EXPECT_EQ(p.stateBytes(), StateFields::defaults().bytes());
    ASSERT_EQ(p.setup(11000.0), kResultOk);
    EXPECT_NEAR(p.engine().controlSplitter().edge1Hz(), 1000.0, 0.01);
    EXPECT_NEAR(p.engine().controlSplitter().edge2Hz(), 5000.0, 0.01);
}

TEST(ProcessorSampleRate, MetersUpdateEveryFiftyMilliseconds) {
    for (double fs : {48000.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Processor p;
        p.start(fs, 64);
        const int interval = static_cast<int>(fs * 0.05);
        // With 64-sample blocks the count first reaches the interval after
        // ceil(interval / 64) blocks, and restarts from 0 each time.
        const int blocksPerUpdate = (interval + 63) / 64;
        Block b(2, 2, 64);
        ParamValue last = 0.0;
        std::vector<int> changes;
        for (int k = 0; k < 3 * blocksPerUpdate + 5; ++k) {
            b.resetChanges();
            b.sineIn(0.5f, 440.0 + k, fs, k * 64L);
            p->process(b.data);
            const ParamValue v = b.outChanges.find(kMaxVu)->last();
            if (k > 0 && v != last) {
                changes.push_back(k);
            }
            last = v;
        }
        const std::vector<int> expected = {blocksPerUpdate - 1, 2 * blocksPerUpdate - 1,
                                           3 * blocksPerUpdate - 1};
        EXPECT_EQ(changes, expected);
    }
}

TEST(ProcessorSampleRate, BandEdgesAreDesignedForTheHostRate) {
    // A second-order Butterworth section is 3 dB down at its corner: the
    // 1 kHz control low-pass and the 220 Hz output low-pass must show
    // 1/sqrt(2) there at the host's rate. Designed for 44.1 kHz and run at
    // 96 kHz they would sit at 2.18 kHz and 479 Hz instead.
    for (double fs : {48000.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Processor p;
        p.start(fs, 256);
        // The redesign happens at the bottom of each splitter's 10 ms fade.
        Block b(2, 2, 256);
        for (int k = 0; k < static_cast<int>(0.05 * fs / 256) + 1; ++k) {
            b.resetChanges();
            p->process(b.data);
        }
        const GateEngine& e = p.engine();
        ASSERT_FALSE(e.controlSplitter().fading());
        ASSERT_FALSE(e.outputSplitter().fading());
        const double edge1 = e.controlSplitter().edge1Hz();
        ASSERT_NEAR(edge1, 1000.0, 0.01);
        EXPECT_NEAR(magnitude(e.controlSplitter().lowCoeffs(), edge1, fs), std::sqrt(0.5), 1e-9);
        EXPECT_NEAR(magnitude(e.controlSplitter().highCoeffs(), e.controlSplitter().edge2Hz(), fs),
                    std::sqrt(0.5), 1e-9);
        EXPECT_NEAR(magnitude(e.outputSplitter().lowCoeffs(), e.outputSplitter().edge1Hz(), fs),
                    std::sqrt(0.5), 1e-9);
        // One octave above the corner the low-pass is down by 1/sqrt(1+2^4).
        EXPECT_NEAR(magnitude(e.controlSplitter().lowCoeffs(), 2.0 * edge1, fs),
                    1.0 / std::sqrt(17.0), 2e-3);
    }
}

TEST(ProcessorSampleRate, EveryAcceptedRateProcessesWithFiniteOutput) {
    for (double fs :
         {static_cast<double>(again::kMinSampleRate), 1234.5678, 12345.678, 123456.78, 1234567.8}) {
        SCOPED_TRACE(fs);
        Processor p;
        p.start(fs, 512);
        EXPECT_EQ(p.engine().sampleRate(), static_cast<float>(fs));
        EXPECT_EQ(p.engine().meterInterval(), static_cast<int>(static_cast<float>(fs) * 0.05));
        Block b(2, 2, 512);
        std::mt19937 rng(3);
        b.noiseIn(1.0f, rng);
        ASSERT_EQ(p->process(b.data), kResultOk);
        EXPECT_TRUE(b.outFinite());
        // The extremes of every range, edges included.
        for (double v : {1.0, 0.0}) {
            b.resetChanges();
            for (int id = kFirstContinuous; id <= kLastContinuous; ++id) {
                b.inChanges.add(static_cast<ParamID>(id), {v});
            }
            b.inChanges.add(kDetectionMethod, {v});
            b.inChanges.add(kChannelMode, {1.0 - v});
            for (int k = 0; k < 4; ++k) {
                b.noiseIn(1.0f, rng);
                ASSERT_EQ(p->process(b.data), kResultOk);
                ASSERT_TRUE(b.outFinite()) << v;
                b.resetChanges();
            }
        }
        EXPECT_EQ(p->getTailSamples(),
                  static_cast<uint32>(std::ceil(again::kTailSeconds * static_cast<float>(fs))));
    }
}

TEST(ProcessorSampleRate, RatesThatAreNoRateAreRefused) {
    Processor p;
    ASSERT_EQ(p.initialize(), kResultOk);
    for (double fs : {0.0, -44100.0, std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::infinity(), 1e300, 5e9, 1.01e8, 5.5e6, 2e6,
                      static_cast<double>(again::kMaxSampleRate) * 1.001, 1e-45, 1e-300, 0.5, 1.0,
                      999.9, static_cast<double>(again::kMinSampleRate) * 0.999}) {
        EXPECT_EQ(p.setup(fs), kInvalidArgument) << fs;
        EXPECT_EQ(p.engine().sampleRate(), 44100.0f);
    }
    // While active a different rate would retune the engine under a running
    // block; the same rate is fine.
    ASSERT_EQ(p.setup(48000.0), kResultOk);
    p.activate();
    EXPECT_EQ(p.setup(96000.0), kResultFalse);
    EXPECT_EQ(p.engine().sampleRate(), 48000.0f);
    EXPECT_EQ(p.setup(48000.0, 256), kResultOk);
    p.deactivate();
    EXPECT_EQ(p.setup(96000.0), kResultOk);
    EXPECT_EQ(p.engine().sampleRate(), 96000.0f);
}

TEST(ProcessorSampleRate, EveryTimeSettingRunsUpToTheHighestRate) {
    // The one-pole factors are single precision, so their distance from 1
    // comes in steps of the float grid below 1. Long times at high rates
    // round to a few steps, then to 1 itself, where an envelope never
    // moves. Up to the highest accepted rate every setting keeps within a
    // quarter of its time.
    const ParameterScaling sc;
    const ParamId ids[] = {kRmsWindow, kAttackGradual, kAttackSynth, kRelease};
    const double synthRatio = 1.0 - 0.999 / 1.3;
    for (double fs : {768000.0, 1234567.8, static_cast<double>(again::kMaxSampleRate)}) {
        SCOPED_TRACE(fs);
        Processor p;
        ASSERT_EQ(p.initialize(), kResultOk);
        ASSERT_EQ(p.setup(fs), kResultOk);
        GateEngine e = p.engine();
        for (ParamId id : ids) {
            double worst = 0.0;
            for (int i = 0; i <= 1000; ++i) {
                const float ms = sc.toPlain(id, static_cast<float>(i) / 1000.0f);
                e.setTimeRms(ms);
                e.setTimeAtt1(ms);
                e.setTimeAtt2(ms);
                e.setTimeRel(ms);
                const float c = id == kRmsWindow       ? e.rmsCoef()
                                : id == kAttackGradual ? e.gradAttackCoef()
                                : id == kAttackSynth   ? e.synthAttackCoef()
                                                       : e.releaseCoef();
                ASSERT_LT(c, 1.0f) << paramTitle(id) << " " << ms;
                const double travel = std::log(id == kAttackSynth ? synthRatio : 0.001) /
                                      std::log(static_cast<double>(c));
                worst = std::max(worst, std::fabs(travel / (ms * 0.001 * fs) - 1.0));
            }
            EXPECT_LE(worst, 0.26) << paramTitle(id);
        }
        // The longest synth attack, the closest to the grid, run sample by
        // sample: it must not stall short of the top.
        e.setAttEnvelope(false);
        e.setTimeAtt2(9000.0f);
        ChannelGateState g;
        g.gain = 0.0f;
        long n = 0;
        for (; g.gain < 0.999f && n < static_cast<long>(18.0 * fs); ++n) {
            e.envelopeStep(true, g);
        }
        EXPECT_GT(static_cast<double>(n), 0.7 * 9.0 * fs);
        EXPECT_LT(static_cast<double>(n), 1.3 * 9.0 * fs);
    }
}

// Full-scale sine into the worst settings for ringing, then digital
// silence; returns the largest output after `tail` samples of silence and
// the largest one between `probe` and `tail` samples.
struct TailRun {
    float afterTail = 0.0f;
    float beforeTail = 0.0f;
};

TailRun runTail(double fs, float edge2Hz, bool ctrlOut) {
    const ParameterScaling sc;
    Processor p;
    p.start(fs, 512);
    StateFields s = StateFields::defaults();
    s.sw(kCtrlOut) = ctrlOut ? 1 : 0;
    s.value(kInputLevel) = 1.0f;  // +60 dB
    s.value(kOutputLevel) = 1.0f; // +40 dB
    for (ParamId id : {kCtrlSignalLo, kCtrlSignalMid, kCtrlSignalHi, kOpenLevelLo, kOpenLevelMid,
                       kOpenLevelHi, kClosedLevelLo, kClosedLevelMid, kClosedLevelHi}) {
        s.value(id) = 1.0f; // 0 dB
    }
    s.value(kCtrlBandEdge1) = 0.0f; // 10 Hz
    s.value(kOutBandEdge1) = 0.0f;
    s.value(kCtrlBandEdge2) = sc.toNormalized(kCtrlBandEdge2, edge2Hz);
    s.value(kOutBandEdge2) = sc.toNormalized(kOutBandEdge2, edge2Hz);
    p.setState(s);

    Block b(2, 2, 512);
    long pos = 0;
    for (; pos < static_cast<long>(1.0 * fs); pos += 512) {
        b.resetChanges();
        b.sineIn(1.0f, 10.5, fs, pos);
        p->process(b.data);
    }
    const long tail = p->getTailSamples();
    const long probe = static_cast<long>(5.0 * fs);
    TailRun r;
    b.fillIn(0.0f);
    for (long n = 0; n < tail + static_cast<long>(0.25 * fs); n += 512) {
        b.resetChanges();
        p->process(b.data);
        for (int i = 0; i < 512; ++i) {
            const float y = std::max(std::fabs(b.out(0)[static_cast<size_t>(i)]),
                                     std::fabs(b.out(1)[static_cast<size_t>(i)]));
            if (n + i >= tail) {
                r.afterTail = std::max(r.afterTail, y);
            } else if (n + i >= probe) {
                r.beforeTail = std::max(r.beforeTail, y);
            }
        }
        b.fillIn(0.0f);
    }
    return r;
}

TEST(ProcessorTail, SilentInputDiesAwayWithinTheReportedTail) {
    // The longest ringing: 10 Hz edges with a 2 Hz wide mid band in both
    // splitters, +60 dB input and +40 dB output gain, every band level at
    // 0 dB, Ctrl Out on (the control path runs each band four times). Its
    // poles sit about 4.4 /s inside the unit circle in the s-plane, so a
    // full-scale 10.5 Hz input still rings above 1e-7 after 5 s; the
    // reported tail covers it. The filters are designed from analog
    // prototypes, so the tail in seconds hardly depends on the rate, and a
    // low rate keeps the test short.
    const TailRun worst = runTail(8000.0, 12.0f, true);
    EXPECT_LT(worst.afterTail, 1e-7f);
    EXPECT_GT(worst.beforeTail, 1e-7f);
    EXPECT_EQ(again::kTailSeconds, 10.0);

    // The same without Ctrl Out, and with the mid band closed (both edges
    // at 10 Hz), where only the 10 Hz low and high sections ring.
    EXPECT_LT(runTail(8000.0, 12.0f, false).afterTail, 1e-7f);
    EXPECT_LT(runTail(8000.0, 10.0f, true).afterTail, 1e-7f);
}

} // namespace
} // namespace velmora::test
