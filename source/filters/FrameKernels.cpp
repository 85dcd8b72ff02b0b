// The frame kernels of the band splitters on each instruction set. The vector
// paths do per lane exactly the multiplications and additions of the scalar
// path, in the same order and without fused multiply-add, so their output is
// bit-identical. The same templates are built twice: for plain x86-64, where
// GCC runs each four-lane operation as two SSE2 operations, and for AVX2.
#include "filters/FilterLanes.h"

#include <cstring>

// The four-lane helpers pass vectors by value only between always-inlined
// functions of this file, so no call ever uses the ABI GCC warns about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace velmora {

namespace {

typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));

#define VELMORA_INLINE inline __attribute__((always_inline))

template <class V> VELMORA_INLINE V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> VELMORA_INLINE void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// Transposed direct form II on lanes of one section, coefficients shared.
template <class V> VELMORA_INLINE V biquad(const BiquadCoeffs& c, double* s0, double* s1, V x) {
    const V old0 = load<V>(s0);
    const V old1 = load<V>(s1);
    const V y = c.b0 * x + old0;
    store(s0, c.b1 * x - c.a1 * y + old1);
    store(s1, c.b2 * x - c.a2 * y);
    return y;
}

// The same with coefficients per lane, from lane `at` on.
template <class V>
VELMORA_INLINE V biquadLanes(const LaneCoeffs4& c, int at, double* s0, double* s1, V x) {
    const V old0 = load<V>(s0);
    const V old1 = load<V>(s1);
    const V y = load<V>(c.b0 + at) * x + old0;
    store(s0, load<V>(c.b1 + at) * x - load<V>(c.a1 + at) * y + old1);
    store(s1, load<V>(c.b2 + at) * x - load<V>(c.a2 + at) * y);
    return y;
}

template <class V> VELMORA_INLINE V section(const BiquadCoeffs& c, SectionLanes4& s, int at, V x) {
    return biquad(c, s.s0 + at, s.s1 + at, x);
}

// The crossover chain on the lanes from `at` on: x the input, w the weights.
template <class V>
VELMORA_INLINE V crossoverChain(const CrossoverCoeffs& k, CrossoverPair& p, int at, V x, V w) {
    SectionLanes4* s = p.section;
    V lo = section(k.low[0], s[1], at, section(k.low[0], s[0], at, x * w));
    V hi = section(k.high[0], s[3], at, section(k.high[0], s[2], at, x));
    for (int j = 1; j < 5; ++j) {
        SectionLanes4* q = s + 4 * j;
        const V loNext = section(k.low[j], q[1], at, section(k.low[j], q[0], at, lo + w * hi));
        const V hiNext = section(k.high[j], q[3], at, section(k.high[j], q[2], at, hi + loNext));
        lo = loNext;
        hi = hiNext;
    }
    return lo + w * hi;
}

// Low and high band, two stages, lanes from `at` on.
template <class V> VELMORA_INLINE V lowHigh(const BandCoeffs& c, BandPair& p, int at, V x) {
    const V a = biquadLanes(c.lowHigh, at, p.lowHigh[0].s0 + at, p.lowHigh[0].s1 + at, x);
    return biquadLanes(c.lowHigh, at, p.lowHigh[1].s0 + at, p.lowHigh[1].s1 + at, a);
}

// The band-pass, four sections, lanes from `at` on.
template <class V> VELMORA_INLINE V midBand(const BandCoeffs& c, BandPair& p, int at, V x) {
    SectionLanes2* m = p.mid;
    const V a = biquad(c.midFirst, m[0].s0 + at, m[0].s1 + at, x);
    const V b = biquad(c.midSecond, m[1].s0 + at, m[1].s1 + at, a);
    const V d = biquad(c.midFirst, m[2].s0 + at, m[2].s1 + at, b);
    return biquad(c.midSecond, m[3].s0 + at, m[3].s1 + at, d);
}

// ------------------------------------------------------------ output

VELMORA_INLINE void outputPair(const OutputFrame& f, int pair) {
    const double* u = f.u + 2 * pair;
    const double* l = f.levels;
    const V4 x = {u[0], u[0], u[1], u[1]};
    const V4 w = load<V4>(f.w + 4 * pair);
    const V4 r = crossoverChain(*f.crossover, f.crossoverState[pair], 0, x, w);

    // Each band's input, open level x gained + closed level x complement.
    const V4 pl = r * V4{l[0], l[1], l[0], l[1]};
    const V4 pm = r * V4{l[2], l[3], l[2], l[3]};
    const V4 ph = r * V4{l[4], l[5], l[4], l[5]};
    const V4 lhIn =
        __builtin_shufflevector(pl, ph, 0, 4, 2, 6) + __builtin_shufflevector(pl, ph, 1, 5, 3, 7);
    const V2 midIn = __builtin_shufflevector(pm, pm, 0, 2) + __builtin_shufflevector(pm, pm, 1, 3);

    BandPair& b = f.bandState[pair];
    const V4 lh = lowHigh(*f.bands, b, 0, lhIn);
    const V2 m = midBand(*f.bands, b, 0, midIn);
    f.y[2 * pair] = static_cast<float>(lh[1] + (m[0] + lh[0]));
    f.y[2 * pair + 1] = static_cast<float>(lh[3] + (m[1] + lh[2]));
}

// A channel without a partner: two lanes for the chains, one for the
// band-pass.
VELMORA_INLINE void outputSingle(const OutputFrame& f, int channel) {
    const int pair = channel / 2;
    const int at = 2 * (channel % 2);
    const double* l = f.levels;
    const V2 x = {f.u[channel], f.u[channel]};
    const V2 w = load<V2>(f.w + 2 * channel);
    const V2 r = crossoverChain(*f.crossover, f.crossoverState[pair], at, x, w);

    const V2 pl = r * V2{l[0], l[1]};
    const V2 pm = r * V2{l[2], l[3]};
    const V2 ph = r * V2{l[4], l[5]};
    const V2 lhIn = {pl[0] + pl[1], ph[0] + ph[1]};
    const double midIn = pm[0] + pm[1];

    BandPair& b = f.bandState[pair];
    const V2 lh = lowHigh(*f.bands, b, at, lhIn);
    const double m = midBand(*f.bands, b, channel % 2, midIn);
    f.y[channel] = static_cast<float>(lh[1] + (m + lh[0]));
}

VELMORA_INLINE void outputVector(const OutputFrame& f) {
    const int pairs = f.channels / 2;
    for (int p = 0; p < pairs; ++p) {
        outputPair(f, p);
    }
    if (f.channels % 2 != 0) {
        outputSingle(f, f.channels - 1);
    }
}

// ------------------------------------------------------------ control

VELMORA_INLINE V2 controlPass(const ControlFrame& f, BandPair& p, V2 in) {
    const double* wt = f.weights;
    const V4 lh = lowHigh(*f.bands, p, 0, __builtin_shufflevector(in, in, 0, 0, 1, 1));
    const V2 m = midBand(*f.bands, p, 0, in);
    const V4 q = lh * V4{wt[0], wt[2], wt[0], wt[2]};
    const V2 low = __builtin_shufflevector(q, q, 0, 2);
    const V2 high = __builtin_shufflevector(q, q, 1, 3);
    return high + (low + m * wt[1]);
}

VELMORA_INLINE void controlPair(const ControlFrame& f, int pair) {
    const float* x = f.x + 2 * pair;
    const V2 in = {static_cast<double>(x[0]), static_cast<double>(x[1])};
    const V2 s = controlPass(f, f.state[2 * pair], in);
    const V2 p = controlPass(f, f.state[2 * pair + 1], s);
    f.y[2 * pair] = static_cast<float>(p[0]);
    f.y[2 * pair + 1] = static_cast<float>(p[1]);
}

VELMORA_INLINE double controlPassSingle(const ControlFrame& f, BandPair& p, int lane, double in) {
    const double* wt = f.weights;
    const V2 lh = lowHigh(*f.bands, p, 2 * lane, V2{in, in});
    const double m = midBand(*f.bands, p, lane, in);
    const V2 q = lh * V2{wt[0], wt[2]};
    return q[1] + (q[0] + m * wt[1]);
}

VELMORA_INLINE void controlSingle(const ControlFrame& f, int channel) {
    const int pair = channel / 2;
    const int lane = channel % 2;
    const double s =
        controlPassSingle(f, f.state[2 * pair], lane, static_cast<double>(f.x[channel]));
    const double p = controlPassSingle(f, f.state[2 * pair + 1], lane, s);
    f.y[channel] = static_cast<float>(p);
}

VELMORA_INLINE void controlVector(const ControlFrame& f) {
    const int pairs = f.channels / 2;
    for (int p = 0; p < pairs; ++p) {
        controlPair(f, p);
    }
    if (f.channels % 2 != 0) {
        controlSingle(f, f.channels - 1);
    }
}

// ------------------------------------------------------------ entries

void outputSse2(const OutputFrame& f) {
    outputVector(f);
}
void controlSse2(const ControlFrame& f) {
    controlVector(f);
}

__attribute__((target("avx2"))) void outputAvx2(const OutputFrame& f) {
    outputVector(f);
}
__attribute__((target("avx2"))) void controlAvx2(const ControlFrame& f) {
    controlVector(f);
}

void outputScalar(const OutputFrame& f) {
    for (int c = 0; c < f.channels; ++c) {
        f.y[c] = outputChannelScalar(f, c);
    }
}

void controlScalar(const ControlFrame& f) {
    for (int c = 0; c < f.channels; ++c) {
        f.y[c] = static_cast<float>(controlChannelScalar(f, c, f.x[c]));
    }
}

// Today's per-channel arithmetic on one lane of the shared layout.
double biquadScalar(const BiquadCoeffs& c, double& s0, double& s1, double x) {
    const double y = c.b0 * x + s0;
    s0 = c.b1 * x - c.a1 * y + s1;
    s1 = c.b2 * x - c.a2 * y;
    return y;
}

double biquadLane(const LaneCoeffs4& c, int lane, SectionLanes4& s, double x) {
    const double y = c.b0[lane] * x + s.s0[lane];
    s.s0[lane] = c.b1[lane] * x - c.a1[lane] * y + s.s1[lane];
    s.s1[lane] = c.b2[lane] * x - c.a2[lane] * y;
    return y;
}

double chainScalar(const CrossoverCoeffs& k, CrossoverPair& p, int lane, double x, double w) {
    const auto run = [&](const BiquadCoeffs& c, int sec, double in) {
        SectionLanes4& s = p.section[sec];
        return biquadScalar(c, s.s0[lane], s.s1[lane], in);
    };
    double lo = run(k.low[0], 1, run(k.low[0], 0, x * w));
    double hi = run(k.high[0], 3, run(k.high[0], 2, x));
    for (int j = 1; j < 5; ++j) {
        const double loNext = run(k.low[j], 4 * j + 1, run(k.low[j], 4 * j, lo + w * hi));
        const double hiNext = run(k.high[j], 4 * j + 3, run(k.high[j], 4 * j + 2, hi + loNext));
        lo = loNext;
        hi = hiNext;
    }
    return lo + w * hi;
}

struct BandOut {
    double low, mid, high;
};

BandOut bandsScalar(const BandCoeffs& c, BandPair& p, int channel, double inLow, double inMid,
                    double inHigh) {
    const int lane = channel % 2;
    const int lo = 2 * lane;
    const int hi = lo + 1;
    BandOut out{};
    out.high =
        biquadLane(c.lowHigh, hi, p.lowHigh[1], biquadLane(c.lowHigh, hi, p.lowHigh[0], inHigh));
    double m = inMid;
    for (int s = 0; s < 4; ++s) {
        m = biquadScalar(s % 2 == 0 ? c.midFirst : c.midSecond, p.mid[s].s0[lane],
                         p.mid[s].s1[lane], m);
    }
    out.mid = m;
    out.low =
        biquadLane(c.lowHigh, lo, p.lowHigh[1], biquadLane(c.lowHigh, lo, p.lowHigh[0], inLow));
    return out;
}

double controlPassScalar(const ControlFrame& f, BandPair& p, int channel, double u) {
    const BandOut b = bandsScalar(*f.bands, p, channel, u, u, u);
    return b.high * f.weights[2] + (b.low * f.weights[0] + b.mid * f.weights[1]);
}

const FrameKernels kScalar{outputScalar, controlScalar};
const FrameKernels kSse2{outputSse2, controlSse2};
const FrameKernels kAvx2{outputAvx2, controlAvx2};

} // namespace

void crossoverChannelScalar(const CrossoverCoeffs& k, CrossoverPair& p, int channel, double x,
                            double g, double& gained, double& complement) {
    const int lane = 2 * (channel % 2);
    gained = chainScalar(k, p, lane, x, g);
    const double c = g > 0.99999999 ? 1e-45 : 1.0 - g;
    complement = chainScalar(k, p, lane + 1, x, c);
}

float outputChannelScalar(const OutputFrame& f, int channel) {
    const int pair = channel / 2;
    const int lane = 2 * (channel % 2);
    const double w = f.w[2 * channel];
    const double c = f.w[2 * channel + 1];
    const double u = f.u[channel];
    const double gained = chainScalar(*f.crossover, f.crossoverState[pair], lane, u, w);
    const double complement = chainScalar(*f.crossover, f.crossoverState[pair], lane + 1, u, c);
    const double* l = f.levels;
    const BandOut b =
        bandsScalar(*f.bands, f.bandState[pair], channel, l[0] * gained + l[1] * complement,
                    l[2] * gained + l[3] * complement, l[4] * gained + l[5] * complement);
    return static_cast<float>(b.high + (b.mid + b.low));
}

double controlChannelScalar(const ControlFrame& f, int channel, double x) {
    const int pair = channel / 2;
    const double s = controlPassScalar(f, f.state[2 * pair], channel, x);
    return controlPassScalar(f, f.state[2 * pair + 1], channel, s);
}

bool simdPathSupported(SimdPath path) {
    switch (path) {
    case SimdPath::Scalar:
    case SimdPath::Sse2:
        return true;
    case SimdPath::Avx2:
        return __builtin_cpu_supports("avx2");
    }
    return false;
}

SimdPath bestSimdPath() {
    static const SimdPath best =
        simdPathSupported(SimdPath::Avx2) ? SimdPath::Avx2 : SimdPath::Sse2;
    return best;
}

const FrameKernels& frameKernels(SimdPath path) {
    switch (path) {
    case SimdPath::Scalar:
        return kScalar;
    case SimdPath::Sse2:
        return kSse2;
    case SimdPath::Avx2:
        return kAvx2;
    }
    return kScalar;
}

} // namespace velmora
