// Filter state and coefficients laid out so that identical recursions of
// neighbouring channels sit side by side in memory, where one vector
// register can run them together. Channels go in pairs; within a pair each
// quantity is an array of lanes. Every path (scalar, SSE2, AVX2) works on the
// same layout, so the path can change between any two frames.
#pragma once

#include "filters/FilterDesign.h"

namespace velmora {

// One second-order section state across four lanes.
struct alignas(32) SectionLanes4 {
    double s0[4] = {0.0, 0.0, 0.0, 0.0};
    double s1[4] = {0.0, 0.0, 0.0, 0.0};
};

// One second-order section state across two lanes.
struct alignas(16) SectionLanes2 {
    double s0[2] = {0.0, 0.0};
    double s1[2] = {0.0, 0.0};
};

// Per-lane coefficients of a second-order section (unaligned: it lives inside
// the engine, which a host may place anywhere).
struct LaneCoeffs4 {
    double b0[4] = {}, b1[4] = {}, b2[4] = {}, a1[4] = {}, a2[4] = {};
};

// The crossover gain stage of two channels: 20 sections (crossover k owns
// 4k low a, 4k+1 low b, 4k+2 high a, 4k+3 high b), lanes [gained 0,
// complement 0, gained 1, complement 1]. Both copies of a channel and both
// channels share every coefficient.
struct CrossoverPair {
    static constexpr int kSections = 20;
    SectionLanes4 section[kSections];
};

// The band filters of two channels. Low and high share the lanes [low 0,
// high 0, low 1, high 1] (two stages in cascade); the band-pass runs its four
// sections (first, second, first, second) in the lanes [0, 1].
struct BandPair {
    SectionLanes4 lowHigh[2];
    SectionLanes2 mid[4];
};

template <class S, class F> void forEachLane(const S& s, F& f) {
    for (double v : s.s0) {
        f(v);
    }
    for (double v : s.s1) {
        f(v);
    }
}

template <class F> void forEachLane(const BandPair& p, F& f) {
    for (const SectionLanes4& s : p.lowHigh) {
        forEachLane(s, f);
    }
    for (const SectionLanes2& s : p.mid) {
        forEachLane(s, f);
    }
}

struct CrossoverCoeffs {
    BiquadCoeffs low[5];
    BiquadCoeffs high[5];
};

// The band designs as the kernels read them.
struct BandCoeffs {
    LaneCoeffs4 lowHigh; // lanes [low, high, low, high]
    BiquadCoeffs midFirst;
    BiquadCoeffs midSecond;
};

// The instruction sets a frame can run on. The scalar path is the reference
// the others must match bit for bit.
enum class SimdPath { Scalar, Sse2, Avx2 };

bool simdPathSupported(SimdPath path);
// The widest supported path; decided once per process.
SimdPath bestSimdPath();

// A run of frames through the output splitter, frame-major (value of channel
// c in frame t at t * channels + c): input x, gate gain g, output y. The input
// is scaled by the fade gain, which stays the same over the run (1 outside a
// fade, and 1 leaves x exactly as it is).
struct OutputBlock {
    const CrossoverCoeffs* crossover;
    const BandCoeffs* bands;
    // open low, closed low, open mid, closed mid, open high, closed high
    const double* levels;
    CrossoverPair* crossoverState;
    BandPair* bandState;
    const float* x;
    const float* g;
    float* y;
    double fade;
    int channels;
    int frames;
};

// A run of frames through the control splitter outside a fade, frame-major
// as above.
struct ControlBlock {
    const BandCoeffs* bands;
    // low, mid, high
    const double* weights;
    // Two passes per pair: first, second.
    BandPair* state;
    const float* x;
    float* y;
    int channels;
    int frames;
};

struct BlockKernels {
    void (*output)(const OutputBlock&);
    void (*control)(const ControlBlock&);
};

const BlockKernels& blockKernels(SimdPath path);

// The scalar reference for one channel and frame; the per-sample entries of
// the filter classes run these. u is the faded input, g the gate gain.
float outputChannelScalar(const OutputBlock& b, int channel, double u, double g);
// Returns the second pass's output before it is narrowed to float.
double controlChannelScalar(const ControlBlock& b, int channel, double x);
void crossoverChannelScalar(const CrossoverCoeffs& k, CrossoverPair& p, int channel, double x,
                            double g, double& gained, double& complement);

} // namespace velmora
