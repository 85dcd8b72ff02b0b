#include "filters/FilterDesign.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

const double kPi = std::acos(-1.0);

// a * conj(b) / |b|^2, spelled out so that the rounding does not depend on the
// library's overflow-guarded complex division.
Complex divide(Complex a, Complex b) {
    const double norm = b.real() * b.real() + b.imag() * b.imag();
    const Complex num = a * std::conj(b);
    return {num.real() / norm, num.imag() / norm};
}

Complex principalSqrt(Complex z) {
    const double x = z.real();
    const double y = z.imag();
    const double r = std::sqrt(x * x + y * y);
    const double re = std::sqrt((r + x) / 2.0);
    double im = std::sqrt((r - x) / 2.0);
    if (y < 0.0) {
        im = -im;
    }
    return {re, im};
}

Complex bilinear(Complex s) {
    return divide(1.0 + s, 1.0 - s);
}

} // namespace

ButterworthPoles butterworthPoles() {
    const double e0 = std::exp(0.0);
    const double t1 = 3.0 * kPi / 4.0;
    const double t2 = 5.0 * kPi / 4.0;
    return {Complex(e0 * std::cos(t1), e0 * std::sin(t1)),
            Complex(e0 * std::cos(t2), e0 * std::sin(t2))};
}

double prewarp(double f, double fs) {
    return std::tan(kPi * f / fs);
}

double prewarpLimited(double f, double fs) {
    return prewarp(std::min(f, kMaxDesignFraction * fs), fs);
}

BiquadCoeffs designLowpass2(Complex k, Complex p1, Complex p2) {
    const Complex s1 = k * p1;
    const Complex s2 = k * p2;
    const Complex g = divide(k * k, (1.0 - s1) * (1.0 - s2));
    const Complex z1 = bilinear(s1);
    const Complex z2 = bilinear(s2);
    const Complex a1 = -(z1 + z2);
    const Complex a2 = z1 * z2;
    BiquadCoeffs c;
    c.b0 = g.real();
    c.b1 = 2.0 * g.real();
    c.b2 = g.real();
    c.a0 = 1.0;
    c.a1 = a1.real();
    c.a2 = a2.real();
    return c;
}

BiquadCoeffs designHighpass2(Complex k, Complex p1, Complex p2) {
    const Complex s1 = k * p1;
    const Complex s2 = k * p2;
    const Complex g = divide(Complex(1.0, 0.0), (1.0 - s1) * (1.0 - s2));
    const Complex z1 = bilinear(s1);
    const Complex z2 = bilinear(s2);
    const Complex a1 = -(z1 + z2);
    const Complex a2 = z1 * z2;
    BiquadCoeffs c;
    c.b0 = g.real();
    c.b1 = -2.0 * g.real();
    c.b2 = g.real();
    c.a0 = 1.0;
    c.a1 = a1.real();
    c.a2 = a2.real();
    return c;
}

namespace {

// Low-pass-to-band-pass transform of the prototype: the four analog poles and
// the gain factor g of the numerator g * (1 - z^-2)^2.
struct BandpassPoles {
    Complex s[4];
    Complex g;
};

BandpassPoles bandpassPoles(Complex k1, Complex k2, Complex p1, Complex p2) {
    const Complex bw = k2 - k1;
    const Complex w = k1 * k2;
    BandpassPoles bp;
    const Complex protos[2] = {p1, p2};
    for (int i = 0; i < 2; ++i) {
        const Complex q = protos[i] * bw;
        const Complex d = principalSqrt(q * q - 4.0 * w);
        bp.s[2 * i] = (q + d) / 2.0;
        bp.s[2 * i + 1] = (q - d) / 2.0;
    }
    bp.g = divide(bw * bw, (1.0 - bp.s[0]) * (1.0 - bp.s[1]) * (1.0 - bp.s[2]) * (1.0 - bp.s[3]));
    return bp;
}

} // namespace

Order4Coeffs designBandpass4(Complex k1, Complex k2, Complex p1, Complex p2) {
    const BandpassPoles bp = bandpassPoles(k1, k2, p1, p2);

    // Multiply out prod (1 - z_i x) one factor at a time; poly[j] is the
    // coefficient of x^j.
    Complex poly[5] = {1.0, 0.0, 0.0, 0.0, 0.0};
    for (const Complex& si : bp.s) {
        const Complex z = bilinear(si);
        for (int j = 4; j >= 1; --j) {
            poly[j] = poly[j] - z * poly[j - 1];
        }
    }

    Order4Coeffs c;
    c.b0 = bp.g.real();
    c.b1 = 0.0;
    c.b2 = -2.0 * bp.g.real();
    c.b3 = 0.0;
    c.b4 = bp.g.real();
    c.a0 = 1.0;
    c.a1 = poly[1].real();
    c.a2 = poly[2].real();
    c.a3 = poly[3].real();
    c.a4 = poly[4].real();
    return c;
}

BandpassSections designBandpass4Sections(Complex k1, Complex k2, Complex p1, Complex p2) {
    const BandpassPoles bp = bandpassPoles(k1, k2, p1, p2);
    // g is real and not negative; rounding may leave a trace below zero.
    const double gain = std::sqrt(std::max(bp.g.real(), 0.0));
    // p2 is the conjugate of p1, so the poles from p2 are the conjugates of
    // those from p1: each pole from p1 and its conjugate make one section.
    const auto section = [gain](Complex s) {
        const Complex z = bilinear(s);
        BiquadCoeffs c;
        c.b0 = gain;
        c.b1 = 0.0;
        c.b2 = -gain;
        c.a0 = 1.0;
        c.a1 = -2.0 * z.real();
        c.a2 = z.real() * z.real() + z.imag() * z.imag();
        return c;
    };
    return {section(bp.s[0]), section(bp.s[1])};
}

} // namespace velmora
