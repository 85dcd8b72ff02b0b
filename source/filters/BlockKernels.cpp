// The block kernels of the band splitters on each instruction set. The vector
// paths do per lane exactly the multiplications and additions of the scalar
// path, in the same order and without fused multiply-add, so their output is
// bit-identical. The same templates are built twice: for plain x86-64, where
// GCC runs each four-lane operation as two SSE2 operations, and for AVX2.
//
// Within a frame the sections form one long chain of dependent operations,
// and a frame's work is too long for the processor to reach into the next
// one by itself; so each section runs several consecutive frames before the
// next section starts, and the frames' chains overlap.
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

// Four lanes as two SSE2 registers. GCC would split a four-lane vector
// itself, but through memory; this keeps both halves in registers.
struct P4 {
    V2 lo;
    V2 hi;
};
VELMORA_INLINE P4 operator+(P4 a, P4 b) {
    return {a.lo + b.lo, a.hi + b.hi};
}
VELMORA_INLINE P4 operator-(P4 a, P4 b) {
    return {a.lo - b.lo, a.hi - b.hi};
}
VELMORA_INLINE P4 operator*(P4 a, P4 b) {
    return {a.lo * b.lo, a.hi * b.hi};
}
VELMORA_INLINE P4 operator*(double a, P4 b) {
    return {a * b.lo, a * b.hi};
}

// Lane moves, for four lanes in one register (V4) or two (P4).
template <class Q> VELMORA_INLINE Q quad(double a, double b, double c, double d);
template <> VELMORA_INLINE V4 quad<V4>(double a, double b, double c, double d) {
    return V4{a, b, c, d};
}
template <> VELMORA_INLINE P4 quad<P4>(double a, double b, double c, double d) {
    return {V2{a, b}, V2{c, d}};
}

VELMORA_INLINE double lane(V4 v, int i) {
    return v[i];
}
VELMORA_INLINE double lane(P4 v, int i) {
    return i < 2 ? v.lo[i] : v.hi[i - 2];
}

// [a0 + a1, b0 + b1, a2 + a3, b2 + b3]
VELMORA_INLINE V4 pairSums(V4 a, V4 b) {
    return __builtin_shufflevector(a, b, 0, 4, 2, 6) + __builtin_shufflevector(a, b, 1, 5, 3, 7);
}
VELMORA_INLINE P4 pairSums(P4 a, P4 b) {
    return {__builtin_shufflevector(a.lo, b.lo, 0, 2) + __builtin_shufflevector(a.lo, b.lo, 1, 3),
            __builtin_shufflevector(a.hi, b.hi, 0, 2) + __builtin_shufflevector(a.hi, b.hi, 1, 3)};
}

// [a0 + a1, a2 + a3]
VELMORA_INLINE V2 pairSums(V4 a) {
    return __builtin_shufflevector(a, a, 0, 2) + __builtin_shufflevector(a, a, 1, 3);
}
VELMORA_INLINE V2 pairSums(P4 a) {
    return __builtin_shufflevector(a.lo, a.hi, 0, 2) + __builtin_shufflevector(a.lo, a.hi, 1, 3);
}

// [x0, x0, x1, x1]
template <class Q> VELMORA_INLINE Q spread(V2 x);
template <> VELMORA_INLINE V4 spread<V4>(V2 x) {
    return __builtin_shufflevector(x, x, 0, 0, 1, 1);
}
template <> VELMORA_INLINE P4 spread<P4>(V2 x) {
    return {__builtin_shufflevector(x, x, 0, 0), __builtin_shufflevector(x, x, 1, 1)};
}

// [q0, q2] and [q1, q3]
VELMORA_INLINE V2 evens(V4 q) {
    return __builtin_shufflevector(q, q, 0, 2);
}
VELMORA_INLINE V2 evens(P4 q) {
    return __builtin_shufflevector(q.lo, q.hi, 0, 2);
}
VELMORA_INLINE V2 odds(V4 q) {
    return __builtin_shufflevector(q, q, 1, 3);
}
VELMORA_INLINE V2 odds(P4 q) {
    return __builtin_shufflevector(q.lo, q.hi, 1, 3);
}

// The complementary weight of a gate gain: what the second copy of the gain
// stage runs with.
VELMORA_INLINE double complementOf(double g) {
    return g > 0.99999999 ? 1e-45 : 1.0 - g;
}

// Transposed direct form II on lanes of one section, coefficients shared,
// over T consecutive frames (x in, y out, in place).
template <int T, class V>
VELMORA_INLINE void biquad(const BiquadCoeffs& c, double* s0p, double* s1p, V (&x)[T]) {
    V s0 = load<V>(s0p);
    V s1 = load<V>(s1p);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const V y = c.b0 * x[t] + s0;
        s0 = c.b1 * x[t] - c.a1 * y + s1;
        s1 = c.b2 * x[t] - c.a2 * y;
        x[t] = y;
    }
    store(s0p, s0);
    store(s1p, s1);
}

// The same for the low-pass and high-pass designs, whose b2 equals b0 bit for
// bit: b2 * x is the very product b0 * x, computed once.
template <int T, class V>
VELMORA_INLINE void biquadEnds(const BiquadCoeffs& c, double* s0p, double* s1p, V (&x)[T]) {
    V s0 = load<V>(s0p);
    V s1 = load<V>(s1p);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const V b0x = c.b0 * x[t];
        const V y = b0x + s0;
        s0 = c.b1 * x[t] - c.a1 * y + s1;
        s1 = b0x - c.a2 * y;
        x[t] = y;
    }
    store(s0p, s0);
    store(s1p, s1);
}

// The same with coefficients per lane, from lane `at` on.
template <int T, class V>
VELMORA_INLINE void biquadLanes(const LaneCoeffs4& c, int at, double* s0p, double* s1p, V (&x)[T]) {
    const V b0 = load<V>(c.b0 + at);
    const V b1 = load<V>(c.b1 + at);
    const V a1 = load<V>(c.a1 + at);
    const V a2 = load<V>(c.a2 + at);
    V s0 = load<V>(s0p);
    V s1 = load<V>(s1p);
// Low and high pass only, so b2 is b0 (see biquadEnds).
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const V b0x = b0 * x[t];
        const V y = b0x + s0;
        s0 = b1 * x[t] - a1 * y + s1;
        s1 = b0x - a2 * y;
        x[t] = y;
    }
    store(s0p, s0);
    store(s1p, s1);
}

template <int T, class V>
VELMORA_INLINE void section(const BiquadCoeffs& c, SectionLanes4& s, int at, V (&x)[T]) {
    biquadEnds<T>(c, s.s0 + at, s.s1 + at, x);
}

// The crossover chain on the lanes from `at` on, T frames: x the inputs, w
// the weights; the results replace x.
template <int T, class V>
VELMORA_INLINE void crossoverChain(const CrossoverCoeffs& k, CrossoverPair& p, int at, V (&x)[T],
                                   const V (&w)[T]) {
    SectionLanes4* s = p.section;
    V lo[T];
    V hi[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        lo[t] = x[t] * w[t];
        hi[t] = x[t];
    }
    section<T>(k.low[0], s[0], at, lo);
    section<T>(k.low[0], s[1], at, lo);
    section<T>(k.high[0], s[2], at, hi);
    section<T>(k.high[0], s[3], at, hi);
#pragma GCC unroll 8
    for (int j = 1; j < 5; ++j) {
        SectionLanes4* q = s + 4 * j;
#pragma GCC unroll 8
        for (int t = 0; t < T; ++t) {
            lo[t] = lo[t] + w[t] * hi[t];
        }
        section<T>(k.low[j], q[0], at, lo);
        section<T>(k.low[j], q[1], at, lo);
#pragma GCC unroll 8
        for (int t = 0; t < T; ++t) {
            hi[t] = hi[t] + lo[t];
        }
        section<T>(k.high[j], q[2], at, hi);
        section<T>(k.high[j], q[3], at, hi);
    }
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        x[t] = lo[t] + w[t] * hi[t];
    }
}

// Low and high band, two stages, lanes from `at` on.
template <int T, class V>
VELMORA_INLINE void lowHigh(const BandCoeffs& c, BandPair& p, int at, V (&x)[T]) {
    biquadLanes<T>(c.lowHigh, at, p.lowHigh[0].s0 + at, p.lowHigh[0].s1 + at, x);
    biquadLanes<T>(c.lowHigh, at, p.lowHigh[1].s0 + at, p.lowHigh[1].s1 + at, x);
}

// The band-pass, four sections, lanes from `at` on.
template <int T, class V>
VELMORA_INLINE void midBand(const BandCoeffs& c, BandPair& p, int at, V (&x)[T]) {
    SectionLanes2* m = p.mid;
    biquad<T>(c.midFirst, m[0].s0 + at, m[0].s1 + at, x);
    biquad<T>(c.midSecond, m[1].s0 + at, m[1].s1 + at, x);
    biquad<T>(c.midFirst, m[2].s0 + at, m[2].s1 + at, x);
    biquad<T>(c.midSecond, m[3].s0 + at, m[3].s1 + at, x);
}

// ------------------------------------------------------------ output

// Frames t0 .. t0 + T - 1 of channels 2 * pair and 2 * pair + 1.
template <int T, class Q> VELMORA_INLINE void outputPair(const OutputBlock& b, int pair, int t0) {
    const int n = b.channels;
    const double* l = b.levels;
    Q x[T];
    Q w[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const int at = (t0 + t) * n + 2 * pair;
        const double u0 = b.x[at] * b.fade;
        const double u1 = b.x[at + 1] * b.fade;
        const double g0 = b.g[at];
        const double g1 = b.g[at + 1];
        x[t] = quad<Q>(u0, u0, u1, u1);
        w[t] = quad<Q>(g0, complementOf(g0), g1, complementOf(g1));
    }
    crossoverChain<T>(*b.crossover, b.crossoverState[pair], 0, x, w);

    // Each band's input, open level x gained + closed level x complement.
    Q lh[T];
    V2 mid[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const Q pl = x[t] * quad<Q>(l[0], l[1], l[0], l[1]);
        const Q pm = x[t] * quad<Q>(l[2], l[3], l[2], l[3]);
        const Q ph = x[t] * quad<Q>(l[4], l[5], l[4], l[5]);
        lh[t] = pairSums(pl, ph);
        mid[t] = pairSums(pm);
    }
    BandPair& bp = b.bandState[pair];
    lowHigh<T>(*b.bands, bp, 0, lh);
    midBand<T>(*b.bands, bp, 0, mid);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        float* y = b.y + (t0 + t) * n + 2 * pair;
        y[0] = static_cast<float>(lane(lh[t], 1) + (mid[t][0] + lane(lh[t], 0)));
        y[1] = static_cast<float>(lane(lh[t], 3) + (mid[t][1] + lane(lh[t], 2)));
    }
}

// A channel without a partner: two lanes for the chains, one for the
// band-pass.
template <int T> VELMORA_INLINE void outputSingle(const OutputBlock& b, int channel, int t0) {
    const int n = b.channels;
    const int pair = channel / 2;
    const int at = 2 * (channel % 2);
    const double* l = b.levels;
    V2 x[T];
    V2 w[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const int i = (t0 + t) * n + channel;
        const double u = b.x[i] * b.fade;
        const double g = b.g[i];
        x[t] = V2{u, u};
        w[t] = V2{g, complementOf(g)};
    }
    crossoverChain<T>(*b.crossover, b.crossoverState[pair], at, x, w);

    V2 lh[T];
    double mid[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const V2 pl = x[t] * V2{l[0], l[1]};
        const V2 pm = x[t] * V2{l[2], l[3]};
        const V2 ph = x[t] * V2{l[4], l[5]};
        lh[t] = V2{pl[0] + pl[1], ph[0] + ph[1]};
        mid[t] = pm[0] + pm[1];
    }
    BandPair& bp = b.bandState[pair];
    lowHigh<T>(*b.bands, bp, at, lh);
    midBand<T>(*b.bands, bp, channel % 2, mid);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        b.y[(t0 + t) * n + channel] = static_cast<float>(lh[t][1] + (mid[t] + lh[t][0]));
    }
}

template <int T, class Q> VELMORA_INLINE void outputVector(const OutputBlock& b) {
    const int pairs = b.channels / 2;
    const int whole = b.frames - b.frames % T;
    for (int p = 0; p < pairs; ++p) {
        int t = 0;
        for (; t < whole; t += T) {
            outputPair<T, Q>(b, p, t);
        }
        for (; t < b.frames; ++t) {
            outputPair<1, Q>(b, p, t);
        }
    }
    if (b.channels % 2 != 0) {
        int t = 0;
        for (; t < whole; t += T) {
            outputSingle<T>(b, b.channels - 1, t);
        }
        for (; t < b.frames; ++t) {
            outputSingle<1>(b, b.channels - 1, t);
        }
    }
}

// ------------------------------------------------------------ control

template <int T, class Q>
VELMORA_INLINE void controlPass(const ControlBlock& b, BandPair& p, V2 (&x)[T]) {
    const double* wt = b.weights;
    Q lh[T];
    V2 mid[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        lh[t] = spread<Q>(x[t]);
        mid[t] = x[t];
    }
    lowHigh<T>(*b.bands, p, 0, lh);
    midBand<T>(*b.bands, p, 0, mid);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const Q q = lh[t] * quad<Q>(wt[0], wt[2], wt[0], wt[2]);
        x[t] = odds(q) + (evens(q) + mid[t] * wt[1]);
    }
}

template <int T, class Q> VELMORA_INLINE void controlPair(const ControlBlock& b, int pair, int t0) {
    const int n = b.channels;
    V2 x[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const float* in = b.x + (t0 + t) * n + 2 * pair;
        x[t] = V2{static_cast<double>(in[0]), static_cast<double>(in[1])};
    }
    controlPass<T, Q>(b, b.state[2 * pair], x);
    controlPass<T, Q>(b, b.state[2 * pair + 1], x);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        float* y = b.y + (t0 + t) * n + 2 * pair;
        y[0] = static_cast<float>(x[t][0]);
        y[1] = static_cast<float>(x[t][1]);
    }
}

template <int T>
VELMORA_INLINE void controlPassSingle(const ControlBlock& b, BandPair& p, int lane,
                                      double (&x)[T]) {
    const double* wt = b.weights;
    V2 lh[T];
    double mid[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        lh[t] = V2{x[t], x[t]};
        mid[t] = x[t];
    }
    lowHigh<T>(*b.bands, p, 2 * lane, lh);
    midBand<T>(*b.bands, p, lane, mid);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        const V2 q = lh[t] * V2{wt[0], wt[2]};
        x[t] = q[1] + (q[0] + mid[t] * wt[1]);
    }
}

template <int T> VELMORA_INLINE void controlSingle(const ControlBlock& b, int channel, int t0) {
    const int n = b.channels;
    const int pair = channel / 2;
    const int lane = channel % 2;
    double x[T];
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        x[t] = b.x[(t0 + t) * n + channel];
    }
    controlPassSingle<T>(b, b.state[2 * pair], lane, x);
    controlPassSingle<T>(b, b.state[2 * pair + 1], lane, x);
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
        b.y[(t0 + t) * n + channel] = static_cast<float>(x[t]);
    }
}

template <int T, class Q> VELMORA_INLINE void controlVector(const ControlBlock& b) {
    const int pairs = b.channels / 2;
    const int whole = b.frames - b.frames % T;
    for (int p = 0; p < pairs; ++p) {
        int t = 0;
        for (; t < whole; t += T) {
            controlPair<T, Q>(b, p, t);
        }
        for (; t < b.frames; ++t) {
            controlPair<1, Q>(b, p, t);
        }
    }
    if (b.channels % 2 != 0) {
        int t = 0;
        for (; t < whole; t += T) {
            controlSingle<T>(b, b.channels - 1, t);
        }
        for (; t < b.frames; ++t) {
            controlSingle<1>(b, b.channels - 1, t);
        }
    }
}

// ------------------------------------------------------------ entries

// Frames run together per section: enough to overlap the chains, few enough
// that their values stay in registers (SSE2 needs two per four lanes).
#ifndef VELMORA_SSE2_FRAMES
#define VELMORA_SSE2_FRAMES 3
#endif
#ifndef VELMORA_AVX2_FRAMES
#define VELMORA_AVX2_FRAMES 4
#endif
constexpr int kSse2Frames = VELMORA_SSE2_FRAMES;
constexpr int kAvx2Frames = VELMORA_AVX2_FRAMES;

void outputSse2(const OutputBlock& b) {
    outputVector<kSse2Frames, P4>(b);
}
void controlSse2(const ControlBlock& b) {
    controlVector<kSse2Frames, P4>(b);
}

__attribute__((target("avx2"))) void outputAvx2(const OutputBlock& b) {
    outputVector<kAvx2Frames, V4>(b);
}
__attribute__((target("avx2"))) void controlAvx2(const ControlBlock& b) {
    controlVector<kAvx2Frames, V4>(b);
}

// ------------------------------------------------------------ scalar

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
    // The weight meets each band once, ahead of the low-pass that bounds it
    // from above, so a gain change reaches a band only through that filter.
    double lo = run(k.low[0], 1, run(k.low[0], 0, x * w));
    double hi = run(k.high[0], 3, run(k.high[0], 2, x));
#pragma GCC unroll 8
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

double controlPassScalar(const ControlBlock& b, BandPair& p, int channel, double u) {
    const BandOut o = bandsScalar(*b.bands, p, channel, u, u, u);
    return o.high * b.weights[2] + (o.low * b.weights[0] + o.mid * b.weights[1]);
}

void outputScalar(const OutputBlock& b) {
    for (int t = 0; t < b.frames; ++t) {
        for (int c = 0; c < b.channels; ++c) {
            const int i = t * b.channels + c;
            b.y[i] = outputChannelScalar(b, c, b.x[i] * b.fade, b.g[i]);
        }
    }
}

void controlScalar(const ControlBlock& b) {
    for (int t = 0; t < b.frames; ++t) {
        for (int c = 0; c < b.channels; ++c) {
            const int i = t * b.channels + c;
            b.y[i] = static_cast<float>(controlChannelScalar(b, c, b.x[i]));
        }
    }
}

const BlockKernels kScalar{outputScalar, controlScalar};
const BlockKernels kSse2{outputSse2, controlSse2};
const BlockKernels kAvx2{outputAvx2, controlAvx2};

} // namespace

void crossoverChannelScalar(const CrossoverCoeffs& k, CrossoverPair& p, int channel, double x,
                            double g, double& gained, double& complement) {
    const int lane = 2 * (channel % 2);
    gained = chainScalar(k, p, lane, x, g);
    complement = chainScalar(k, p, lane + 1, x, complementOf(g));
}

float outputChannelScalar(const OutputBlock& b, int channel, double u, double g) {
    double gained = 0.0;
    double complement = 0.0;
    crossoverChannelScalar(*b.crossover, b.crossoverState[channel / 2], channel, u, g, gained,
                           complement);
    const double* l = b.levels;
    const BandOut o =
        bandsScalar(*b.bands, b.bandState[channel / 2], channel, l[0] * gained + l[1] * complement,
                    l[2] * gained + l[3] * complement, l[4] * gained + l[5] * complement);
    return static_cast<float>(o.high + (o.mid + o.low));
}

double controlChannelScalar(const ControlBlock& b, int channel, double x) {
    const int pair = channel / 2;
    const double s = controlPassScalar(b, b.state[2 * pair], channel, x);
    return controlPassScalar(b, b.state[2 * pair + 1], channel, s);
}

bool simdPathSupported(SimdPath path) {
    switch (path) {
    case SimdPath::Scalar:
    case SimdPath::Sse2:
        return true;
    case SimdPath::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }
    return false;
}

SimdPath bestSimdPath() {
    static const SimdPath best =
        simdPathSupported(SimdPath::Avx2) ? SimdPath::Avx2 : SimdPath::Sse2;
    return best;
}

const BlockKernels& blockKernels(SimdPath path) {
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
