// Butterworth section designs and the per-sample section updates every band
// filter of the gate is built from.
#pragma once

#include <complex>

namespace velmora {

using Complex = std::complex<double>;

struct BiquadCoeffs {
    double b0 = 0.0, b1 = 0.0, b2 = 0.0;
    double a0 = 1.0, a1 = 0.0, a2 = 0.0;
};

struct Order4Coeffs {
    double b0 = 0.0, b1 = 0.0, b2 = 0.0, b3 = 0.0, b4 = 0.0;
    double a0 = 1.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0;
};

struct BiquadState {
    double s0 = 0.0, s1 = 0.0;
};

struct Order4State {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
};

struct BandpassState {
    BiquadState first;
    BiquadState second;
};

// The two poles of the second-order analog Butterworth prototype,
// e^(j*3pi/4) and e^(j*5pi/4).
struct ButterworthPoles {
    Complex p1;
    Complex p2;
};
ButterworthPoles butterworthPoles();

// tan(pi * f / fs): the bilinear transform's frequency warping.
double prewarp(double f, double fs);

// The highest frequency any band filter is designed at, as a share of the
// sample rate. tan() has its pole at half the sample rate, and a corner close
// to it gives poles close to z = -1; 0.49 keeps every design stable while
// touching nothing a listener can hear at ordinary rates.
inline constexpr double kMaxDesignFraction = 0.49;

// prewarp() of f, with f limited to kMaxDesignFraction * fs. Band edges and
// crossovers above that limit (a 20 kHz edge at 22.05 kHz, the fixed
// crossovers at very low rates) are designed at the limit instead.
double prewarpLimited(double f, double fs);

BiquadCoeffs designLowpass2(Complex k, Complex p1, Complex p2);
BiquadCoeffs designHighpass2(Complex k, Complex p1, Complex p2);
Order4Coeffs designBandpass4(Complex k1, Complex k2, Complex p1, Complex p2);

// The band-pass of designBandpass4 as two second-order sections, one per
// conjugate pole pair, each with the numerator sqrt(g) * (1 - z^-2). The band
// filters run this form: in one fourth-order recursion, poles bunched close
// together (a narrow band, or a low band at a high sample rate) are so
// sensitive to rounding in a1..a4 that they can end up outside the unit
// circle, already for a band of 12.09 Hz and the next float up at 48 kHz.
struct BandpassSections {
    BiquadCoeffs first;
    BiquadCoeffs second;
};
BandpassSections designBandpass4Sections(Complex k1, Complex k2, Complex p1, Complex p2);

// Transposed direct form II; every line reads the state as it was before the
// sample.
inline double processBiquad(const BiquadCoeffs& c, BiquadState& s, double x) {
    const double y = c.b0 * x + s.s0;
    s.s0 = c.b1 * x - c.a1 * y + s.s1;
    s.s1 = c.b2 * x - c.a2 * y;
    return y;
}

inline double processOrder4(const Order4Coeffs& c, Order4State& s, double x) {
    const double y = c.b0 * x + s.s0;
    s.s0 = c.b1 * x - c.a1 * y + s.s1;
    s.s1 = c.b2 * x - c.a2 * y + s.s2;
    s.s2 = c.b3 * x - c.a3 * y + s.s3;
    s.s3 = c.b4 * x - c.a4 * y;
    return y;
}

inline double processBandpass4(const BandpassSections& c, BandpassState& s, double x) {
    return processBiquad(c.second, s.second, processBiquad(c.first, s.first, x));
}

} // namespace velmora
