#include "filters/FilterDesign.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace velmora {
namespace {

const double kPi = std::acos(-1.0);
const double kSqrt2 = std::sqrt(2.0);

// H(e^jw) of a rational transfer function with coefficients in powers of z^-1.
Complex response(const std::vector<double>& b, const std::vector<double>& a, double w) {
    Complex num = 0.0;
    Complex den = 0.0;
    for (size_t i = 0; i < b.size(); ++i) {
        num += b[i] * std::polar(1.0, -w * static_cast<double>(i));
    }
    for (size_t i = 0; i < a.size(); ++i) {
        den += a[i] * std::polar(1.0, -w * static_cast<double>(i));
    }
    return num / den;
}

std::vector<double> poly(const BiquadCoeffs& c, bool numerator) {
    return numerator ? std::vector<double>{c.b0, c.b1, c.b2} : std::vector<double>{1.0, c.a1, c.a2};
}

std::vector<double> poly(const Order4Coeffs& c, bool numerator) {
    return numerator ? std::vector<double>{c.b0, c.b1, c.b2, c.b3, c.b4}
                     : std::vector<double>{1.0, c.a1, c.a2, c.a3, c.a4};
}

std::vector<double> multiply(const std::vector<double>& p, const std::vector<double>& q) {
    std::vector<double> r(p.size() + q.size() - 1, 0.0);
    for (size_t i = 0; i < p.size(); ++i) {
        for (size_t j = 0; j < q.size(); ++j) {
            r[i + j] += p[i] * q[j];
        }
    }
    return r;
}

TEST(FilterDesign, PrewarpAndPoles) {
    // A quarter of the sample rate maps to tan(pi / 4) = 1.
    EXPECT_NEAR(prewarp(12000.0, 48000.0), 1.0, 1e-15);
    EXPECT_DOUBLE_EQ(prewarp(1000.0, 48000.0), std::tan(kPi * 1000.0 / 48000.0));
    // Below 0.49 fs the limit changes nothing; above it the design sits at
    // 0.49 fs, where tan(0.49 pi) is large but finite.
    EXPECT_EQ(prewarpLimited(1000.0, 48000.0), prewarp(1000.0, 48000.0));
    EXPECT_EQ(prewarpLimited(20000.0, 22050.0), prewarp(0.49 * 22050.0, 22050.0));
    EXPECT_NEAR(prewarpLimited(6394.92790638715, 1000.0), std::tan(0.49 * kPi), 1e-9);

    const ButterworthPoles p = butterworthPoles();
    EXPECT_NEAR(p.p1.real(), -1.0 / kSqrt2, 1e-15);
    EXPECT_NEAR(p.p1.imag(), 1.0 / kSqrt2, 1e-15);
    EXPECT_NEAR(p.p2.real(), -1.0 / kSqrt2, 1e-15);
    EXPECT_NEAR(p.p2.imag(), -1.0 / kSqrt2, 1e-15);
}

TEST(FilterDesign, LowpassAndHighpassMatchClosedForms) {
    const ButterworthPoles p = butterworthPoles();
    const std::array<std::array<double, 2>, 6> cases = {{{1000.0, 48000.0},
                                                         {200.0, 48000.0},
                                                         {12000.0, 48000.0},
                                                         {20000.0, 44100.0},
                                                         {10.0, 1234567.8},
                                                         {66.8433613814533, 48000.0}}};
    for (const auto& [f, fs] : cases) {
        SCOPED_TRACE(::testing::Message() << f << " Hz at " << fs << " Hz");
        const double k = prewarp(f, fs);
        const BiquadCoeffs lp = designLowpass2(Complex(k, 0.0), p.p1, p.p2);
        const BiquadCoeffs hp = designHighpass2(Complex(k, 0.0), p.p1, p.p2);

        // n = 1 + sqrt2 K + K^2; low-pass K^2/n (1, 2, 1), high-pass 1/n (1, -2, 1),
        // shared a1 = 2 (K^2 - 1) / n, a2 = (1 - sqrt2 K + K^2) / n.
        const double n = 1.0 + kSqrt2 * k + k * k;
        const double tol = 1e-15 * std::max(1.0, k * k);
        EXPECT_NEAR(lp.b0, k * k / n, tol);
        EXPECT_NEAR(lp.b1, 2.0 * k * k / n, tol);
        EXPECT_NEAR(lp.b2, k * k / n, tol);
        EXPECT_NEAR(hp.b0, 1.0 / n, tol);
        EXPECT_NEAR(hp.b1, -2.0 / n, tol);
        EXPECT_NEAR(hp.b2, 1.0 / n, tol);
        EXPECT_NEAR(lp.a1, 2.0 * (k * k - 1.0) / n, tol);
        EXPECT_NEAR(lp.a2, (1.0 - kSqrt2 * k + k * k) / n, tol);
        EXPECT_EQ(lp.a0, 1.0);
        EXPECT_EQ(hp.a0, 1.0);
        EXPECT_EQ(lp.a1, hp.a1);
        EXPECT_EQ(lp.a2, hp.a2);

        // Unity gain at 0 Hz (low-pass) and at half the sample rate
        // (high-pass); -3 dB at the corner for both.
        const double sumA = 1.0 + lp.a1 + lp.a2;
        const double altA = 1.0 - hp.a1 + hp.a2;
        EXPECT_NEAR((lp.b0 + lp.b1 + lp.b2) / sumA, 1.0, 1e-6);
        EXPECT_NEAR((hp.b0 - hp.b1 + hp.b2) / altA, 1.0, 1e-12);
        const double w = 2.0 * kPi * f / fs;
        EXPECT_NEAR(std::abs(response(poly(lp, true), poly(lp, false), w)), 1.0 / kSqrt2, 1e-6);
        EXPECT_NEAR(std::abs(response(poly(hp, true), poly(hp, false), w)), 1.0 / kSqrt2, 1e-6);
    }
}

TEST(FilterDesign, BandpassMatchesClosedFormAndItsSections) {
    const ButterworthPoles p = butterworthPoles();
    const std::array<std::array<double, 3>, 6> cases = {{{200.0, 2000.0, 48000.0},
                                                         {1000.0, 5000.0, 48000.0},
                                                         {220.0, 880.0, 44100.0},
                                                         {30.0, 15000.0, 96000.0},
                                                         {5000.0, 5100.0, 48000.0},
                                                         {10.0, 20000.0, 192000.0}}};
    for (const auto& [f1, f2, fs] : cases) {
        SCOPED_TRACE(::testing::Message() << f1 << " / " << f2 << " Hz at " << fs << " Hz");
        const double k1 = prewarp(f1, fs);
        const double k2 = prewarp(f2, fs);
        const Order4Coeffs c = designBandpass4(Complex(k1, 0.0), Complex(k2, 0.0), p.p1, p.p2);

        // Analog band-pass BW^2 s^2 / (s^4 + sqrt2 BW s^3 + (2W + BW^2) s^2
        // + sqrt2 BW W s + W^2) with BW = K2 - K1 and W = K1 K2; the bilinear
        // transform s = (1 - z^-1) / (1 + z^-1) turns s^i into
        // (1 - z^-1)^i (1 + z^-1)^(4 - i).
        const double bw = k2 - k1;
        const double w = k1 * k2;
        const std::array<double, 5> d = {w * w, kSqrt2 * bw * w, 2.0 * w + bw * bw, kSqrt2 * bw,
                                         1.0};
        std::vector<double> den(5, 0.0);
        for (int i = 0; i <= 4; ++i) {
            std::vector<double> term = {d[static_cast<size_t>(i)]};
            for (int j = 0; j < i; ++j) {
                term = multiply(term, {1.0, -1.0});
            }
            for (int j = i; j < 4; ++j) {
                term = multiply(term, {1.0, 1.0});
            }
            for (size_t j = 0; j < 5; ++j) {
                den[j] += term[j];
            }
        }
        const double g = bw * bw / den[0];
        const double tol = 1e-13;
        EXPECT_NEAR(c.b0, g, tol * g);
        EXPECT_EQ(c.b1, 0.0);
        EXPECT_EQ(c.b2, -2.0 * c.b0);
        EXPECT_EQ(c.b3, 0.0);
        EXPECT_EQ(c.b4, c.b0);
        EXPECT_EQ(c.a0, 1.0);
        EXPECT_NEAR(c.a1, den[1] / den[0], tol);
        EXPECT_NEAR(c.a2, den[2] / den[0], tol);
        EXPECT_NEAR(c.a3, den[3] / den[0], tol);
        EXPECT_NEAR(c.a4, den[4] / den[0], tol);

        // The two sections multiply out to the same filter.
        const BandpassSections s =
            designBandpass4Sections(Complex(k1, 0.0), Complex(k2, 0.0), p.p1, p.p2);
        const std::vector<double> num = multiply(poly(s.first, true), poly(s.second, true));
        const std::vector<double> prod = multiply(poly(s.first, false), poly(s.second, false));
        const std::vector<double> ref = poly(c, true);
        const std::vector<double> refDen = poly(c, false);
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_NEAR(num[i], ref[i], tol * g);
            EXPECT_NEAR(prod[i], refDen[i], tol);
        }

        // Unity gain at the centre, tan(w0 / 2) = sqrt(K1 K2).
        const double w0 = 2.0 * std::atan(std::sqrt(w));
        EXPECT_NEAR(std::abs(response(poly(c, true), poly(c, false), w0)), 1.0, 1e-9);
        EXPECT_NEAR(std::abs(response(num, prod, w0)), 1.0, 1e-9);
    }
}

TEST(FilterDesign, EqualEdgesGiveSilentBandpass) {
    const ButterworthPoles p = butterworthPoles();
    for (const double f : {10.0, 1000.0, 20000.0}) {
        SCOPED_TRACE(f);
        const Complex k(prewarp(f, 48000.0), 0.0);
        const Order4Coeffs c = designBandpass4(k, k, p.p1, p.p2);
        // BW = 0: g = 0, so the numerator is all zeros; the poles sit on the
        // unit circle, so a4 = |z1 z2 z3 z4| = 1.
        EXPECT_EQ(c.b0, 0.0);
        EXPECT_EQ(c.b2, 0.0);
        EXPECT_EQ(c.b4, 0.0);
        EXPECT_NEAR(c.a4, 1.0, 1e-14);
        const BandpassSections s = designBandpass4Sections(k, k, p.p1, p.p2);
        EXPECT_EQ(s.first.b0, 0.0);
        EXPECT_EQ(s.first.b2, 0.0);
        EXPECT_EQ(s.second.b0, 0.0);
        EXPECT_EQ(s.second.b2, 0.0);
        EXPECT_NEAR(s.first.a2, 1.0, 1e-14);
        EXPECT_NEAR(s.second.a2, 1.0, 1e-14);

        // From zero state the sections output exactly 0 for any input.
        Order4State st4;
        BandpassState sts;
        filtertest::WhiteNoise noise(7);
        for (int n = 0; n < 2000; ++n) {
            const double x = noise();
            ASSERT_EQ(processOrder4(c, st4, x), 0.0);
            ASSERT_EQ(processBandpass4(s, sts, x), 0.0);
        }
    }
}

TEST(FilterDesign, SectionUpdatesRealiseTheirDifferenceEquations) {
    // Transposed direct form II must give y[n] = sum b_i x[n-i] - sum a_i y[n-i].
    BiquadCoeffs b;
    b.b0 = 0.3;
    b.b1 = -0.2;
    b.b2 = 0.7;
    b.a1 = -0.9;
    b.a2 = 0.4;
    Order4Coeffs c;
    c.b0 = 0.2;
    c.b1 = 0.1;
    c.b2 = -0.3;
    c.b3 = 0.25;
    c.b4 = 0.05;
    c.a1 = -1.2;
    c.a2 = 0.9;
    c.a3 = -0.35;
    c.a4 = 0.06;

    std::vector<double> x;
    filtertest::WhiteNoise noise(3);
    for (int n = 0; n < 300; ++n) {
        x.push_back(noise());
    }
    const auto reference = [&x](const std::vector<double>& bb, const std::vector<double>& aa) {
        std::vector<double> y(x.size(), 0.0);
        for (size_t n = 0; n < x.size(); ++n) {
            double acc = 0.0;
            for (size_t i = 0; i < bb.size() && i <= n; ++i) {
                acc += bb[i] * x[n - i];
            }
            for (size_t i = 1; i < aa.size() && i <= n; ++i) {
                acc -= aa[i] * y[n - i];
            }
            y[n] = acc;
        }
        return y;
    };
    const std::vector<double> y2 = reference(poly(b, true), poly(b, false));
    const std::vector<double> y4 = reference(poly(c, true), poly(c, false));
    BiquadState s2;
    Order4State s4;
    for (size_t n = 0; n < x.size(); ++n) {
        EXPECT_NEAR(processBiquad(b, s2, x[n]), y2[n], 1e-12);
        EXPECT_NEAR(processOrder4(c, s4, x[n]), y4[n], 1e-12);
    }

    // Where the fourth-order recursion is well conditioned, the sections and
    // the single recursion give the same output.
    const ButterworthPoles p = butterworthPoles();
    const Complex k1(prewarp(200.0, 48000.0), 0.0);
    const Complex k2(prewarp(2000.0, 48000.0), 0.0);
    const Order4Coeffs bp = designBandpass4(k1, k2, p.p1, p.p2);
    const BandpassSections bs = designBandpass4Sections(k1, k2, p.p1, p.p2);
    Order4State st4;
    BandpassState sts;
    for (int n = 0; n < 5000; ++n) {
        const double in = noise();
        EXPECT_NEAR(processBandpass4(bs, sts, in), processOrder4(bp, st4, in), 1e-12);
    }
}

} // namespace
} // namespace velmora
